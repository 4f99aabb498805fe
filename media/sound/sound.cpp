// Plays the game's sound cues from the program's own directory, on a thread of their own.
#include "sound.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace glidor::sound {

namespace {

// Everything slow happens on the sound thread: loading the back end (Qt
// Multimedia, libsndfile and their many libraries are not linked into the
// program, so start-up does not pay for them), touching the file, decoding it
// and talking to the audio server. The caller only leaves a name here.
class Engine {
public:
    Engine()
    {
        m_context.moveToThread(&m_thread);
        // finished() is emitted on the sound thread itself, the one that owns the sink.
        QObject::connect(&m_thread, &QThread::finished, &m_context, [this] {
            if (m_stop)
                m_stop();
        }, Qt::DirectConnection);
        m_thread.start();
    }

    // A newer request replaces one not yet taken, so sounds never queue up.
    // No lock: the caller must never wait for the sound thread, not even briefly.
    void request(const char *fileName)
    {
        // Only a request that finds the slot empty wakes the sound thread; one
        // that replaces a waiting name rides on the wake-up already sent.
        // The sound thread has not taken a name we get back, so it is ours to free.
        if (std::string *replaced = m_pending.exchange(new std::string(fileName)))
            delete replaced;
        else
            QMetaObject::invokeMethod(&m_context, [this] { playPending(); }, Qt::QueuedConnection);
    }

    // Stops the sound and ends the thread; gives up waiting after a while so a
    // stuck audio server cannot hold the program's exit.
    bool shutDown()
    {
        m_thread.quit();
        return m_thread.wait(QDeadlineTimer(3000));
    }

    ~Engine() { delete m_pending.load(); }

private:
    void playPending()
    {
        const std::unique_ptr<std::string> name(m_pending.exchange(nullptr));
        if (!name)
            return;
        if (!m_triedLoading) {
            m_triedLoading = true;
            m_directory = programDirectory();
            m_module.setFileName(QString::fromStdString(m_directory + "/" GLIDOR_SOUND_MODULE));
            if (m_module.load()) {
                m_play = reinterpret_cast<void (*)(const char *)>(m_module.resolve("glidorSoundPlay"));
                m_stop = reinterpret_cast<void (*)()>(m_module.resolve("glidorSoundStop"));
            }
        }
        if (m_play && m_stop)
            m_play((m_directory + "/" + *name).c_str());
    }

    // The executable's directory as the kernel knows it; the working directory
    // and the name the program was started by play no part.
    static std::string programDirectory()
    {
        std::error_code error;
        return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
    }

    QThread m_thread;
    QObject m_context;
    std::atomic<std::string *> m_pending{nullptr};

    // Used on the sound thread only.
    bool m_triedLoading = false;
    std::string m_directory;
    QLibrary m_module;
    void (*m_play)(const char *) = nullptr;
    void (*m_stop)() = nullptr;
};

Engine *engine = nullptr;

void shutDownEngine()
{
    // Left running if it does not end in time: the process is ending anyway.
    if (engine && engine->shutDown())
        delete engine;
    engine = nullptr;
}

} // namespace

void play(const char *fileName)
{
    // The sound thread needs the application's event machinery, and ends with it.
    if (!fileName || !QCoreApplication::instance())
        return;
    if (!engine) {
        engine = new Engine;
        qAddPostRoutine(shutDownEngine);
    }
    engine->request(fileName);
}

Player &desktop()
{
    struct Desktop final : Player {
        void play(const char *fileName) override { sound::play(fileName); }
    };
    static Desktop player;
    return player;
}

} // namespace glidor::sound
