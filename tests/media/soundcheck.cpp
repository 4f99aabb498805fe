// A stand-in for the game in the sound tests: plays cues from a script given on its command line.
//
// Each argument is one step: "@N" waits N milliseconds; "shuffle", "move:N"
// (a press on square N, then the solved check) and "mute" (sound switch off)
// drive the real rules, whose cues call sound::play; any other word is a file
// name passed to sound::play directly. At the end it prints one line on
// how long the play calls took: the longest by the clock and in CPU time of
// this thread, both in microseconds, and how often a call put this thread to
// sleep (a wait on a lock, a file or a device would). Nothing else is printed.
#include "puzzle.h"
#include "sound.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

struct Cost {
    long long wallUs = 0;
    long long cpuUs = 0;
    long sleeps = 0;
};
Cost worst;

Cost now()
{
    timespec wall, cpu;
    clock_gettime(CLOCK_MONOTONIC, &wall);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return {wall.tv_sec * 1000000LL + wall.tv_nsec / 1000, cpu.tv_sec * 1000000LL + cpu.tv_nsec / 1000,
            usage.ru_nvcsw};
}

// Being preempted by another busy process shows on the clock but is no wait
// of ours; a sleep inside the call would be.
void timedPlay(const char *fileName)
{
    const Cost before = now();
    glidor::sound::play(fileName);
    const Cost after = now();
    worst.wallUs = std::max(worst.wallUs, after.wallUs - before.wallUs);
    worst.cpuUs = std::max(worst.cpuUs, after.cpuUs - before.cpuUs);
    worst.sleeps += after.sleeps - before.sleeps;
}

// Only what the cues read is real; the draws are fixed, so a shuffle from the
// solved board moves exactly tile 12 down into square 16 (0.7 picks square 12).
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
    std::printf("play-us %lld play-cpu-us %lld play-sleeps %ld\n", worst.wallUs, worst.cpuUs, worst.sleeps);
    return 0;
}
