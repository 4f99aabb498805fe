// libFuzzer target: any bytes at all, decoded and converted as a dropped-in Move.wav would be.
#include "sounddecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace glidor::sound;
    // The device's format varies with the input, so every conversion path gets its turn.
    if (const auto samples = decode({reinterpret_cast<const char *>(data), size}))
        convert(*samples, {8000 + int(size % 5) * 11025, int(size % 3) + 1, SampleType(size % 4)});
    return 0;
}
