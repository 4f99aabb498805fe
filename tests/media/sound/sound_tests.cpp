// Plays cues through the real play operation, in soundcheck, and records what
// the null sink of a PulseAudio server of the tests' own really received.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <complex>
#include <numbers>
#include <numeric>

namespace {

// 10 ms windows, filled with whole periods of the tones A, B, C and D: 500, 1000, 1500 and 2000 Hz.
constexpr int Rate = 44100, Window = Rate / 100;

// Every case's folder: soundcheck with the back end beside it; Move.wav "B100 A200", Done.wav
// "C300", Warm.wav, silence that loads the back end first where a case's timing needs it; the
// decoys (D) in work/, where it runs. `resolver [SECONDS]`, in a case with network and mount
// namespaces of its own, names the sound server by host and answers its lookups never (one gives
// up after SECONDS, or glibc's 10 s); at the end it prints how many lookups it got (a port for
// each, shared by its retries).
const QString Prelude =
        "set -e\ncp '" SOUNDCHECK_PATH "' . && ln -s '" SOUND_MODULE_PATH "' . && BUILD='" BUILD_DIR
        "' && start='bash " SOUND_SERVER_SCRIPT R"( start'
tone() { sox -n -r 44100 -b 16 -c 1 "$1" synth "$3" sine "$2" vol .5; }
tone b.wav 1000 .1 && tone a.wav 500 .2 && sox b.wav a.wav Move.wav && tone Done.wav 1500 .3 && tone Warm.wav 0 .05
mkdir work && tone work/Move.wav 2000 .3 && cp work/Move.wav work/Done.wav
pid=$(cat "$SERVER/pid") && export STOP="kill -STOP $pid" KILL="kill -KILL $pid" START="$start $SERVER 10"
# The binds stay in this namespace: / is made private, or in a chroot (no mount point) must be so already.
resolver() { mount --make-rprivate / 2>/dev/null || ! grep -q shared: /proc/self/mountinfo || exit 1
  printf 'nameserver 127.0.0.1\n%s\n' "${1:+options timeout:$1 attempts:1}" >resolv.conf && echo 'hosts: dns' >nss
  mount --bind resolv.conf /etc/resolv.conf && mount --bind nss /etc/nsswitch.conf && export PULSE_SERVER=tcp:sound-box.lan
  dns=$(perl -MSocket -e 'socket($s, PF_INET, SOCK_DGRAM, 0); ioctl($s, 0x8913, $f = pack "a40", "lo") or die;
    ioctl($s, 0x8914, pack "a16 s x22", "lo", 1 | unpack "x16 s", $f) or die; # lo goes up
    bind($s, pack_sockaddr_in(53, inet_aton "127.0.0.1")) or die; if ($p = fork) { print $p; exit }
    open STDOUT, ">lookups"; $| = 1; print +(unpack_sockaddr_in recv $s, $_, 512, 0)[0], "\n" while 1')
  trap 'kill $dns; sort -u lookups | wc -l' EXIT; }
# The one sink input's buffer, while a sound plays: about 200 ms.
export BUFFER="pactl -f json list sink-inputs | perl -ne '@u = /buffer_latency_usec.:(\\d+)/g; exit !(@u == 1 && \$u[0] >= 1e5 && \$u[0] <= 3e5)'"
)";

// One case a line: its name | the shell set-up of its folder (no pipes) | the cues and other steps
// for soundcheck | a pattern for what must be heard | the name lookups the resolver gets, if any.
// The first cue comes at once, while the back end still loads.
const char *const Cases = R"(
a 1-second sound is heard whole, the first cue, with a 200 ms buffer | tone Move.wav 500 1 | Move.wav @700 !"$BUFFER" @1200 | A1000
double, eight channels, 192 kHz | sox Done.wav -e float -b 64 -r 192000 -c 8 Move.wav | Warm.wav @300 Move.wav @600 | C300
cues in order, each cutting the last and heard from its start | | Warm.wav @300 Move.wav @400 Move.wav @200 Done.wav @500 | B100 A200 B100 A100 C300
quitting while a sound plays | | Move.wav @100 | .*
no back end beside the program | rm glidor-sound.so | Move.wav @400 |
no audio server | export PULSE_SERVER=unix:/nowhere | Move.wav @400 |
a folder named in Latin-1, with a space and a newline | d=$(printf 'Spel-\345\344\366 \n.') && mkdir "$d" && mv soundcheck glidor-sound.so *.wav "$d" && ln -s "$d/soundcheck" . | Warm.wav @300 Move.wav @600 | B100 A200
our own sounds | cp "$BUILD/Move.wav" "$BUILD/Done.wav" . | Warm.wav @300 Move.wav @300 Done.wav @1000 | #100 #[89]00
a 3 GB file of silence: memory stays, the next cue cuts it | head -c 40 Done.wav >Move.wav && printf '\377\377\377\177' >>Move.wav && truncate -s 3G Move.wav | Warm.wav @300 Move.wav @1000 Done.wav @500 | C300
the server hung before the first cue: quitting at once | | !"$STOP" Move.wav @100 Done.wav @100 |
the server hung with cues pending: quitting at once | | Warm.wav @300 Move.wav @150 !"$STOP" Done.wav @1 Move.wav @100 | .*
the server killed in a sound, then back: the next cue plays | | Warm.wav @300 Move.wav @200 !"$KILL" @100 Done.wav @100 !"$START" @2000 Done.wav @500 | B100.* C[23]00
bad Move.wav: missing | rm Move.wav | Warm.wav @300 Done.wav @200 Move.wav @500 | C200
a host no resolver answers: one lookup at a time, another after it failed, quitting at once | resolver 1 | Move.wav @300 Done.wav @300 Move.wav @1400 Move.wav @600 | | 2
quitting while libpulse, having given up on a connection at 5 s, waits for its lookup | resolver | Move.wav @7000 | | 1
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
    static const QRegularExpression shortRun("((.)\\2\\2+)|."), sound("([^.])\\1*");
    const QString kept =
            labels.replace(shortRun, "\\1"); // silence stays in, so that it parts two sounds
    QStringList words;
    for (const auto &m : sound.globalMatch(kept))
        words << m.captured(1) + QString::number((m.capturedLength() + 5) / 10 * 100);
    return words.join(' ');
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
        // One recording for all cases, in parec's 16-bit 44.1 kHz: a new one takes a second to
        // start.
        m_recorder.start(
                "parec",
                { "-d", "@DEFAULT_MONITOR@", "--raw", "--channels=1", "--latency-msec=10" });
        QVERIFY(m_recorder.waitForReadyRead(10000));
    }

    void cleanupTestCase()
    {
        m_recorder.close();
        QProcess::execute("bash", { SOUND_SERVER_SCRIPT, "stop", m_server.path() });
    }

    void heardAsExpected_data()
    {
        QTest::addColumn<QStringList>("fields");
        for (const QString &line : QString(Cases).split('\n', Qt::SkipEmptyParts))
            QTest::newRow(qPrintable(line.section('|', 0, 0).trimmed())) << line.split('|');
    }

    // soundcheck must end by itself, soon, with status 0 and not a word: every play call returned
    // at once.
    void heardAsExpected()
    {
        QFETCH(QStringList, fields);
        const QString setup = fields[1].trimmed(), steps = fields[2].trimmed(),
                      expected = fields[3].trimmed();
        const bool resolver = fields.size() > 4;
        if (resolver && m_unshare.isEmpty())
            QSKIP("A resolver of the case's own needs a network namespace: this kernel gives no "
                  "user namespace here (a chroot, or a setting) and this is not root");
        QTemporaryDir box;
        QProcess game;
        game.setWorkingDirectory(box.path());
        m_recorder.readAll(); // what came before this case
        QByteArray recording;
        QStringList command = (resolver ? m_unshare : QStringList())
                << "sh"
                << "-c" << Prelude + setup + "\ncd work && ../soundcheck " + steps;
        game.start(command.takeFirst(), command);
        // The recording flows while the event loop runs; a recorder that lost its server starts
        // again.
        const auto record = [&](auto done) {
            return QTest::qWaitFor(
                    [&] {
                        recording += m_recorder.readAll();
                        if (m_recorder.state() == QProcess::NotRunning)
                            m_recorder.start();
                        return done();
                    },
                    15000);
        };
        QVERIFY(record([&] { return game.state() == QProcess::NotRunning; }));
        // A hung server goes on; Qt cannot remove a Latin-1 name.
        QProcess::execute(
                "sh", { "-c", "kill -CONT $(cat \"$SERVER/pid\"); rm -rf '" + box.path() + "'" });
        const qsizetype end = recording.size(); // and 200 ms more bring the last of the sound
        QVERIFY(record([&] { return recording.size() >= end + Rate / 5 * 2; }));
        const QString h = heard(recording, expected.startsWith('#'));
        const QByteArray out = game.readAllStandardError();
        QVERIFY2(game.exitStatus() == QProcess::NormalExit && game.exitCode() == 0 && out.isEmpty(),
                 out.constData());
        QVERIFY2(QRegularExpression("^(" + expected + ")$").match(h).hasMatch(),
                 qPrintable("heard \"" + h + "\""));
        QCOMPARE(game.readAllStandardOutput().trimmed(), fields.value(4).trimmed().toUtf8());
    }
};

QTEST_GUILESS_MAIN(SoundTests)
#include "sound_tests.moc"
