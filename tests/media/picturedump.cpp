// Writes every picture of the game as PNG files.
#include "picturedump.h"

#include "pictures.h"

#include <QDir>
#include <QPainter>

namespace glidor::pictures {

namespace {

QImage montage()
{
    // Row 1: yellow 1..15, row 2: grey 1..15, row 3: yellow 16..21 and the icon.
    constexpr int scale = 4;
    constexpr int cell = 32 * scale;
    constexpr int spacing = 8;
    constexpr int columns = 15;
    constexpr int rows = 3;
    QImage sheet(spacing + columns * (cell + spacing), spacing + rows * (cell + spacing), QImage::Format_RGB32);
    sheet.fill(qRgb(60, 60, 60));
    QPainter painter(&sheet);
    const auto put = [&](int id, int column, int row) {
        const QImage big = picture(id).scaled(cell, cell, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        painter.drawImage(spacing + column * (cell + spacing), spacing + row * (cell + spacing), big);
    };
    for (int t = 1; t <= 15; ++t) {
        put(100 + t, t - 1, 0);
        put(121 + t, t - 1, 1);
    }
    for (int id = 116; id <= 121; ++id)
        put(id, id - 116, 2);
    put(1, 7, 2);
    return sheet;
}

QImage tiled(const QImage &image)
{
    QImage sheet(image.width() * 2, image.height() * 2, QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column)
            painter.drawImage(column * image.width(), row * image.height(), image);
    return sheet;
}

} // namespace

bool dumpPictures(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    bool ok = true;
    const auto save = [&](const QImage &image, const QString &name) {
        ok = image.save(dir.filePath(name), "PNG") && ok;
    };
    for (int id = 101; id <= 136; ++id)
        save(picture(id), QStringLiteral("tile-%1.png").arg(id));
    save(picture(1), QStringLiteral("icon.png"));
    save(background(), QStringLiteral("background.png"));
    save(tiled(background()), QStringLiteral("background-2x2.png"));
    save(montage(), QStringLiteral("tiles-4x.png"));
    return ok;
}

} // namespace glidor::pictures
