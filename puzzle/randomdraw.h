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

// Where the shuffle's draws come from: the window is handed one at start.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    // Seeds the draws; each run of the program then draws a different sequence.
    virtual void seed() = 0;
    // A uniform draw r with 0 <= r < 1.
    virtual float draw() = 0;
};

// The game's own draws: a Mersenne Twister seeded from the clock.
class ClockRandom final : public RandomSource
{
public:
    void seed() override;
    float draw() override;

private:
    std::mt19937 m_engine;
};

} // namespace glidor
