// Plays the built program on a real X server: real key and mouse input, the board read off the screen.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <array>

#include "pictures.h"

namespace {

using Board = std::array<int, 17>; // Board[k] = tile on square k, 16 for the gap; [0] unused

constexpr int Gap = 16;

QString xdotool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

int rowOf(int k) { return (k - 1) / 4 + 1; }
int columnOf(int k) { return (k - 1) % 4 + 1; }

// The board a press on square p leaves: the run between p and the gap, when
// they share a row or a column, slides one square towards the gap.
Board slid(Board b, int p)
{
    if (p < 1 || p > 16)
        return b;
    int gap = 1;
    while (b[gap] != Gap)
        ++gap;
    int step = 0;
    if (rowOf(p) == rowOf(gap) && p != gap)
        step = gap > p ? 1 : -1;
    else if (columnOf(p) == columnOf(gap) && p != gap)
        step = gap > p ? 4 : -4;
    if (step == 0)
        return b;
    for (int d = gap; d != p; d -= step)
        b[d] = b[d - step];
    b[p] = Gap;
    return b;
}

int gapOf(const Board &b)
{
    for (int k = 1; k <= 16; ++k)
        if (b[k] == Gap)
            return k;
    return 0;
}

Board solved()
{
    Board b{};
    for (int k = 1; k <= 16; ++k)
        b[k] = k;
    return b;
}

QString show(const Board &b)
{
    QString s;
    for (int k = 1; k <= 16; ++k)
        s += (b[k] == Gap ? QStringLiteral("_") : QString::number(b[k])) + (k % 4 ? QStringLiteral(" ") : QStringLiteral(" / "));
    return s;
}

} // namespace

class DesktopTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startShowsTheSolvedBoard();
    void beforeTheFirstShuffleArrowsAndPressesDoNothing();
    void spaceOnTheFocusedButtonDealsAGame();
    void arrowKeysSlideATileIntoTheGap();
    void everyMouseButtonSlidesTheWholeRun();
    void doubleClickMovesATileOnce();
    void helpPanelCoversTheBoardUntilPressed();
    void avslutaEndsTheProgram();

private:
    QImage grab() const;
    // Reads the sixteen squares off the screen; fails the test on a square
    // that shows neither a tile picture nor the sky.
    bool readBoard(Board &board) const;
    // Waits until the screen shows a board other than `before` (or the time runs out).
    Board boardAfter(const Board &before, int waitMs = 2000) const;
    void key(const char *keys);
    void click(int square, int button, int repeat = 1);

    QProcess m_game;
    QString m_window;
    int m_menuHeight = 0;
    std::array<QImage, 137> m_pictures;
    Board m_board{};
};

void DesktopTests::initTestCase()
{
    for (int t = 1; t <= 15; ++t) {
        m_pictures[100 + t] = glidor::pictures::picture(100 + t).convertToFormat(QImage::Format_RGB32);
        m_pictures[121 + t] = glidor::pictures::picture(121 + t).convertToFormat(QImage::Format_RGB32);
    }
    m_game.setProgram(QStringLiteral(GLIDOR_PROGRAM));
    m_game.setProcessChannelMode(QProcess::ForwardedChannels);
    m_game.start();
    QVERIFY(m_game.waitForStarted());
    m_window = xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(m_game.processId()),
                        QStringLiteral("--name"), QStringLiteral("^ Glidor av Brickmakare$")})
                   .section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(!m_window.isEmpty(), "the window never appeared");
    // The client area is 191 high; what lies above it is the menu bar.
    QTRY_VERIFY(!grab().isNull());
    m_menuHeight = grab().height() - 191;
    QVERIFY2(m_menuHeight > 10 && m_menuHeight < 60, qPrintable(QString::number(m_menuHeight)));
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
}

void DesktopTests::cleanupTestCase()
{
    if (m_game.state() != QProcess::NotRunning) {
        m_game.kill();
        m_game.waitForFinished();
    }
}

QImage DesktopTests::grab() const
{
    return QGuiApplication::primaryScreen()->grabWindow(m_window.toULongLong()).toImage().convertToFormat(QImage::Format_RGB32);
}

bool DesktopTests::readBoard(Board &board) const
{
    const QImage screen = grab();
    board = {};
    for (int k = 1; k <= 16; ++k) {
        const QImage square = screen.copy(32 * columnOf(k), 32 * rowOf(k) + m_menuHeight, 32, 32);
        int found = 0;
        for (int id = 101; id <= 136 && !found; ++id)
            if (!m_pictures[id].isNull() && square == m_pictures[id])
                found = id;
        if (found) {
            const int tile = found <= 115 ? found - 100 : found - 121;
            // Yellow exactly on the home square, grey everywhere else.
            if ((found <= 115) != (tile == k)) {
                qWarning("square %d shows picture %d", k, found);
                return false;
            }
            board[k] = tile;
            continue;
        }
        // The gap shows the sky: clearly bluer than it is red, unlike the
        // tiles and the grey of the help panel.
        const QRgb centre = square.pixel(16, 16);
        if (qBlue(centre) < qRed(centre) + 30) {
            square.save(QStringLiteral("square-%1.png").arg(k));
            qWarning("square %d shows neither a tile nor the sky (saved square-%d.png)", k, k);
            return false;
        }
        board[k] = Gap;
    }
    return true;
}

Board DesktopTests::boardAfter(const Board &before, int waitMs) const
{
    Board now{};
    QElapsedTimer timer;
    timer.start();
    do {
        QTest::qWait(20);
        if (readBoard(now) && now != before)
            return now;
    } while (timer.elapsed() < waitMs);
    return now;
}

void DesktopTests::key(const char *keys)
{
    xdotool({QStringLiteral("key"), QString::fromLatin1(keys)});
}

void DesktopTests::click(int square, int button, int repeat)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
             QString::number(32 * columnOf(square) + 16), QString::number(32 * rowOf(square) + 16 + m_menuHeight),
             QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(repeat),
             QStringLiteral("--delay"), QStringLiteral("60"), QString::number(button)});
}

void DesktopTests::startShowsTheSolvedBoard()
{
    QTRY_VERIFY(readBoard(m_board));
    QCOMPARE(show(m_board), show(solved()));
}

void DesktopTests::beforeTheFirstShuffleArrowsAndPressesDoNothing()
{
    key("Right");
    key("Down");
    click(15, 1);
    click(12, 3);
    QCOMPARE(show(boardAfter(m_board, 500)), show(solved()));
}

void DesktopTests::spaceOnTheFocusedButtonDealsAGame()
{
    key("space");
    m_board = boardAfter(solved());
    QVERIFY2(m_board != solved(), "the board is still in order after a shuffle");
    std::array<int, 17> seen{};
    for (int k = 1; k <= 16; ++k)
        ++seen[m_board[k]];
    for (int t = 1; t <= 16; ++t)
        QCOMPARE(seen[t], 1);
}

void DesktopTests::arrowKeysSlideATileIntoTheGap()
{
    // Each arrow names the direction the tile moves in; from the gap the moving
    // tile lies on the opposite side. Try each key twice from wherever the gap is.
    const struct { const char *key; int from; } arrows[] = {{"Right", -1}, {"Left", +1}, {"Down", -4}, {"Up", +4}};
    for (int round = 0; round < 2; ++round) {
        for (const auto &arrow : arrows) {
            const int target = gapOf(m_board) + arrow.from;
            const bool sameLine = target >= 1 && target <= 16
                && (rowOf(target) == rowOf(gapOf(m_board)) || columnOf(target) == columnOf(gapOf(m_board)));
            const Board expected = sameLine ? slid(m_board, target) : m_board;
            key(arrow.key);
            m_board = expected == m_board ? boardAfter(m_board, 300) : boardAfter(m_board);
            QCOMPARE(show(m_board), show(expected));
        }
    }
}

void DesktopTests::everyMouseButtonSlidesTheWholeRun()
{
    for (int button : {1, 2, 3}) {
        // The square farthest from the gap in its row moves the longest run.
        const int gap = gapOf(m_board);
        const int p = columnOf(gap) <= 2 ? gap + (4 - columnOf(gap)) : gap - (columnOf(gap) - 1);
        const Board expected = slid(m_board, p);
        click(p, button);
        m_board = boardAfter(m_board);
        QCOMPARE(show(m_board), show(expected));
    }
}

void DesktopTests::doubleClickMovesATileOnce()
{
    const int gap = gapOf(m_board);
    const int p = rowOf(gap) > 1 ? gap - 4 : gap + 4;
    const Board expected = slid(m_board, p);
    click(p, 1, 2);
    m_board = boardAfter(m_board);
    QTest::qWait(300);
    QVERIFY(readBoard(m_board));
    QCOMPARE(show(m_board), show(expected));
}

void DesktopTests::helpPanelCoversTheBoardUntilPressed()
{
    key("alt+h");
    QTest::qWait(200);
    key("h");
    Board covered{};
    QTRY_VERIFY(!readBoard(covered));
    // No tile and no part of the sky shows through the panel.
    const QImage client = grab().copy(0, m_menuHeight, 307, 191);
    const QRgb panel = client.pixel(0, 0);
    int others = 0;
    for (int y = 0; y < client.height(); ++y)
        for (int x = 0; x < client.width(); ++x)
            others += client.pixel(x, y) != panel && qBlue(client.pixel(x, y)) > 200 && qRed(client.pixel(x, y)) < 180;
    QCOMPARE(others, 0);
    click(6, 1);
    QTRY_VERIFY(readBoard(covered));
    QCOMPARE(show(covered), show(m_board));
}

void DesktopTests::avslutaEndsTheProgram()
{
    key("alt+m");
    QTest::qWait(200);
    key("a");
    QVERIFY(m_game.waitForFinished(5000));
    QCOMPARE(m_game.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_game.exitCode(), 0);
}

QTEST_MAIN(DesktopTests)
#include "desktop_tests.moc"
