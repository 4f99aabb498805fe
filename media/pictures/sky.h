// The sky: soft cloud fields that wrap around at their edges, the texture behind
// the board made from them, and that texture's pixels as drawn at build time.
#pragma once

#include <QImage>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace glidor::pictures::sky {

// Side of the sky texture in pixels.
constexpr int size = 200;

// The seamless sky texture: light blue with soft white clouds, the same on every run.
QImage draw();

// draw()'s pixels, baked into the program at build time by sky_bake: size * size
// 32-bit 0xffRRGGBB values, row by row.
extern const unsigned char pixels[];

// Gradient noise over a `size` by `size` square that wraps around: the column
// after the last one continues into the first, and likewise the rows. Each
// entry of `cellsPerOctave` adds one octave with that many cells across the
// square, at half the weight of the one before. The same arguments give the
// same field on every run.
class Field
{
public:
    Field(int size, std::initializer_list<int> cellsPerOctave, std::uint32_t seed);

    // Writes the densities of row `y` (0 <= y < size) into the first `size`
    // entries of `out`: 0.5 on average, almost all of them between 0 and 1,
    // clamped to that range.
    void row(int y, std::span<float> out) const;

private:
    // Where a pixel column (or row) falls on an octave's lattice: the lattice
    // line before it, the one after it (wrapped), and the eased position between.
    struct Span
    {
        int before;
        int after;
        float t;
        float eased;
    };
    struct Octave
    {
        int cells;
        float weight;
        std::vector<float> gx;
        std::vector<float> gy;
        std::vector<Span> spans;
    };

    int m_size;
    float m_scale;
    std::vector<Octave> m_octaves;
};

} // namespace glidor::pictures::sky
