// The picture ids of the tiles: which picture a square shows, and what a picture shows.
#pragma once

namespace glidor {

// Tile t (1..15) on square d shows picture 100 + t when d is its own square
// and 121 + t anywhere else. The yellow numbers 16..21 fill 116..121, so the
// grey set starts at 122 and the yellow ids stay one unbroken run.
constexpr int HomePictures = 100;
constexpr int AwayPictures = 121;

constexpr int pictureId(int square, int tile)
{
    return tile + (square == tile ? HomePictures : AwayPictures);
}

// What picture `id` shows: a number in the yellow look of a tile at home for
// 101..121, a tile in the grey look of one elsewhere for 122..136. Any other
// id shows no number: {0, false}.
struct PictureContent
{
    int number;
    bool home;
};

constexpr PictureContent pictureContent(int id)
{
    if (id > HomePictures && id <= AwayPictures)
        return { id - HomePictures, true };
    if (id > AwayPictures && id <= AwayPictures + 15)
        return { id - AwayPictures, false };
    return { 0, false };
}

} // namespace glidor
