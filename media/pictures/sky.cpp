// Tileable gradient noise, summed over octaves into soft cloud fields.
#include "sky.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace glidor::pictures::sky {

namespace {

// A fixed integer hash instead of a library random generator, so the clouds are
// the same with every compiler and standard library.
std::uint32_t mix(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

float fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

} // namespace

Field::Field(int size, std::initializer_list<int> cellsPerOctave, std::uint32_t seed) : m_size(size)
{
    static constexpr float pi = 3.14159265f;
    float weight = 1.0f;
    float power = 0.0f;
    std::uint32_t octaveSeed = seed;
    for (const int cells : cellsPerOctave) {
        Octave octave{ cells, weight, {}, {}, {} };
        const auto points = static_cast<std::size_t>(cells * cells);
        octave.gx.resize(points);
        octave.gy.resize(points);
        for (std::size_t k = 0; k < points; ++k) {
            // Sixteen directions are plenty for clouds.
            const std::uint32_t h =
                    mix(octaveSeed ^ mix(static_cast<std::uint32_t>(k) + 0x9e3779b9U));
            const float angle = static_cast<float>(h & 15U) * (pi / 8.0f);
            octave.gx[k] = std::cos(angle);
            octave.gy[k] = std::sin(angle);
        }
        // The lattice indexes wrap modulo `cells`: that is what makes the last
        // pixel column meet the first without a seam.
        const float scale = static_cast<float>(cells) / static_cast<float>(size);
        octave.spans.resize(static_cast<std::size_t>(size));
        for (int p = 0; p < size; ++p) {
            const float f = (static_cast<float>(p) + 0.5f) * scale;
            const int before = static_cast<int>(f);
            const float t = f - static_cast<float>(before);
            octave.spans[static_cast<std::size_t>(p)] = { before % cells, (before + 1) % cells, t,
                                                          fade(t) };
        }
        m_octaves.push_back(std::move(octave));
        power += weight * weight;
        weight *= 0.5f;
        octaveSeed = mix(octaveSeed + 1U);
    }
    // One octave of this noise stays within about ±0.7 and rarely comes near;
    // octaves add up like independent values, so their spread grows with the
    // root of the summed squared weights. Mapping ±0.7 of that spread to 0..1
    // uses the whole range without having to see the field first, which lets
    // the picture be made row by row without holding the field in memory.
    m_scale = 0.5f / (0.7f * std::sqrt(std::max(power, 1e-6f)));
}

void Field::row(int y, std::span<float> out) const
{
    const std::span<float> line = out.first(static_cast<std::size_t>(m_size));
    std::fill(line.begin(), line.end(), 0.0f);
    for (const Octave &octave : m_octaves) {
        const Span &sy = octave.spans[static_cast<std::size_t>(y)];
        const float *topX = &octave.gx[static_cast<std::size_t>(sy.before * octave.cells)];
        const float *topY = &octave.gy[static_cast<std::size_t>(sy.before * octave.cells)];
        const float *bottomX = &octave.gx[static_cast<std::size_t>(sy.after * octave.cells)];
        const float *bottomY = &octave.gy[static_cast<std::size_t>(sy.after * octave.cells)];
        const float dy0 = sy.t;
        const float dy1 = sy.t - 1.0f;
        for (std::size_t x = 0; x < line.size(); ++x) {
            const Span &sx = octave.spans[x];
            const float dx0 = sx.t;
            const float dx1 = sx.t - 1.0f;
            const float a = topX[sx.before] * dx0 + topY[sx.before] * dy0;
            const float b = topX[sx.after] * dx1 + topY[sx.after] * dy0;
            const float c = bottomX[sx.before] * dx0 + bottomY[sx.before] * dy1;
            const float d = bottomX[sx.after] * dx1 + bottomY[sx.after] * dy1;
            const float top = a + (b - a) * sx.eased;
            const float bottom = c + (d - c) * sx.eased;
            line[x] += octave.weight * (top + (bottom - top) * sy.eased);
        }
    }
    for (float &v : line)
        v = std::clamp(0.5f + v * m_scale, 0.0f, 1.0f);
}

QImage draw()
{
    // One field shapes the clouds; a slow one shades the blue between them, so
    // the clear sky is neither flat nor blotchy.
    const sky::Field clouds(size, { 3, 6, 12, 25 }, 0x5c1eU);
    const sky::Field haze(size, { 2, 4 }, 0xb1a5U);

    // The colour depends on the two densities alone, the haze taken in 16 steps
    // and the clouds in 256, so one table holds every colour the sky can have.
    // Past the threshold the sky turns white on a wide eased ramp, so the
    // clouds fade out instead of ending in an outline.
    constexpr int hazeLevels = 16;
    constexpr int cloudLevels = 256;
    std::array<std::array<QRgb, cloudLevels>, hazeLevels> shade{};
    for (int h = 0; h < hazeLevels; ++h) {
        const float blue = static_cast<float>(h) / (hazeLevels - 1);
        const float r = std::lerp(116.0f, 156.0f, blue);
        const float g = std::lerp(176.0f, 206.0f, blue);
        const float b = std::lerp(234.0f, 248.0f, blue);
        for (int level = 0; level < cloudLevels; ++level) {
            const float n = static_cast<float>(level) / (cloudLevels - 1);
            const float c = std::clamp((n - 0.40f) / 0.45f, 0.0f, 1.0f);
            const float cloud = c * c * (3.0f - 2.0f * c) * 0.92f;
            shade[static_cast<std::size_t>(h)][static_cast<std::size_t>(level)] =
                    qRgb(static_cast<int>(std::lround(std::lerp(r, 252.0f, cloud))),
                         static_cast<int>(std::lround(std::lerp(g, 253.0f, cloud))),
                         static_cast<int>(std::lround(std::lerp(b, 255.0f, cloud))));
        }
    }

    // Row by row, so that beside the picture only one row of each field's
    // densities is held.
    QImage image(size, size, QImage::Format_RGB32);
    std::array<float, size> dense{};
    std::array<float, size> blue{};
    for (int y = 0; y < size; ++y) {
        clouds.row(y, dense);
        haze.row(y, blue);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (std::size_t x = 0; x < size; ++x) {
            const auto h = static_cast<std::size_t>(blue[x] * (hazeLevels - 1) + 0.5f);
            const auto level = static_cast<std::size_t>(dense[x] * (cloudLevels - 1) + 0.5f);
            line[x] = shade[h][level];
        }
    }
    return image;
}

} // namespace glidor::pictures::sky
