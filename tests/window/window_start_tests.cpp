// Starts the built program with no display to talk to, and with the offscreen platform.
#include <QtTest>

class StartTest : public QObject {
    Q_OBJECT
private slots:
    void start_data()
    {
        QTest::addColumn<QString>("setting"); // made after the display variables are unset
        QTest::addColumn<QString>("line");    // what the program says as it ends, or empty: it keeps running
        QTest::newRow("no display") << "" << "ingen skärm hittades (DISPLAY saknas)";
        QTest::newRow("no server") << "DISPLAY=:4711" << "ingen kontakt med skärmen :4711";
        QTest::newRow("offscreen") << "QT_QPA_PLATFORM=offscreen" << "";
    }
    void start()
    {
        QFETCH(QString, setting);
        QFETCH(QString, line);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // With no runtime folder Qt warns at start: a warning must not stop the program.
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            env.remove(name);
        if (!setting.isEmpty())
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        QProcess glidor;
        glidor.setProcessEnvironment(env);
        glidor.start(GLIDOR_EXE, {});
        // A program that keeps running is ended by QProcess at the end of the test.
        QCOMPARE(glidor.waitForFinished(line.isEmpty() ? 1500 : 20000), !line.isEmpty());
        if (!line.isEmpty()) {
            QCOMPARE(glidor.exitStatus(), QProcess::NormalExit); // not killed by a signal
            QCOMPARE(glidor.exitCode(), 1);
            QCOMPARE(QString::fromUtf8(glidor.readAllStandardError()), "glidor: kan inte öppna fönstret: " + line + "\n");
        }
    }
};

QTEST_GUILESS_MAIN(StartTest)
#include "window_start_tests.moc"
