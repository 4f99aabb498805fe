// Reads a sound file with care, decodes it with libsndfile and converts it for an output device.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace glidor::sound {

// A file larger than this is not read at all; a cue is a short sound.
constexpr std::size_t MaxFileBytes = 16 * 1024 * 1024;
// Decoding stops after this much sound, whatever the file claims.
constexpr int MaxSeconds = 30;

// Decoded sound: interleaved frames of `channels` samples, nominally in -1..1.
struct Samples {
    int rate = 0;
    int channels = 0;
    std::vector<float> data;
    std::size_t frames() const { return channels ? data.size() / channels : 0; }
};

enum class SampleType { UInt8, Int16, Int32, Float };

struct OutputFormat {
    int rate = 0;
    int channels = 0;
    SampleType type = SampleType::Int16;
};

// The bytes of the file at `path`, if it is a plain regular file (or a link
// to one) of at most MaxFileBytes that can be read whole. Anything else
// (missing, a directory, a FIFO, a device, too large, unreadable) gives nothing.
// Never waits on the kind of file: a FIFO or a device is not even opened.
std::optional<std::vector<char>> readSoundFile(const char *path);

// Decodes anything libsndfile reads from memory. Gives nothing for bytes it
// cannot read, for a sound without frames, or for absurd rates or channel
// counts; keeps at most MaxSeconds of sound.
std::optional<Samples> decode(std::span<const char> bytes);

// The samples in `format`: channels mixed down or spread, the rate changed by
// linear interpolation, values clipped to the sample type's range (NaN is 0).
// `format` must have a rate and channels above 0.
std::vector<char> convert(const Samples &samples, const OutputFormat &format);

} // namespace glidor::sound
