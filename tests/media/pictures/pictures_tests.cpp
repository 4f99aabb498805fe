// Tests of the tile pictures, the icon and the sky, pixel by pixel.
#include "pictures.h"

#include <QDir>
#include <QTest>

#include <algorithm>
#include <array>

using glidor::pictures::background;
using glidor::pictures::picture;

namespace {

// Where `drawn` differs from the reference picture `name` beside this file: its size, or the first
// pixel with a colour channel more than `tolerance` levels from the reference's, with both colours;
// empty where they are the same. A picture that differs is
// saved under `name` in the working folder, to be looked at beside the reference (and copied over
// it, when the change is the one intended).
QString difference(const QImage &drawn, const QString &name, int tolerance = 0)
{
    const QImage reference = QImage(QStringLiteral(GLIDOR_REFERENCE_PICTURES "/") + name)
                                     .convertToFormat(QImage::Format_RGB32);
    QString why;
    if (reference.size() != drawn.size()) {
        why = QStringLiteral("%1: %2 by %3 pixels, the reference %4 by %5")
                      .arg(name)
                      .arg(drawn.width())
                      .arg(drawn.height())
                      .arg(reference.width())
                      .arg(reference.height());
    } else {
        for (int i = 0; why.isEmpty() && i < drawn.width() * drawn.height(); ++i) {
            const int x = i % drawn.width(), y = i / drawn.width();
            const QRgb a = drawn.pixel(x, y), b = reference.pixel(x, y);
            const auto off = [&](int (*channel)(QRgb)) {
                return std::abs(channel(a) - channel(b)) > tolerance;
            };
            if (off(qRed) || off(qGreen) || off(qBlue))
                why = QStringLiteral("%1: at %2,%3 #%4, the reference #%5")
                              .arg(name)
                              .arg(x)
                              .arg(y)
                              .arg(drawn.pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'))
                              .arg(reference.pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'));
        }
    }
    if (!why.isEmpty())
        drawn.save(name);
    return why;
}

} // namespace

class PicturesTest : public QObject
{
    Q_OBJECT

private slots:
    // tiles.png: a column for each number, the yellow look (1 to 21) above the grey (1 to 15).
    void everyTileIsPixelForPixelItsReferencePicture()
    {
        QImage sheet(21 * 32, 2 * 32, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        for (int number = 1; number <= 21; ++number)
            for (const auto &[row, id] : { std::pair(0, 100 + number), { 1, 121 + number } })
                if (id <= 136)
                    for (int i = 0; i < 32 * 32; ++i)
                        sheet.setPixel((number - 1) * 32 + i % 32, row * 32 + i / 32,
                                       picture(id).pixel(i % 32, i / 32));
        const QString why = difference(sheet, QStringLiteral("tiles.png"));
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // icon-SIZE.png: the icon at each size a desktop asks for, sky and all. The one at 32 is the
    // design that picture(1) draws. The sky's clouds come from float sines, which another C
    // library may round a last bit differently: two levels a channel are let pass, far less than
    // any tile edge or colour differs by.
    void theIconIsPixelForPixelItsReferencePictureAtEverySize()
    {
        QList<int> sizes, referenceSizes;
        QStringList differences;
        for (const QImage &icon : glidor::pictures::icons()) {
            sizes << icon.width();
            const QString why =
                    difference(icon, QStringLiteral("icon-%1.png").arg(icon.width()), 2);
            if (!why.isEmpty())
                differences << why;
        }
        for (const QString &name :
             QDir(GLIDOR_REFERENCE_PICTURES).entryList({ "icon-*.png" }, QDir::Files))
            referenceSizes << name.section('-', 1).section('.', 0, 0).toInt();
        std::sort(referenceSizes.begin(), referenceSizes.end());
        QCOMPARE(sizes, referenceSizes);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join('\n')));
        QCOMPARE(picture(1), glidor::pictures::icons().value(2));
    }

    void backgroundIsALightBlueSkyWithSoftCloudsAndNoSeam()
    {
        const QImage sky = background();
        const auto distance = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                    + std::abs(qBlue(a) - qBlue(b));
        };
        const int n = 200;
        QCOMPARE(sky.size(), QSize(n, n));
        // How far column i, then row i, differs from the next, the last from the first.
        std::array<long, 2 * n> step{};
        int white = 0;
        for (int i = 0; i < n * n; ++i) {
            const int x = i % n, y = i / n;
            const QRgb c = sky.pixel(x, y);
            const int across = distance(c, sky.pixel((x + 1) % n, y)),
                      down = distance(c, sky.pixel(x, (y + 1) % n));
            QVERIFY2(across <= 45 && down <= 45,
                     qPrintable(QStringLiteral("a jump at %1,%2").arg(x).arg(y)));
            step[x] += across;
            step[n + y] += down;
            white += qRed(c) >= 200 && qGreen(c) >= 220 && qBlue(c) >= 240;
        }
        const QRgb mean =
                sky.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0);
        QVERIFY2(qBlue(mean) > qGreen(mean) && qGreen(mean) > qRed(mean) && qBlue(mean) >= 220
                         && qRed(mean) + qGreen(mean) + qBlue(mean) >= 510,
                 "light blue on average");
        QVERIFY2(white >= n * n * 0.03 && white <= n * n * 0.5,
                 qPrintable(QStringLiteral("%1 white pixels").arg(white)));
        QVERIFY2(step[n - 1] <= *std::max_element(step.begin(), step.begin() + n - 1)
                         && step[2 * n - 1] <= *std::max_element(step.begin() + n, step.end() - 1),
                 "a seam where the last column or row meets the first");
    }
};

QTEST_APPLESS_MAIN(PicturesTest)
#include "pictures_tests.moc"
