// Writes every picture of the game as PNG files, for a person to look at.
#pragma once

#include <QString>

namespace glidor::pictures {

// Writes into `folder` (created if missing): tile-ID.png for ids 101..136,
// icon.png, background.png, background-2x2.png (four copies side by side, to
// show any seam) and tiles-4x.png (all tiles and the icon scaled up 4 times,
// pixel for pixel). Returns false if a file could not be written.
bool dumpPictures(const QString &folder);

} // namespace glidor::pictures
