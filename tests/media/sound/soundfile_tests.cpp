// What the back end decides by itself, with no server: which files it opens and the stream it asks
// for.
#include "sounddecode.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// One file a line, 0.1 s of sound where it holds any: its name | the shell that makes it as `sound`
// | the stream asked for, rate and channel positions, "silent" when all is 0, or "refused". In
// sox's WAVE the channel mask is at byte 40, a float file's first sample at 58.
const char *const Files = R"(
8-bit mono at 8 kHz | sox -n -r 8000 -b 8 -c 1 -t wav sound synth .1 sine 500 | 8000 mono
six 24-bit channels with no mask come in WAVE's order | sox -n -r 48000 -b 24 -c 6 -t wavpcm sound synth .1 sine 500 | 48000 front-left,front-right,front-center,lfe,rear-left,rear-right
a channel mask of the file's own is kept | sox -n -r 96000 -b 24 -c 2 -t wav sound synth .1 sine 500 && printf '\0\6\0\0' | dd of=sound bs=1 seek=40 conv=notrunc | 96000 side-left,side-right
float NaN, +Inf and -Inf come as silence | sox -n -r 44100 -e float -b 32 -c 2 -t wav sound trim 0 .1 && printf '\0\0\300\177\0\0\200\177\0\0\200\377' | dd of=sound bs=1 seek=58 conv=notrunc | 44100 front-left,front-right silent
MS ADPCM stereo | sox -n -r 22050 -e ms-adpcm -c 2 -t wav sound synth .1 sine 500 | 22050 front-left,front-right
GSM 6.10 | sox -n -r 8000 -e gsm-full-rate -c 1 -t wav sound synth .1 sine 500 | 8000 mono
MP3 in a WAVE | printf 'RIFF\377\0\0\0WAVEfmt \36\0\0\0\125\0\1\0\104\254\0\0\200\76\0\0\1\0\0\0\14\0\1\0\2\0\0\0\240\1\1\0\161\5data\377\377\0\0' >sound && seq 9999 >>sound | refused
a rate far above the server's limit | sox -n -r $((2 * rate_max)) -t wav sound synth .1 sine 500 | refused
a FIFO, not even opened | mkfifo sound | refused
100,000 empty chunks before the format | wave 'c("junk", "") x 100000' | 44100 mono
100,000 two-byte chunks before the format | wave 'c("junk", "ab") x 100000' | 44100 mono
4000 ten-byte entries of INFO | wave 'c("LIST", "INFO" . c("ICMT", "abcdefghi\0") x 4000)' | 44100 mono
5000 labels before the format | wave 'c("LIST", "adtl" . join "", map { c("labl", pack("V", $_) . "cue\0") } 1 .. 5000)' | 44100 mono
100 KB of 100-byte chunks between the format and the data | wave '""' 'c("junk", "x" x 92) x 1000' | 44100 mono
an odd-sized chunk and its pad byte | wave 'c("junk", "odd")' | 44100 mono
15 MB of bext before the format, a copy of none of it | wave 'c("bext", "x" x 15e6)' | 44100 mono
RF64, its sizes in ds64, a chunk after its data | rf64=1 wave 'c("ds64", pack("QQQV", 0, 8820, 4410, 0))' '""' 'c("junk", "x" x 8000)' | 44100 mono
a chunk of 4 GiB, its pad byte included, before the format | wave '"junk" . pack("V", 2 ** 32 - 1)' | refused
no format before 16 MiB | wave 'c("bext", "x" x (2 ** 24 - 20))' | refused
)";

// The rows' shell: the limit on rates that libpulse's headers state (it takes 1% more), and `wave
// BEFORE [BETWEEN [AFTER]]`, which writes 0.1 s of 16-bit mono as `sound` with the chunks that the
// Perl expressions give before its format, between format and data and after the data (`c(ID,
// BODY)` makes a chunk); RF64 when rf64 is set.
const QString Shell = "rate_max=" + QString::number(PA_RATE_MAX) + R"(; wave() {
  sox -n -r 44100 -b 16 -c 1 -t wav t synth .1 sine 500 && perl -0777 -e '$_ = <STDIN>;
  sub c { $_[0] . pack("V", length $_[1]) . $_[1] . "\0" x (length($_[1]) % 2) }
  my ($b, $m, $a) = map { eval } @ARGV; my $d = substr($_, 36, 8) . substr($_, 44);
  substr($d, 4, 4) = "\377" x 4 if $ENV{rf64}; my $w = "WAVE$b" . substr($_, 12, 24) . "$m$d$a";
  print $ENV{rf64} ? "RF64\377\377\377\377" : "RIFF" . pack("V", length $w), $w' "$@" <t >sound; }
)";

class SoundFileTests : public QObject
{
    Q_OBJECT

private slots:
    void openedAsItSounds_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("stream");
        for (const QString &line : QString(Files).split('\n', Qt::SkipEmptyParts))
            QTest::newRow(qPrintable(line.section(" | ", 0, 0)))
                    << line.section(" | ", 1, -2) << line.section(" | ", -1);
    }

    // Read through, a file prints nothing and gives floats at its rate, in its channels, every
    // frame.
    void openedAsItSounds()
    {
        QFETCH(QString, make);
        QFETCH(QString, stream);
        QTemporaryDir dir;
        QCOMPARE(QProcess::execute(
                         "sh",
                         { "-c", Shell + "cd '" + dir.path() + "' && (" + make + ") 2>/dev/null" }),
                 0);
        const int saved = dup(2), printed = memfd_create("stderr", 0);
        dup2(printed, 2);
        rusage usage[2];
        getrusage(RUSAGE_SELF, &usage[0]);
        auto file = glidor::sound::SoundFile::open(QFile::encodeName(dir.filePath("sound")));
        std::size_t frames = 0, channels = file ? file->format().sample.channels : 0;
        std::vector<float> chunk(333 * channels);
        bool silent = true;
        for (std::size_t n; file && (n = file->read(chunk.data(), 333)) > 0; frames += n)
            silent = silent
                    && std::all_of(chunk.begin(), chunk.begin() + n * channels,
                                   [](float v) { return v == 0; });
        dup2(saved, 2);
        QCOMPARE(lseek(printed, 0, SEEK_END), 0);
        // Checking a file costs little memory, whatever its chunks hold.
        QVERIFY(getrusage(RUSAGE_SELF, &usage[1]) == 0
                && usage[1].ru_maxrss - usage[0].ru_maxrss < 4096);
        QCOMPARE(bool(file), stream != "refused");
        if (!file)
            return;
        char positions[PA_CHANNEL_MAP_SNPRINT_MAX];
        pa_channel_map_snprint(positions, sizeof positions, &file->format().map);
        QCOMPARE(QString::number(file->format().sample.rate) + ' ' + positions
                         + (silent ? " silent" : ""),
                 stream);
        const std::size_t tenth =
                file->format().sample.rate / 10; // ADPCM and GSM pad their last blocks
        QVERIFY2(frames >= tenth && frames < tenth + 1024, qPrintable(QString::number(frames)));
    }
};

QTEST_GUILESS_MAIN(SoundFileTests)
#include "soundfile_tests.moc"
