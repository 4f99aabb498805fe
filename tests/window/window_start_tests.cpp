// Starts the built program where it cannot open its window, and where it can.
#include <QtTest>

class StartTest : public QObject
{
    Q_OBJECT
private slots:
    void start_data()
    {
        QTest::addColumn<QString>("run"); // settings made after the display and locale variables
                                          // are unset, then arguments
        QTest::addColumn<QString>("said"); // the line it ends with, or nothing when it runs
        QTest::newRow("no display set") << ""
                                        << "ingen skärm hittades (DISPLAY saknas)";
        QTest::newRow("no X server there") << "DISPLAY=:4711"
                                           << "ingen kontakt med skärmen :4711";
        QTest::newRow("Wayland without a compositor")
                << "QT_QPA_PLATFORM=wayland DISPLAY=:4711 XDG_RUNTIME_DIR=@"
                << "ingen kontakt med Wayland-skärmen";
        QTest::newRow("a platform that does not exist")
                << "QT_QPA_PLATFORM=nosuch DISPLAY=:4711"
                << "fönsterplattformen \"nosuch\" finns inte";
        // Qt's own options are not the game's: -platform on the command line changes nothing.
        QTest::newRow("Qt's options on the command line")
                << "-platform offscreen"
                << "ingen skärm hittades (DISPLAY saknas)";
        // DISPLAY=xN: an X server of N bits a pixel, started for the row.
        QTest::newRow("an 8-bit X display") << "DISPLAY=x8 QT_QPA_PLATFORM=xcb"
                                            << "skärmen har bara 256 färger";
        QTest::newRow("a 16-bit X display, no locale set")
                << "DISPLAY=x16 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=@"
                << "";
        QTest::newRow("offscreen in the C locale")
                << "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=@ LANG=C"
                << "";
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
        QTemporaryDir runtime; // @: a private runtime folder, where Wayland finds no socket
        QProcess xvfb;
        QStringList args;
        for (const QString &word : run.split(' ', Qt::SkipEmptyParts)) {
            QString value = word.section('=', 1).replace('@', runtime.path());
            if (word.startsWith("DISPLAY=x")) { // the server says which display it took
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
