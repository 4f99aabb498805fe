// The game's pictures: tiles by id, the program's icon and the sky behind the board.
#pragma once

#include <QImage>
#include <QList>

namespace glidor::pictures {

// The 32 by 32 picture stored under `id`: 1 (the icon), 101..121 (yellow look,
// numbers 1..21), 122..136 (grey look, tiles 1..15). Any other id is a fault of
// the program: it asserts in a debug build and gives a null image in a release build.
QImage picture(int id);

// The program's icon drawn at `size` by `size` pixels: the icon of picture(1)
// drawn anew for that size, the same picture at 32.
QImage drawIcon(int size);

// The icon at every size a desktop asks for, smallest first, drawn at build
// time (the build lists the sizes, in GLIDOR_ICON_SIZES).
QList<QImage> icons();

// The seamless 200 by 200 sky texture that the window stretches behind the board.
QImage background();

} // namespace glidor::pictures
