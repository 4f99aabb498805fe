// What the back end decides by itself, with no server: which files it opens and the stream it asks for.
#include "sounddecode.h"

#include <QTemporaryDir>
#include <QProcess>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using glidor::sound::SoundFile;

namespace {

// Writes `frames` frames of a quiet ramp with libsndfile, starting with NaN where the file takes it, with `map` as the
// file's own channel positions if given. False if libsndfile cannot write it.
bool writeSound(const QString &path, int format, int rate, int channels, std::vector<int> map = {}, int frames = 1000)
{
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE *f = sf_open(path.toLocal8Bit(), SFM_WRITE, &info);
    if (!f)
        return false;
    if (!map.empty())
        sf_command(f, SFC_SET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int)));
    std::vector<float> samples(std::size_t(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(i % 100) / 400;
    const int coding = format & SF_FORMAT_SUBMASK;
    samples[0] = coding == SF_FORMAT_FLOAT || coding == SF_FORMAT_DOUBLE ? NAN : 0;
    const bool whole = sf_writef_float(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && whole;
}

// Opens `path` with fd 2 sent to a file, and gives what was printed there.
QByteArray openQuietly(const QString &path, std::unique_ptr<SoundFile> &file)
{
    std::fflush(stderr);
    const int saved = dup(2);
    FILE *capture = std::tmpfile();
    dup2(fileno(capture), 2);
    file = SoundFile::open(QFile::encodeName(path));
    dup2(saved, 2);
    close(saved);
    QFile printed;
    printed.open(capture, QIODevice::ReadOnly);
    printed.seek(0);
    const QByteArray text = printed.readAll();
    std::fclose(capture);
    return text;
}

} // namespace

class SoundFileTests : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void streamIsTheFilesOwn_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<std::vector<int>>("map");
        QTest::addColumn<QString>("positions");
        QTest::newRow("8-bit mono 8 kHz is mono") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 8000 << 1 << std::vector<int>{} << "mono";
        QTest::newRow("six plain 24-bit channels come in WAVE's order") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 48000 << 6 << std::vector<int>{}
            << "front-left,front-right,front-center,lfe,rear-left,rear-right";
        QTest::newRow("a channel mask of the file's own is kept") << (SF_FORMAT_WAVEX | SF_FORMAT_FLOAT) << 96000 << 2
            << std::vector<int>{SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT} << "side-left,side-right";
        QTest::newRow("double, eight channels, 192 kHz") << (SF_FORMAT_RF64 | SF_FORMAT_DOUBLE) << 192000 << 8 << std::vector<int>{}
            << "front-left,front-right,front-center,lfe,rear-left,rear-right,front-left-of-center,front-right-of-center";
        QTest::newRow("MS ADPCM stereo") << (SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM) << 22050 << 2 << std::vector<int>{} << "front-left,front-right";
        QTest::newRow("GSM 6.10") << (SF_FORMAT_WAV | SF_FORMAT_GSM610) << 8000 << 1 << std::vector<int>{} << "mono";
    }

    // The server gets float samples at the file's rate, in its channels, and
    // every frame of the file; what is not a number comes as 0.
    void streamIsTheFilesOwn()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(std::vector<int>, map);
        QFETCH(QString, positions);
        const QString path = m_dir.filePath("sound.wav");
        QVERIFY(writeSound(path, format, rate, channels, map, 4000));
        const auto file = SoundFile::open(QFile::encodeName(path));
        QVERIFY(file);
        const pa_sample_spec &spec = file->format().spec;
        QCOMPARE(spec.format, PA_SAMPLE_FLOAT32NE);
        QCOMPARE(int(spec.rate), rate);
        char names[PA_CHANNEL_MAP_SNPRINT_MAX];
        QCOMPARE(QString(pa_channel_map_snprint(names, sizeof names, &file->format().map)), positions);
        std::vector<float> chunk(std::size_t(333) * channels);
        std::size_t frames = file->read(chunk.data(), 333);
        QVERIFY(std::abs(chunk[0]) < 0.01f);
        for (std::size_t n; (n = file->read(chunk.data(), 333)) > 0;)
            frames += n;
        QVERIFY(frames >= 4000 && frames < 4700); // ADPCM and GSM pad their last blocks
    }

    void refusedWithoutAWord_data()
    {
        QTest::addColumn<QString>("make");
        QTest::newRow("FLAC") << "sox -n -r 8000 sound.wav synth .1 sine 500 && sox sound.wav -t flac sound";
        QTest::newRow("12 bytes taken for MPEG") << "printf '\\377\\373\\220\\144garbage!' >sound";
        QTest::newRow("MP3 in a WAVE") << "printf 'RIFF\\377\\0\\0\\0WAVEfmt \\36\\0\\0\\0\\125\\0\\1\\0\\104\\254\\0\\0\\200\\76\\0\\0\\1\\0\\0\\0"
                                          "\\14\\0\\1\\0\\2\\0\\0\\0\\240\\1\\1\\0\\161\\5data\\377\\377\\0\\0' >sound && seq 9999 >>sound";
        QTest::newRow("a rate no server takes") << "sox -n -r 400000 -t wav sound synth .1 sine 500";
        QTest::newRow("a FIFO, not even opened") << "mkfifo sound";
    }

    void refusedWithoutAWord()
    {
        QFETCH(QString, make);
        QTemporaryDir dir;
        QCOMPARE(QProcess::execute("sh", {"-c", "cd '" + dir.path() + "' && " + make}), 0);
        std::unique_ptr<SoundFile> file;
        QCOMPARE(openQuietly(dir.filePath("sound"), file), QByteArray());
        QVERIFY(!file);
    }
};

QTEST_GUILESS_MAIN(SoundFileTests)
#include "soundfile_tests.moc"
