// The random draw of the shuffle: single-precision values in [0, 1) and the square they pick.
#pragma once

#include <cstdint>
#include <random>

namespace glidor {

// Turns 32 random bits into a float in [0, 1): the top 24 bits over 2^24, so
// every result is exact in single precision and the largest is 1 - 2^-24.
float unitDraw(std::uint32_t bits);

// The square an attempt picks: the whole part of r * 16 + 1, computed exactly.
// For 0 <= r < 1 the result is 1..16.
std::uint8_t squareFromDraw(float r);

// The generator behind the real window's draws, seeded from the clock.
class RandomSource {
public:
    void seedFromClock();
    float draw();

private:
    std::mt19937 m_engine;
};

} // namespace glidor
