// The sound back end's tests: which files it opens and the stream it asks for, with no server; and
// cues played through the real play operation, in soundcheck, as the null sink of a PulseAudio
// server of the tests' own really received them.
#include "sounddecode.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <complex>
#include <numbers>
#include <numeric>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// One file a line, 0.1 s of sound where it holds any: its name | the shell that makes it as `sound`
// | the stream asked for, rate and channel positions, "silent" when all is 0, or "refused". In
// sox's WAVE the channel mask is at byte 40, a float file's first sample at 58.
const char *const Files = R"(
8-bit mono at 8 kHz | sox -n -r 8000 -b 8 -c 1 -t wav sound synth .1 sine 500 | 8000 mono
six channels, no mask: WAVE's order | sox -n -r 48000 -b 24 -c 6 -t wavpcm sound synth .1 sine 500
    | 48000 front-left,front-right,front-center,lfe,rear-left,rear-right
a channel mask of the file's own is kept
    | sox -n -r 96000 -b 24 -c 2 -t wav sound synth .1 sine 500 && poke 40 '\0\6\0\0'
    | 96000 side-left,side-right
float NaN, +Inf and -Inf come as silence
    | sox -n -r 44100 -e float -b 32 -c 2 -t wav sound trim 0 .1
    && poke 58 '\0\0\300\177\0\0\200\177\0\0\200\377' | 44100 front-left,front-right silent
MS ADPCM stereo
    | sox -n -r 22050 -e ms-adpcm -c 2 -t wav sound synth .1 sine 500 | 22050 front-left,front-right
GSM 6.10 | sox -n -r 8000 -e gsm-full-rate -c 1 -t wav sound synth .1 sine 500 | 8000 mono
MP3 in a WAVE | printf 'RIFF\377\0\0\0WAVEfmt \36\0\0\0\125\0\1\0\104\254\0\0\200\76\0\0' >sound
    && printf '\1\0\0\0\14\0\1\0\2\0\0\0\240\1\1\0\161\5data\377\377\0\0' >>sound
    && seq 9999 >>sound | refused
twice the server's top rate | sox -n -r $((2 * rate_max)) -t wav sound synth .1 sine 500 | refused
a FIFO, not even opened | mkfifo sound | refused
100,000 empty chunks before the format | wave 'c("junk", "") x 100000' | 44100 mono
4000 ten-byte INFO entries | wave 'c("LIST", "INFO" . c("ICMT", "abcdefghi\0") x 4000)' | 44100 mono
1000 100-byte chunks between format and data | wave '""' 'c("junk", "x" x 92) x 1000' | 44100 mono
an odd-sized chunk and its pad byte | wave 'c("junk", "odd")' | 44100 mono
an unclosed header plays to the end | wave && poke 4 '\10\0\0\0' && poke 40 '\0\0\0\0' | 44100 mono
a broken INFO list after the data, where libsndfile would spin for minutes | wave '""' '""'
    '"INFOICMT\xbc" . "\xff" x 24 . "\x8f\x8f" . "\xff" x 79 . "\x8f\x8f\x8f\xff\xff\xff"'
    | 44100 mono
15 MB of bext before the format, a copy of none of it | wave 'c("bext", "x" x 15e6)' | 44100 mono
RF64, its sizes in ds64, a chunk after its data
    | rf64=1 wave 'c("ds64", pack("QQQV", 0, 8820, 4410, 0))' '""' 'c("junk", "x" x 8000)'
    | 44100 mono
4 GiB of chunk and pad byte before the format | wave '"junk" . pack("V", 2 ** 32 - 1)' | refused
no format before 16 MiB | wave 'c("bext", "x" x (2 ** 24 - 20))' | refused
)";

// The rows' shell: the limit on rates that libpulse's headers state (it takes 1% more), `poke AT
// BYTES`, which writes BYTES (printf's escapes) into `sound` at AT, and `wave BEFORE [BETWEEN
// [AFTER]]`, which writes 0.1 s of 16-bit mono as `sound` with the chunks that the Perl expressions
// give before its format, between format and data and after the data (`c(ID, BODY)` makes a chunk);
// RF64 when rf64 is set.
const QString Shell = "rate_max=" + QString::number(PA_RATE_MAX) + R"(
poke() { printf "$2" | dd of=sound bs=1 seek="$1" conv=notrunc 2>/dev/null; }
wave() {
  sox -n -r 44100 -b 16 -c 1 -t wav t synth .1 sine 500 && perl -0777 -e '$_ = <STDIN>;
  sub c { $_[0] . pack("V", length $_[1]) . $_[1] . "\0" x (length($_[1]) % 2) }
  my ($b, $m, $a) = map { eval } @ARGV; my $d = substr($_, 36, 8) . substr($_, 44);
  substr($d, 4, 4) = "\377" x 4 if $ENV{rf64}; my $w = "WAVE$b" . substr($_, 12, 24) . "$m$d$a";
  print $ENV{rf64} ? "RF64\377\377\377\377" : "RIFF" . pack("V", length $w), $w' "$@" <t >sound; }
)";

// 10 ms windows, filled with whole periods of the tones A, B, C and D: 500, 1000, 1500 and 2000 Hz.
constexpr int Rate = 44100, Window = Rate / 100;

// Every case's folder, made for it: soundcheck with the back end beside it; Move.wav "B100 A200",
// Done.wav "C300", Warm.wav, silence that loads the back end first where a case's timing needs it;
// the decoys (D) in work/, where it runs. `resolver [SECONDS]`, in a case with network and mount
// namespaces of its own, names the sound server by host and answers its lookups never (one gives
// up after SECONDS, or glibc's 10 s); at the end it prints how many lookups it got (a port for
// each, shared by its retries). Its binds stay in the case's namespace: / is made private, or in a
// chroot (no mount point) must be so already. $BUFFER checks the one sink input's buffer while a
// sound plays: about 200 ms. At its end a case lets a hung server go on and removes its folder (Qt
// cannot remove a Latin-1 name).
const QString Prelude =
        "set -e\ncd \"$(mktemp -d)\" && cp '" SOUNDCHECK_PATH "' . && ln -s '" SOUND_MODULE_PATH
        "' . && BUILD='" BUILD_DIR "' && start='bash " SOUND_SERVER_SCRIPT R"( start'
tone() { sox -n -r 44100 -b 16 -c 1 "$1" synth "$3" sine "$2" vol .5; }
tone b.wav 1000 .1 && tone a.wav 500 .2 && sox b.wav a.wav Move.wav
tone Done.wav 1500 .3 && tone Warm.wav 0 .05
mkdir work && tone work/Move.wav 2000 .3 && cp work/Move.wav work/Done.wav
pid=$(cat "$SERVER/pid") && export STOP="kill -STOP $pid" KILL="kill -KILL $pid"
export START="$start $SERVER 10"
box=$PWD && ending() { rm -rf "$box"; kill -CONT $(cat "$SERVER/pid"); } && trap ending EXIT
resolver() { mount --make-rprivate / 2>/dev/null || ! grep -q shared: /proc/self/mountinfo || exit 1
  printf 'nameserver 127.0.0.1\n%s\n' "${1:+options timeout:$1 attempts:1}" >resolv.conf
  echo 'hosts: dns' >nss && export PULSE_SERVER=tcp:sound-box.lan
  mount --bind resolv.conf /etc/resolv.conf && mount --bind nss /etc/nsswitch.conf
  dns=$(perl -MSocket -e 'socket($s, PF_INET, SOCK_DGRAM, 0); $f = pack "a40", "lo"; # lo goes up
    ioctl($s, 0x8913, $f) && ioctl($s, 0x8914, pack "a16 s x22", "lo", 1 | unpack "x16 s", $f)
      or die;
    bind($s, pack_sockaddr_in(53, inet_aton "127.0.0.1")) or die; if ($p = fork) { print $p; exit }
    open STDOUT, ">lookups"; $| = 1;
    print +(unpack_sockaddr_in recv $s, $_, 512, 0)[0], "\n" while 1')
  trap "kill $dns; sort -u '$PWD/lookups' | wc -l; ending" EXIT; }
export BUFFER="pactl -f json list sink-inputs | perl -ne '@u = /buffer_latency_usec.:(\\d+)/g;
  exit !(@u == 1 && \$u[0] >= 1e5 && \$u[0] <= 3e5)'"
)";

// One case a line: its name | the shell set-up of its folder (no pipes) | the cues and other steps
// for soundcheck | a pattern for what must be heard | the name lookups the resolver gets, if any.
// The first cue comes at once, while the back end still loads.
const char *const Cases = R"(
a 1-second sound is heard whole, the first cue, with a 200 ms buffer | tone Move.wav 500 1
    | Move.wav @700 !"$BUFFER" @1200 | A1000
double, eight channels, 192 kHz | sox Done.wav -e float -b 64 -r 192000 -c 8 Move.wav
    | Warm.wav @300 Move.wav @600 | C300
cues in order, each cutting the last and heard from its start
    | | Warm.wav @300 Move.wav @400 Move.wav @200 Done.wav @500 | B100 A200 B100 A100 C300
quitting while a sound plays | | Move.wav @100 | .*
no back end beside the program | rm glidor-sound.so | Move.wav @400 |
no audio server | export PULSE_SERVER=unix:/nowhere | Move.wav @400 |
a folder named in Latin-1, with a space and a newline | d=$(printf 'Spel-\345\344\366 \n.')
    && mkdir "$d" && mv soundcheck glidor-sound.so *.wav "$d" && ln -s "$d/soundcheck" .
    | Warm.wav @300 Move.wav @600 | B100 A200
our own sounds | cp "$BUILD/Move.wav" "$BUILD/Done.wav" .
    | Warm.wav @300 Move.wav @300 Done.wav @1000 | #100 #[89]00
a 3 GB file of silence: memory stays, the next cue cuts it | head -c 40 Done.wav >Move.wav
    && printf '\377\377\377\177' >>Move.wav && truncate -s 3G Move.wav
    | Warm.wav @300 Move.wav @1000 Done.wav @500 | C300
the server hung with cues pending: quitting at once
    | | Warm.wav @300 Move.wav @150 !"$STOP" Done.wav @1 Move.wav @100 | .*
the server killed in a sound, then back: the next cue plays | | Warm.wav @300 Move.wav @200
    !"$KILL" @100 Done.wav @100 !"$START" @2000 Done.wav @500 | B100.* C[23]00
bad Move.wav: missing | rm Move.wav | Warm.wav @300 Done.wav @200 Move.wav @500 | C200
a host no resolver answers: one lookup at a time, another after it failed, quitting at once
    | resolver 1 | Move.wav @300 Done.wav @300 Move.wav @1400 Move.wav @600 | | 2
quitting while libpulse, having given up on a connection at 5 s, waits for its lookup
    | resolver | Move.wav @7000 | | 1
)";

// A recording as "B100 A200": its tones in order, lengths rounded to 100 ms, enough to show a cut
// or an overlap on a busy machine; '#' for any other sound (for all sound with `anySound`). A run
// under 30 ms is one sound handing over to the next, and goes.
QString heard(const QByteArray &raw, bool anySound)
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

// A table as a test's data: a row a line, named by its first field; fields apart by '|'.
void rows(const char *table)
{
    QTest::addColumn<QStringList>("fields");
    // A line that starts with blanks goes on with the row before it.
    const QString joined = QString(table).replace(QRegularExpression("\n +"), " ");
    for (const QString &line : joined.split('\n', Qt::SkipEmptyParts))
        QTest::newRow(qPrintable(line.section('|', 0, 0).trimmed()))
                << line.split(QRegularExpression(" *\\| *"));
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

    void openedAsItSounds_data() { rows(Files); }

    // Read through, a file prints nothing and gives floats at its rate, in its channels, every
    // frame.
    void openedAsItSounds()
    {
        QFETCH(QStringList, fields);
        QTemporaryDir dir;
        const QString make = Shell + "cd '" + dir.path() + "' && (" + fields[1] + ") 2>/dev/null";
        QCOMPARE(QProcess::execute("sh", { "-c", make }), 0);
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
        char positions[PA_CHANNEL_MAP_SNPRINT_MAX];
        pa_channel_map_snprint(positions, sizeof positions, &format.map);
        QCOMPARE(file ? QString::number(format.sample.rate) + ' ' + positions
                                 + (silent ? " silent" : "")
                      : "refused",
                 fields[2]);
        // ADPCM and GSM pad their last blocks.
        const std::size_t tenth = format.sample.rate / 10;
        QVERIFY2(frames >= tenth && frames < tenth + 1024, qPrintable(QString::number(frames)));
    }

    void heardAsExpected_data() { rows(Cases); }

    // soundcheck must end by itself, soon, with status 0 and not a word: every play call returned
    // at once.
    void heardAsExpected()
    {
        QFETCH(QStringList, fields);
        const bool resolver = fields.size() > 4;
        if (resolver && m_unshare.isEmpty())
            QSKIP("Not root, and no user namespace here to give the case a resolver of its own");
        QProcess game;
        m_recorder.readAll(); // what came before this case
        QByteArray recording;
        QStringList command = (resolver ? m_unshare : QStringList())
                << "sh"
                << "-c" << Prelude + fields[1] + "\ncd work && ../soundcheck " + fields[2];
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
        const QString h = heard(recording, fields[3].startsWith('#'));
        const QByteArray out = game.readAllStandardError();
        QVERIFY2(game.exitStatus() == QProcess::NormalExit && game.exitCode() == 0 && out.isEmpty(),
                 out.constData());
        QVERIFY2(QRegularExpression("^(" + fields[3] + ")$").match(h).hasMatch(),
                 qPrintable("heard \"" + h + "\""));
        QCOMPARE(game.readAllStandardOutput().trimmed(), fields.value(4).toUtf8());
    }
};

QTEST_GUILESS_MAIN(SoundTests)
#include "sound_tests.moc"
