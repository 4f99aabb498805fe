// Opens a sound file with care and reads it with libsndfile a chunk at a time, as it plays.
#pragma once

#include <pulse/channelmap.h>
#include <pulse/sample.h>

#include <cstddef>
#include <memory>
#include <optional>

struct sf_private_tag; // libsndfile's SNDFILE

namespace glidor::sound {

// What the sound server is told about a stream: the file's own rate, channel
// count and channel positions, with samples as float; the server converts.
struct StreamFormat
{
    pa_sample_spec sample;
    pa_channel_map map;
};

// The stream format for a file of `rate` and `channels` whose channel positions
// libsndfile gives as `sndfileMap` (SF_CHANNEL_MAP_* values, `channels` of
// them), or null when the file names none: then, as when one of them is no
// speaker's, WAVE's own channel order. Nothing for a rate or channel count the
// server cannot take.
std::optional<StreamFormat> streamFormat(int rate, int channels, const int *sndfileMap);

// A WAVE file opened for playing.
class SoundFile
{
public:
    // Opens the WAVE file at `path`: RIFF or RF64, in one of the codings that
    // play (the table Played in sounddecode.cpp). Nothing for anything else,
    // and then no decoder but WAVE's own has seen a byte of it, so no decoder
    // library prints anything about it. Only a regular file is opened: a FIFO
    // or a device under the name is never waited on.
    static std::unique_ptr<SoundFile> open(const char *path);
    ~SoundFile();

    const StreamFormat &format() const { return m_format; }
    // Reads up to `frames` frames into `out` (format().sample.channels floats
    // each) and gives the number read: 0 at the end or when the file fails.
    // Values that are not finite (NaN, infinities) come out as 0.
    std::size_t read(float *out, std::size_t frames);

    // What libsndfile reads through; public only for its callbacks.
    struct Source;

private:
    SoundFile() = default;
    std::unique_ptr<Source> m_source;
    ::sf_private_tag *m_file = nullptr;
    StreamFormat m_format{};
};

} // namespace glidor::sound
