// The game on a real X server with a window manager: real input, the screen read back, the window
// as a desktop sees it. GLIDOR_PROGRAM names another program to play than the build's, such as the
// installed /usr/games/glidor.
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <pictures.h>
#include <memory>
#include <set>

using glidor::pictures::picture;

namespace {

// Waits go by the clock (qWaitFor): QTRY's count of steps leaves out the time the check itself
// takes.
constexpr int patience = 20000; // ms

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QList<int> numbers(const QString &text, const QString &pattern)
{
    QList<int> found;
    for (const auto &m : QRegularExpression(pattern).globalMatch(text))
        found << m.captured(1).toInt();
    return found;
}

// A board as read off the screen: the tile on each square, 4 bits a square, square 1 (top left)
// lowest, 0 the gap.
using Squares = quint64;
constexpr Squares inOrder = 0x0fedcba987654321;

// The square of the gap, 0 to 15 in reading order.
int gapOf(Squares squares)
{
    int g = 0;
    while (squares >> 4 * g & 15)
        ++g;
    return g;
}

// How far the tiles lie from home, in moves of one square.
int distance(Squares squares)
{
    int sum = 0;
    for (int i = 0; i < 16; ++i)
        if (const int t = squares >> 4 * i & 15)
            sum += qAbs(i % 4 - (t - 1) % 4) + qAbs(i / 4 - (t - 1) / 4);
    return sum;
}

// Arrow keys that put the tiles in order: a weighted A* search, quick but seldom the shortest.
QStringList solve(const Squares squares)
{
    QHash<Squares, QStringList> path = { { squares, {} } }; // the keys to each board seen
    std::set<std::pair<int, Squares>> open = { { 0, squares } };
    Squares s;
    while (distance(s = open.extract(open.begin()).value().second) != 0) {
        // An arrow moves the tile beside the gap into it, Right the one on its left.
        const int g = gapOf(s);
        for (const auto &[to, key] :
             { std::pair(g - 1, "Right"), { g + 1, "Left" }, { g - 4, "Down" }, { g + 4, "Up" } }) {
            const Squares next =
                    (s & ~(15ull << (4 * to & 63))) | (s >> (4 * to & 63) & 15) << 4 * g;
            if (to >= 0 && to < 16 && (to / 4 == g / 4 || to % 4 == g % 4)
                && !path.contains(next)) {
                path[next] = path[s] + QStringList{ key };
                open.insert({ path[next].size() + 5 * distance(next), next });
            }
        }
    }
    return path[s];
}

// One game on the screen, started at `scale` (each window pixel shown as `scale` by `scale` screen
// pixels) with no locale set and a runtime folder of its own; killed, should it still run, when it
// goes.
class Game
{
public:
    explicit Game(int scale) : m_scale(scale)
    {
        m_process.start("env", // which becomes the game, in the same process
                        { "-u", "LANG", "-u", "LC_ALL", "-u", "LC_CTYPE",
                          "XDG_RUNTIME_DIR=" + m_runtime.path(),
                          "QT_SCALE_FACTOR=" + QString::number(scale),
                          qEnvironmentVariable("GLIDOR_PROGRAM", GLIDOR_PROGRAM) });
    }
    ~Game() { end(); }

    QProcess &process() { return m_process; }
    // Kills the game, should it still run, and gives all it printed on its error output.
    QByteArray end()
    {
        m_process.kill();
        m_process.waitForFinished();
        return m_process.readAllStandardError();
    }

    // The game's windows on the screen: its main window, and its menu while that is open.
    QStringList windows() const
    {
        return run("xdotool",
                   { "search", "--onlyvisible", "--pid", QString::number(m_process.processId()) })
                .split('\n', Qt::SkipEmptyParts);
    }

    // Whether its window came and has the keyboard.
    bool opened()
    {
        // Asked again until it answers: xdotool's own waiting (--sync) ends for good on an error
        // about a window of the game killed before, which is still going away.
        if (!QTest::qWaitFor([&] { return !windows().isEmpty(); }, 30000))
            return false;
        m_window = windows().first();
        run("xdotool", { "windowactivate", "--sync", m_window });
        return true;
    }
    QString window() const { return m_window; }

    // Whether the board came to show every tile at home, as the game starts.
    bool shownInOrder() const
    {
        return QTest::qWaitFor([&] { return squares() == inOrder; }, patience);
    }

    // The client area below the menu bar, 307 by 191 window pixels, in screen pixels.
    QImage client() const
    {
        const QImage shot = grab();
        return shot.copy(0, shot.height() - 191 * m_scale, 307 * m_scale, 191 * m_scale);
    }
    QImage board() const
    {
        return client().copy(32 * m_scale, 32 * m_scale, 128 * m_scale, 128 * m_scale);
    }

    // The board read a window pixel for each `scale` by `scale` block, square by square against
    // the game's own tile pictures, at home or away; 0 until each square shows a tile or the gap.
    Squares squares() const
    {
        const QImage shot = board().scaled(128, 128).convertToFormat(QImage::Format_RGB32);
        Squares squares = 0, seen = 0;
        for (int i = 0; i < 16; ++i) {
            int t = 15;
            for (const QImage square = shot.copy(i % 4 * 32, i / 4 * 32, 32, 32); t > 0; --t)
                if (square == picture(100 + t) || square == picture(121 + t))
                    break;
            squares |= Squares(t) << 4 * i;
            seen |= 1 << t;
        }
        return seen == 0xffff ? squares : 0;
    }

    void keys(const QStringList &names) const
    {
        run("xdotool", QStringList{ "key", "--window", m_window, "--delay", "10" } + names);
    }
    // A press on the square at `column` and `row` (0 to 3) of the board.
    void press(int column, int row) const
    {
        const int menu = grab().height() / m_scale - 191;
        run("xdotool",
            { "mousemove", "--window", m_window, QString::number((48 + column * 32) * m_scale),
              QString::number((menu + 48 + row * 32) * m_scale), "click", "1" });
    }

    bool soundLoaded() const
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(m_process.processId()));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("glidor-sound.so");
    }

private:
    QImage grab() const
    {
        return QGuiApplication::primaryScreen()->grabWindow(m_window.toULongLong()).toImage();
    }

    int m_scale;
    QTemporaryDir m_runtime;
    QProcess m_process;
    QString m_window;
};

// What the sound server plays, from its sink's monitor (its only source), as 8000 samples of 16
// bits a second. One recorder serves every case: the null sink, with no stream asking for less,
// renders two seconds at a time, so a new recorder hears its first bytes up to 2 s late.
class Ears
{
public:
    void start()
    {
        m_parec.start("parec", { "--raw", "--rate=8000", "--channels=1", "--latency-msec=20" });
    }
    ~Ears()
    {
        m_parec.kill();
        m_parec.waitForFinished();
    }

    // Whether the last 0.3 s were silent.
    bool quiet()
    {
        m_heard += m_parec.readAll();
        return m_heard.size() > 4800 && m_heard.right(4800).count('\0') == 4800;
    }
    // From now on, for soundSinceMark().
    void mark()
    {
        quiet();
        m_mark = m_heard.size();
    }
    // Bytes of sound since the mark: a move's 0.09 s is under 1500, a win's chime over 4000.
    qsizetype soundSinceMark()
    {
        quiet();
        return m_heard.size() - m_mark - m_heard.mid(m_mark).count('\0');
    }

private:
    QProcess m_parec;
    QByteArray m_heard;
    qsizetype m_mark = 0;
};

} // namespace

class DesktopTests : public QObject
{
    Q_OBJECT

    std::unique_ptr<Game> m_game;
    Ears m_ears;

    // Each case starts a game of its own, so that one that fails hides nothing of another.
    Game &start(int scale = 1)
    {
        m_game = std::make_unique<Game>(scale);
        return *m_game;
    }

    // Space deals, once the board is shown in order and the sound server is quiet; the deal is
    // seen, and heard (with the sound of a move). Gives the board dealt. Until the first sound is
    // heard the sound back end may still be loading, and a silence would prove nothing.
    Squares deal(Game &game)
    {
        Squares dealt = 0;
        [&] { // a function of its own, for QVERIFY to return from
            QVERIFY2(game.shownInOrder(), "no board in order");
            QVERIFY2(QTest::qWaitFor([&] { return m_ears.quiet(); }, patience),
                     "no quiet on the sound server");
            m_ears.mark();
            game.keys({ "space" });
            QVERIFY2(QTest::qWaitFor([&] { return (dealt = game.squares()) && dealt != inOrder; },
                                     patience),
                     "no deal seen");
            QVERIFY2(QTest::qWaitFor([&] { return m_ears.soundSinceMark() > 0; }, patience),
                     "no deal heard");
        }();
        return dealt;
    }

    static void addScales()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("1x") << 1;
        QTest::newRow("2x") << 2;
    }

private slots:
    void initTestCase() // the window manager, started beside the tests, is ready
    {
        m_ears.start();
        QTRY_VERIFY_WITH_TIMEOUT(
                run("xprop", { "-root", "_NET_SUPPORTING_WM_CHECK" }).contains("window id"), 30000);
    }

    // Whatever the case did, the game printed nothing on the way, with no locale set.
    void cleanup()
    {
        const QByteArray printed = m_game->end();
        m_game.reset();
        QCOMPARE(printed, QByteArray());
    }

    void theWindowIsCentredInItsFrameWithTheClassAndIconsOfItsMenuEntry_data() { addScales(); }
    void theWindowIsCentredInItsFrameWithTheClassAndIconsOfItsMenuEntry()
    {
        QFETCH(int, scale);
        Game &game = start(scale);
        QVERIFY2(game.opened(), "no window");
        // The board and its frame pixel by pixel, in the window's own pixels, each shown as `scale`
        // by `scale` screen pixels of one kind: d and p the dark and the pale frame line, y the
        // yellow look of a tile at home or black, s sky (bluer than any tile, and than the cyan of
        // the client area). Two pixels of sky lie between the frame and the board on every side;
        // the gap shows sky.
        const QHash<QRgb, char> kinds = { { qRgb(0, 128, 128), 'd' }, { qRgb(192, 255, 255), 'p' },
                                          { qRgb(206, 203, 0), 'y' }, { qRgb(255, 255, 0), 'y' },
                                          { qRgb(148, 150, 0), 'y' }, { qRgb(0, 0, 0), 'y' } };
        const auto kind = [&](QRgb c) {
            return kinds.value(c, qBlue(c) >= 230 && qBlue(c) > qRed(c) ? 's' : '?');
        };
        QString why; // the first pixel not as drawn
        const auto drawn = [&] {
            const QImage shot = game.client();
            for (int i = 0; i < 142 * 142; ++i) {
                const int x = 24 + i % 142, y = 24 + i / 142;
                const auto in = [x, y](int left, int top, int right, int bottom) {
                    return x >= left && x <= right && y >= top && y <= bottom;
                };
                const char wanted = in(28, 28, 29, 160) || in(28, 28, 160, 29) ? 'd'
                        : in(162, 30, 163, 161) || in(28, 162, 161, 163)       ? 'p'
                        : in(32, 32, 159, 159) && !in(128, 128, 159, 159)      ? 'y'
                                                                               : 's';
                for (int j = 0; j < scale * scale; ++j)
                    if (kind(shot.pixel(x * scale + j % scale, y * scale + j / scale)) != wanted) {
                        why = QString::asprintf("at %d,%d not only %c", x, y, wanted);
                        return false;
                    }
            }
            return true;
        };
        QVERIFY2(QTest::qWaitFor(drawn, patience), qPrintable(why));
        // The whole window, the frame the window manager put around it included, in the middle of
        // the screen.
        const auto centred = [&] { // x, y, width and height of the client window; left, right, top
                                   // and bottom of the frame
            const QList<int> at = numbers(run("xwininfo", { "-id", game.window() }),
                                          "(?:Absolute upper-left [XY]|Width|Height): +(-?\\d+)");
            const QList<int> frame =
                    numbers(run("xprop", { "-id", game.window(), "_NET_FRAME_EXTENTS" }), "(\\d+)");
            const QSize screen = QGuiApplication::primaryScreen()->size();
            return at.size() + frame.size() == 8 && at[2] == 307 * scale
                    && qAbs(2 * at[0] + at[2] + frame[1] - frame[0] - screen.width()) <= 2
                    && qAbs(2 * at[1] + at[3] + frame[3] - frame[2] - screen.height()) <= 2;
        };
        QVERIFY(QTest::qWaitFor(centred, patience));
        // The task bar finds the menu entry by the window class, and shows an icon drawn for its
        // size.
        QCOMPARE(run("xprop", { "-id", game.window(), "WM_CLASS" }).section('"', 3, 3),
                 run("grep", { "-oP", "(?<=^StartupWMClass=).*", GLIDOR_DESKTOP_ENTRY }).trimmed());
        if (scale == 1) // at 2x Qt hands the icons over at twice their sizes
            QCOMPARE(numbers(run("xprop", { "-id", game.window(), "_NET_WM_ICON" }),
                             "Icon \\((\\d+) x"),
                     QList<int>({ 16, 24, 32, 48, 64, 128 }));
    }

    void theSoundModuleIsLoadedAtTheFirstKeyAndNotBefore()
    {
        Game &game = start();
        QVERIFY2(game.opened(), "no window");
        QVERIFY2(game.shownInOrder(), "no board in order");
        QVERIFY2(!game.soundLoaded(), "loaded before any input");
        game.keys({ "Right" }); // moves nothing before a deal
        QVERIFY(QTest::qWaitFor([&] { return game.soundLoaded(); }, patience));
    }

    // The dealt board is put in order by arrow keys. The last key, sent once all else is shown and
    // quiet, must end the game with the long chime of a win, not the short slide of a move.
    void aGameIsWonWithTheArrowKeys_data() { addScales(); }
    void aGameIsWonWithTheArrowKeys()
    {
        QFETCH(int, scale);
        Game &game = start(scale);
        QVERIFY2(game.opened(), "no window");
        QVERIFY2(game.shownInOrder(), "no board in order");
        const QImage solved = game.board();
        const Squares dealt = deal(game);
        if (QTest::currentTestFailed())
            return;
        QStringList keys = solve(dealt);
        const QString last = keys.takeLast();
        for (int i = 0; i < keys.size(); i += 50)
            game.keys(keys.mid(i, 50));
        QVERIFY2(QTest::qWaitFor([&] { return distance(game.squares()) == 1 && m_ears.quiet(); },
                                 30000),
                 "the keys did not bring the board one move from order");
        m_ears.mark();
        game.keys({ last });
        QVERIFY2(QTest::qWaitFor([&] { return game.board() == solved; }, patience), "not solved");
        QVERIFY2(QTest::qWaitFor([&] { return m_ears.soundSinceMark() > 4000; }, patience),
                 "no win heard");
    }

    // After the deal, a press on the tile beside the gap in its row moves it, heard once the deal's
    // sound is over.
    void aDealAndAPressBesideTheGapAreSeenAndHeard_data() { addScales(); }
    void aDealAndAPressBesideTheGapAreSeenAndHeard()
    {
        QFETCH(int, scale);
        Game &game = start(scale);
        QVERIFY2(game.opened(), "no window");
        const Squares dealt = deal(game);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(QTest::qWaitFor([&] { return m_ears.quiet(); }, patience),
                 "no quiet after the deal");
        m_ears.mark();
        // The tile left of the gap, or right of it when the gap is in the first column.
        const int gap = gapOf(dealt);
        game.press(gap % 4 == 0 ? 1 : gap % 4 - 1, gap / 4);
        QVERIFY2(QTest::qWaitFor(
                         [&] {
                             const Squares now = game.squares();
                             return now && now != dealt;
                         },
                         patience),
                 "the press moved nothing");
        QVERIFY2(QTest::qWaitFor([&] { return m_ears.soundSinceMark() > 0; }, patience),
                 "the move was not heard");
    }

    void menyAvslutaEndsTheGame()
    {
        Game &game = start();
        QVERIFY2(game.opened(), "no window");
        QVERIFY2(game.shownInOrder(), "no board in order");
        game.keys({ "alt+m" });
        QVERIFY(QTest::qWaitFor([&] { return game.windows().size() > 1; }, patience)); // the menu
        run("xdotool", { "key", "a" }); // to the menu, which holds the keyboard
        QVERIFY(game.process().waitForFinished(patience));
        QCOMPARE(game.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(game.process().exitCode(), 0);
    }
};

QTEST_MAIN(DesktopTests)
#include "desktop_tests.moc"
