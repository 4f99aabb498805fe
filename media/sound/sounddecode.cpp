// Opens a sound file with care and reads it with libsndfile a chunk at a time, as it plays.
#include "sounddecode.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace glidor::sound {

// The file as libsndfile sees it: a view that keeps of the file's chunks
// only what it decodes by: the header, "ds64" in RF64, "fmt " and the head of
// "data", copied when they were checked, so the format it detects is the one we
// let through whatever happens to the file meanwhile; then the sound data, and
// nothing after them. libsndfile gives up on a file whose chunks before its
// sound data take over about 64 KiB in small pieces, and a broken INFO list
// after them can keep it busy for minutes on end; the view has neither.
struct SoundFile::Source
{
    int fd = -1;
    std::vector<unsigned char> head;
    sf_count_t data = 0; // where the view's bytes after `head` begin in the file
    std::uint64_t dataBytes = 0; // as the file gives them, which it may not hold
    sf_count_t size = 0; // of the view
    sf_count_t pos = 0;
    ~Source() { ::close(fd); }
};

namespace {

// "fmt " must end within MaxHeadBytes of the start; walking to "data" takes
// at most MaxChunks steps, as many as fit there, so that a file of endless
// chunks is refused in bounded time. The walk reads through a window of
// WindowBytes, and only "fmt " and "ds64" are kept.
#ifndef GLIDOR_WINDOW_BYTES
#  define GLIDOR_WINDOW_BYTES (64 * 1024) // the fuzz target takes a small one, to cross its edges
#endif
constexpr std::size_t WindowBytes = GLIDOR_WINDOW_BYTES;
constexpr std::uint64_t MaxHeadBytes = 16 * 1024 * 1024;
constexpr std::uint64_t MaxChunks = MaxHeadBytes / 8;

// The WAVE codings that play, ones that libsndfile decodes by itself: the tag that names each in
// "fmt " and the subtypes libsndfile reads it as. Only these tags pass the chunk walk, so no other
// decoder sees a byte (WAVE can also carry MPEG, which libsndfile hands to a library that prints
// what it thinks of broken data), and libsndfile's verdict on the file must be one of these
// subtypes as well.
struct Coding
{
    std::uint16_t tag;
    const char *name; // for the reader, as the README names it
    std::initializer_list<int> readAs;
};
constexpr Coding Played[] = {
    // 8-bit WAVE is unsigned, wider PCM signed
    { 0x0001, "PCM", { SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32 } },
    { 0x0003, "float", { SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE } },
    { 0x0006, "A-law", { SF_FORMAT_ALAW } },
    { 0x0007, "µ-law", { SF_FORMAT_ULAW } },
    { 0x0002, "Microsoft ADPCM", { SF_FORMAT_MS_ADPCM } },
    { 0x0011, "IMA ADPCM", { SF_FORMAT_IMA_ADPCM } },
    { 0x0031, "GSM 6.10", { SF_FORMAT_GSM610 } },
};
// WAVE_FORMAT_EXTENSIBLE: a tag that names no coding but a sub-format that does.
constexpr std::uint32_t Extensible = 0xFFFE;

std::uint32_t le(const unsigned char *b, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | b[i];
    return v;
}

bool is(const unsigned char *b, const char *id)
{
    return std::memcmp(b, id, 4) == 0;
}

// Reads up to `count` bytes at `at`: fewer only at the end of the file or on a read error.
sf_count_t readAt(int fd, unsigned char *out, sf_count_t count, sf_count_t at)
{
    sf_count_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, out + got, std::size_t(count - got), at + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // a file that shrank, or a read error: it ends here
        got += n;
    }
    return got;
}

// The file seen through a window that moves as the walk needs.
struct Window
{
    int fd;
    std::vector<unsigned char> bytes = std::vector<unsigned char>(WindowBytes);
    std::uint64_t base = 0, held = 0;

    // The 8 bytes at `at`, or null where the file holds fewer.
    const unsigned char *at(std::uint64_t at)
    {
        if (at + 8 > base + held) { // the walk only goes forward
            base = at;
            held = std::uint64_t(readAt(fd, bytes.data(), sf_count_t(WindowBytes), sf_count_t(at)));
        }
        return at + 8 <= base + held ? bytes.data() + (at - base) : nullptr;
    }
};

// Appends the `count` bytes at `at` to the head; false when the file holds fewer.
bool keep(SoundFile::Source &s, std::uint64_t at, std::uint64_t count)
{
    const std::size_t had = s.head.size();
    s.head.resize(had + count);
    return readAt(s.fd, s.head.data() + had, sf_count_t(count), sf_count_t(at))
            == sf_count_t(count);
}

// True for a RIFF or RF64 WAVE whose first "fmt " chunk, before its sound
// data, names a coding in Played; then `s` is the view of it.
bool plainWave(SoundFile::Source &s)
{
    Window w{ s.fd };
    const unsigned char *h = w.at(0);
    if (!h || !(is(h, "RIFF") || is(h, "RF64")) || !keep(s, 0, 12) || !is(&s.head[8], "WAVE"))
        return false;
    const bool rf64 = is(h, "RF64");
    bool format = false;
    std::uint64_t rf64DataBytes = ~0ull; // from "ds64", where the 32-bit size says -1
    std::uint64_t at = 12;
    for (std::uint64_t step = 0; step < MaxChunks; ++step) {
        const unsigned char *c = w.at(at);
        if (!c)
            return false;
        const std::uint32_t size = le(c + 4, 4);
        const std::uint64_t next = at + 8 + size + (size & 1);
        if (is(c, "data")) {
            s.data = sf_count_t(at + 8);
            // A header never closed, sizes 8 and 0, is played to the end of the file.
            const bool unclosed = size == 0 && le(&s.head[4], 4) == 8;
            s.dataBytes = unclosed ? ~0ull : rf64 && size == 0xFFFFFFFF ? rf64DataBytes : size;
            return format && keep(s, at, 8);
        }
        if (!format && next > MaxHeadBytes)
            return false;
        if (!format && is(c, "fmt ")) {
            const std::size_t from = s.head.size();
            if (size < 16 || !keep(s, at, next - at))
                return false;
            std::uint32_t tag = le(&s.head[from + 8], 2);
            if (tag == Extensible) // its sub-format's first two bytes are the coding's tag
                tag = size >= 40 ? le(&s.head[from + 8 + 24], 2) : 0;
            format = std::ranges::any_of(Played, [&](const Coding &c) { return c.tag == tag; });
            if (!format)
                return false;
        } else if (!format && rf64 && is(c, "ds64")) { // RF64's true sizes
            const std::size_t from = s.head.size();
            if (!keep(s, at, next - at))
                return false;
            if (size >= 16)
                rf64DataBytes =
                        le(&s.head[from + 16], 4) | std::uint64_t(le(&s.head[from + 20], 4)) << 32;
        }
        // libsndfile reads a "fact" chunk's frame count only into its log.
        at = next;
    }
    return false;
}

// True when libsndfile reads the file as WAVE, in a coding that plays.
bool decodedHere(int format)
{
    const int container = format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_RF64)
        return false;
    return std::ranges::any_of(Played, [subtype = format & SF_FORMAT_SUBMASK](const Coding &c) {
        return std::ranges::find(c.readAs, subtype) != c.readAs.end();
    });
}

SoundFile::Source &source(void *user)
{
    return *static_cast<SoundFile::Source *>(user);
}

sf_count_t sourceLength(void *user)
{
    return source(user).size;
}

sf_count_t sourceSeek(sf_count_t offset, int whence, void *user)
{
    SoundFile::Source &s = source(user);
    const sf_count_t base = whence == SEEK_CUR ? s.pos : whence == SEEK_END ? s.size : 0;
    // base is within 0..size, so neither comparison can overflow.
    if (offset < -base)
        return -1;
    s.pos = offset > s.size - base ? s.size : base + offset;
    return s.pos;
}

sf_count_t sourceRead(void *ptr, sf_count_t count, void *user)
{
    SoundFile::Source &s = source(user);
    auto *out = static_cast<unsigned char *>(ptr);
    const sf_count_t want = std::clamp<sf_count_t>(count, 0, s.size - s.pos);
    const auto headSize = sf_count_t(s.head.size());
    sf_count_t got = 0;
    if (s.pos < headSize) {
        got = std::min(want, headSize - s.pos);
        std::memcpy(out, s.head.data() + s.pos, std::size_t(got));
    }
    got += readAt(s.fd, out + got, want - got, s.data + s.pos + got - headSize);
    s.pos += got;
    return got;
}

sf_count_t sourceWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t sourceTell(void *user)
{
    return source(user).pos;
}

pa_channel_position_t position(int sndfilePosition)
{
    switch (sndfilePosition) {
    case SF_CHANNEL_MAP_MONO:
        return PA_CHANNEL_POSITION_MONO;
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
        return PA_CHANNEL_POSITION_FRONT_LEFT;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
        return PA_CHANNEL_POSITION_FRONT_RIGHT;
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
        return PA_CHANNEL_POSITION_FRONT_CENTER;
    case SF_CHANNEL_MAP_REAR_CENTER:
        return PA_CHANNEL_POSITION_REAR_CENTER;
    case SF_CHANNEL_MAP_REAR_LEFT:
        return PA_CHANNEL_POSITION_REAR_LEFT;
    case SF_CHANNEL_MAP_REAR_RIGHT:
        return PA_CHANNEL_POSITION_REAR_RIGHT;
    case SF_CHANNEL_MAP_LFE:
        return PA_CHANNEL_POSITION_LFE;
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        return PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER;
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        return PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER;
    case SF_CHANNEL_MAP_SIDE_LEFT:
        return PA_CHANNEL_POSITION_SIDE_LEFT;
    case SF_CHANNEL_MAP_SIDE_RIGHT:
        return PA_CHANNEL_POSITION_SIDE_RIGHT;
    case SF_CHANNEL_MAP_TOP_CENTER:
        return PA_CHANNEL_POSITION_TOP_CENTER;
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        return PA_CHANNEL_POSITION_TOP_FRONT_LEFT;
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        return PA_CHANNEL_POSITION_TOP_FRONT_RIGHT;
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        return PA_CHANNEL_POSITION_TOP_FRONT_CENTER;
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return PA_CHANNEL_POSITION_TOP_REAR_LEFT;
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return PA_CHANNEL_POSITION_TOP_REAR_RIGHT;
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return PA_CHANNEL_POSITION_TOP_REAR_CENTER;
    default:
        return PA_CHANNEL_POSITION_INVALID; // none, or ambisonics: no place among speakers
    }
}

} // namespace

std::optional<StreamFormat> streamFormat(int rate, int channels, const int *sndfileMap)
{
    if (rate < 1 || channels < 1 || std::uint32_t(channels) > PA_CHANNELS_MAX)
        return std::nullopt;
    StreamFormat f{};
    f.sample = { PA_SAMPLE_FLOAT32NE, std::uint32_t(rate), std::uint8_t(channels) };
    if (!pa_sample_spec_valid(&f.sample))
        return std::nullopt;
    f.map.channels = std::uint8_t(channels);
    bool named = sndfileMap != nullptr;
    for (int c = 0; named && c < channels; ++c)
        named = (f.map.map[c] = position(sndfileMap[c])) != PA_CHANNEL_POSITION_INVALID;
    // A plain WAVE names no positions, and one that names a position no speaker has is read as
    // if it named none: its channels come in the order of WAVE_FORMAT_EXTENSIBLE's mask bits,
    // front left first.
    if (!named)
        pa_channel_map_init_extend(&f.map, unsigned(channels), PA_CHANNEL_MAP_WAVEEX);
    return f;
}

std::unique_ptr<SoundFile> SoundFile::open(const char *path)
{
    auto s = std::make_unique<Source>();
    // O_NONBLOCK: opening a FIFO would wait for a writer. Only then is it
    // known what the name stands for; anything but a regular file goes.
    s->fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st;
    if (s->fd < 0 || ::fstat(s->fd, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    if (!plainWave(*s))
        return nullptr;
    const auto held = std::uint64_t(std::max<sf_count_t>(st.st_size - s->data, 0));
    s->size = sf_count_t(s->head.size() + std::min(held, s->dataBytes));

    std::unique_ptr<SoundFile> f(new SoundFile);
    f->m_source = std::move(s);
    SF_VIRTUAL_IO io{ sourceLength, sourceSeek, sourceRead, sourceWrite, sourceTell };
    SF_INFO info{};
    f->m_file = sf_open_virtual(&io, SFM_READ, &info, f->m_source.get());
    if (!f->m_file || !decodedHere(info.format) || info.channels < 1
        || std::uint32_t(info.channels) > PA_CHANNELS_MAX)
        return nullptr;
    std::vector<int> map(std::size_t(info.channels));
    const bool named = sf_command(f->m_file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                  int(map.size() * sizeof(int)));
    const auto format = streamFormat(info.samplerate, info.channels, named ? map.data() : nullptr);
    if (!format)
        return nullptr;
    f->m_format = *format;
    return f;
}

SoundFile::~SoundFile()
{
    if (m_file)
        sf_close(m_file);
}

std::size_t SoundFile::read(float *out, std::size_t frames)
{
    const sf_count_t got = sf_readf_float(m_file, out, sf_count_t(frames));
    if (got <= 0)
        return 0;
    // A float file may hold anything; the server mixes what we hand it with
    // other programs' sound, where NaN would spread.
    std::replace_if(
            out, out + got * m_format.sample.channels, [](float v) { return !std::isfinite(v); },
            0.0f);
    return std::size_t(got);
}

} // namespace glidor::sound
