// Plays cues through the real play operation and checks what an audio server's sink really received.
//
// Each case runs soundcheck, a stand-in for the game, from a folder of its own
// holding the case's sound files, while parec records the monitor of the null
// sink of a PulseAudio server that only these tests use. The recording is cut
// into 10 ms windows labelled by the test tone they hold, so what was heard
// reads like "B60 A240 C500": tones in order, lengths in milliseconds.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <complex>
#include <csignal>
#include <map>
#include <numbers>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Rate = 44100;
constexpr int Window = Rate / 100; // 10 ms, which every test tone fills with whole periods
// D is the decoy left in the working folder, which must never be heard.
const std::map<char, double> Tones{{'A', 500}, {'B', 1000}, {'C', 1500}, {'D', 2000}};

// Writes segments such as "B60 A240" (a tone, or '-' for silence, then
// milliseconds) through libsndfile, every channel carrying the same tone.
void writeSound(const QString &path, const QString &segments, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                int rate = Rate, int channels = 1)
{
    std::vector<float> frames;
    double phase = 0;
    for (const QString &segment : segments.split(' ')) {
        const auto tone = Tones.find(segment[0].toLatin1());
        const double f = tone == Tones.end() ? 0 : tone->second;
        for (int i = segment.mid(1).toInt() * rate / 1000; i > 0; --i, phase += 2 * std::numbers::pi * f / rate)
            frames.insert(frames.end(), channels, 0.5f * float(std::sin(phase)));
    }
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY2(file, sf_strerror(nullptr));
    sf_writef_float(file, frames.data(), sf_count_t(frames.size() / channels));
    sf_close(file);
}

// One label per 10 ms of a mono 16-bit recording: '.' for silence, the tone's
// letter when one test tone stands out, '*' for two at once, '#' for other sound.
QByteArray label(const QByteArray &raw)
{
    const auto *s = reinterpret_cast<const qint16 *>(raw.constData());
    QByteArray labels;
    for (qsizetype start = 0; start + Window <= raw.size() / 2; start += Window) {
        double energy = 0;
        for (int i = 0; i < Window; ++i)
            energy += double(s[start + i]) * s[start + i];
        QByteArray present;
        for (const auto &[tone, f] : Tones) {
            std::complex<double> sum;
            for (int i = 0; i < Window; ++i)
                sum += double(s[start + i]) * std::polar(1.0, 2 * std::numbers::pi * f * i / Rate);
            if (2 * std::abs(sum) / Window / 32768 > 0.1)
                present += tone;
        }
        labels += std::sqrt(energy / Window) / 32768 < 0.01 ? '.'
                  : present.size() == 1                     ? present[0]
                  : present.isEmpty()                       ? '#'
                                                            : '*';
    }
    return labels;
}

// What was heard, as "B60 A240": runs of one label, with the silence between
// them left out. Runs under 30 ms go first: a window or two of mixed labels is
// how one sound handing over to the next looks at this resolution, while a
// real overlap or pause lasts far longer.
QString heard(const QByteArray &labels)
{
    std::vector<std::pair<char, int>> runs;
    for (qsizetype i = 0, j = 0; i < labels.size(); i = j) {
        while (j < labels.size() && labels[j] == labels[i])
            ++j;
        if (j - i < 3)
            continue;
        if (!runs.empty() && runs.back().first == labels[i])
            runs.back().second += int(j - i) * 10;
        else
            runs.push_back({labels[i], int(j - i) * 10});
    }
    QStringList words;
    for (const auto &[label, ms] : runs)
        if (label != '.')
            words << QString("%1%2").arg(label).arg(ms);
    return words.join(' ');
}

// True when `heard` has the runs of `expected`, each within `tolerance` ms.
bool matches(const QString &heard, const QString &expected, int tolerance)
{
    const QStringList a = heard.split(' ', Qt::SkipEmptyParts);
    const QStringList b = expected.split(' ', Qt::SkipEmptyParts);
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i][0] != b[i][0] || std::abs(a[i].mid(1).toInt() - b[i].mid(1).toInt()) > tolerance)
            return false;
    return true;
}

struct Outcome {
    int exitCode = -1;
    QByteArray out, err;
    qint64 elapsedMs = 0;
    QByteArray labels;
};

// soundcheck must end by itself and print nothing but its one line, no play
// call may have slept or done more than a sliver of work, and what was heard
// must match `expected` ("any" takes whatever came).
void check(const Outcome &o, const QString &expected, int tolerance)
{
    QCOMPARE(o.exitCode, 0);
    QVERIFY2(o.err.isEmpty(), o.err.constData());
    static const QRegularExpression line("^play-cpu-us (\\d+) play-sleeps 0\n$");
    const auto m = line.match(QString::fromLatin1(o.out));
    QVERIFY2(m.hasMatch() && m.captured(1).toInt() < 5000, o.out.constData());
    const QString h = heard(o.labels);
    QVERIFY2(expected == "any" || matches(h, expected, tolerance),
             qPrintable(QString("heard \"%1\", expected \"%2\"; windows %3").arg(h, expected, QString::fromLatin1(o.labels))));
}

// A folder with a copy of soundcheck and the back end beside it, as in an
// installed game, for a case's sound files. soundcheck runs from another
// folder, which holds decoys under the same names.
class Sandbox {
public:
    explicit Sandbox(bool withBackEnd = true)
    {
        QFile::copy(SOUNDCHECK_PATH, path("soundcheck"));
        if (withBackEnd)
            QFile::link(SOUND_MODULE_PATH, path(QFileInfo(SOUND_MODULE_PATH).fileName()));
        writeSound(m_work.filePath("Move.wav"), "D300");
        writeSound(m_work.filePath("Done.wav"), "D300");
        // Played first, so that loading the back end does not shift the sounds measured.
        writeSound(path("Warm.wav"), "-50");
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    Outcome run(const QStringList &steps, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess recorder;
        recorder.start("parec", {"-d", "@DEFAULT_MONITOR@", "--raw", "--format=s16le", "--rate=44100",
                                 "--channels=1", "--latency-msec=10"});
        recorder.waitForReadyRead(5000); // data flows: the recording has begun
        QTest::qWait(200);

        QProcess game;
        game.setProcessEnvironment(env);
        game.setWorkingDirectory(m_work.path());
        QElapsedTimer clock;
        clock.start();
        game.start(path("soundcheck"), steps);
        game.waitForFinished(30000);
        Outcome o{game.exitStatus() == QProcess::NormalExit ? game.exitCode() : -1,
                  game.readAllStandardOutput(), game.readAllStandardError(), clock.elapsed(), {}};

        QTest::qWait(300);
        ::kill(pid_t(recorder.processId()), SIGINT); // parec writes out what it holds only when interrupted
        recorder.waitForFinished(5000);
        o.labels = label(recorder.readAllStandardOutput());
        return o;
    }

private:
    QTemporaryDir m_dir, m_work;
};

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
        check(box.run({"Warm.wav", "@400", "Move.wav", QString("@%1").arg(ms + 400)}), QString("A%1").arg(ms), 20);
    }

    // The cues as the rules call them, with a Move.wav that starts with a short
    // B so that each new start shows. soundcheck's fixed draws make a shuffle
    // from the solved board move tile 12 down, so "move:16" wins the game.
    void cues_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a shuffle: one move sound") << QStringList{"shuffle", "@600"} << "B60 A240";
        QTest::newRow("a move during a game") << QStringList{"shuffle", "@500", "move:11", "@500"}
                                              << "B60 A240 B60 A240";
        QTest::newRow("a press that moves nothing") << QStringList{"shuffle", "@500", "move:1", "@500"}
                                                    << "B60 A240 B60 A240";
        QTest::newRow("two moves in quick succession: the first is cut, the second starts over")
            << QStringList{"shuffle", "@500", "move:11", "@120", "move:12", "@500"} << "B60 A240 B60 A60 B60 A240";
        QTest::newRow("the winning move: the solved sound cuts the move sound")
            << QStringList{"shuffle", "@500", "move:16", "@700"} << "B60 A240 C500";
        QTest::newRow("moves outside a game are silent") << QStringList{"move:12", "@200", "move:16", "@500"} << "";
        QTest::newRow("sound switched off: silence")
            << QStringList{"mute", "shuffle", "@300", "move:11", "@300", "move:12", "move:16", "@500"} << "";
        QTest::newRow("switched off during a game") << QStringList{"shuffle", "@500", "mute", "move:16", "@600"}
                                                    << "B60 A240";
        QTest::newRow("many at once: only the last is heard")
            << QStringList{"Move.wav", "Done.wav", "Move.wav", "Done.wav", "@700"} << "C500";
    }

    void cues()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Sandbox box;
        writeSound(box.path("Move.wav"), "B60 A240");
        writeSound(box.path("Done.wav"), "C500");
        check(box.run(QStringList{"Warm.wav", "@400"} + steps), expected, 40);
    }

    // Whatever lies under the name, the calls return at once, nothing is heard
    // and nothing printed, and a good Done.wav played next is still heard whole.
    void badFilesGiveSilenceAndNeverWait_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"missing", "empty", "cut in the header", "garbage after the header",
                                 "not a sound", "no channels", "enormous", "a folder", "a link to nowhere",
                                 "a FIFO", "a device"})
            QTest::newRow(kind) << QString(kind);
    }

    void badFilesGiveSilenceAndNeverWait()
    {
        QFETCH(QString, kind);
        Sandbox box;
        const QString move = box.path("Move.wav");
        const QByteArray name = QFile::encodeName(move);
        writeSound(box.path("Done.wav"), "C300");
        writeSound(move, "A300");
        QFile file(move);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        file.resize(0);
        if (kind == "cut in the header")
            bytes.truncate(30);
        else if (kind == "garbage after the header")
            for (int i = 12; i < bytes.size(); ++i) // from the format chunk on
                bytes[i] = char(i * 7919 >> 3);
        else if (kind == "not a sound")
            bytes = QByteArray("Glidor\n").repeated(5000);
        else if (kind == "no channels")
            bytes[22] = bytes[23] = 0; // the channel count in the format chunk
        else if (kind != "enormous")
            bytes.clear();
        file.write(bytes);
        file.close();
        if (kind == "enormous")
            QVERIFY(::truncate(name.constData(), 3LL << 30) == 0); // sparse: no disk used
        if (kind == "missing" || kind == "a folder" || kind == "a link to nowhere" || kind == "a FIFO"
            || kind == "a device")
            QVERIFY(QFile::remove(move));
        if (kind == "a folder")
            QVERIFY(::mkdir(name.constData(), 0755) == 0);
        else if (kind == "a link to nowhere")
            QVERIFY(QFile::link(box.path("gone.wav"), move));
        else if (kind == "a FIFO")
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        else if (kind == "a device")
            QVERIFY(QFile::link("/dev/zero", move));

        check(box.run({"Warm.wav", "@300", "Move.wav", "@200", "Move.wav", "@200", "Done.wav", "@600"}), "C300",
              20);
    }

    // No audio server, no back end beside the program, or a quit in the middle
    // of a sound: the program still ends at once, in silence, saying nothing.
    void quietWithoutServerOrBackEnd_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("backEnd");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        const QStringList both{"Move.wav", "@100", "Done.wav", "@300"};
        QTest::newRow("no audio server") << false << true << both << "";
        QTest::newRow("no back end") << true << false << both << "";
        QTest::newRow("quit while a sound plays") << true << true << QStringList{"Warm.wav", "@300", "Done.wav", "@300"}
                                                  << "C300";
        // Some milliseconds may get out before the sound is stopped, or none.
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
        QVERIFY2(o.elapsedMs < 3000, qPrintable(QString::number(o.elapsedMs)));
        check(o, expected, 120); // quitting lands within a scheduler tick or two of the plan
    }

    // The game's own sounds, made at build time, are heard, at a sensible length.
    void ownSoundsAreHeard()
    {
        Sandbox box;
        for (const char *name : {"Move.wav", "Done.wav"})
            QVERIFY(QFile::copy(QDir(BUILD_DIR).filePath(name), box.path(name)));
        Outcome o = box.run({"Warm.wav", "@400", "Move.wav", "@400", "Done.wav", "@1200"});
        for (char &c : o.labels)
            c = c == '.' ? '.' : '#'; // no test tones here: any sound counts
        const QStringList runs = heard(o.labels).split(' ');
        check(o, "any", 0);
        QVERIFY2(runs.size() == 2 && matches(runs[0], "#90", 50) && matches(runs[1], "#650", 300),
                 qPrintable(runs.join(' ')));
    }

private:
    QTemporaryDir m_server;
};

QTEST_GUILESS_MAIN(SoundTests)
#include "sound_tests.moc"
