// Starts the built program where it cannot open its window, and where it can.
#include <QtTest>

class StartTest : public QObject
{
    Q_OBJECT
private slots:
    void start_data()
    {
        // Settings made after the display and locale variables are unset, then arguments; and
        // the line it ends with, or nothing when it runs. DISPLAY=xN: an X server of N bits a
        // pixel, started for the row; @: a private runtime folder, where Wayland finds no socket.
        QTest::addColumn<QString>("run");
        QTest::addColumn<QString>("said");
        const auto row = [](const char *name, const char *run, const char *said) {
            QTest::newRow(name) << run << said;
        };
        row("no display set", "", "ingen skärm hittades (DISPLAY saknas)");
        row("no X server there", "DISPLAY=:4711", "ingen kontakt med skärmen :4711");
        row("Wayland without a compositor",
            "QT_QPA_PLATFORM=wayland DISPLAY=:4711 XDG_RUNTIME_DIR=@",
            "ingen kontakt med Wayland-skärmen");
        row("a platform that does not exist", "QT_QPA_PLATFORM=nosuch DISPLAY=:4711",
            "fönsterplattformen \"nosuch\" finns inte");
        // Qt's own options are not the game's: -platform on the command line changes nothing.
        row("Qt's options", "-platform offscreen", "ingen skärm hittades (DISPLAY saknas)");
        row("an 8-bit X display", "DISPLAY=x8 QT_QPA_PLATFORM=xcb", "skärmen har bara 256 färger");
        row("a 15-bit X display, no locale set",
            "DISPLAY=x15 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=@", "");
        row("offscreen in the C locale", "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=@ LANG=C", "");
    }
    void start()
    {
        QFETCH(QString, run);
        QFETCH(QString, said);
        const bool fails = !said.isEmpty();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                  "XDG_RUNTIME_DIR", "LANG", "LC_ALL", "LC_CTYPE" })
            env.remove(name);
        QTemporaryDir runtime;
        QProcess xvfb;
        QStringList args;
        for (const QString &word : run.split(' ', Qt::SkipEmptyParts)) {
            QString value = word.section('=', 1).replace('@', runtime.path());
            if (word.startsWith("DISPLAY=x")) { // the server tells which display it took
                xvfb.start("Xvfb",
                           { "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                             "640x480" + value });
                value = xvfb.waitForReadyRead(20000) ? ":" + xvfb.readAllStandardOutput().trimmed()
                                                     : "";
            }
            if (word.contains('='))
                env.insert(word.section('=', 0, 0), value);
            else
                args << word;
        }
        QProcess glidor;
        glidor.setProcessEnvironment(env);
        glidor.start(GLIDOR_EXE, args);
        QCOMPARE(glidor.waitForFinished(fails ? 20000 : 1500), fails);
        if (fails) // ended by itself, not by a signal
            QCOMPARE(glidor.exitStatus() == QProcess::NormalExit ? glidor.exitCode() : -1, 1);
        glidor.kill();
        glidor.waitForFinished();
        QCOMPARE(QString::fromUtf8(glidor.readAllStandardError()),
                 fails ? "glidor: kan inte öppna fönstret: " + said + "\n" : QString());
        xvfb.kill();
        xvfb.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(StartTest)
#include "window_start_tests.moc"
