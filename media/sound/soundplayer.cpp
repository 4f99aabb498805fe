// The sound back end, a module loaded at run time: plays one decoded file at a time on a QAudioSink.
#include "sounddecode.h"

#include <utility>

#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

namespace {

using namespace glidor::sound;

QAudioFormat::SampleFormat qtType(SampleType type)
{
    switch (type) {
    case SampleType::UInt8: return QAudioFormat::UInt8;
    case SampleType::Int16: return QAudioFormat::Int16;
    case SampleType::Int32: return QAudioFormat::Int32;
    case SampleType::Float: return QAudioFormat::Float;
    }
    return QAudioFormat::Int16;
}

// The sound as it is, in 16 bits, if the device takes that; otherwise the
// device's own format, to which convert() adapts rate and channels.
OutputFormat outputFormat(const QAudioDevice &device, const Samples &samples)
{
    QAudioFormat wanted;
    wanted.setSampleRate(samples.rate);
    wanted.setChannelCount(std::min(samples.channels, 2));
    wanted.setSampleFormat(QAudioFormat::Int16);
    const QAudioFormat format = device.isFormatSupported(wanted) ? wanted : device.preferredFormat();
    SampleType type = SampleType::Int16;
    for (SampleType t : {SampleType::UInt8, SampleType::Int16, SampleType::Int32, SampleType::Float})
        if (qtType(t) == format.sampleFormat())
            type = t;
    return {format.sampleRate(), format.channelCount(), type};
}

// Lives on the sound thread, which calls every function here.
class Player : public QObject {
public:
    Player()
    {
        m_retire.setSingleShot(true);
        connect(&m_retire, &QTimer::timeout, this, &Player::stop);
    }

    ~Player() override { stop(); }

    void play(const char *path)
    {
        stop();
        const auto bytes = readSoundFile(path);
        const auto samples = bytes ? decode(*bytes) : std::nullopt;
        if (!samples)
            return;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return;
        const OutputFormat format = outputFormat(device, *samples);
        if (format.rate <= 0 || format.channels <= 0)
            return;
        const std::vector<char> pcm = convert(*samples, format);
        if (pcm.empty())
            return;

        QAudioFormat qtFormat;
        qtFormat.setSampleRate(format.rate);
        qtFormat.setChannelCount(format.channels);
        qtFormat.setSampleFormat(qtType(format.type));
        auto *sink = new QAudioSink(device, qtFormat);
        auto *buffer = new QBuffer(sink); // goes with its sink
        buffer->setData(pcm.data(), qsizetype(pcm.size()));
        buffer->open(QIODevice::ReadOnly);
        connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
            if (sink != m_sink)
                return; // a late word from a sink already let go
            // Idle means the sink has handed over its last bytes, not that they
            // were heard: stopping now would cut the tail still in the server's
            // buffer. Let that drain first, then free the sink so that this
            // thread sleeps until the next sound.
            if (state == QAudio::IdleState)
                m_retire.start(int(sink->format().durationForBytes(int(sink->bufferSize())) / 1000) + 200);
            else if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
                m_retire.start(0);
        });
        m_sink = sink;
        sink->start(buffer);
    }

    // Cuts the sound at once. The sink itself is deleted later, from the event
    // loop: in Qt 6.4 its destructor processes events, which may well run the
    // next play() while this one is still on the stack.
    void stop()
    {
        m_retire.stop();
        if (QAudioSink *sink = std::exchange(m_sink, nullptr)) {
            sink->disconnect(this);
            sink->stop();
            sink->deleteLater();
            m_stopped.start();
        }
    }

    // True while the audio server may still be answering for a sink we let go.
    bool settling() const { return m_stopped.isValid() && !m_stopped.hasExpired(SettleMs); }

    static constexpr int SettleMs = 200;

private:
    QAudioSink *m_sink = nullptr;
    QTimer m_retire;
    QElapsedTimer m_stopped;
};

Player *player = nullptr;
bool finished = false;
QThread *soundThread = nullptr;
QtMessageHandler nextHandler = nullptr;

// With no audio server, or a device that goes away, Qt Multimedia warns on the
// console. A missing sound is not worth a word, so whatever the sound thread
// says is dropped; everyone else's messages pass on unchanged.
void quietOnSoundThread(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (QThread::currentThread() != soundThread && nextHandler)
        nextHandler(type, context, message);
}

} // namespace

// Plays the file at `path`, stopping the sound before it. Call on one thread
// only, which must run an event loop.
extern "C" Q_DECL_EXPORT void glidorSoundPlay(const char *path)
{
    if (finished)
        return;
    if (!player) {
        player = new Player;
        soundThread = QThread::currentThread();
        nextHandler = qInstallMessageHandler(quietOnSoundThread);
    }
    player->play(path);
}

// Stops the sound for good and frees everything; call on the same thread as
// play, as it ends.
extern "C" Q_DECL_EXPORT void glidorSoundStop()
{
    if (!player)
        return;
    finished = true;
    player->stop();
    // Qt Multimedia 6.4 tears down its audio server connection at exit without
    // holding the lock of the thread that talks to the server; if that thread
    // is still busy with the sink just stopped, the process crashes on its way
    // out. Give the server's answers a moment to arrive first.
    if (player->settling())
        QThread::msleep(Player::SettleMs);
    delete player;
    player = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the sinks let go
    const QtMessageHandler current = qInstallMessageHandler(nextHandler);
    if (current != quietOnSoundThread) // someone came after us: keep theirs
        qInstallMessageHandler(current);
}
