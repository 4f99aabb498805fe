// The sound back end, a module opened at run time: plays one file at a time on the sound server through libpulse.
#include "sounddecode.h"
#include "soundmodule.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/eventfd.h>
#include <utility>
#include <unistd.h>

namespace {

using namespace glidor::sound;

// The server holds this much of a sound ahead of the speaker: enough to ride
// out a busy machine, little enough to start at once.
constexpr pa_usec_t BufferUsec = 200 * PA_USEC_PER_MSEC;

// Everything here runs on the main loop's thread with its lock held, but for
// start() and stop(), which run while the loop does not. Nothing waits on the server: every request to it is sent and
// its answer handled when it comes, if it comes.
class Engine {
public:
    bool start(TakeRequest take)
    {
        m_take = take;
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        m_loop = pa_threaded_mainloop_new();
        if (m_wakeFd < 0 || !m_loop)
            return false;
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
        m_wake = api->io_new(api, m_wakeFd, PA_IO_EVENT_INPUT, [](pa_mainloop_api *, pa_io_event *, int, pa_io_event_flags_t, void *self) {
            static_cast<Engine *>(self)->woken();
        }, this);
        // Connected ahead of the first cue, which then only has a stream to make.
        connect();
        return m_wake && pa_threaded_mainloop_start(m_loop) == 0;
    }

    int wakeFd() const { return m_wakeFd; }

    // After this only the thread's resources are left, which the ending process frees.
    void stop()
    {
        pa_threaded_mainloop_stop(m_loop);
        stopSound();
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
        pa_threaded_mainloop_free(m_loop);
        ::close(m_wakeFd);
    }

private:
    void woken()
    {
        eventfd_t count;
        eventfd_read(m_wakeFd, &count);
        std::string path;
        if (!m_take(path))
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

    // A context that is connected or on its way; a new one if the last failed
    // (the server went away). False when not even a new one can start.
    bool connect()
    {
        if (m_context && PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            return true;
        if (m_context)
            pa_context_unref(m_context);
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Glidor");
        if (!m_context)
            return false;
        pa_context_set_state_callback(m_context, [](pa_context *c, void *self) {
            auto *e = static_cast<Engine *>(self);
            if (pa_context_get_state(c) == PA_CONTEXT_READY && e->m_file && !e->m_stream)
                e->startStream();
        }, this);
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
        pa_stream_set_write_callback(m_stream, [](pa_stream *, size_t bytes, void *self) {
            static_cast<Engine *>(self)->feed(bytes);
        }, this);
        // A failed stream (a format the server refuses, a server gone) is silence.
        pa_stream_set_state_callback(m_stream, [](pa_stream *s, void *self) {
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
                static_cast<Engine *>(self)->stopSound();
        }, this);
        const auto minus1 = std::uint32_t(-1);
        const pa_buffer_attr attr{minus1, std::uint32_t(pa_usec_to_bytes(BufferUsec, &f.sample)), minus1, minus1, minus1};
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_NOFLAGS, nullptr, nullptr) < 0)
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
        if (pa_operation *o = pa_stream_drain(m_stream, [](pa_stream *s, int, void *self) {
                auto *e = static_cast<Engine *>(self);
                if (s == e->m_stream)
                    e->stopSound();
            }, this))
            pa_operation_unref(o);
        else
            stopSound();
    }

    // Cuts the sound: the server drops what it still holds of it. The
    // connection stays for the next cue; with no stream it is silent both ways.
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
            // before it is, and the context keeps it until then.
            pa_stream_set_state_callback(s, [](pa_stream *late, void *) {
                if (pa_stream_get_state(late) == PA_STREAM_READY)
                    pa_stream_disconnect(late);
            }, nullptr);
        }
        pa_stream_unref(s);
    }

    TakeRequest m_take = nullptr;
    int m_wakeFd = -1;
    pa_threaded_mainloop *m_loop = nullptr;
    pa_io_event *m_wake = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    std::unique_ptr<SoundFile> m_file; // what m_stream plays, or will once the context is ready
};

Engine *engine = nullptr;

} // namespace

extern "C" __attribute__((visibility("default"))) int glidorSoundStart(TakeRequest take)
{
    engine = new Engine;
    return engine->start(take) ? engine->wakeFd() : -1;
}

extern "C" __attribute__((visibility("default"))) void glidorSoundStop()
{
    if (engine)
        engine->stop();
}
