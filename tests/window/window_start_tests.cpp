// Starts the built program where it cannot open its window, and where it can.
#include <QtTest>

class StartTest : public QObject {
    Q_OBJECT
private slots:
    void start_data()
    {
        QTest::addColumn<QString>("run"); // settings made after the display variables are unset, then arguments
        QTest::addColumn<QString>("said"); // the line it ends with, or what it passes on from Qt while it runs
        QTest::newRow("no display set") << "" << "ingen skärm hittades (DISPLAY saknas)";
        QTest::newRow("no X server there") << "DISPLAY=:4711" << "ingen kontakt med skärmen :4711";
        QTest::newRow("Wayland without a compositor") << "QT_QPA_PLATFORM=wayland DISPLAY=:4711 XDG_RUNTIME_DIR=@" << "ingen kontakt med Wayland-skärmen";
        QTest::newRow("a platform that does not exist") << "QT_QPA_PLATFORM=nosuch DISPLAY=:4711" << "fönsterplattformen \"nosuch\" finns inte";
        // Qt's own options are not the game's: -platform on the command line changes nothing.
        QTest::newRow("Qt's options on the command line") << "-platform offscreen" << "ingen skärm hittades (DISPLAY saknas)";
        // Qt warns at start without a runtime folder; the warning is passed on and the game runs.
        QTest::newRow("offscreen") << "QT_QPA_PLATFORM=offscreen" << "XDG_RUNTIME_DIR not set";
    }
    void start()
    {
        QFETCH(QString, run);
        QFETCH(QString, said);
        const bool fails = !said.contains("XDG");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            env.remove(name);
        QTemporaryDir runtime; // @: a runtime folder where Wayland finds no socket
        QStringList args;
        for (const QString &word : run.split(' ', Qt::SkipEmptyParts))
            if (word.contains('='))
                env.insert(word.section('=', 0, 0), word.section('=', 1).replace('@', runtime.path()));
            else
                args << word;
        QProcess glidor;
        glidor.setProcessEnvironment(env);
        glidor.start(GLIDOR_EXE, args);
        QCOMPARE(glidor.waitForFinished(fails ? 20000 : 1500), fails);
        if (fails) { // ended by itself, not by a signal
            QCOMPARE(glidor.exitStatus() == QProcess::NormalExit ? glidor.exitCode() : -1, 1);
            QCOMPARE(QString::fromUtf8(glidor.readAllStandardError()), "glidor: kan inte öppna fönstret: " + said + "\n");
        } else {
            glidor.kill();
            glidor.waitForFinished();
            QVERIFY(QString::fromUtf8(glidor.readAllStandardError()).contains(said));
        }
    }
};

QTEST_GUILESS_MAIN(StartTest)
#include "window_start_tests.moc"
