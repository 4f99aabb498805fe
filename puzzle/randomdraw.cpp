// The random draw of the shuffle.
#include "randomdraw.h"

#include <chrono>
#include <cmath>

namespace glidor {

float unitDraw(std::uint32_t bits)
{
    // std::uniform_real_distribution<float> may round up to exactly 1.0, which
    // would pick square 17. Twenty-four bits fill a float's mantissa exactly,
    // so no rounding can happen and the largest draw stays below 1.
    return static_cast<float>(bits >> 8) * 0x1p-24f;
}

std::uint8_t squareFromDraw(float r)
{
    // In double, r * 16 + 1 is exact for every float r in [0, 1); in float the
    // sum would round 1 - 2^-24 up to 17.
    return static_cast<std::uint8_t>(std::floor(static_cast<double>(r) * 16.0 + 1.0));
}

void ClockRandom::seed()
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    m_engine.seed(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

float ClockRandom::draw()
{
    return unitDraw(static_cast<std::uint32_t>(m_engine()));
}

} // namespace glidor
