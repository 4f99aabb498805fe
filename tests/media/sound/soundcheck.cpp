// A stand-in for the game in the sound tests: the real window, driven by a script on its command line.
//
// Each argument is one step: "@N" waits N milliseconds; the name of one of the
// window's controls ("cmdBlanda", "imgBild11", "mnuLjud") clicks or triggers
// it, so the real rules decide the cues; any other word is a file name for
// sound::play. It prints nothing unless a play call failed to return at once.
#include "frmglidor.h"
#include "sound.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QThread>

#include <sys/resource.h>

// A call that slept (as a wait on a lock, a file or a device would) or took
// over 5 ms of CPU says so. The clock would also count time lost to other
// busy processes, which is no wait of ours.
static void timedPlay(const char *fileName)
{
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    glidor::sound::play(fileName);
    getrusage(RUSAGE_THREAD, &after);
    const auto us = [](const timeval &t) { return t.tv_sec * 1000000LL + t.tv_usec; };
    const long long cpuUs = us(after.ru_utime) + us(after.ru_stime) - us(before.ru_utime) - us(before.ru_stime);
    if (after.ru_nvcsw > before.ru_nvcsw || cpuUs > 5000)
        qWarning("play %s: %lld us of CPU, %ld sleeps", fileName, cpuUs, after.ru_nvcsw - before.ru_nvcsw);
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Every draw picks square 12, so a shuffle from the solved board moves just
    // tile 12 down into square 16, and a press on square 16 wins the game.
    struct : glidor::RandomSource, glidor::sound::Player {
        void seed() override {}
        float draw() override { return 0.7f; }
        void play(const char *fileName) override { timedPlay(fileName); }
    } script;
    FrmGlidor window(script, script);
    window.show();
    for (int i = 1; i < argc; ++i) {
        QObject *control = window.findChild<QObject *>(argv[i]);
        if (argv[i][0] == '@')
            QThread::msleep(QByteArray(argv[i] + 1).toULong());
        else if (auto *widget = qobject_cast<QWidget *>(control))
            QTest::mouseClick(widget, Qt::LeftButton);
        else if (auto *action = qobject_cast<QAction *>(control))
            action->trigger();
        else
            timedPlay(argv[i]);
    }
}
