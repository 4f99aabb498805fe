// libFuzzer target: any bytes at all, decoded and converted as a dropped-in Move.wav would be.
#include "sounddecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace glidor::sound;
    const auto samples = decode({reinterpret_cast<const char *>(data), size});
    if (samples) {
        // Vary the device's format with the input, so every conversion path gets its turn.
        const OutputFormat format{8000 + int(size % 5) * 11025, int(size % 3) + 1, SampleType(size % 4)};
        const std::vector<char> pcm = convert(*samples, format);
        volatile char sink = pcm.empty() ? 0 : pcm.back();
        (void)sink;
    }
    return 0;
}
