// A stand-in for the game in the sound tests: plays cues from a script given on its command line.
//
// Each argument is one step: "@N" waits N milliseconds; "shuffle", "move:N"
// (a press on square N, then the solved check) and "mute" (sound switch off)
// drive the real rules, whose cues call sound::play; any other word is a file
// name for sound::play. At the end it prints one line and nothing else: the
// most CPU time one play call took, in microseconds, and how often the calls
// put this thread to sleep (as a wait on a lock, a file or a device would).
#include "puzzle.h"
#include "sound.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

long long worstCpuUs = 0;
long sleeps = 0;

// The clock would also count time lost to other busy processes, which is no
// wait of ours; CPU time and sleeps are what a slow or blocking call shows.
void timedPlay(const char *fileName)
{
    timespec before, after;
    rusage usageBefore, usageAfter;
    getrusage(RUSAGE_THREAD, &usageBefore);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    glidor::sound::play(fileName);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    getrusage(RUSAGE_THREAD, &usageAfter);
    const long long us = (after.tv_sec - before.tv_sec) * 1000000LL + (after.tv_nsec - before.tv_nsec) / 1000;
    worstCpuUs = std::max(worstCpuUs, us);
    sleeps += usageAfter.ru_nvcsw - usageBefore.ru_nvcsw;
}

// Only what the cues read is real. The draws are fixed: 0.7 picks square 12,
// so a shuffle from the solved board moves just tile 12 down into square 16.
class Window : public glidor::WindowOps {
public:
    bool mark = true;
    bool shuffleEnabled = true;

    void seedRandom() override {}
    float drawRandom() override { return 0.7f; }
    void createSquare(int) override {}
    void placeSquare(int, int, int) override {}
    void showSquare(int) override {}
    void enableSquare(int, bool) override {}
    void setSquarePicture(int, int) override {}
    void clearSquarePicture(int) override {}
    void sendBackgroundToBack() override {}
    bool soundMark() const override { return mark; }
    bool shuffleButtonEnabled() const override { return shuffleEnabled; }
    void enableShuffleControls(bool enabled) override { shuffleEnabled = enabled; }
    void setCounterText(const std::string &) override {}
    void showCounter(bool) override {}
    void startSound(glidor::Cue cue) override { timedPlay(glidor::cueFileName(cue)); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Window window;
    glidor::Puzzle game(window);
    game.Form_Load();

    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        if (step.starts_with('@'))
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(step.substr(1))));
        else if (step == "shuffle")
            game.cmdBlanda_Click();
        else if (step.starts_with("move:")) {
            game.MoveTile(std::int16_t(std::stoi(step.substr(5))));
            game.CheckSolved();
        } else if (step == "mute")
            window.mark = false;
        else
            timedPlay(step.c_str());
    }
    std::printf("play-cpu-us %lld play-sleeps %ld\n", worstCpuUs, sleeps);
    return 0;
}
