// The sound back end, a module loaded at run time: plays one decoded file at a time on a QAudioSink.
#include "sounddecode.h"

#include <QAudioSink>
#include <QBuffer>
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
        m_pcm = QByteArray(pcm.data(), qsizetype(pcm.size()));
        m_buffer.setData(m_pcm);
        m_buffer.open(QIODevice::ReadOnly);

        QAudioFormat qtFormat;
        qtFormat.setSampleRate(format.rate);
        qtFormat.setChannelCount(format.channels);
        qtFormat.setSampleFormat(qtType(format.type));
        m_sink = new QAudioSink(device, qtFormat, this);
        connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            // Idle means the sink has handed over its last bytes, not that they
            // were heard: stopping now would cut the tail still in the server's
            // buffer. Let that drain first, then free the sink so that this
            // thread sleeps until the next sound.
            if (state == QAudio::IdleState) {
                const qint64 us = m_sink->format().durationForBytes(int(m_sink->bufferSize()));
                m_retire.start(int(us / 1000) + 200);
            } else if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
                m_retire.start(0);
            }
        });
        m_sink->start(&m_buffer);
    }

    void stop()
    {
        m_retire.stop();
        if (m_sink) {
            m_sink->disconnect(this);
            m_sink->stop();
            delete m_sink;
            m_sink = nullptr;
            m_stopped.start();
        }
        m_buffer.close();
        m_pcm.clear();
    }

    // True while the audio server may still be answering for a sink we let go.
    bool settling() const { return m_stopped.isValid() && !m_stopped.hasExpired(SettleMs); }

    static constexpr int SettleMs = 200;

private:
    QAudioSink *m_sink = nullptr;
    QByteArray m_pcm;
    QBuffer m_buffer;
    QTimer m_retire;
    QElapsedTimer m_stopped;
};

Player *player = nullptr;
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
    if (!player) {
        player = new Player;
        soundThread = QThread::currentThread();
        nextHandler = qInstallMessageHandler(quietOnSoundThread);
    }
    player->play(path);
}

// Stops the sound and frees the player; call on the same thread as play.
extern "C" Q_DECL_EXPORT void glidorSoundStop()
{
    if (!player)
        return;
    player->stop();
    // Qt Multimedia 6.4 tears down its audio server connection at exit without
    // holding the lock of the thread that talks to the server; if that thread
    // is still busy with the sink just stopped, the process crashes on its way
    // out. Give the server's answers a moment to arrive first.
    if (player->settling())
        QThread::msleep(Player::SettleMs);
    delete player;
    player = nullptr;
    const QtMessageHandler current = qInstallMessageHandler(nextHandler);
    if (current != quietOnSoundThread) // someone came after us: keep theirs
        qInstallMessageHandler(current);
}
