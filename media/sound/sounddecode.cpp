// Reads a sound file with care, decodes it with libsndfile and converts it for an output device.
#include "sounddecode.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace glidor::sound {

namespace {

// Whatever the rate and channels, decoding keeps no more samples than half a
// minute of 48 kHz stereo, so a file of a few megabytes cannot claim gigabytes.
constexpr std::size_t MaxSamples = std::size_t(MaxSeconds) * 48000 * 2;

bool acceptable(const struct stat &st)
{
    return S_ISREG(st.st_mode) && std::uint64_t(st.st_size) <= MaxFileBytes;
}

// libsndfile reads the file from this buffer; positions are kept inside it,
// so no call can reach past its end whatever the decoder asks for.
struct Memory {
    std::span<const char> bytes;
    sf_count_t pos = 0;
    sf_count_t size() const { return sf_count_t(bytes.size()); }
};

Memory &memory(void *user) { return *static_cast<Memory *>(user); }

sf_count_t fileLength(void *user) { return memory(user).size(); }

sf_count_t seek(sf_count_t offset, int whence, void *user)
{
    Memory &m = memory(user);
    const sf_count_t base = whence == SEEK_CUR ? m.pos : whence == SEEK_END ? m.size() : 0;
    // base is within 0..size, so neither comparison can overflow.
    if (offset < -base)
        return -1;
    m.pos = offset > m.size() - base ? m.size() : base + offset;
    return m.pos;
}

sf_count_t read(void *ptr, sf_count_t count, void *user)
{
    Memory &m = memory(user);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, m.size() - m.pos);
    if (n > 0)
        std::memcpy(ptr, m.bytes.data() + m.pos, std::size_t(n));
    m.pos += n;
    return n;
}

sf_count_t write(const void *, sf_count_t, void *) { return 0; }

sf_count_t tell(void *user) { return memory(user).pos; }

// The value of output channel c in frame `frame`: a mono sound goes to every
// channel, extra channels are averaged into the ones the device has.
float channelValue(const Samples &in, std::size_t frame, int c, int outChannels)
{
    const float *p = in.data.data() + frame * in.channels;
    if (in.channels <= outChannels)
        return p[c % in.channels];
    float sum = 0;
    int n = 0;
    for (int i = c; i < in.channels; i += outChannels, ++n)
        sum += p[i];
    return sum / n;
}

template<typename T>
void put(char *&out, T value)
{
    std::memcpy(out, &value, sizeof value);
    out += sizeof value;
}

void putSample(char *&out, float v, SampleType type)
{
    // A float file may hold anything, NaN included; the device gets -1..1.
    v = std::isnan(v) ? 0.0f : std::clamp(v, -1.0f, 1.0f);
    switch (type) {
    case SampleType::UInt8: put(out, std::uint8_t(std::lround(v * 127.0f) + 128)); break;
    case SampleType::Int16: put(out, std::int16_t(std::lround(v * 32767.0f))); break;
    case SampleType::Int32: put(out, std::int32_t(std::llround(double(v) * 2147483647.0))); break;
    case SampleType::Float: put(out, v); break;
    }
}

std::size_t bytesPerSample(SampleType type)
{
    switch (type) {
    case SampleType::UInt8: return 1;
    case SampleType::Int16: return 2;
    case SampleType::Int32:
    case SampleType::Float: return 4;
    }
    return 4;
}

} // namespace

std::optional<std::vector<char>> readSoundFile(const char *path)
{
    // stat() follows links, so a link that leads nowhere fails here. Only a
    // regular file is opened: opening a FIFO waits for a writer, and reading a
    // device may never end.
    struct stat st;
    if (::stat(path, &st) != 0 || !acceptable(st))
        return std::nullopt;
    // O_NONBLOCK so that even a name swapped for a FIFO since the stat() cannot hold us.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::vector<char>> bytes;
    if (::fstat(fd, &st) == 0 && acceptable(st)) {
        bytes.emplace(std::size_t(st.st_size));
        std::size_t got = 0;
        while (got < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        bytes->resize(got); // a file that shrank meanwhile gives what it held
    }
    ::close(fd);
    return bytes;
}

std::optional<Samples> decode(std::span<const char> bytes)
{
    SF_VIRTUAL_IO io{fileLength, seek, read, write, tell};
    Memory m{bytes};
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open_virtual(&io, SFM_READ, &info, &m),
                                                             sf_close);
    if (!file || info.channels < 1 || info.channels > 64 || info.samplerate < 1000
        || info.samplerate > 384000)
        return std::nullopt;

    Samples s{info.samplerate, info.channels, {}};
    const std::size_t maxFrames = std::min<std::size_t>(std::size_t(MaxSeconds) * info.samplerate,
                                                        MaxSamples / info.channels);
    constexpr std::size_t ChunkFrames = 4096;
    std::vector<float> chunk(ChunkFrames * info.channels);
    while (s.frames() < maxFrames) {
        const auto want = sf_count_t(std::min(ChunkFrames, maxFrames - s.frames()));
        const sf_count_t got = sf_readf_float(file.get(), chunk.data(), want);
        if (got <= 0)
            break;
        s.data.insert(s.data.end(), chunk.begin(), chunk.begin() + got * info.channels);
    }
    if (s.data.empty())
        return std::nullopt;
    return s;
}

std::vector<char> convert(const Samples &in, const OutputFormat &format)
{
    const std::size_t inFrames = in.frames();
    if (inFrames == 0)
        return {};
    const std::size_t outFrames = std::uint64_t(inFrames) * format.rate / in.rate;
    std::vector<char> bytes(outFrames * format.channels * bytesPerSample(format.type));
    char *out = bytes.data();
    const double step = double(in.rate) / format.rate;
    for (std::size_t f = 0; f < outFrames; ++f) {
        const double pos = f * step;
        const std::size_t i = std::min(std::size_t(pos), inFrames - 1);
        const std::size_t j = std::min(i + 1, inFrames - 1);
        const float frac = float(pos - double(i));
        for (int c = 0; c < format.channels; ++c) {
            const float a = channelValue(in, i, c, format.channels);
            const float b = channelValue(in, j, c, format.channels);
            putSample(out, a + (b - a) * frac, format.type);
        }
    }
    return bytes;
}

} // namespace glidor::sound
