// Tests of the tile pictures, the icon and the sky texture, pixel by pixel.
#include "picturedump.h"
#include "pictures.h"

#include <QSet>
#include <QTest>

#include <algorithm>
#include <climits>
#include <map>
#include <utility>

using glidor::pictures::background;
using glidor::pictures::picture;

namespace {

enum class Role { Face, Highlight, Shadow, Black, Other };

struct Look {
    QRgb face;
    QRgb highlight;
    QRgb shadow;
};

const Look yellow{qRgb(206, 203, 0), qRgb(255, 255, 0), qRgb(148, 150, 0)};
const Look grey{qRgb(206, 203, 206), qRgb(255, 255, 255), qRgb(148, 150, 148)};

Role roleOf(QRgb colour, const Look &look)
{
    const std::map<QRgb, Role> roles{{look.face, Role::Face}, {look.highlight, Role::Highlight},
                                     {look.shadow, Role::Shadow}, {qRgb(0, 0, 0), Role::Black}};
    const auto found = roles.find(colour);
    return found == roles.end() ? Role::Other : found->second;
}

QRgb colourOf(Role role, const Look &look)
{
    return role == Role::Face ? look.face : role == Role::Highlight ? look.highlight : role == Role::Shadow ? look.shadow : qRgb(0, 0, 0);
}

// The bevel of a tile as the drawing table lists it; Other marks the face inside.
Role frameRole(int x, int y)
{
    if ((y == 0 && x <= 30) || (y == 1 && x <= 29) || (y >= 2 && y <= 29 && x <= 1) || (y == 30 && x == 0))
        return Role::Highlight;
    if ((y == 1 && x == 31) || (y >= 2 && y <= 29 && x >= 30) || (y == 30 && x >= 2) || (y == 31 && x >= 1))
        return Role::Shadow;
    if ((y == 0 && x == 31) || (y == 1 && x == 30) || (y == 30 && x == 1) || (y == 31 && x == 0))
        return Role::Face;
    return Role::Other;
}

bool isBlack(const QImage &image, int x, int y)
{
    return image.pixel(x, y) == qRgb(0, 0, 0);
}

struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
};

Box blackBox(const QImage &image, int x0, int y0, int width, int height)
{
    Box box;
    for (int y = y0; y < y0 + height; ++y)
        for (int x = x0; x < x0 + width; ++x)
            if (isBlack(image, x, y))
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
    return box;
}

// The black of a picture cut into digits at the columns without black, each
// cropped to its own box: shapes that can be compared wherever they stand.
QList<QStringList> digitShapes(const QImage &image)
{
    QList<QStringList> shapes;
    for (int x = 0; x < image.width(); ++x) {
        const Box column = blackBox(image, x, 0, 1, image.height());
        if (column.left == INT_MAX)
            continue;
        int right = x;
        while (right + 1 < image.width() && blackBox(image, right + 1, 0, 1, image.height()).left != INT_MAX)
            ++right;
        const Box box = blackBox(image, x, 0, right - x + 1, image.height());
        QStringList rows;
        for (int y = box.top; y <= box.bottom; ++y) {
            QString row;
            for (int c = x; c <= right; ++c)
                row += isBlack(image, c, y) ? QLatin1Char('#') : QLatin1Char('.');
            rows.append(row);
        }
        shapes.append(rows);
        x = right;
    }
    return shapes;
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// Pale sky blue as the icon shows it around its tiles.
bool isIconSky(QRgb c)
{
    return qRed(c) >= 125 && qRed(c) <= 205 && qGreen(c) >= 185 && qGreen(c) <= 230 && qBlue(c) >= 240 && qGreen(c) > qRed(c);
}

QString at(int x, int y)
{
    return QStringLiteral("pixel %1,%2").arg(x).arg(y);
}

} // namespace

class PicturesTest : public QObject {
    Q_OBJECT

    bool m_saved = false;

    static void tileData()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("isYellow");
        for (int id = 101; id <= 121; ++id)
            QTest::addRow("yellow %d", id - 100) << id << true;
        for (int id = 122; id <= 136; ++id)
            QTest::addRow("grey %d", id - 121) << id << false;
    }

private slots:
    void cleanup()
    {
        // One set of pictures per run is enough for a person to look at.
        if (QTest::currentTestFailed() && !m_saved) {
            m_saved = glidor::pictures::dumpPictures(QStringLiteral(GLIDOR_FAILED_PICTURES_DIR));
            qWarning("pictures saved in %s", GLIDOR_FAILED_PICTURES_DIR);
        }
    }

    void tileHasTheExactFrameAndTheFourColoursOfItsLook_data() { tileData(); }
    void tileHasTheExactFrameAndTheFourColoursOfItsLook()
    {
        QFETCH(int, id);
        QFETCH(bool, isYellow);
        const QImage image = picture(id);
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(image.format(), QImage::Format_RGB32); // opaque, and painted without conversion
        QSet<Role> used;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const Role role = roleOf(image.pixel(x, y), isYellow ? yellow : grey);
                QVERIFY2(role != Role::Other, qPrintable(at(x, y) + QStringLiteral(" has a colour not of the look")));
                QVERIFY2(frameRole(x, y) == Role::Other || role == frameRole(x, y), qPrintable(at(x, y) + QStringLiteral(" of the frame")));
                used.insert(role);
            }
        }
        QCOMPARE(used.size(), 4);
    }

    void numberIsOnRows8To23AndCentredOnTheFace_data() { tileData(); }
    void numberIsOnRows8To23AndCentredOnTheFace()
    {
        QFETCH(int, id);
        const Box box = blackBox(picture(id), 0, 0, 32, 32);
        QVERIFY(box.top >= 8 && box.bottom <= 23);
        QVERIFY2(box.bottom - box.top + 1 >= 14, "about 16 pixels high");
        // The face spans columns 2 to 29: its centre is 15.5.
        QVERIFY2(std::abs((box.left + box.right) / 2.0 - 15.5) <= 1.0,
                 qPrintable(QStringLiteral("black from column %1 to %2").arg(box.left).arg(box.right)));
    }

    void strokesAreMostlyTwoWideAndSmoothingHugsThem_data() { tileData(); }
    void strokesAreMostlyTwoWideAndSmoothingHugsThem()
    {
        QFETCH(int, id);
        QFETCH(bool, isYellow);
        const QImage image = picture(id);
        std::map<int, int> runs;
        for (int y = 2; y < 30; ++y) {
            for (int x = 2, run = 0; x <= 30; ++x) {
                if (x < 30 && isBlack(image, x, y))
                    ++run;
                else if (run > 0)
                    ++runs[std::exchange(run, 0)];
            }
        }
        QCOMPARE(std::max_element(runs.begin(), runs.end(), [](auto a, auto b) { return a.second < b.second; })->first, 2);

        // Shadow colour on the face only smooths the number: each such pixel touches black.
        for (int y = 2; y < 30; ++y) {
            for (int x = 2; x < 30; ++x) {
                if (roleOf(image.pixel(x, y), isYellow ? yellow : grey) == Role::Shadow)
                    QVERIFY2(blackBox(image, x - 1, y - 1, 3, 3).left != INT_MAX, qPrintable(QStringLiteral("stray shadow at ") + at(x, y)));
            }
        }
    }

    void tileAwayFromHomeIsItsHomePictureInGrey_data()
    {
        QTest::addColumn<int>("tile");
        for (int t = 1; t <= 15; ++t)
            QTest::addRow("tile %d", t) << t;
    }
    void tileAwayFromHomeIsItsHomePictureInGrey()
    {
        QFETCH(int, tile);
        // The board shows tile t as 100 + t on its own square and as 121 + t elsewhere.
        const QImage home = picture(100 + tile);
        const QImage away = picture(121 + tile);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                QCOMPARE(away.pixel(x, y), colourOf(roleOf(home.pixel(x, y), yellow), grey));
    }

    void twoDigitNumbersAreMadeOfTheSingleDigits_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("tensLike");  // a number with the same first digit
        QTest::addColumn<int>("unitsLike"); // a number with the same last digit
        for (int number = 11; number <= 19; ++number)
            QTest::addRow("%d", number) << number << 1 << number - 10;
        QTest::addRow("10") << 10 << 1 << 20;
        QTest::addRow("20") << 20 << 2 << 10;
        QTest::addRow("21") << 21 << 2 << 1;
    }
    void twoDigitNumbersAreMadeOfTheSingleDigits()
    {
        QFETCH(int, number);
        QFETCH(int, tensLike);
        QFETCH(int, unitsLike);
        const auto shapes = digitShapes(picture(100 + number));
        QCOMPARE(shapes.size(), 2);
        QCOMPARE(shapes.first(), digitShapes(picture(100 + tensLike)).first());
        QCOMPARE(shapes.last(), digitShapes(picture(100 + unitsLike)).last());
    }

    void singleDigitsDifferAndNoTwoPicturesAreAlike()
    {
        QSet<QString> digits;
        for (int number = 1; number <= 9; ++number) {
            const auto shapes = digitShapes(picture(100 + number));
            QCOMPARE(shapes.size(), 1);
            digits.insert(shapes.first().join(QLatin1Char('/')));
        }
        QCOMPARE(digits.size(), 9);

        QList<int> ids{1};
        for (int id = 101; id <= 136; ++id)
            ids.append(id);
        for (int i = 0; i < ids.size(); ++i)
            for (int j = i + 1; j < ids.size(); ++j)
                QVERIFY2(picture(ids[i]) != picture(ids[j]), qPrintable(QStringLiteral("%1 and %2").arg(ids[i]).arg(ids[j])));
    }

    void idsOutsideTheSetGiveNoPicture_data()
    {
#ifndef QT_NO_DEBUG
        QSKIP("a debug build stops on an unknown id on purpose");
#endif
        QTest::addColumn<int>("id");
        for (const int id : {INT_MIN, -101, -1, 0, 2, 99, 100, 137, 138, 201, 221, INT_MAX})
            QTest::addRow("%d", id) << id;
    }
    void idsOutsideTheSetGiveNoPicture()
    {
        QFETCH(int, id);
        QVERIFY(picture(id).isNull());
    }

    void iconShowsTilesOneToEightAndAnEmptyPlaceOnSky()
    {
        const QImage icon = picture(1);
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.format(), QImage::Format_RGB32);
        QSet<QString> digits;
        QSet<int> onTiles;
        for (int place = 0; place < 8; ++place) {
            const int left = 2 + (place % 3) * 10;
            const int top = 2 + (place / 3) * 10;
            const QString tile = QStringLiteral("tile %1 ").arg(place + 1);
            for (int i = 0; i < 8; ++i) {
                QVERIFY2(icon.pixel(left + i, top) == yellow.highlight && icon.pixel(left, top + i) == yellow.highlight,
                         qPrintable(tile + QStringLiteral("top or left edge")));
                QVERIFY2(icon.pixel(left + 1 + i, top + 8) == yellow.shadow && icon.pixel(left + 8, top + 1 + i) == yellow.shadow,
                         qPrintable(tile + QStringLiteral("bottom or right edge")));
            }
            QString digit;
            for (int y = top + 1; y < top + 8; ++y) {
                for (int x = left + 1; x < left + 8; ++x) {
                    QVERIFY2(icon.pixel(x, y) == yellow.face || isBlack(icon, x, y), qPrintable(tile + at(x, y)));
                    // One pixel thick: no 2 by 2 block of black.
                    const bool block = isBlack(icon, x, y) && isBlack(icon, x + 1, y) && isBlack(icon, x, y + 1) && isBlack(icon, x + 1, y + 1);
                    QVERIFY2(!block, qPrintable(tile + QStringLiteral("stroke too thick at ") + at(x, y)));
                    digit += isBlack(icon, x, y) ? QLatin1Char('#') : QLatin1Char('.');
                }
            }
            const Box box = blackBox(icon, left, top, 9, 9);
            QVERIFY2(box.bottom - box.top + 1 == 6, qPrintable(tile + QStringLiteral("digit is not 6 high")));
            digits.insert(digit);
            for (int y = top; y < top + 9; ++y)
                for (int x = left; x < left + 9; ++x)
                    onTiles.insert(y * 32 + x);
        }
        QCOMPARE(digits.size(), 8);

        // Everything off the eight tiles, the bottom-right place included, is pale
        // sky with lighter patches.
        int darkest = 255;
        int lightest = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (onTiles.contains(y * 32 + x))
                    continue;
                QVERIFY2(isIconSky(icon.pixel(x, y)), qPrintable(at(x, y) + QStringLiteral(" is not sky")));
                darkest = std::min(darkest, qGray(icon.pixel(x, y)));
                lightest = std::max(lightest, qGray(icon.pixel(x, y)));
            }
        }
        QVERIFY(lightest - darkest >= 20);
    }

    void backgroundIsALightBlueSkyWithWhiteClouds()
    {
        const QImage sky = background();
        QCOMPARE(sky.size(), QSize(200, 200));
        QCOMPARE(sky.format(), QImage::Format_RGB32);
        double red = 0, green = 0, blue = 0;
        int white = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                const QRgb c = sky.pixel(x, y);
                red += qRed(c);
                green += qGreen(c);
                blue += qBlue(c);
                white += qRed(c) >= 200 && qGreen(c) >= 220 && qBlue(c) >= 240;
            }
        }
        const double pixels = 200.0 * 200.0;
        QVERIFY2(blue > green && green > red, "blue on average");
        QVERIFY2(blue / pixels >= 220 && (red + green + blue) / 3 / pixels >= 170, "light on average");
        QVERIFY2(white >= pixels * 0.03 && white <= pixels * 0.5, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
    }

    void backgroundRepeatsWithoutASeam()
    {
        const QImage sky = background();
        const int n = sky.width();
        // How far line i differs from line i + 1, the line after the last being the first.
        const auto step = [&](int i, bool columns) {
            long sum = 0;
            for (int k = 0; k < n; ++k)
                sum += columns ? distance(sky.pixel(i, k), sky.pixel((i + 1) % n, k)) : distance(sky.pixel(k, i), sky.pixel(k, (i + 1) % n));
            return sum;
        };
        for (const bool columns : {true, false}) {
            long inside = 0;
            for (int i = 0; i + 1 < n; ++i)
                inside = std::max(inside, step(i, columns));
            QVERIFY2(step(n - 1, columns) <= inside,
                     qPrintable(QStringLiteral("seam %1, inside at most %2").arg(step(n - 1, columns)).arg(inside)));
        }
        // Soft clouds: neighbours never jump far, across the wrap-around edges too.
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                QVERIFY2(distance(sky.pixel(x, y), sky.pixel((x + 1) % n, y)) <= 45 && distance(sky.pixel(x, y), sky.pixel(x, (y + 1) % n)) <= 45,
                         qPrintable(at(x, y)));
    }
};

QTEST_APPLESS_MAIN(PicturesTest)
#include "pictures_tests.moc"
