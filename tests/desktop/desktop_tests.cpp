// Plays the built program on a real X server: real key and mouse input, the board read off the screen.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <array>

#include "pictures.h"

namespace {

using Board = std::array<int, 17>; // Board[k]: tile on square k, 16 for the gap

int rowOf(int k) { return (k - 1) / 4; }
int columnOf(int k) { return (k - 1) % 4; }
int gapOf(const Board &b) { return int(std::find(b.begin() + 1, b.end(), 16) - b.begin()); }

// What a press on square p does to the board: the run between p and the gap,
// when they share a row or a column, slides one square towards the gap.
Board slid(Board b, int p)
{
    const int gap = gapOf(b);
    if (p < 1 || p > 16 || p == gap || (rowOf(p) != rowOf(gap) && columnOf(p) != columnOf(gap)))
        return b;
    const int step = rowOf(p) == rowOf(gap) ? (gap > p ? 1 : -1) : (gap > p ? 4 : -4);
    for (int d = gap; d != p; d -= step)
        b[d] = b[d - step];
    b[p] = 16;
    return b;
}

const Board solved{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

QByteArray show(const Board &b)
{
    QByteArray s;
    for (int k = 1; k <= 16; ++k)
        s += (b[k] == 16 ? QByteArray("_") : QByteArray::number(b[k])) + (k % 4 ? " " : " / ");
    return s;
}

void xdotool(const QStringList &args, QString *out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    if (out)
        *out = QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
}

} // namespace

class DesktopTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_game.kill(); m_game.waitForFinished(); }
    void beforeTheFirstShuffleOnlyTheButtonTakesKeys();
    void keysAndEveryMouseButtonSlideTiles();
    void helpPanelCoversTheBoardUntilPressed();
    void avslutaEndsTheProgram();

private:
    QImage grab() const { return QGuiApplication::primaryScreen()->grabWindow(m_window.toULongLong()).toImage().convertToFormat(QImage::Format_RGB32); }
    bool readBoard(Board &board) const;
    // The board on screen once it differs from `before`, or after waitMs.
    Board boardAfter(const Board &before, int waitMs = 2000) const;
    void key(const char *keys) { xdotool({QStringLiteral("key"), QString::fromLatin1(keys)}); }
    void click(int square, int button, int repeat = 1);

    QProcess m_game;
    QString m_window;
    int m_menuHeight = 0;
    std::array<QImage, 137> m_pictures;
};

void DesktopTests::initTestCase()
{
    for (int id = 101; id <= 136; ++id)
        if (id <= 115 || id >= 122)
            m_pictures[id] = glidor::pictures::picture(id).convertToFormat(QImage::Format_RGB32);
    m_game.setProgram(QStringLiteral(GLIDOR_PROGRAM));
    m_game.setProcessChannelMode(QProcess::ForwardedChannels);
    m_game.start();
    QVERIFY(m_game.waitForStarted());
    xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
             QString::number(m_game.processId()), QStringLiteral("--name"), QStringLiteral("^ Glidor av Brickmakare$")},
            &m_window);
    QVERIFY2(!m_window.isEmpty(), "the window never appeared");
    QTRY_VERIFY(!grab().isNull());
    m_menuHeight = grab().height() - 191; // the client area is 191 high
    QVERIFY(m_menuHeight > 10 && m_menuHeight < 60);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
}

bool DesktopTests::readBoard(Board &board) const
{
    const QImage screen = grab();
    for (int k = 1; k <= 16; ++k) {
        const QImage square = screen.copy(32 * columnOf(k) + 32, 32 * rowOf(k) + 32 + m_menuHeight, 32, 32);
        const auto match = std::find(m_pictures.begin() + 101, m_pictures.end(), square);
        const int id = int(match - m_pictures.begin());
        const int tile = id <= 115 ? id - 100 : id - 121;
        // The gap shows the sky: clearly bluer than red, unlike tiles and the help panel.
        const QRgb centre = square.pixel(16, 16);
        if (match == m_pictures.end() && qBlue(centre) > qRed(centre) + 30)
            board[k] = 16;
        else if (match != m_pictures.end() && (id <= 115) == (tile == k)) // yellow exactly at home
            board[k] = tile;
        else {
            square.save(QStringLiteral("unreadable-square-%1.png").arg(k));
            return false;
        }
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
            break;
    } while (timer.elapsed() < waitMs);
    return now;
}

void DesktopTests::click(int square, int button, int repeat)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_window, QString::number(32 * columnOf(square) + 48),
             QString::number(32 * rowOf(square) + 48 + m_menuHeight), QStringLiteral("click"), QStringLiteral("--repeat"),
             QString::number(repeat), QStringLiteral("--delay"), QStringLiteral("60"), QString::number(button)});
}

void DesktopTests::beforeTheFirstShuffleOnlyTheButtonTakesKeys()
{
    Board board{};
    QTRY_VERIFY(readBoard(board));
    QCOMPARE(show(board), show(solved));
    key("Right");
    key("Down");
    click(15, 1);
    click(12, 3);
    QCOMPARE(show(boardAfter(solved, 500)), show(solved));
    key("space");
    board = boardAfter(solved);
    QVERIFY2(board != solved, "Space on the focused button dealt no game");
    QVERIFY(std::is_permutation(board.begin() + 1, board.end(), solved.begin() + 1));
}

void DesktopTests::keysAndEveryMouseButtonSlideTiles()
{
    Board board{};
    QVERIFY(readBoard(board));
    // An arrow names the direction a tile moves in: the tile comes from the other side of the gap.
    const struct { const char *key; int from; } arrows[] = {{"Right", -1}, {"Left", +1}, {"Down", -4}, {"Up", +4}};
    for (int round = 0; round < 2; ++round)
        for (const auto &arrow : arrows) {
            const int target = gapOf(board) + arrow.from;
            const bool sameLine = columnOf(gapOf(board)) == columnOf(target) || rowOf(gapOf(board)) == rowOf(target);
            const Board expected = sameLine ? slid(board, target) : board;
            key(arrow.key);
            board = boardAfter(board, expected == board ? 300 : 2000);
            QCOMPARE(show(board), show(expected));
        }
    // Any button on the square farthest from the gap in its row slides the whole run.
    for (int button : {1, 2, 3}) {
        const int gap = gapOf(board);
        const int p = columnOf(gap) <= 1 ? gap + 3 - columnOf(gap) : gap - columnOf(gap);
        const Board expected = slid(board, p);
        click(p, button);
        board = boardAfter(board);
        QCOMPARE(show(board), show(expected));
    }
    // A double-click moves a tile once: its second press lands on the new gap.
    const int p = rowOf(gapOf(board)) > 0 ? gapOf(board) - 4 : gapOf(board) + 4;
    const Board expected = slid(board, p);
    click(p, 1, 2);
    QTest::qWait(400);
    QCOMPARE(show(boardAfter(board)), show(expected));
}

void DesktopTests::helpPanelCoversTheBoardUntilPressed()
{
    Board before{}, covered{};
    QVERIFY(readBoard(before));
    key("alt+h");
    QTest::qWait(200);
    key("h");
    QTRY_VERIFY(!readBoard(covered));
    const QImage client = grab().copy(0, m_menuHeight, 307, 191);
    int bluish = 0; // no tile and no sky may show through the panel
    for (int y = 0; y < client.height(); ++y)
        for (int x = 0; x < client.width(); ++x)
            bluish += qBlue(client.pixel(x, y)) > qRed(client.pixel(x, y)) + 30;
    QCOMPARE(bluish, 0);
    click(6, 1);
    QTRY_VERIFY(readBoard(covered));
    QCOMPARE(show(covered), show(before));
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
