// A stand-in for the game in the sound tests: the real window, driven by a script on its command line.
//
// Each argument is one step: "@N" waits N milliseconds; "!CMD" runs the shell
// command CMD; the name of one of the window's controls ("cmdBlanda",
// "imgBild11", "mnuLjud") clicks or triggers it, so the real rules decide the
// cues; any other word is a file name for sound::play. It prints nothing
// unless a play call did not return at once, the program took over 100 ms to
// end after its last step, or its memory grew by over 5 MB after the first wait.
#include "frmglidor.h"
#include "sound.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

std::chrono::steady_clock::time_point lastStep;
long baselineKb = 0;

long memoryKb(const std::string &field)
{
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word;)
        if (word == field + ":" && status >> word)
            return std::stol(word);
    return 0;
}

// Registered first, so it runs after every other exit handler, the sound's included.
void checkExit()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - lastStep);
    if (ms.count() > 100)
        std::fprintf(stderr, "ending took %lld ms\n", static_cast<long long>(ms.count()));
    if (const long grown = memoryKb("VmHWM") - baselineKb; baselineKb && grown > 5 * 1024)
        std::fprintf(stderr, "memory grew by %ld kB\n", grown);
}

// A call that slept (as a wait on a lock, a file or a device would) or took
// over 5 ms of CPU says so. The clock would also count time lost to other
// busy processes, which is no wait of ours.
void timedPlay(const char *fileName)
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

} // namespace

int main(int argc, char *argv[])
{
    std::atexit(checkExit);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    {
        QApplication app(argc, argv);
        // Every draw picks square 12, so a shuffle from the solved board moves
        // just tile 12 down into square 16, and a press on square 16 wins the game.
        struct : glidor::RandomSource, glidor::sound::Player {
            void seed() override {}
            float draw() override { return 0.7f; }
            void play(const char *fileName) override { timedPlay(fileName); }
        } script;
        FrmGlidor window(script, script);
        window.show();
        for (int i = 1; i < argc; ++i) {
            QObject *control = window.findChild<QObject *>(argv[i]);
            if (argv[i][0] == '@') {
                QThread::msleep(QByteArray(argv[i] + 1).toULong());
                baselineKb = baselineKb ? baselineKb : memoryKb("VmRSS");
            } else if (argv[i][0] == '!') {
                std::system(argv[i] + 1);
            } else if (auto *widget = qobject_cast<QWidget *>(control)) {
                QTest::mouseClick(widget, Qt::LeftButton);
            } else if (auto *action = qobject_cast<QAction *>(control)) {
                action->trigger();
            } else {
                timedPlay(argv[i]);
            }
        }
        lastStep = std::chrono::steady_clock::now();
    }
}
