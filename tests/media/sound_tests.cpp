// Plays cues through the real play operation and checks what the audio server's sink really received.
//
// Each test runs soundcheck, a stand-in for the game, from a folder of its own
// that holds the sound files of the case, while parec records the monitor of
// the null sink of a PulseAudio server that only these tests use (so other
// tests playing sounds at the same time cannot spoil a recording). The recording is cut into 10 ms windows and each window is labelled
// with the test tones it holds, so a test reads like "B60 A240 C500": what was
// heard, in order, with lengths in milliseconds.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <numbers>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Rate = 44100;
constexpr int Window = Rate / 100; // 10 ms; every tone below fills it with whole periods

// The test tones. The working folder holds decoys with tone D, which must never be heard.
double toneFrequency(char tone)
{
    switch (tone) {
    case 'A': return 500;
    case 'B': return 1000;
    case 'C': return 1500;
    case 'D': return 2000;
    }
    return 0; // '-' is silence
}

// Writes a sound of segments such as "B60 A240" (tone, milliseconds) through
// libsndfile in the given format, every channel carrying the same tone.
void writeSound(const QString &path, const QString &segments,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = Rate, int channels = 1)
{
    std::vector<float> frames;
    double phase = 0;
    for (const QString &segment : segments.split(' ')) {
        const double f = toneFrequency(segment[0].toLatin1());
        const int count = segment.mid(1).toInt() * rate / 1000;
        for (int i = 0; i < count; ++i, phase += 2 * std::numbers::pi * f / rate)
            frames.insert(frames.end(), channels, f ? 0.5f * float(std::sin(phase)) : 0.0f);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    sf_writef_float(file, frames.data(), sf_count_t(frames.size() / channels));
    sf_close(file);
}

// One run of the same label: a tone letter, '#' for sound that is no test
// tone, '*' for two tones at once.
struct Run {
    char label;
    int ms;
};

QString describe(const std::vector<Run> &runs)
{
    QStringList words;
    for (const Run &r : runs)
        words << QString("%1%2").arg(r.label).arg(r.ms);
    return words.join(' ');
}

std::vector<Run> parseRuns(const QString &text)
{
    std::vector<Run> runs;
    for (const QString &word : text.split(' ', Qt::SkipEmptyParts))
        runs.push_back({word[0].toLatin1(), word.mid(1).toInt()});
    return runs;
}

// Labels each 10 ms window of a mono 16-bit recording: '.' for silence, a tone
// letter when one test tone stands out, '*' when two do, '#' for other sound.
QByteArray label(const QByteArray &raw)
{
    const auto *s = reinterpret_cast<const qint16 *>(raw.constData());
    const qsizetype n = raw.size() / 2;
    QByteArray labels;
    for (qsizetype start = 0; start + Window <= n; start += Window) {
        double energy = 0;
        for (int i = 0; i < Window; ++i)
            energy += double(s[start + i]) * s[start + i];
        const double rms = std::sqrt(energy / Window) / 32768;
        if (rms < 0.01) {
            labels += '.';
            continue;
        }
        QByteArray present;
        for (char tone : {'A', 'B', 'C', 'D'}) {
            double re = 0, im = 0;
            const double w = 2 * std::numbers::pi * toneFrequency(tone) / Rate;
            for (int i = 0; i < Window; ++i) {
                re += s[start + i] * std::cos(w * i);
                im += s[start + i] * std::sin(w * i);
            }
            if (2 * std::hypot(re, im) / Window / 32768 > 0.1)
                present += tone;
        }
        labels += present.size() == 1 ? present[0] : present.isEmpty() ? '#' : '*';
    }
    return labels;
}

// What was heard, in runs separated by silence. A window or two of mixed
// labels where one sound hands over to the next is how a cut looks at this
// resolution, so runs shorter than 30 ms are dropped first; a real overlap,
// or a real pause, lasts far longer.
std::vector<Run> heard(const QByteArray &labels)
{
    std::vector<Run> runs;
    for (qsizetype i = 0; i < labels.size();) {
        qsizetype j = i;
        while (j < labels.size() && labels[j] == labels[i])
            ++j;
        if (j - i >= 3) {
            if (!runs.empty() && runs.back().label == labels[i])
                runs.back().ms += int(j - i) * 10;
            else
                runs.push_back({labels[i], int(j - i) * 10});
        }
        i = j;
    }
    std::erase_if(runs, [](const Run &r) { return r.label == '.'; });
    return runs;
}

bool matches(const std::vector<Run> &actual, const std::vector<Run> &expected, int toleranceMs)
{
    if (actual.size() != expected.size())
        return false;
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (actual[i].label != expected[i].label || std::abs(actual[i].ms - expected[i].ms) > toleranceMs)
            return false;
    return true;
}

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
    // From soundcheck's one line: the longest play call by the clock and in
    // CPU time, and how often the calls slept.
    qint64 playUs = -1;
    qint64 playCpuUs = -1;
    qint64 playSleeps = -1;
    QByteArray labels;
};

// A folder with a copy of soundcheck and the sound back end beside it, like an
// installed game; the sound files of a case are written into it.
class Sandbox {
public:
    explicit Sandbox(bool withBackEnd = true)
    {
        QFile::copy(SOUNDCHECK_PATH, path("soundcheck"));
        if (withBackEnd)
            QFile::link(SOUND_MODULE_PATH, path(QFileInfo(SOUND_MODULE_PATH).fileName()));
        // Sounds in the working folder must not be heard: only the program's folder counts.
        writeSound(m_work.filePath("Move.wav"), "D300");
        writeSound(m_work.filePath("Done.wav"), "D300");
        // A file to play first, so that loading the back end does not delay the sounds measured.
        writeSound(path("Warm.wav"), "-50");
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Runs soundcheck with `steps`, recording the sink's monitor meanwhile.
    Outcome run(const QStringList &steps, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess recorder;
        recorder.start("parec", {"-d", "@DEFAULT_MONITOR@", "--raw", "--format=s16le", "--rate=44100",
                                 "--channels=1", "--latency-msec=10"});
        // Recording has begun once data flows; a little silence first marks the start.
        recorder.waitForReadyRead(5000);
        QTest::qWait(200);

        Outcome o;
        QProcess game;
        game.setProcessEnvironment(env);
        game.setWorkingDirectory(m_work.path());
        QElapsedTimer clock;
        clock.start();
        game.start(path("soundcheck"), steps);
        game.waitForFinished(30000);
        o.elapsedMs = clock.elapsed();
        o.exitCode = game.exitStatus() == QProcess::NormalExit ? game.exitCode() : -1;
        o.out = game.readAllStandardOutput();
        o.err = game.readAllStandardError();
        static const QRegularExpression line("^play-us (\\d+) play-cpu-us (\\d+) play-sleeps (\\d+)\n$");
        if (const auto m = line.match(QString::fromLatin1(o.out)); m.hasMatch()) {
            o.playUs = m.captured(1).toLongLong();
            o.playCpuUs = m.captured(2).toLongLong();
            o.playSleeps = m.captured(3).toLongLong();
        }

        QTest::qWait(300);
        // parec writes out what it holds only when it is interrupted, not terminated.
        ::kill(pid_t(recorder.processId()), SIGINT);
        recorder.waitForFinished(5000);
        o.labels = label(recorder.readAllStandardOutput());
        return o;
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_work;
};

// Every run must end by itself with nothing on the console but soundcheck's
// one line, and no play call may have kept the caller waiting: none slept and
// none did more than a sliver of work. (The clock alone would also count time
// lost to other busy processes; soundcheck reports it for the record.)
#define VERIFY_QUIET(o)                                                                        \
    do {                                                                                       \
        QCOMPARE((o).exitCode, 0);                                                             \
        QVERIFY2((o).err.isEmpty(), (o).err.constData());                                      \
        QVERIFY2((o).playUs >= 0, (o).out.constData());                                        \
        QVERIFY2((o).playSleeps == 0 && (o).playCpuUs < 5000, (o).out.constData());            \
    } while (false)

#define VERIFY_HEARD(o, expected, tolerance)                                                   \
    do {                                                                                       \
        const auto runs = heard((o).labels);                                                   \
        QVERIFY2(matches(runs, parseRuns(expected), tolerance),                                \
                 qPrintable(QString("heard \"%1\", expected \"%2\"; windows: %3")              \
                                .arg(describe(runs), expected, QString((o).labels))));         \
    } while (false)

} // namespace

class SoundTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isValid());
        // Should this program die, the server ends by itself 10 s after its last client.
        QCOMPARE(QProcess::execute("bash", {SOUND_SERVER_SCRIPT, "start", m_server.path(), "10"}), 0);
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(m_server.filePath("native")));
    }

    void cleanupTestCase() { QProcess::execute("bash", {SOUND_SERVER_SCRIPT, "stop", m_server.path()}); }

    void everyFormatPlaysWhole_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("ms");
        const int wav = SF_FORMAT_WAV;
        QTest::newRow("16-bit mono, a whole second") << (wav | SF_FORMAT_PCM_16) << 44100 << 1 << 1000;
        QTest::newRow("8-bit mono 8 kHz") << (wav | SF_FORMAT_PCM_U8) << 8000 << 1 << 400;
        QTest::newRow("24-bit stereo 48 kHz") << (wav | SF_FORMAT_PCM_24) << 48000 << 2 << 400;
        QTest::newRow("32-bit stereo 96 kHz") << (wav | SF_FORMAT_PCM_32) << 96000 << 2 << 400;
        QTest::newRow("float mono 22.05 kHz") << (wav | SF_FORMAT_FLOAT) << 22050 << 1 << 400;
        QTest::newRow("IMA ADPCM mono 22.05 kHz") << (wav | SF_FORMAT_IMA_ADPCM) << 22050 << 1 << 400;
        QTest::newRow("MS ADPCM stereo 11.025 kHz") << (wav | SF_FORMAT_MS_ADPCM) << 11025 << 2 << 400;
        QTest::newRow("mu-law mono 8 kHz") << (wav | SF_FORMAT_ULAW) << 8000 << 1 << 400;
        QTest::newRow("six channels 48 kHz") << (SF_FORMAT_WAVEX | SF_FORMAT_PCM_16) << 48000 << 6 << 400;
    }

    void everyFormatPlaysWhole()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, ms);
        Sandbox box;
        writeSound(box.path("Move.wav"), QString("A%1").arg(ms), format, rate, channels);
        const Outcome o = box.run({"Warm.wav", "@400", "Move.wav", QString("@%1").arg(ms + 400)});
        VERIFY_QUIET(o);
        VERIFY_HEARD(o, QString("A%1").arg(ms), 20);
    }

    void newSoundCutsTheOneBefore_data()
    {
        QTest::addColumn<QString>("move");
        QTest::addColumn<QString>("done");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the other file") << "A600" << "C400" << QStringList{"Move.wav", "@200", "Done.wav", "@700"}
                                        << "A200 C400";
        // Move.wav starts with a short B, so a restart from the beginning shows.
        QTest::newRow("the same file again") << "B100 A500" << "C400"
                                             << QStringList{"Move.wav", "@300", "Move.wav", "@900"}
                                             << "B100 A200 B100 A500";
        QTest::newRow("many at once: only the last") << "B100 A500" << "C400"
                                                     << QStringList{"Move.wav", "Done.wav", "Move.wav", "Done.wav", "@700"}
                                                     << "C400";
    }

    void newSoundCutsTheOneBefore()
    {
        QFETCH(QString, move);
        QFETCH(QString, done);
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Sandbox box;
        writeSound(box.path("Move.wav"), move);
        writeSound(box.path("Done.wav"), done);
        const Outcome o = box.run(QStringList{"Warm.wav", "@400"} + steps);
        VERIFY_QUIET(o);
        VERIFY_HEARD(o, expected, 40);
    }

    // The cues as the rules call them. soundcheck's fixed draws make a shuffle
    // from the solved board move tile 12 down, so "move:16" wins the game.
    void gameCues_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a shuffle: one move sound") << QStringList{"shuffle", "@600"} << "B60 A240";
        QTest::newRow("a move during a game") << QStringList{"shuffle", "@500", "move:11", "@500"}
                                              << "B60 A240 B60 A240";
        QTest::newRow("a press that moves nothing") << QStringList{"shuffle", "@500", "move:1", "@500"}
                                                    << "B60 A240 B60 A240";
        QTest::newRow("two moves in quick succession")
            << QStringList{"shuffle", "@500", "move:11", "@120", "move:12", "@500"}
            << "B60 A240 B60 A60 B60 A240";
        QTest::newRow("the winning move: the solved sound cuts the move sound")
            << QStringList{"shuffle", "@500", "move:16", "@700"} << "B60 A240 C500";
        QTest::newRow("moves outside a game are silent") << QStringList{"move:12", "@200", "move:16", "@500"} << "";
        QTest::newRow("sound switched off: silence")
            << QStringList{"mute", "shuffle", "@300", "move:11", "@300", "move:12", "move:16", "@500"} << "";
        QTest::newRow("switched off during a game")
            << QStringList{"shuffle", "@500", "mute", "move:16", "@600"} << "B60 A240";
    }

    void gameCues()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Sandbox box;
        writeSound(box.path("Move.wav"), "B60 A240");
        writeSound(box.path("Done.wav"), "C500");
        const Outcome o = box.run(QStringList{"Warm.wav", "@400"} + steps);
        VERIFY_QUIET(o);
        VERIFY_HEARD(o, expected, 40);
    }

    // Whatever lies under the name, the call returns at once and nothing is
    // heard or printed; a good Done.wav played next is still heard, whole.
    void badFilesGiveSilenceAndNeverWait_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"missing", "empty", "cut in the header", "cut in the format chunk",
                                 "garbage after the header", "not a sound", "no channels",
                                 "enormous", "a folder", "a link to nowhere", "a FIFO",
                                 "a link to /dev/zero", "a link to /dev/urandom"})
            QTest::newRow(kind) << QString(kind);
    }

    void badFilesGiveSilenceAndNeverWait()
    {
        QFETCH(QString, kind);
        Sandbox box;
        const QString move = box.path("Move.wav");
        writeSound(box.path("Done.wav"), "C300");
        writeSound(move, "A300");
        QFile good(move);
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray wav = good.readAll();
        good.close();
        QFile::remove(move);

        auto write = [&](const QByteArray &bytes) {
            QFile f(move);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        if (kind == "empty")
            write({});
        else if (kind == "cut in the header")
            write(wav.left(10));
        else if (kind == "cut in the format chunk")
            write(wav.left(30));
        else if (kind == "garbage after the header") {
            QByteArray bytes = wav.left(12);
            for (int i = 0; i < 20000; ++i)
                bytes += char(i * 7919 >> 3);
            write(bytes);
        } else if (kind == "not a sound")
            write(QByteArray("Glidor\n").repeated(5000));
        else if (kind == "no channels") {
            QByteArray bytes = wav;
            bytes[22] = bytes[23] = 0; // the channel count of the format chunk
            write(bytes);
        } else if (kind == "enormous") {
            write(wav);
            QVERIFY(::truncate(QFile::encodeName(move).constData(), 3LL << 30) == 0); // sparse: no disk used
        } else if (kind == "a folder")
            QVERIFY(QDir().mkdir(move));
        else if (kind == "a link to nowhere")
            QVERIFY(QFile::link(box.path("gone.wav"), move));
        else if (kind == "a FIFO")
            QVERIFY(::mkfifo(QFile::encodeName(move).constData(), 0644) == 0);
        else if (kind == "a link to /dev/zero")
            QVERIFY(QFile::link("/dev/zero", move));
        else if (kind == "a link to /dev/urandom")
            QVERIFY(QFile::link("/dev/urandom", move));

        const Outcome o = box.run({"Warm.wav", "@300", "Move.wav", "@200", "Move.wav", "@200", "Done.wav", "@600"});
        VERIFY_QUIET(o);
        VERIFY_HEARD(o, QString("C300"), 20);
    }

    // No audio server, no back end beside the program, or a quit in the middle
    // of a sound: the program still ends at once, in silence, saying nothing.
    void quietWithoutServerOrBackEnd_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("backEnd");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no audio server") << false << true << QStringList{"Move.wav", "@100", "Done.wav", "@300"} << "";
        QTest::newRow("no back end") << true << false << QStringList{"Move.wav", "@100", "Done.wav", "@300"} << "";
        QTest::newRow("quit while a sound plays") << true << true << QStringList{"Warm.wav", "@300", "Done.wav", "@300"}
                                                  << "C300";
        QTest::newRow("quit right after the first cue") << true << true << QStringList{"Done.wav"} << "any";
    }

    void quietWithoutServerOrBackEnd()
    {
        QFETCH(bool, server);
        QFETCH(bool, backEnd);
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Sandbox box(backEnd);
        writeSound(box.path("Move.wav"), "A500");
        writeSound(box.path("Done.wav"), "C2000");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!server)
            env.insert("PULSE_SERVER", "unix:" + box.path("no-such-socket"));
        const Outcome o = box.run(steps, env);
        VERIFY_QUIET(o);
        QVERIFY2(o.elapsedMs < 3000, qPrintable(QString::number(o.elapsedMs)));
        // A quit right after the first cue may let a few milliseconds out, or none.
        if (expected != "any")
            VERIFY_HEARD(o, expected, 40);
    }

    // The game's own sounds, made at build time, are real sounds of a sensible length.
    void ownSoundsAreHeard()
    {
        Sandbox box;
        for (const char *name : {"Move.wav", "Done.wav"})
            QVERIFY(QFile::copy(QDir(BUILD_DIR).filePath(name), box.path(name)));
        const Outcome o = box.run({"Warm.wav", "@400", "Move.wav", "@400", "Done.wav", "@1200"});
        VERIFY_QUIET(o);
        QByteArray labels = o.labels;
        for (char &c : labels)
            c = c == '.' ? '.' : '#'; // they are no test tones: any sound counts
        const auto runs = heard(labels);
        QVERIFY2(runs.size() == 2 && runs[0].ms >= 40 && runs[0].ms <= 150 && runs[1].ms >= 300
                     && runs[1].ms <= 950,
                 qPrintable(describe(runs)));
    }

private:
    QTemporaryDir m_server;
};

QTEST_GUILESS_MAIN(SoundTests)
#include "sound_tests.moc"
