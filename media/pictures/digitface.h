// A small bitmap face of the digits 0 to 9 for the tiles and the icon, so the numbers look the same
// on every machine.
#pragma once

#include <span>
#include <string_view>

namespace glidor::pictures::face {

// A glyph is a list of equally wide rows, top to bottom. In a row, '#' is ink,
// '+' is a smoothing pixel (drawn in the shadow colour of the look) and '.' is
// left as it is.
using Glyph = std::span<const std::string_view>;

// The tile digit `digit` (0..9): 16 rows high, strokes 2 pixels wide, the ink
// touching the first and the last column.
Glyph large(int digit);

// The icon digit `digit` (1..8): 6 rows high, 5 columns wide, strokes 1 pixel wide, no smoothing.
Glyph small(int digit);

} // namespace glidor::pictures::face
