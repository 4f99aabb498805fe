// Tests of the tile pictures, the icon and the sky, pixel by pixel.
#include "pictures.h"

#include <QCryptographicHash>
#include <QTest>

#include <algorithm>
#include <array>

using glidor::pictures::background;
using glidor::pictures::picture;

namespace {

// Whether pixel (x, y) of the icon at size n lies on one of its eight tiles of 9 design pixels, the
// first at (2, 2).
bool onIconTile(int x, int y, int n)
{
    x = x * 32 / n;
    y = y * 32 / n;
    return x >= 2 && y >= 2 && x <= 30 && y <= 30 && (x - 2) % 10 < 9 && (y - 2) % 10 < 9
            && (x < 22 || y < 22);
}

} // namespace

class PicturesTest : public QObject
{
    Q_OBJECT

private slots:
    // Drawn once and looked at: the tiles in both looks (a two-pixel bevel, light above the
    // diagonal from top right to bottom left, dark below it, face on it; the number black on rows 8
    // to 23, centred on the face, half a pixel left for an odd width, two digits two columns apart)
    // and the icon's puzzle at each of its sizes, 16 to 256, its digits the tiles' own from 64 up.
    // Any changed pixel is a change to look at again before the digests are brought up to date. The
    // icon's sky is left out: its empty place shows sky at every size, and at 32, where the icon is
    // the design drawn as the game draws it, pale blue lies around the tiles, with lighter patches.
    void everyTileAndTheIconArePixelForPixelTheReviewedOnesTheIconOnACloudySky()
    {
        const auto digest = [](QList<QImage> images, bool icon) {
            QCryptographicHash hash(QCryptographicHash::Sha1);
            for (QImage &image : images) {
                const int n = image.width();
                for (int i = 0; icon && i < n * n; ++i)
                    if (!onIconTile(i % n, i / n, n))
                        image.setPixel(i % n, i / n, 0);
                hash.addData(QByteArrayView(image.constBits(), image.sizeInBytes()));
            }
            return hash.result().toHex().left(16);
        };
        QList<QImage> tiles; // yellow, then grey
        for (int id = 101; id <= 136; ++id)
            tiles << picture(id);
        QCOMPARE(digest(tiles, false), "cf4c8d68c58ff37a");
        QCOMPARE(digest(glidor::pictures::icons(), true), "f110ad775d43ef71");
        for (const QImage &icon : glidor::pictures::icons()) {
            const int n = icon.width();
            const QRgb empty = icon.pixel(53 * n / 64, 53 * n / 64); // (26.5, 26.5) of the design
            QVERIFY2(qBlue(empty) >= 240 && qRed(empty) < 210,
                     qPrintable(QStringLiteral("size %1: no sky in the empty place").arg(n)));
        }
        const QImage design = picture(1);
        QCOMPARE(glidor::pictures::icons().value(2), design);
        int darkest = 255, lightest = 0;
        for (int i = 0; i < 32 * 32; ++i) {
            const int x = i % 32, y = i / 32;
            const QRgb c = design.pixel(x, y);
            if (onIconTile(x, y, 32))
                continue;
            QVERIFY2(qRed(c) >= 125 && qRed(c) <= 205 && qGreen(c) >= 185 && qGreen(c) <= 230
                             && qBlue(c) >= 240 && qGreen(c) > qRed(c),
                     qPrintable(QStringLiteral("no pale blue sky at %1,%2").arg(x).arg(y)));
            darkest = std::min(darkest, qGray(c));
            lightest = std::max(lightest, qGray(c));
        }
        QVERIFY2(lightest - darkest >= 20, "lighter patches of cloud");
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
