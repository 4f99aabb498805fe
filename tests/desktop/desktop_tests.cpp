// The built program on a real X server with a window manager: real input, the screen read back, the window as a desktop sees it.
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

namespace {

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

} // namespace

class DesktopTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_wm.start(QStringLiteral("openbox"), {});
        QTRY_VERIFY_WITH_TIMEOUT(run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"), 30000);
    }
    void cleanupTestCase() { m_wm.kill(); m_wm.waitForFinished(); }
    void cleanup()
    {
        m_game.kill();
        m_game.waitForFinished();
        QCOMPARE(m_game.readAllStandardError(), QByteArray()); // nothing printed, with no locale set
    }

    void opensCentredWithItsFrameAndMatchesItsMenuEntry_data()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("1x") << 1;
        QTest::newRow("2x") << 2;
    }
    void opensCentredWithItsFrameAndMatchesItsMenuEntry()
    {
        QFETCH(int, scale);
        QCOMPARE(open(scale), QString());
        // Where the client window is and how big, and the frame the window manager put around it.
        const auto centred = [&] {
            const QList<int> at = numbers(run("xwininfo", {"-id", m_window}), "(?:Absolute upper-left [XY]|Width|Height): +(-?\\d+)");
            const QList<int> frame = numbers(run("xprop", {"-id", m_window, "_NET_FRAME_EXTENTS"}), "(\\d+)"); // left, right, top, bottom
            const QSize screen = QGuiApplication::primaryScreen()->size();
            return at.size() + frame.size() == 8 && at[2] == 307 * scale && qAbs(2 * at[0] + at[2] + frame[1] - frame[0] - screen.width()) <= 2
                && qAbs(2 * at[1] + at[3] + frame[3] - frame[2] - screen.height()) <= 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(centred(), 20000);

        // The task bar finds the menu entry by the window class, and shows an icon drawn for its size.
        const QString wmClass = run("grep", {"-oP", "(?<=^StartupWMClass=).*", GLIDOR_DESKTOP_ENTRY}).trimmed();
        QCOMPARE(run("xprop", {"-id", m_window, "WM_CLASS"}).section('"', 3, 3), wmClass);
        if (scale == 1)
            QCOMPARE(numbers(run("xprop", {"-id", m_window, "_NET_WM_ICON"}), "Icon \\((\\d+) x"), QList<int>({16, 24, 32, 48, 64, 128}));
    }

    void spaceDealsAPressMovesATileAndAvslutaEnds()
    {
        QCOMPARE(open(1), QString());
        QVERIFY2(!soundLoaded(), "the sound back end was loaded before any input");
        const QImage start = board();
        run("xdotool", {"key", "--window", m_window, "space"});
        QTRY_VERIFY_WITH_TIMEOUT(board() != start, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(soundLoaded(), 20000);
        // The square beside the gap in its row (the gap shows the sky, bluer than any tile) moves into it.
        QTest::qWait(300);
        const QImage before = board();
        int gap = 0;
        while (gap < 16 && qBlue(before.pixel(16 + 32 * (gap % 4), 16 + 32 * (gap / 4))) <= qRed(before.pixel(16 + 32 * (gap % 4), 16 + 32 * (gap / 4))))
            ++gap;
        QVERIFY(gap < 16);
        run("xdotool", {"mousemove", "--window", m_window, QString::number(48 + 32 * ((gap ^ 1) % 4)),
                        QString::number(m_menu + 48 + 32 * (gap / 4)), "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(board() != before, 20000);
        run("xdotool", {"key", "--window", m_window, "alt+m"});
        QTest::qWait(300);
        run("xdotool", {"key", "a"});
        QVERIFY(m_game.waitForFinished(20000) && m_game.exitStatus() == QProcess::NormalExit);
        QCOMPARE(m_game.exitCode(), 0);
    }

private:
    // Starts the game at `scale` and waits until its window shows the solved board in its frame; says what went wrong.
    QString open(int scale)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LANG", "LC_ALL", "LC_CTYPE"})
            env.remove(name);
        env.insert("XDG_RUNTIME_DIR", m_runtime.path());
        env.insert("QT_SCALE_FACTOR", QString::number(scale));
        m_game.setProcessEnvironment(env);
        m_game.start(GLIDOR_PROGRAM, {});
        // The window manager's list is asked afresh each time, and no client list of a killed game is waited on:
        // a question about a window that has just gone fails, and is asked again.
        const auto found = [this] {
            for (const QString &id : run("xprop", {"-root", "_NET_CLIENT_LIST"}).section('#', 1).split(',', Qt::SkipEmptyParts))
                if (numbers(run("xprop", {"-id", id.trimmed(), "_NET_WM_PID"}), "= (\\d+)") == QList<int>{int(m_game.processId())})
                    return !(m_window = id.trimmed()).isEmpty();
            return false;
        };
        if (!QTest::qWaitFor(found, 30000))
            return "the window never appeared";
        run("xdotool", {"windowactivate", "--sync", m_window});
        m_menu = int(grab().height()) / scale - 191; // the client area is 191 high, below the menu bar
        QString drawn;
        return QTest::qWaitFor([&] { return (drawn = boardAndFrame(scale)).isEmpty(); }, 20000) ? QString() : drawn;
    }
    QImage grab() const { return QGuiApplication::primaryScreen()->grabWindow(m_window.toULongLong(nullptr, 0)).toImage(); }
    // The 4 by 4 squares of the board, from (32, 32) of the client area, at scale 1.
    QImage board() const { return grab().copy(32, 32 + m_menu, 128, 128); }
    bool soundLoaded() const
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(m_game.processId()));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("glidor-sound.so");
    }

    // The client area around the board, pixel by pixel in the window's own pixels, each drawn as `scale` by `scale`
    // screen pixels of one kind: d and p the dark and the pale frame line, y the yellow look of a tile at home or
    // black, s sky. Two pixels of sky lie between the frame and the board on every side, and the gap shows the sky.
    QString boardAndFrame(int scale) const
    {
        const QImage shot = grab();
        const QList<QRgb> yellow = {qRgb(206, 203, 0), qRgb(255, 255, 0), qRgb(148, 150, 0), qRgb(0, 0, 0)};
        for (int y = 24; y < 166; ++y) {
            for (int x = 24; x < 166; ++x) {
                const auto in = [x, y](int left, int top, int right, int bottom) { return x >= left && x <= right && y >= top && y <= bottom; };
                const char wanted = in(28, 28, 29, 160) || in(28, 28, 160, 29) ? 'd' : in(162, 30, 163, 161) || in(28, 162, 161, 163) ? 'p'
                                  : in(32, 32, 159, 159) && !in(128, 128, 159, 159) ? 'y' : 's';
                QSet<char> kinds;
                for (int i = 0; i < scale * scale; ++i) {
                    const QRgb c = shot.pixel(x * scale + i % scale, (m_menu + y) * scale + i / scale);
                    kinds << (c == qRgb(0, 128, 128) ? 'd' : c == qRgb(192, 255, 255) ? 'p' : yellow.contains(c) ? 'y' : qBlue(c) > qRed(c) ? 's' : '?');
                }
                if (kinds != QSet<char>{wanted})
                    return QString::asprintf("at %d,%d not only %c", x, y, wanted);
            }
        }
        return {};
    }

    QProcess m_wm, m_game;
    QTemporaryDir m_runtime;
    QString m_window;
    int m_menu = 0;
};

QTEST_MAIN(DesktopTests)
#include "desktop_tests.moc"
