// Tests of the tile pictures, the icon and the sky, pixel by pixel.
#include "pictureid.h"
#include "pictures.h"

#include <QCryptographicHash>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <array>
#include <climits>
#include <utility>

using glidor::pictures::background;
using glidor::pictures::picture;

namespace {

// Face, highlight and shadow of the two looks.
const QRgb yellow[] = {qRgb(206, 203, 0), qRgb(255, 255, 0), qRgb(148, 150, 0)};
const QRgb grey[] = {qRgb(206, 203, 206), qRgb(255, 255, 255), qRgb(148, 150, 148)};

// A picture as text, a row a line: F face, H highlight, S shadow, # black, ? any other colour.
QByteArrayList roles(const QImage &image, const QRgb *look)
{
    QByteArrayList rows;
    for (int y = 0; y < image.height(); ++y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            row += c == look[0] ? 'F' : c == look[1] ? 'H' : c == look[2] ? 'S' : c == qRgb(0, 0, 0) ? '#' : '?';
        }
        rows.append(row);
    }
    return rows;
}


} // namespace

class PicturesTest : public QObject {
    Q_OBJECT

private slots:
    void tileHasTheExactFrameTheFourColoursOfItsLookAndACentredNumber_data()
    {
        QTest::addColumn<int>("id");
        for (int id = 101; id <= 136; ++id)
            QTest::addRow("%d", id) << id;
    }
    void tileHasTheExactFrameTheFourColoursOfItsLookAndACentredNumber()
    {
        QFETCH(int, id);
        QCOMPARE(picture(id).size(), QSize(32, 32));
        const auto [number, home] = glidor::pictureContent(id);
        const QByteArrayList map = roles(picture(id), home ? yellow : grey);
        const QByteArray all = map.join();
        QCOMPARE(QSet<char>(all.begin(), all.end()), QSet<char>({'F', 'H', 'S', '#'})); // exactly the four colours of its look
        int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                // A two-pixel bevel, light above the diagonal from top right to bottom left, dark below it, face on it.
                if (x < 2 || y < 2 || x > 29 || y > 29)
                    QVERIFY2(map[y][x] == (x + y < 31 ? 'H' : x + y > 31 ? 'S' : 'F'), qPrintable(QStringLiteral("frame at %1,%2").arg(x).arg(y)));
                if (map[y][x] == '#')
                    left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        QVERIFY2(top == 8 && bottom == 23, qPrintable(QStringLiteral("black on rows %1 to %2").arg(top).arg(bottom)));
        // The face spans columns 2 to 29, centre 15.5; a number of odd width may sit half a pixel left of it.
        QVERIFY2((left + right) / 2.0 == 15.5 || (left + right) / 2.0 == 15, qPrintable(QStringLiteral("black on columns %1 to %2").arg(left).arg(right)));
        // Two digits stand two columns apart; in one number every column between the ends has black.
        QString inked;
        for (int x = left; x <= right; ++x)
            inked += std::any_of(map.begin(), map.end(), [x](const QByteArray &row) { return row[x] == '#'; }) ? '#' : '.';
        QCOMPARE(inked.count(QLatin1Char('.')), number >= 10 ? 2 : 0);
    }

    // Drawn once and looked at: any changed pixel is a change to look at again
    // before the digests are brought up to date. The icon's sky is left out.
    void everyTileAndTheIconsPuzzleArePixelForPixelTheReviewedOnes()
    {
        const auto digest = [](int first, int last) {
            QCryptographicHash hash(QCryptographicHash::Sha1);
            for (int id = first; id <= last; ++id) {
                QImage image = picture(id).convertToFormat(QImage::Format_RGB32);
                for (int y = 0; id == 1 && y < 32; ++y)
                    for (int x = 0; x < 32; ++x)
                        if (!(x >= 2 && y >= 2 && x < 31 && y < 31 && (x - 2) % 10 < 9 && (y - 2) % 10 < 9 && (x < 22 || y < 22)))
                            image.setPixel(x, y, 0);
                hash.addData(QByteArrayView(image.constBits(), image.sizeInBytes()));
            }
            return hash.result().toHex().left(16);
        };
        QCOMPARE(digest(101, 121), "515bc976c7c59bf2");
        QCOMPARE(digest(122, 136), "20fe504a021365f6");
        QCOMPARE(digest(1, 1), "8985c186e91fa51e");
    }

    void tileAwayFromHomeIsItsHomePictureInGrey()
    {
        for (int tile = 1; tile <= 15; ++tile)
            QCOMPARE(roles(picture(glidor::pictureId(0, tile)), grey), roles(picture(glidor::pictureId(tile, tile)), yellow));
    }

    void unknownIdsGiveNoPicture()
    {
#ifndef QT_NO_DEBUG
        QSKIP("a debug build stops on an unknown id on purpose");
#endif
        for (const int id : {INT_MIN, -1, 0, 2, 100, 137, 138, INT_MAX})
            QVERIFY2(picture(id).isNull(), qPrintable(QString::number(id)));
    }

    void iconsSkyIsPaleBlueWithLighterPatches() // its tiles are held to the reviewed pixels above
    {
        const QImage icon = picture(1);
        int darkest = 255, lightest = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (x >= 2 && y >= 2 && x <= 30 && y <= 30 && (x - 2) % 10 < 9 && (y - 2) % 10 < 9 && (x < 22 || y < 22))
                    continue; // on a tile
                const QRgb c = icon.pixel(x, y);
                QVERIFY2(qRed(c) >= 125 && qRed(c) <= 205 && qGreen(c) >= 185 && qGreen(c) <= 230 && qBlue(c) >= 240 && qGreen(c) > qRed(c),
                         qPrintable(QStringLiteral("no pale blue sky at %1,%2").arg(x).arg(y)));
                darkest = std::min(darkest, qGray(c)), lightest = std::max(lightest, qGray(c));
            }
        }
        QVERIFY2(lightest - darkest >= 20, "lighter patches of cloud");
    }

    void theIconAtEverySizeIsTheSamePuzzleAndAt32TheDesignItself()
    {
        QList<int> sizes;
        for (const QImage &icon : glidor::pictures::icons()) {
            const int n = sizes.emplace_back(icon.width());
            const auto at = [&](double x, double y) { return icon.pixel(int(x * n / 32), int(y * n / 32)); };
            for (int place = 0; place < 8; ++place) { // each tile, on average: yellow with some black
                int red = 0, blue = 0;
                for (int i = 0; i < 49; ++i)
                    red += qRed(at(3 + place % 3 * 10 + i % 7, 3 + place / 3 * 10 + i / 7)), blue += qBlue(at(3 + place % 3 * 10 + i % 7, 3 + place / 3 * 10 + i / 7));
                QVERIFY2(red > 49 * 120 && blue < 49 * 60, qPrintable(QStringLiteral("size %1, tile %2").arg(n).arg(place + 1)));
            }
            QVERIFY2(qBlue(at(26.5, 26.5)) >= 240 && qRed(at(26.5, 26.5)) < 210, qPrintable(QStringLiteral("size %1: no sky in the empty place").arg(n)));
            if (n == 32)
                QCOMPARE(icon, picture(1));
        }
        QCOMPARE(sizes, QList<int>({16, 24, 32, 48, 64, 128, 256}));
    }

    void backgroundIsALightBlueSkyWithSoftCloudsAndNoSeam()
    {
        const QImage sky = background();
        const auto distance = [](QRgb a, QRgb b) { return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)); };
        const int n = 200;
        QCOMPARE(sky.size(), QSize(n, n));
        std::array<long, 2 * n> step{}; // how far column i, then row i, differs from the next, the last from the first
        double red = 0, green = 0, blue = 0;
        int white = 0;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const QRgb c = sky.pixel(x, y);
                const int across = distance(c, sky.pixel((x + 1) % n, y)), down = distance(c, sky.pixel(x, (y + 1) % n));
                QVERIFY2(across <= 45 && down <= 45, qPrintable(QStringLiteral("a jump at %1,%2").arg(x).arg(y)));
                step[x] += across, step[n + y] += down;
                red += qRed(c), green += qGreen(c), blue += qBlue(c);
                white += qRed(c) >= 200 && qGreen(c) >= 220 && qBlue(c) >= 240;
            }
        }
        QVERIFY2(blue > green && green > red && blue / (n * n) >= 220 && (red + green + blue) / 3 / (n * n) >= 170, "light blue on average");
        QVERIFY2(white >= n * n * 0.03 && white <= n * n * 0.5, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
        QVERIFY2(step[n - 1] <= *std::max_element(step.begin(), step.begin() + n - 1), "a seam between the last and the first column");
        QVERIFY2(step[2 * n - 1] <= *std::max_element(step.begin() + n, step.end() - 1), "a seam between the last and the first row");
    }
};

QTEST_APPLESS_MAIN(PicturesTest)
#include "pictures_tests.moc"
