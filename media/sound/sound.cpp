// Plays the game's sound cues from the program's own directory through a back end opened beside it
// at run time.
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

// The back end as the program sees it, from its opening (at the first key,
// press or cue) to exit: play() hands it the newest cue, open() loads it once
// on a thread of its own, take() is how it fetches the cue, and shutDown()
// stops it at exit. There is one, never destroyed: the thread that loads the
// back end may still be at work when the program ends.
class BackEnd
{
public:
    static BackEnd &instance()
    {
        static BackEnd *const backEnd = new BackEnd;
        return *backEnd;
    }

    void play(const char *fileName)
    {
        // The back end has not taken a name we get back here, so it is ours to free.
        delete m_pending.exchange(new std::string(fileName));
        open();
        // The descriptor stays open while this reads and writes it: shutDown()
        // withdraws it first, then lets a write on its way end before the back
        // end, and the descriptor, go.
        ++m_waking;
        if (const int fd = m_wakeFd; fd >= 0)
            eventfd_write(fd, 1);
        --m_waking;
    }

    void open()
    {
        if (m_opening.test_and_set())
            return;
        std::atexit(shutDown);
        try {
            std::thread(&BackEnd::load, this).detach();
        } catch (const std::system_error &) {
            // No thread, no sound.
        }
    }

    bool opened() const { return m_opening.test(); }

private:
    static bool take(std::string &path)
    {
        BackEnd &b = instance();
        const std::string *name = b.m_pending.exchange(nullptr);
        if (!name)
            return false;
        path = b.m_directory + "/" + *name;
        delete name;
        return true;
    }

    // On a thread of its own: loading the back end (libpulse, libsndfile and
    // what they need, none of which the program links, so its start-up does
    // not pay for them) takes tens of milliseconds that no caller may wait for.
    void load()
    {
        m_directory = programDirectory();
        // Lazily: libsndfile brings codec libraries whose functions the game never
        // calls, and binding all of their symbols up front would delay the first cue.
        void *module =
                ::dlopen((m_directory + "/" GLIDOR_SOUND_MODULE).c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!module)
            return;
        const auto start = reinterpret_cast<StartBackEnd>(::dlsym(module, StartSymbol));
        const auto stop = reinterpret_cast<StopBackEnd>(::dlsym(module, StopSymbol));
        std::lock_guard lock(m_lifecycle);
        if (m_ending || !start || !stop)
            return;
        const int fd = start(take);
        if (fd < 0)
            return;
        m_stop = stop;
        m_wakeFd = fd;
        eventfd_write(fd, 1); // for the cues that came while it loaded
    }

    // At exit, also when the toolkit calls exit() because the display went
    // away: the back end's thread must not run on while the libraries it
    // runs in are torn down. Stopping it never waits on the sound server.
    static void shutDown()
    {
        BackEnd &b = instance();
        std::lock_guard lock(b.m_lifecycle);
        b.m_ending = true;
        b.m_wakeFd = -1;
        while (b.m_waking) // one write to an eventfd that never blocks
            std::this_thread::yield();
        if (b.m_stop)
            b.m_stop();
    }

    // The newest cue not yet taken. No lock: the caller must never wait for
    // the sound thread, not even briefly.
    std::atomic<std::string *> m_pending{ nullptr };
    // Adding to it wakes the back end's thread; -1 while none runs.
    std::atomic<int> m_wakeFd{ -1 };
    std::atomic<int> m_waking{ 0 }; // play() calls between reading m_wakeFd and writing to it
    std::atomic_flag m_opening = ATOMIC_FLAG_INIT;
    // The program's directory as bytes, exactly as the kernel gives them: a
    // path is any bytes but NUL, whatever a text encoding makes of them.
    // Written before the back end starts, read only by it.
    std::string m_directory;
    // Start and stop of the back end exclude each other, so that a program
    // ending while the back end is still being opened neither stops a
    // half-started thread nor starts one after its stop.
    std::mutex m_lifecycle;
    bool m_ending = false;
    StopBackEnd m_stop = nullptr;
};

// Opens the back end at the player's first key or mouse press. The sound
// stack costs about 2 MB that a window left alone never needs. Loading it
// takes about as long as a sound player's own start, and the first cue comes
// with or after such a press (a button clicks at its release), so the first
// cue is about as quick as a sound player started with the press.
class AtFirstInput final : public QObject
{
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
            QCoreApplication::instance()->removeEventFilter(this);
            BackEnd::instance().open();
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
    if (fileName)
        BackEnd::instance().play(fileName);
}

Player &desktop()
{
    struct Desktop final : Player
    {
        void play(const char *fileName) override { sound::play(fileName); }
    };
    static Desktop player;
    static AtFirstInput opener;
    if (QCoreApplication *app = QCoreApplication::instance(); app && !BackEnd::instance().opened())
        app->installEventFilter(&opener);
    return player;
}

} // namespace glidor::sound
