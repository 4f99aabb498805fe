// Tileable gradient noise, summed over octaves into soft cloud fields.
#include "sky.h"

#include <algorithm>
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

Clouds::Clouds(int size, std::initializer_list<int> cellsPerOctave, std::uint32_t seed)
    : m_size(size)
{
    static constexpr float pi = 3.14159265f;
    float weight = 1.0f;
    float power = 0.0f;
    std::uint32_t octaveSeed = seed;
    for (const int cells : cellsPerOctave) {
        Octave octave{cells, weight, {}, {}, {}};
        const auto points = static_cast<std::size_t>(cells * cells);
        octave.gx.resize(points);
        octave.gy.resize(points);
        for (std::size_t k = 0; k < points; ++k) {
            // Sixteen directions are plenty for clouds.
            const std::uint32_t h = mix(octaveSeed ^ mix(static_cast<std::uint32_t>(k) + 0x9e3779b9U));
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
            octave.spans[static_cast<std::size_t>(p)] = {before % cells, (before + 1) % cells, t, fade(t)};
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

void Clouds::row(int y, std::span<float> out) const
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

} // namespace glidor::pictures::sky
