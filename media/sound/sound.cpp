// Plays the game's sound cues from the program's own directory through a back end opened beside it at run time.
#include "sound.h"
#include "soundmodule.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <system_error>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace glidor::sound {

namespace {

// The newest cue not yet taken by the back end. No lock: the caller must
// never wait for the sound thread, not even briefly.
std::atomic<std::string *> pending{nullptr};
// Adding to it wakes the back end's thread; -1 until it runs.
std::atomic<int> wakeFd{-1};
std::atomic_flag loading = ATOMIC_FLAG_INIT;

// The program's directory as bytes, exactly as the kernel gives them: a path
// is any bytes but NUL, whatever a text encoding makes of them. Written
// before the back end starts, read only by it.
std::string directory;

// Start and stop of the back end exclude each other, so that a program
// ending while the back end is still being opened neither stops a half-started
// thread nor starts one after its stop.
std::mutex lifecycle;
bool ending = false;
StopBackEnd stopBackEnd = nullptr;

bool take(std::string &path)
{
    const std::string *name = pending.exchange(nullptr);
    if (!name)
        return false;
    path = directory + "/" + *name;
    delete name;
    return true;
}

std::string programDirectory()
{
    std::string exe(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
        if (n < 0)
            return {};
        if (std::size_t(n) < exe.size()) {
            exe.resize(std::size_t(n));
            break;
        }
        exe.resize(exe.size() * 2);
    }
    return exe.substr(0, exe.rfind('/'));
}

// On a thread of its own: loading the back end (libpulse, libsndfile and what
// they need, none of which the program links, so its start-up does not pay
// for them) takes tens of milliseconds that no caller may wait for.
void load()
{
    directory = programDirectory();
    // Lazily: libsndfile brings codec libraries whose functions the game never
    // calls, and binding all of their symbols up front would delay the first cue.
    void *module = ::dlopen((directory + "/" GLIDOR_SOUND_MODULE).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module)
        return;
    const auto start = reinterpret_cast<StartBackEnd>(::dlsym(module, StartSymbol));
    const auto stop = reinterpret_cast<StopBackEnd>(::dlsym(module, StopSymbol));
    std::lock_guard lock(lifecycle);
    if (ending || !start || !stop)
        return;
    const int fd = start(take);
    if (fd < 0)
        return;
    stopBackEnd = stop;
    wakeFd = fd;
    eventfd_write(fd, 1); // for the cues that came while it loaded
}

// At exit, also when the toolkit calls exit() because the display went away:
// the back end's thread must be gone before the libraries it runs in are
// torn down. Stopping it never waits on the sound server.
void shutDown()
{
    std::lock_guard lock(lifecycle);
    ending = true;
    if (stopBackEnd)
        stopBackEnd();
}

void loadOnce()
{
    if (loading.test_and_set())
        return;
    std::atexit(shutDown);
    try {
        std::thread(load).detach();
    } catch (const std::system_error &) {
        // No thread, no sound.
    }
}

// Opens the back end at the player's first key or mouse press. The sound
// stack costs about 2 MB that a window left alone never needs. Loading it
// takes about as long as a sound player's own start, and the first cue comes
// with or after such a press (a button clicks at its release), so the first
// cue is about as quick as a sound player started with the press.
class AtFirstInput final : public QObject {
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
            QCoreApplication::instance()->removeEventFilter(this);
            loadOnce();
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

void play(const char *fileName)
{
    if (!fileName)
        return;
    // The back end has not taken a name we get back here, so it is ours to free.
    delete pending.exchange(new std::string(fileName));
    loadOnce();
    if (const int fd = wakeFd; fd >= 0)
        eventfd_write(fd, 1);
}

Player &desktop()
{
    struct Desktop final : Player {
        void play(const char *fileName) override { sound::play(fileName); }
    };
    static Desktop player;
    static AtFirstInput opener;
    if (QCoreApplication *app = QCoreApplication::instance(); app && !loading.test())
        app->installEventFilter(&opener);
    return player;
}

} // namespace glidor::sound
