// The sound back end, a module opened at run time: plays one file at a time on the sound server
// through libpulse.
#include "sounddecode.h"
#include "soundmodule.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <utility>
#include <unistd.h>

namespace {

using namespace glidor::sound;

// The server holds this much of a sound ahead of the speaker: enough to ride
// out a busy machine, little enough to start at once.
constexpr pa_usec_t BufferUsec = 200 * PA_USEC_PER_MSEC;

// How long stop() waits for the thread. Woken, it ends at once unless
// libpulse holds it: when a connection's name lookup gets no answer, libpulse
// gives up on the connection after 5 s and then, on this thread, inside one
// dispatch of the main loop, waits for the lookup to end, which takes seconds
// more. Exit does not wait for that: a thread that has spent HeldAfter in one
// dispatch is held, and is not waited for at all; one that is merely slow to
// be scheduled on a busy machine is waited for up to StopGrace in all.
constexpr auto HeldAfter = std::chrono::milliseconds(20);
constexpr auto StopGrace = std::chrono::milliseconds(50);

// Everything here runs on the thread of its own main loop, but for start(),
// which runs before that thread starts, connecting() and the destructor, which
// run after it ended, and stop(), which runs beside it and touches only the
// atomics, the eventfd and the thread's end. Nothing waits on the server: every
// request to it is sent and its answer handled when it comes, if it comes.
class Engine
{
public:
    bool start(TakeRequest take)
    {
        m_take = take;
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        m_loop = pa_mainloop_new();
        if (m_wakeFd < 0 || !m_loop)
            return false;
        pa_mainloop_api *api = pa_mainloop_get_api(m_loop);
        m_wake = api->io_new(
                api, m_wakeFd, PA_IO_EVENT_INPUT,
                [](pa_mainloop_api *, pa_io_event *, int, pa_io_event_flags_t, void *self) {
                    static_cast<Engine *>(self)->woken();
                },
                this);
        if (!m_wake)
            return false;
        std::promise<void> ended;
        m_ended = ended.get_future();
        try {
            m_thread = std::thread([this, ended = std::move(ended)]() mutable {
                run();
                ended.set_value();
            });
        } catch (const std::system_error &) {
            return false;
        }
        return true;
    }

    int wakeFd() const { return m_wakeFd; }

    // Ends the thread; false when it is held or did not end within StopGrace.
    bool stop()
    {
        using Clock = std::chrono::steady_clock;
        m_quit = true;
        eventfd_write(m_wakeFd, 1);
        const auto start = Clock::now();
        while (m_ended.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            const auto now = Clock::now();
            const Clock::rep since = m_dispatchSince;
            if (now - start > StopGrace
                || (since && now - Clock::time_point(Clock::duration(since)) > HeldAfter))
                return false;
            m_ended.wait_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
        return true;
    }

    // Freeing a connection on its way frees its name lookup, which waits for
    // the lookup to end; such an engine is left as it is.
    bool connecting() const
    {
        return m_context && pa_context_get_state(m_context) == PA_CONTEXT_CONNECTING;
    }

    // Only while no thread runs (start() failed, or stop() succeeded), and not while connecting().
    ~Engine()
    {
        stopSound();
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        if (m_loop)
            pa_mainloop_free(m_loop);
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
    }

private:
    void run()
    {
        // Connected ahead of the first cue, which then only has a stream to make.
        connect();
        // pa_mainloop_iterate(), with the time of each dispatch marked for stop().
        while (!m_quit && pa_mainloop_prepare(m_loop, -1) >= 0 && pa_mainloop_poll(m_loop) >= 0) {
            m_dispatchSince = std::max<std::chrono::steady_clock::rep>(
                    std::chrono::steady_clock::now().time_since_epoch().count(), 1);
            const int dispatched = pa_mainloop_dispatch(m_loop);
            m_dispatchSince = 0;
            if (dispatched < 0)
                break;
        }
    }

    void woken()
    {
        eventfd_t count;
        eventfd_read(m_wakeFd, &count);
        std::string path;
        // Once stop() has asked, nothing new starts: a thread that libpulse
        // held past stop() may come here while the program ends.
        if (m_quit || !m_take(path))
            return;
        // The new cue stops the old one at once, whether or not it can play itself.
        stopSound();
        m_file = SoundFile::open(path.c_str());
        if (!m_file || !connect())
            m_file.reset();
        else if (pa_context_get_state(m_context) == PA_CONTEXT_READY)
            startStream();
        // else the stream starts when the context is ready
    }

    // A context that is connected or on its way, or else a new one: a
    // connection still being made (its name lookup can take seconds) is never
    // doubled, and the first cue after one failed (no server, or it went away)
    // tries again. False when not even a new one can start.
    bool connect()
    {
        if (m_context && PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            return true;
        if (m_context)
            pa_context_unref(m_context);
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Glidor");
        if (!m_context)
            return false;
        pa_context_set_state_callback(
                m_context,
                [](pa_context *c, void *self) {
                    auto *e = static_cast<Engine *>(self);
                    if (pa_context_get_state(c) == PA_CONTEXT_READY && e->m_file && !e->m_stream)
                        e->startStream();
                },
                this);
        // No autospawn: a game does not start a sound server of its own.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            pa_context_unref(m_context);
            m_context = nullptr;
            return false;
        }
        return true;
    }

    void startStream()
    {
        const StreamFormat &f = m_file->format();
        m_stream = pa_stream_new(m_context, "Glidor", &f.sample, &f.map);
        if (!m_stream) {
            m_file.reset();
            return;
        }
        pa_stream_set_write_callback(
                m_stream,
                [](pa_stream *, size_t bytes, void *self) {
                    static_cast<Engine *>(self)->feed(bytes);
                },
                this);
        // A failed stream (a format the server refuses, a server gone) is silence.
        pa_stream_set_state_callback(
                m_stream,
                [](pa_stream *s, void *self) {
                    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
                        static_cast<Engine *>(self)->stopSound();
                },
                this);
        const auto minus1 = std::uint32_t(-1);
        const pa_buffer_attr attr{ minus1, std::uint32_t(pa_usec_to_bytes(BufferUsec, &f.sample)),
                                   minus1, minus1, minus1 };
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_NOFLAGS, nullptr,
                                       nullptr)
            < 0)
            stopSound();
    }

    // The server asks for `bytes`: read that much of the file, in the
    // server's own buffers, so nothing of the sound piles up here.
    void feed(size_t bytes)
    {
        if (!m_file)
            return; // the file has ended, the server plays out what it has
        const size_t frameBytes = pa_frame_size(&m_file->format().sample);
        while (m_file && bytes >= frameBytes) {
            void *buffer = nullptr;
            size_t size = bytes;
            if (pa_stream_begin_write(m_stream, &buffer, &size) < 0 || size < frameBytes) {
                stopSound();
                return;
            }
            const size_t want = size / frameBytes;
            const size_t got = m_file->read(static_cast<float *>(buffer), want);
            if (got > 0)
                pa_stream_write(m_stream, buffer, got * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            else
                pa_stream_cancel_write(m_stream);
            bytes -= std::min(bytes, got * frameBytes);
            if (got < want)
                finish();
        }
    }

    // The file has ended: let the server play out what it holds (draining
    // also starts a sound shorter than the buffer), then let go of the stream.
    void finish()
    {
        m_file.reset();
        if (pa_operation *o = pa_stream_drain(
                    m_stream,
                    [](pa_stream *s, int, void *self) {
                        auto *e = static_cast<Engine *>(self);
                        if (s == e->m_stream)
                            e->stopSound();
                    },
                    this))
            pa_operation_unref(o);
        else
            stopSound();
    }

    // Cuts the sound: the server drops what it still holds of it. The
    // connection stays for the next cue, and carries nothing until then.
    void stopSound()
    {
        m_file.reset();
        pa_stream *s = std::exchange(m_stream, nullptr);
        if (!s)
            return;
        pa_stream_set_write_callback(s, nullptr, nullptr);
        if (pa_stream_get_state(s) == PA_STREAM_READY) {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_disconnect(s);
        } else {
            // Not created yet (a slow server): it cannot be disconnected
            // before it is, and the context keeps it until then. One that
            // failed or was never connected needs nothing more.
            pa_stream_set_state_callback(
                    s,
                    [](pa_stream *late, void *) {
                        if (pa_stream_get_state(late) == PA_STREAM_READY)
                            pa_stream_disconnect(late);
                    },
                    nullptr);
        }
        pa_stream_unref(s);
    }

    TakeRequest m_take = nullptr;
    int m_wakeFd = -1;
    pa_mainloop *m_loop = nullptr;
    pa_io_event *m_wake = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    std::unique_ptr<SoundFile> m_file; // what m_stream plays, or will once the context is ready
    std::atomic<bool> m_quit = false;
    // When the thread's current dispatch began, on the steady clock; 0 outside one.
    std::atomic<std::chrono::steady_clock::rep> m_dispatchSince = 0;
    std::thread m_thread;
    std::future<void> m_ended;
};

// The one engine, from glidorSoundStart() to glidorSoundStop(), which deletes
// it unless its thread or its connection cannot be let go of at once. A plain
// pointer: a static owner would be destroyed at exit by this module's own
// destructors, which run before the program's exit handler that stops the
// engine's thread, and it would free an engine that a held thread still uses.
Engine *engine = nullptr;

} // namespace

extern "C" __attribute__((visibility("default"))) int glidorSoundStart(TakeRequest take)
{
    auto started = std::make_unique<Engine>();
    if (!started->start(take))
        return -1;
    engine = started.release();
    return engine->wakeFd();
}

extern "C" __attribute__((visibility("default"))) void glidorSoundStop()
{
    if (engine->stop() && !engine->connecting())
        delete std::exchange(engine, nullptr);
}
