// The game's pictures: tiles by id, the program's icon and the sky behind the board.
#pragma once

#include <QImage>

namespace glidor::pictures {

// The 32 by 32 picture stored under `id`: 1 (the icon), 101..121 (yellow look,
// numbers 1..21), 122..136 (grey look, tiles 1..15). Any other id is a fault of
// the program: it asserts in a debug build and gives a null image in a release build.
QImage picture(int id);

// The seamless 200 by 200 sky texture that the window stretches behind the board.
QImage background();

} // namespace glidor::pictures
