// The game's stand-in in the sound tests. Each argument is a step: "@N" waits N ms, "!CMD" runs a
// shell command, any other word is a file for sound::play. It prints nothing unless a play call
// waited, a command failed or its peak memory grew by over 5 MB after the first wait, and SIGALRM
// ends it if ending takes over 100 ms (more in a sanitized build, whose leak check runs at exit
// too).
#include "sound.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const auto usage = [](int who) {
        rusage r;
        getrusage(who, &r);
        return r;
    };
    const auto cpuUs = [](const rusage &r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000LL + r.ru_utime.tv_usec
                + r.ru_stime.tv_usec;
    };
    // The game's toolkit runs threads of its own by the first cue; a process's first thread costs
    // milliseconds more.
    std::thread([] {}).join();
    long baselineKb = 0;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '@') {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[i] + 1)));
            baselineKb = baselineKb ? baselineKb : usage(RUSAGE_SELF).ru_maxrss;
        } else if (argv[i][0] == '!') {
            if (std::system(argv[i] + 1) != 0)
                std::fprintf(stderr, "soundcheck: %s failed\n", argv[i] + 1);
        } else {
            // A call that slept (on a lock, a file, a device) or spent 5 ms of CPU waited; the
            // clock would also count time lost to other busy processes.
            const rusage before = usage(RUSAGE_THREAD);
            glidor::sound::play(argv[i]);
            const rusage after = usage(RUSAGE_THREAD);
            if (after.ru_nvcsw > before.ru_nvcsw || cpuUs(after) - cpuUs(before) > 5000)
                std::fprintf(stderr, "play %s waited\n", argv[i]);
        }
    }
    if (const long grownKb = usage(RUSAGE_SELF).ru_maxrss - baselineKb; grownKb > 5 * 1024)
        std::fprintf(stderr, "memory grew by %ld kB\n", grownKb);
    ualarm(EXIT_BUDGET_US, 0); // the exit handlers, the sound's included, must not outlast it
}
