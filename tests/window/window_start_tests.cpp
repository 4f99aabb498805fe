// Starts the built program with no display to talk to, and with the offscreen platform.
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class StartTest : public QObject {
    Q_OBJECT

    static QProcessEnvironment environment(const QString &display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        return env;
    }

private slots:
    void noDisplayGivesOneSwedishLine_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("line");
        QTest::newRow("DISPLAY unset") << QString()
                                       << "glidor: kan inte öppna fönstret: ingen skärm hittades (DISPLAY saknas)\n";
        // A display number with no server behind it.
        int n = 177;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            ++n;
        const QString nowhere = QStringLiteral(":%1").arg(n);
        QTest::newRow("DISPLAY with no server") << nowhere
                                                << "glidor: kan inte öppna fönstret: ingen kontakt med skärmen " + nowhere + "\n";
    }
    void noDisplayGivesOneSwedishLine()
    {
        QFETCH(QString, display);
        QFETCH(QString, line);
        QProcess glidor;
        glidor.setProcessEnvironment(environment(display));
        glidor.start(QStringLiteral(GLIDOR_EXE), {});
        QVERIFY(glidor.waitForFinished(20000));
        QCOMPARE(glidor.exitStatus(), QProcess::NormalExit); // not killed by a signal
        QCOMPARE(glidor.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(glidor.readAllStandardError()), line);
        QVERIFY(glidor.readAllStandardOutput().isEmpty());
    }

    void runsOnTheOffscreenPlatform()
    {
        QProcessEnvironment env = environment(QString());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess glidor;
        glidor.setProcessEnvironment(env);
        glidor.start(QStringLiteral(GLIDOR_EXE), {});
        QVERIFY(glidor.waitForStarted());
        QVERIFY(!glidor.waitForFinished(1500)); // still running: the window is up
        QVERIFY(!glidor.readAllStandardError().contains("glidor:"));
        glidor.kill();
        glidor.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(StartTest)
#include "window_start_tests.moc"
