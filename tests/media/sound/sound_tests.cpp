// The sound back end's tests: which files it opens and the stream it asks for, with no server; and
// cues played through the real play operation, in soundcheck, as the null sink of a PulseAudio
// server of the tests' own really received them.
#include "sounddecode.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sound_tests {
Q_NAMESPACE

// What opening a file and reading it through comes to: sound, nothing but 0, or no file opened.
enum class Outcome { Played, Silent, Refused };
Q_ENUM_NS(Outcome)

} // namespace sound_tests

using sound_tests::Outcome;
using Positions = QList<pa_channel_position_t>;
// Makes a case's file at `path`; false when it could not.
using MakeFile = std::function<bool(const QString &path)>;

// A resolver that never answers, in network and mount namespaces of the case's own: glibc gives up
// on a lookup after `timeout` seconds, or its own 10 s when 0; at the end it must have had
// `lookups` of them.
struct SilentResolver
{
    int timeout = 0;
    int lookups = 0;
};

Q_DECLARE_METATYPE(pa_channel_position_t)
Q_DECLARE_METATYPE(MakeFile)
Q_DECLARE_METATYPE(std::optional<SilentResolver>)

namespace QTest {
template<>
char *toString(const pa_channel_position_t &position)
{
    return qstrdup(pa_channel_position_to_string(position));
}
} // namespace QTest

namespace {

constexpr auto Mono = PA_CHANNEL_POSITION_MONO, FrontLeft = PA_CHANNEL_POSITION_FRONT_LEFT,
               FrontRight = PA_CHANNEL_POSITION_FRONT_RIGHT,
               FrontCenter = PA_CHANNEL_POSITION_FRONT_CENTER, Lfe = PA_CHANNEL_POSITION_LFE,
               RearLeft = PA_CHANNEL_POSITION_REAR_LEFT, RearRight = PA_CHANNEL_POSITION_REAR_RIGHT,
               SideLeft = PA_CHANNEL_POSITION_SIDE_LEFT, SideRight = PA_CHANNEL_POSITION_SIDE_RIGHT;

// The recording's rate, and that of the tone files; 10 ms windows, filled with whole periods of the
// tones A, B, C and D: 500, 1000, 1500 and 2000 Hz.
constexpr int Rate = 44100, Window = Rate / 100;

// WAVE files for openedAsItSounds, written a chunk at a time.

// Bytes of a file, `times` over: a 15 MB chunk is written without ever being held here, where the
// memory that checking a file costs is measured.
struct Bytes
{
    QByteArray bytes;
    qint64 times = 1;
};
using Pieces = QList<Bytes>;

// `value` in `bytes` bytes, the lowest first, as WAVE writes its numbers.
QByteArray le(quint64 value, int bytes)
{
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b += char(value >> 8 * i);
    return b;
}

qint64 sizeOf(const Pieces &pieces)
{
    return std::accumulate(pieces.begin(), pieces.end(), qint64(0), [](qint64 sum, const Bytes &b) {
        return sum + b.bytes.size() * b.times;
    });
}

// A chunk: its id, the size of its body, the body and, after an odd body, a pad byte.
QByteArray chunk(const char *id, const QByteArray &body)
{
    return id + le(body.size(), 4) + body + QByteArray(body.size() % 2, '\0');
}

// A chunk whose body is `size` bytes of `filler`.
Pieces chunk(const char *id, char filler, qint64 size)
{
    return { { id + le(size, 4) },
             { QByteArray(1, filler), size },
             { QByteArray(size % 2, '\0') } };
}

// WAVE's format tags.
constexpr quint16 Pcm = 1, Float = 3, MpegLayer3 = 0x55, Extensible = 0xFFFE;

// The 16 bytes every "fmt " begins with: coding, channels, rate, bytes a second, bytes a frame and
// bits a sample.
QByteArray format(quint16 tag, int channels, int rate, int bits)
{
    const int frameBytes = channels * bits / 8;
    return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * frameBytes, 4) + le(frameBytes, 2)
            + le(bits, 2);
}

// A RIFF WAVE file of `chunks`, its size counting them.
Pieces riff(const Pieces &chunks)
{
    return Pieces{ { "RIFF" + le(4 + sizeOf(chunks), 4) + "WAVE" } } + chunks;
}

// 0.1 s of a 500 Hz tone, `channels` alike, as signed PCM of `bits` (16 or 24).
QByteArray toneSamples(int rate, int channels, int bits)
{
    QByteArray sound;
    for (int i = 0; i < rate / 10; ++i) {
        const double s = 0.5 * std::sin(2 * std::numbers::pi * 500 * i / rate);
        for (int c = 0; c < channels; ++c)
            sound += le(quint32(std::lround(s * (1 << (bits - 1)))), bits / 8);
    }
    return sound;
}

bool write(const QString &path, const Pieces &pieces)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Bytes &b : pieces) {
        // About 64 KiB at a time.
        const qint64 perBlock =
                std::max<qint64>(1, 64 * 1024 / std::max<qint64>(1, b.bytes.size()));
        const QByteArray block = b.bytes.repeated(perBlock);
        for (qint64 left = b.times; left > 0; left -= perBlock)
            if (file.write(left >= perBlock ? block : b.bytes.repeated(left)) < 0)
                return false;
    }
    return file.flush();
}

MakeFile written(const Pieces &pieces)
{
    return [pieces](const QString &path) { return write(path, pieces); };
}

// 0.1 s of a 500 Hz tone, made by sox as `options` (its options for the output file) say.
MakeFile sox(const QString &options)
{
    return [options](const QString &path) {
        QProcess sox;
        const QStringList tone{ path, "synth", ".1", "sine", "500" };
        sox.start("sox", QStringList{ "-n" } + options.split(' ') + tone);
        return sox.waitForFinished() && sox.exitStatus() == QProcess::NormalExit
                && sox.exitCode() == 0;
    };
}

// How a tone file's header closes: with its true sizes, as RF64 (its sizes in "ds64") or never, its
// sizes left at 8 and 0 by a writer that did not get to close the file.
enum class Header { Closed, Rf64, Unclosed };

// A tone file with more in it than its format and its sound.
struct Extra
{
    Pieces beforeFormat = {}, beforeData = {}, afterData = {};
    Header header = Header::Closed;
};

// 0.1 s of a 500 Hz tone in 16-bit mono at 44.1 kHz, with `extra`.
MakeFile tone(const Extra &extra)
{
    const QByteArray sound = toneSamples(Rate, 1, 16);
    const auto chunks = [&](quint32 dataSize) {
        return extra.beforeFormat + Pieces{ { chunk("fmt ", format(Pcm, 1, Rate, 16)) } }
        + extra.beforeData + Pieces{ { "data" + le(dataSize, 4) + sound } } + extra.afterData;
    };
    switch (extra.header) {
    case Header::Closed:
        return written(riff(chunks(sound.size())));
    case Header::Rf64:
        return written(Pieces{ { "RF64" + le(0xFFFFFFFF, 4) + "WAVE" } } + chunks(0xFFFFFFFF));
    case Header::Unclosed:
        return written(Pieces{ { "RIFF" + le(8, 4) + "WAVE" } } + chunks(0));
    }
    return {};
}

// WAVE_FORMAT_EXTENSIBLE's speaker bits.
constexpr quint32 SpeakerSideLeft = 0x200, SpeakerSideRight = 0x400;

// 0.1 s of a 500 Hz tone in 24-bit stereo at 96 kHz, in WAVE_FORMAT_EXTENSIBLE with the speakers
// of `mask`.
MakeFile masked(quint32 mask)
{
    const QByteArray pcm("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16); // sub-format PCM
    const QByteArray extensible =
            format(Extensible, 2, 96000, 24) + le(22, 2) + le(24, 2) + le(mask, 4);
    return written(riff({ { chunk("fmt ", extensible + pcm) + chunk("fact", le(96000 / 10, 4))
                            + chunk("data", toneSamples(96000, 2, 24)) } }));
}

// 0.1 s of float stereo at 44.1 kHz, all 0 but for a NaN, +Inf and -Inf at the start.
MakeFile notFinite()
{
    std::vector<float> samples(Rate / 10 * 2);
    samples[0] = std::numeric_limits<float>::quiet_NaN();
    samples[1] = std::numeric_limits<float>::infinity();
    samples[2] = -std::numeric_limits<float>::infinity();
    const QByteArray sound(reinterpret_cast<const char *>(samples.data()),
                           qsizetype(samples.size() * sizeof(float)));
    return written(riff({ { chunk("fmt ", format(Float, 2, Rate, 32) + le(0, 2))
                            + chunk("fact", le(Rate / 10, 4)) + chunk("data", sound) } }));
}

// An MPEG layer 3 "fmt " over 48 kB of what no decoder can make sense of (the numbers 1 to 9999 in
// text), under a RIFF size and a "data" size that are both false.
MakeFile mp3InWave()
{
    // Its coding, channels, rate, bytes a second, bytes a block, bits a sample and the 12 bytes
    // more of MPEGLAYER3WAVEFORMAT: its id, flags, block size, frames a block and codec delay.
    const QByteArray mpeg = le(MpegLayer3, 2) + le(1, 2) + le(44100, 4) + le(16000, 4) + le(1, 2)
            + le(0, 2) + le(12, 2) + le(1, 2) + le(2, 4) + le(416, 2) + le(1, 2) + le(1393, 2);
    QByteArray text;
    for (int i = 1; i <= 9999; ++i)
        text += QByteArray::number(i) + '\n';
    return written({ { "RIFF" + le(255, 4) + "WAVE" + chunk("fmt ", mpeg) + "data" + le(0xFFFF, 4)
                       + text } });
}

MakeFile fifo()
{
    return [](const QString &path) { return ::mkfifo(QFile::encodeName(path), 0600) == 0; };
}

// Every case's folder, made for it: soundcheck with the back end beside it; Move.wav "B100 A200",
// Done.wav "C300", Warm.wav, silence that loads the back end first where a case's timing needs it;
// the decoys (D) in work/, where it runs. As steps, "!$STOP" hangs the tests' sound server,
// "!$KILL" kills it and "!$START" starts it again; "!$BUFFER" checks the one sink input's buffer
// while a sound plays: 150 to 250 ms, where one the server chooses itself, with the tests' recorder
// running, comes near 300 ms. `resolver [SECONDS]` sets up a SilentResolver: the case names
// the sound server by host, its network's loopback (down in a new namespace) goes up, and Perl,
// which every Debian has, stands in for a DNS server that never answers; at the end it prints how
// many lookups it got (a port for each, shared by its retries). Its binds stay in the case's
// namespace: / is made private, or in a chroot (no mount point) must be so already. At its end a
// case lets a hung server go on and removes its folder (Qt cannot remove a Latin-1 name).
const QString Prelude =
        "set -e\ncd \"$(mktemp -d)\" && cp '" SOUNDCHECK_PATH "' . && ln -s '" SOUND_MODULE_PATH
        "' . && BUILD='" BUILD_DIR "' && servers='" SOUND_SERVER_SCRIPT "'"
        R"sh(
tone() { sox -n -r 44100 -b 16 -c 1 "$1" synth "$3" sine "$2" vol .5; }
tone b.wav 1000 .1 && tone a.wav 500 .2 && sox b.wav a.wav Move.wav
tone Done.wav 1500 .3 && tone Warm.wav 0 .05
mkdir work && tone work/Move.wav 2000 .3 && cp work/Move.wav work/Done.wav
pid=$(cat "$SERVER/pid") && export STOP="kill -STOP $pid" KILL="kill -KILL $pid"
export START="bash '$servers' start '$SERVER' 10"
export BUFFER="pactl -f json list sink-inputs | perl -ne '@u = /buffer_latency_usec.:(\\d+)/g;
  exit !(@u == 1 && \$u[0] >= 1.5e5 && \$u[0] <= 2.5e5)'"
box=$PWD && ending() { rm -rf "$box"; kill -CONT "$(cat "$SERVER/pid")"; } && trap ending EXIT
resolver() { mount --make-rprivate / 2>/dev/null || ! grep -q shared: /proc/self/mountinfo || exit 1
  printf 'nameserver 127.0.0.1\n%s\n' "${1:+options timeout:$1 attempts:1}" >resolv.conf
  echo 'hosts: dns' >nss && export PULSE_SERVER=tcp:sound-box.lan
  mount --bind resolv.conf /etc/resolv.conf && mount --bind nss /etc/nsswitch.conf
  ip link set lo up
  dns=$(perl -MSocket -e 'socket($s, PF_INET, SOCK_DGRAM, 0);
    bind($s, pack_sockaddr_in(53, inet_aton "127.0.0.1")) or die; if ($p = fork) { print $p; exit }
    open STDOUT, ">lookups"; $| = 1;
    print +(unpack_sockaddr_in recv $s, $_, 512, 0)[0], "\n" while 1')
  trap "kill $dns; sort -u '$PWD/lookups' | wc -l; ending" EXIT; }
)sh";

// A recording as "B100 A200": its tones in order, lengths rounded to 100 ms, enough to show a cut
// or an overlap on a busy machine; '#' for any other sound (for all sound with `anySound`). A run
// under 30 ms is one sound handing over to the next, and goes.
QString transcript(const QByteArray &raw, bool anySound)
{
    QString labels;
    for (auto *s = reinterpret_cast<const qint16 *>(raw.constData());
         labels.size() < raw.size() / 2 / Window; s += Window) {
        const double rms = std::sqrt(std::inner_product(s, s + Window, s, 0.0) / Window) / 32768;
        QByteArray present;
        for (int t = 0; t < 4; ++t) {
            std::complex<double> sum;
            for (int i = 0; i < Window; ++i)
                sum += double(s[i])
                        * std::polar(1.0, 2 * std::numbers::pi * 500 * (t + 1) * i / Rate);
            if (2 * std::abs(sum) / Window / 32768 > 0.1)
                present += char('A' + t);
        }
        labels += rms < 0.01 ? '.' : present.size() == 1 && !anySound ? present[0] : '#';
    }
    // Silence stays in, so that it parts two sounds.
    static const QRegularExpression shortRun("((.)\\2\\2+)|."), sound("([^.])\\1*");
    QStringList words;
    for (const auto &m : sound.globalMatch(labels.replace(shortRun, "\\1")))
        words << m.captured(1) + QString::number((m.capturedLength() + 5) / 10 * 100);
    return words.join(' ');
}

Positions positionsOf(const pa_channel_map &map)
{
    return Positions(map.map, map.map + map.channels);
}

} // namespace

class SoundTests : public QObject
{
    Q_OBJECT

    QTemporaryDir m_server;
    QProcess m_recorder;
    // How a case gets network and mount namespaces of its own: as anyone in a user namespace, or as
    // root where the kernel gives none (in a chroot).
    QStringList m_unshare;

private slots:
    void initTestCase()
    {
        for (const char *flags : { "-nm", "-rnm" }) // the last that works
            if (QProcess::execute("unshare", { flags, "--propagation", "unchanged", "true" }) == 0)
                m_unshare = QStringList{ "unshare", flags, "--propagation", "unchanged" };
        QCOMPARE(QProcess::execute("bash", { SOUND_SERVER_SCRIPT, "start", m_server.path(), "10" }),
                 0);
        qputenv("SERVER", QFile::encodeName(m_server.path()));
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(m_server.filePath("native")));
        // One recording for all cases, in parec's 16-bit 44.1 kHz, from the sink's monitor (the
        // server's only source): a new one takes a second to start.
        m_recorder.start("parec", { "--raw", "--channels=1", "--latency-msec=10" });
        QVERIFY(m_recorder.waitForReadyRead(10000));
    }

    void cleanupTestCase()
    {
        m_recorder.close();
        QProcess::execute("bash", { SOUND_SERVER_SCRIPT, "stop", m_server.path() });
    }

    // A file of 0.1 s of sound where it holds any; for one that is not refused, the rate and the
    // channel positions of the stream asked for.
    void openedAsItSounds_data()
    {
        QTest::addColumn<MakeFile>("make");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("rate");
        QTest::addColumn<Positions>("positions");
        using enum Outcome;
        const auto played = [](const char *name, const MakeFile &make, int rate,
                               const Positions &positions) {
            QTest::newRow(name) << make << Played << rate << positions;
        };
        const auto refused = [](const char *name, const MakeFile &make) {
            QTest::newRow(name) << make << Refused << 0 << Positions{};
        };
        const Positions mono{ Mono }, stereo{ FrontLeft, FrontRight };

        // Every coding that plays, and one that does not.
        played("8-bit mono at 8 kHz", sox("-r 8000 -b 8 -c 1 -t wav"), 8000, mono);
        played("32-bit stereo", sox("-r 44100 -b 32 -c 2 -t wav"), 44100, stereo);
        played("double", sox("-r 22050 -e float -b 64 -c 1 -t wav"), 22050, mono);
        played("A-law", sox("-r 8000 -e a-law -c 1 -t wav"), 8000, mono);
        played("µ-law", sox("-r 8000 -e u-law -c 1 -t wav"), 8000, mono);
        played("IMA ADPCM", sox("-r 11025 -e ima-adpcm -c 1 -t wav"), 11025, mono);
        played("MS ADPCM stereo", sox("-r 22050 -e ms-adpcm -c 2 -t wav"), 22050, stereo);
        played("GSM 6.10", sox("-r 8000 -e gsm-full-rate -c 1 -t wav"), 8000, mono);
        refused("MP3 in a WAVE", mp3InWave());

        // The stream asked for.
        played("six channels, no mask: WAVE's order", sox("-r 48000 -b 24 -c 6 -t wavpcm"), 48000,
               { FrontLeft, FrontRight, FrontCenter, Lfe, RearLeft, RearRight });
        played("a channel mask of the file's own is kept",
               masked(SpeakerSideLeft | SpeakerSideRight), 96000, { SideLeft, SideRight });
        QTest::newRow("float NaN, +Inf and -Inf come as silence")
                << notFinite() << Silent << Rate << stereo;
        refused("twice the server's top rate", sox(QString("-r %1 -t wav").arg(2 * PA_RATE_MAX)));
        refused("a FIFO, not even opened", fifo());

        // Chunks of every size and number.
        const Bytes emptyChunks{ chunk("junk", ""), 100'000 };
        played("100,000 empty chunks before the format", tone({ .beforeFormat = { emptyChunks } }),
               Rate, mono);
        const QByteArray entries = chunk("ICMT", QByteArray("abcdefghi", 10)).repeated(4000);
        played("4000 ten-byte INFO entries",
               tone({ .beforeFormat = { { chunk("LIST", "INFO" + entries) } } }), Rate, mono);
        const Bytes smallChunks{ chunk("junk", QByteArray(92, 'x')), 1000 };
        played("1000 100-byte chunks between format and data",
               tone({ .beforeData = { smallChunks } }), Rate, mono);
        played("an odd-sized chunk and its pad byte",
               tone({ .beforeFormat = { { chunk("junk", "odd") } } }), Rate, mono);
        played("an unclosed header plays to the end", tone({ .header = Header::Unclosed }), Rate,
               mono);
        const QByteArray brokenInfo = "INFOICMT\xbc" + QByteArray(24, '\xff') + "\x8f\x8f"
                + QByteArray(79, '\xff') + "\x8f\x8f\x8f\xff\xff\xff";
        played("a broken INFO list after the data, where libsndfile would spin for minutes",
               tone({ .afterData = { { brokenInfo } } }), Rate, mono);
        played("15 MB of bext before the format, a copy of none of it",
               tone({ .beforeFormat = chunk("bext", 'x', 15'000'000) }), Rate, mono);
        // "ds64": the RIFF size (left at 0), the data size, the frames, and no table of more.
        const QByteArray ds64 = le(0, 8) + le(8820, 8) + le(4410, 8) + le(0, 4);
        played("RF64, its sizes in ds64, a chunk after its data",
               tone({ .beforeFormat = { { chunk("ds64", ds64) } },
                      .afterData = { { chunk("junk", QByteArray(8000, 'x')) } },
                      .header = Header::Rf64 }),
               Rate, mono);
        refused("4 GiB of chunk and pad byte before the format",
                tone({ .beforeFormat = { { "junk" + le(0xFFFFFFFF, 4) } } }));
        refused("no format before 16 MiB",
                tone({ .beforeFormat = chunk("bext", 'x', (1 << 24) - 20) }));
    }

    // Read through, a file prints nothing and gives floats at its rate, in its channels, every
    // frame.
    void openedAsItSounds()
    {
        QFETCH(MakeFile, make);
        QFETCH(Outcome, outcome);
        QFETCH(int, rate);
        QFETCH(Positions, positions);
        QTemporaryDir dir;
        QVERIFY(make(dir.filePath("sound")));
        const int saved = dup(2), printed = memfd_create("stderr", 0);
        dup2(printed, 2);
        rusage usage[2];
        getrusage(RUSAGE_SELF, &usage[0]);
        auto file = glidor::sound::SoundFile::open(QFile::encodeName(dir.filePath("sound")));
        const auto format = file ? file->format() : glidor::sound::StreamFormat{};
        std::size_t frames = 0, channels = format.sample.channels;
        std::vector<float> chunk(333 * channels);
        bool silent = true;
        for (std::size_t n; file && (n = file->read(chunk.data(), 333)) > 0; frames += n)
            silent &= std::count(chunk.begin(), chunk.begin() + n * channels, 0.0f)
                    == long(n * channels);
        dup2(saved, 2);
        QCOMPARE(lseek(printed, 0, SEEK_END), 0);
        // Checking a file costs little memory, whatever its chunks hold.
        QVERIFY(getrusage(RUSAGE_SELF, &usage[1]) == 0
                && usage[1].ru_maxrss - usage[0].ru_maxrss < 4096);
        using enum Outcome;
        const Outcome opened = !file ? Refused : silent ? Silent : Played;
        QCOMPARE(opened, outcome);
        QCOMPARE(int(format.sample.rate), rate);
        QCOMPARE(positionsOf(format.map), positions);
        // ADPCM and GSM pad their last blocks.
        const std::size_t tenth = format.sample.rate / 10;
        QVERIFY2(frames >= tenth && frames < tenth + 1024,
                 qPrintable(QString("%1 frames read").arg(frames)));
    }

    // The folder's files A, B, C and D are the tones of 500, 1000, 1500 and 2000 Hz; what is heard
    // is a pattern for the recording, as "B100 A200" gives 100 ms of B and then 200 ms of A, '#'
    // any other sound (then all sound is '#'). The first cue comes at once, while the back end
    // still loads.
    void heardAsExpected_data()
    {
        QTest::addColumn<QString>("setUp"); // shell, in the case's folder
        QTest::addColumn<QString>("steps"); // soundcheck's, as sh reads them
        QTest::addColumn<QString>("heard");
        QTest::addColumn<std::optional<SilentResolver>>("resolver");
        const auto heard = [](const char *name, const char *setUp, const char *steps,
                              const char *what) {
            QTest::newRow(name) << setUp << steps << what << std::optional<SilentResolver>();
        };
        const auto looksUp = [](const char *name, const char *steps, SilentResolver resolver) {
            QTest::newRow(name) << "" << steps << "" << std::optional(resolver);
        };

        heard("a 1-second sound is heard whole, the first cue, with a 200 ms buffer",
              "tone Move.wav 500 1", R"(Move.wav @700 !"$BUFFER" @1200)", "A1000");
        heard("double, eight channels, 192 kHz",
              "sox Done.wav -e float -b 64 -r 192000 -c 8 Move.wav", "Warm.wav @300 Move.wav @600",
              "C300");
        heard("cues in order, each cutting the last and heard from its start", "",
              "Warm.wav @300 Move.wav @400 Move.wav @200 Done.wav @500",
              "B100 A200 B100 A100 C300");
        heard("quitting while a sound plays", "", "Move.wav @100", ".*");
        heard("no back end beside the program", "rm glidor-sound.so", "Move.wav @400", "");
        heard("no audio server", "export PULSE_SERVER=unix:/nowhere", "Move.wav @400", "");
        heard("a folder named in Latin-1, with a space and a newline",
              R"(d=$(printf 'Spel-\345\344\366 \n.') && mkdir "$d" &&
                 mv soundcheck glidor-sound.so *.wav "$d" && ln -s "$d/soundcheck" .)",
              "Warm.wav @300 Move.wav @600", "B100 A200");
        heard("our own sounds", R"(cp "$BUILD/Move.wav" "$BUILD/Done.wav" .)",
              "Warm.wav @300 Move.wav @300 Done.wav @1000", "#100 #[89]00");
        heard("a 3 GB file of silence: memory stays, the next cue cuts it",
              R"(head -c 40 Done.wav >Move.wav && printf '\377\377\377\177' >>Move.wav &&
                 truncate -s 3G Move.wav)",
              "Warm.wav @300 Move.wav @1000 Done.wav @500", "C300");
        heard("the server hung with cues pending: quitting at once", "",
              R"(Warm.wav @300 Move.wav @150 "!$STOP" Done.wav @1 Move.wav @100)", ".*");
        heard("the server killed in a sound, then back: the next cue plays", "",
              R"(Warm.wav @300 Move.wav @200 "!$KILL" @100 Done.wav @100 )"
              R"("!$START" @2000 Done.wav @500)",
              "B100.* C[23]00");
        heard("bad Move.wav: missing", "rm Move.wav", "Warm.wav @300 Done.wav @200 Move.wav @500",
              "C200");
        looksUp("a host no resolver answers: one lookup at a time, another after it failed, "
                "quitting at once",
                "Move.wav @300 Done.wav @300 Move.wav @1400 Move.wav @600",
                { .timeout = 1, .lookups = 2 });
        looksUp("quitting while libpulse, having given up on a connection at 5 s, waits for its "
                "lookup",
                "Move.wav @7000", { .lookups = 1 });
    }

    // soundcheck must end by itself, soon, with status 0 and not a word: every play call returned
    // at once.
    void heardAsExpected()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, steps);
        QFETCH(QString, heard);
        QFETCH(std::optional<SilentResolver>, resolver);
        if (resolver && m_unshare.isEmpty())
            QSKIP("Not root, and no user namespace here to give the case a resolver of its own");
        QString script = Prelude;
        if (resolver)
            script += "resolver " + (resolver->timeout ? QString::number(resolver->timeout) : "")
                    + "\n";
        script += setUp + "\ncd work && ../soundcheck " + steps;
        QStringList command = resolver ? m_unshare : QStringList();
        command += QStringList{ "sh", "-c", script };
        QProcess game;
        m_recorder.readAll(); // what came before this case
        QByteArray recording;
        game.start(command.takeFirst(), command);
        // The recording flows while the event loop runs; a recorder that lost its server starts
        // again. After the game ends, 200 ms more of it bring the last of the sound.
        qsizetype end = -1;
        const auto heardToTheEnd = [&] {
            recording += m_recorder.readAll();
            if (m_recorder.state() == QProcess::NotRunning)
                m_recorder.start();
            if (end < 0 && game.state() == QProcess::NotRunning)
                end = recording.size();
            return end >= 0 && recording.size() >= end + Rate / 5 * 2;
        };
        QVERIFY(QTest::qWaitFor(heardToTheEnd, 20000));
        const QString h = transcript(recording, heard.startsWith('#'));
        const QByteArray out = game.readAllStandardError();
        QVERIFY2(game.exitStatus() == QProcess::NormalExit && game.exitCode() == 0 && out.isEmpty(),
                 out.constData());
        QVERIFY2(QRegularExpression("^(" + heard + ")$").match(h).hasMatch(),
                 qPrintable("heard \"" + h + "\""));
        QCOMPARE(game.readAllStandardOutput().trimmed(),
                 resolver ? QByteArray::number(resolver->lookups) : QByteArray());
    }
};

QTEST_GUILESS_MAIN(SoundTests)
#include "sound_tests.moc"
