// The sky texture's pixels, drawn at build time by makesky.
#pragma once

namespace glidor::pictures {

// sky::size * sky::size pixels, 32-bit 0xffRRGGBB, row by row.
extern const unsigned char skyPixels[];

} // namespace glidor::pictures
