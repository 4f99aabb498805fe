// libFuzzer target: any bytes at all, opened and read through as a dropped-in Move.wav would be.
#include "sounddecode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A file in memory, opened by path as the game opens its sounds.
    static const int fd = memfd_create("Move.wav", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;
    if (auto file = glidor::sound::SoundFile::open(path.c_str())) {
        std::vector<float> chunk(std::size_t(1024) * file->format().sample.channels);
        while (file->read(chunk.data(), 1024) > 0) { }
    }
    return 0;
}
