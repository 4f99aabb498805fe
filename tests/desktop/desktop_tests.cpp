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
        QTRY_VERIFY(run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"));
    }
    void cleanupTestCase() { m_wm.kill(); m_wm.waitForFinished(); }
    void cleanup() { m_game.kill(); m_game.waitForFinished(); }

    void opensCentredWithItsFrameAndMatchesItsMenuEntry_data()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("1x") << 1;
        QTest::newRow("2x") << 2;
    }
    void opensCentredWithItsFrameAndMatchesItsMenuEntry()
    {
        QFETCH(int, scale);
        open(scale);
        // Where the client window is and how big, and the frame the window manager put around it.
        const QList<int> at = numbers(run("xwininfo", {"-id", m_window}), "(?:Absolute upper-left [XY]|Width|Height): +(-?\\d+)");
        const QList<int> frame = numbers(run("xprop", {"-id", m_window, "_NET_FRAME_EXTENTS"}), "(\\d+)"); // left, right, top, bottom
        QCOMPARE(at.size() + frame.size(), 8);
        QCOMPARE(at[2], 307 * scale);
        const QSize screen = QGuiApplication::primaryScreen()->size();
        QVERIFY(qAbs(at[0] + (at[2] + frame[1] - frame[0]) / 2.0 - screen.width() / 2.0) <= 1);
        QVERIFY(qAbs(at[1] + (at[3] + frame[3] - frame[2]) / 2.0 - screen.height() / 2.0) <= 1);

        // The task bar finds the menu entry by the window class, and shows an icon drawn for its size.
        const QString wmClass = run("grep", {"-oP", "(?<=^StartupWMClass=).*", GLIDOR_DESKTOP_ENTRY}).trimmed();
        QCOMPARE(run("xprop", {"-id", m_window, "WM_CLASS"}).section('"', 3, 3), wmClass);
        if (scale == 1)
            QCOMPARE(numbers(run("xprop", {"-id", m_window, "_NET_WM_ICON"}), "Icon \\((\\d+) x"), QList<int>({16, 24, 32, 48, 64, 128}));
    }

    void spaceDealsAPressMovesATileAndAvslutaEnds()
    {
        open(1);
        const QImage start = board();
        run("xdotool", {"key", "--window", m_window, "space"});
        QTRY_VERIFY(board() != start);
        QTest::qWait(300);
        // Some square lies in line with the gap, whatever the deal: one press must move a tile.
        bool moved = false;
        for (int k = 0; k < 16 && !moved; ++k) {
            const QImage before = board();
            run("xdotool", {"mousemove", "--window", m_window, QString::number(48 + 32 * (k % 4)),
                            QString::number(m_menu + 48 + 32 * (k / 4)), "click", "1"});
            moved = QTest::qWaitFor([&] { return board() != before; }, 400);
        }
        QVERIFY2(moved, "no press on any square moved a tile");
        run("xdotool", {"key", "--window", m_window, "alt+m"});
        QTest::qWait(300);
        run("xdotool", {"key", "a"});
        QVERIFY(m_game.waitForFinished(5000) && m_game.exitStatus() == QProcess::NormalExit);
        QCOMPARE(m_game.exitCode(), 0);
    }

private:
    void open(int scale)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", QString::number(scale));
        m_game.setProcessEnvironment(env);
        m_game.start(GLIDOR_PROGRAM, {});
        QVERIFY(m_game.waitForStarted());
        m_window = run("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(m_game.processId()),
                                   "--name", "^ Glidor av Brickmakare$"}).section('\n', 0, 0);
        QVERIFY2(!m_window.isEmpty(), "the window never appeared");
        run("xdotool", {"windowactivate", "--sync", m_window});
        QTest::qWait(500);
        m_menu = int(grab().height()) - 191; // the client area is 191 high, below the menu bar
    }
    QImage grab() const { return QGuiApplication::primaryScreen()->grabWindow(m_window.toULongLong()).toImage(); }
    // The 4 by 4 squares of the board, from (32, 32) of the client area.
    QImage board() const { return grab().copy(32, 32 + m_menu, 128, 128); }

    QProcess m_wm, m_game;
    QString m_window;
    int m_menu = 0;
};

QTEST_MAIN(DesktopTests)
#include "desktop_tests.moc"
