// The game on a real X server with a window manager: real input, the screen read back, the window
// as a desktop sees it. GLIDOR_PROGRAM names another program to play than the build's, such as the
// installed /usr/games/glidor.
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <pictures.h>
#include <set>

using glidor::pictures::picture;

static QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

static QList<int> numbers(const QString &text, const QString &pattern)
{
    QList<int> found;
    for (const auto &m : QRegularExpression(pattern).globalMatch(text))
        found << m.captured(1).toInt();
    return found;
}

// How far the tiles on the squares (4 bits each, square 1 lowest, 0 the gap) lie from home.
static int distance(quint64 squares)
{
    int sum = 0;
    for (int i = 0; i < 16; ++i)
        if (const int t = squares >> 4 * i & 15)
            sum += qAbs(i % 4 - (t - 1) % 4) + qAbs(i / 4 - (t - 1) / 4);
    return sum;
}

// Arrow keys that put the tiles in order: a weighted A* search, quick but seldom the shortest.
static QStringList solve(const quint64 squares)
{
    QHash<quint64, QStringList> path = { { squares, {} } }; // the keys to each board seen
    std::set<std::pair<int, quint64>> open = { { 0, squares } };
    quint64 s;
    while (distance(s = open.extract(open.begin()).value().second) != 0) {
        int g = 0; // the gap; an arrow moves the tile beside it into it, Right the one on its left
        while (s >> 4 * g & 15)
            ++g;
        for (const auto &[to, key] :
             { std::pair(g - 1, "Right"), { g + 1, "Left" }, { g - 4, "Down" }, { g + 4, "Up" } }) {
            const quint64 next =
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

class DesktopTests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() // the window manager, started beside the tests, is ready
    {
        QTRY_VERIFY_WITH_TIMEOUT(
                run("xprop", { "-root", "_NET_SUPPORTING_WM_CHECK" }).contains("window id"), 30000);
    }
    void aGameInAWindowCentredWithItsFrameAndItsMenuEntrysClass_data()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("1x") << 1;
        QTest::newRow("2x") << 2;
    }
    void aGameInAWindowCentredWithItsFrameAndItsMenuEntrysClass()
    {
        QFETCH(int, scale);
        QTemporaryDir runtime;
        QProcess game; // killed, should it still run, when the row ends
        game.start("env", // which becomes the game, in the same process
                   { "-u", "LANG", "-u", "LC_ALL", "-u", "LC_CTYPE",
                     "XDG_RUNTIME_DIR=" + runtime.path(),
                     "QT_SCALE_FACTOR=" + QString::number(scale),
                     qEnvironmentVariable("GLIDOR_PROGRAM", GLIDOR_PROGRAM) });
        const auto windows = [&] { // the game's windows on the screen
            return run("xdotool",
                       { "search", "--onlyvisible", "--pid", QString::number(game.processId()) })
                    .split('\n', Qt::SkipEmptyParts);
        };
        // Asked again until it answers: xdotool's own waiting (--sync) ends for good on an error
        // about a window of the game killed before, which is still going away.
        QVERIFY2(QTest::qWaitFor([&] { return !windows().isEmpty(); }, 30000), "no window");
        const QString window = windows().first();
        const auto grab = [&] {
            return QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
        };
        run("xdotool", { "windowactivate", "--sync", window });
        const int menu = int(grab().height()) / scale - 191; // the client area is 191 high
        // The board and its frame pixel by pixel, in the window's own pixels, each shown as `scale`
        // by `scale` screen pixels of one kind: d and p the dark and the pale frame line, y the
        // yellow look of a tile at home or black, s sky (bluer than any tile). Two pixels of sky
        // lie between the frame and the board on every side; the gap shows sky. Waits go by the
        // clock (qWaitFor): QTRY's count of steps leaves out the time the check itself takes.
        const QHash<QRgb, char> kinds = { { qRgb(0, 128, 128), 'd' }, { qRgb(192, 255, 255), 'p' },
                                          { qRgb(206, 203, 0), 'y' }, { qRgb(255, 255, 0), 'y' },
                                          { qRgb(148, 150, 0), 'y' }, { qRgb(0, 0, 0), 'y' } };
        const auto kind = [&](QRgb c) { return kinds.value(c, qBlue(c) > qRed(c) ? 's' : '?'); };
        QString why; // the first pixel not as drawn
        const auto drawn = [&] {
            const QImage shot = grab();
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
                    if (kind(shot.pixel(x * scale + j % scale, (menu + y) * scale + j / scale))
                        != wanted) {
                        why = QString::asprintf("at %d,%d not only %c", x, y, wanted);
                        return false;
                    }
            }
            return true;
        };
        QVERIFY2(QTest::qWaitFor(drawn, 20000), qPrintable(why));
        // The whole window, the frame the window manager put around it included, in the middle of
        // the screen.
        const auto centred = [&] { // x, y, width and height of the client window; left, right, top
                                   // and bottom of the frame
            const QList<int> at = numbers(run("xwininfo", { "-id", window }),
                                          "(?:Absolute upper-left [XY]|Width|Height): +(-?\\d+)");
            const QList<int> frame =
                    numbers(run("xprop", { "-id", window, "_NET_FRAME_EXTENTS" }), "(\\d+)");
            const QSize screen = QGuiApplication::primaryScreen()->size();
            return at.size() + frame.size() == 8 && at[2] == 307 * scale
                    && qAbs(2 * at[0] + at[2] + frame[1] - frame[0] - screen.width()) <= 2
                    && qAbs(2 * at[1] + at[3] + frame[3] - frame[2] - screen.height()) <= 2;
        };
        QVERIFY(QTest::qWaitFor(centred, 20000));
        // The task bar finds the menu entry by the window class, and shows an icon drawn for its
        // size.
        QCOMPARE(run("xprop", { "-id", window, "WM_CLASS" }).section('"', 3, 3),
                 run("grep", { "-oP", "(?<=^StartupWMClass=).*", GLIDOR_DESKTOP_ENTRY }).trimmed());
        if (scale == 1)
            QCOMPARE(numbers(run("xprop", { "-id", window, "_NET_WM_ICON" }), "Icon \\((\\d+) x"),
                     QList<int>({ 16, 24, 32, 48, 64, 128 }));

        // The first key, an arrow that moves nothing yet, loads the sound back end; Space deals, a
        // press beside the gap in its row moves a tile, and Avsluta ends the game, with nothing
        // printed on the way, no locale set.
        const auto board = [&] {
            return grab().copy(32 * scale, (32 + menu) * scale, 128 * scale, 128 * scale);
        };
        const auto soundLoaded = [&] {
            QFile maps(QStringLiteral("/proc/%1/maps").arg(game.processId()));
            return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("glidor-sound.so");
        };
        QVERIFY2(!soundLoaded(), "the sound back end was loaded before any input");
        run("xdotool", { "key", "--window", window, "Right" });
        QVERIFY(QTest::qWaitFor(soundLoaded, 20000));
        const QImage start = board();
        run("xdotool", { "key", "--window", window, "space" });
        QVERIFY(QTest::qWaitFor([&] { return board() != start; }, 20000));
        // What the sound server plays, from its sink's monitor (its only source): the press waits
        // for a quiet 0.3 s, past the deal's own sound, and the move must then be heard.
        QProcess rec;
        rec.start("parec", { "--raw", "--rate=8000", "--channels=1", "--latency-msec=20" });
        QByteArray heard;
        const auto quiet = [&] {
            heard += rec.readAll();
            return heard.size() > 4800 && heard.right(4800).count('\0') == 4800;
        };
        QVERIFY2(QTest::qWaitFor(quiet, 20000), "no quiet on the sound server");
        // The board is read off the screen, a window pixel for each `scale` by `scale` block,
        // square by square against the game's own tile pictures, at home or away; a press on the
        // tile beside the gap in its row moves it, and the rest is put in order by arrow keys. The
        // last key, sent once all else is shown and quiet, must end the game with the long chime
        // of a win, not the short slide of a move (0.9 s of sound, not 0.09 s).
        const auto tiles = [&] { // 0 until each square shows a tile or the gap
            const QImage shot = board().scaled(128, 128).convertToFormat(QImage::Format_RGB32);
            quint64 squares = 0, seen = 0;
            for (int i = 0; i < 16; ++i) {
                int t = 15;
                for (const QImage square = shot.copy(i % 4 * 32, i / 4 * 32, 32, 32); t > 0; --t)
                    if (square == picture(100 + t) || square == picture(121 + t))
                        break;
                squares |= quint64(t) << 4 * i;
                seen |= 1 << t;
            }
            return seen == 0xffff ? squares : 0;
        };
        quint64 now = 0;
        QVERIFY(QTest::qWaitFor([&] { return (now = tiles()) != 0; }, 20000));
        int gap = 0;
        while (now >> 4 * gap & 15)
            ++gap;
        run("xdotool",
            { "mousemove", "--window", window, QString::number((48 + (gap ^ 1) % 4 * 32) * scale),
              QString::number((menu + 48 + gap / 4 * 32) * scale), "click", "1" });
        QVERIFY(QTest::qWaitFor([&, dealt = now] { return (now = tiles()) && now != dealt; },
                                20000));
        QVERIFY2(QTest::qWaitFor([&] { return !quiet(); }, 20000), "the move was not heard");
        QStringList keys = solve(now);
        const QString last = keys.takeLast();
        for (int i = 0; i < keys.size(); i += 50)
            run("xdotool",
                QStringList{ "key", "--window", window, "--delay", "10" } + keys.mid(i, 50));
        QVERIFY2(QTest::qWaitFor([&] { return distance(tiles()) == 1 && quiet(); }, 30000),
                 "the keys did not bring the board one move from order");
        const qsizetype mark = heard.size();
        run("xdotool", { "key", "--window", window, last });
        QVERIFY2(QTest::qWaitFor([&] { return board() == start; }, 20000), "not solved");
        const auto sound = [&] { // bytes of sound heard since the last key
            quiet();
            return heard.size() - mark - heard.mid(mark).count('\0');
        };
        QVERIFY2(QTest::qWaitFor([&] { return sound() > 4000; }, 20000), "no win heard");
        rec.close();
        run("xdotool", { "key", "--window", window, "alt+m" });
        QVERIFY(QTest::qWaitFor([&] { return windows().size() > 1; }, 20000)); // the menu too
        run("xdotool", { "key", "a" }); // to the menu, which holds the keyboard
        QVERIFY(game.waitForFinished(20000) && game.exitStatus() == QProcess::NormalExit
                && game.exitCode() == 0);
        QCOMPARE(game.readAllStandardError(), QByteArray());
    }
};

QTEST_MAIN(DesktopTests)
#include "desktop_tests.moc"
