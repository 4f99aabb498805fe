// The tile pictures, drawn in code at first use, and the icon and the sky, drawn in code and baked
// in at build time.
#include "pictures.h"

#include "digitface.h"
#include "pictureid.h"
#include "sky.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace glidor::pictures {

namespace {

constexpr int side = 32;

// What each pixel of a tile is, before it gets the colours of a look. The grey
// and the yellow picture of a tile share one drawing and differ in colours only.
enum class Ink : unsigned char { Face, Highlight, Shadow, Black };
using Drawing = std::array<std::array<Ink, side>, side>;

struct Look
{
    QRgb face;
    QRgb highlight;
    QRgb shadow;
};

constexpr Look yellow{ qRgb(206, 203, 0), qRgb(255, 255, 0), qRgb(148, 150, 0) };
constexpr Look grey{ qRgb(206, 203, 206), qRgb(255, 255, 255), qRgb(148, 150, 148) };
constexpr QRgb black = qRgb(0, 0, 0);

QRgb colourOf(Ink ink, const Look &look)
{
    switch (ink) {
    case Ink::Face:
        return look.face;
    case Ink::Highlight:
        return look.highlight;
    case Ink::Shadow:
        return look.shadow;
    case Ink::Black:
        return black;
    }
    return black;
}

// Two-pixel bevel, light from the top left. The edges meet along the diagonal
// from the top-right to the bottom-left corner; the pixels right on that
// diagonal (x + y = 31) keep the face colour, so neither edge overlaps the other.
Ink frameInk(int x, int y)
{
    const bool edge = x < 2 || y < 2 || x >= side - 2 || y >= side - 2;
    if (!edge)
        return Ink::Face;
    if (x + y < side - 1)
        return Ink::Highlight;
    if (x + y > side - 1)
        return Ink::Shadow;
    return Ink::Face;
}

// Puts `glyph` with its top left corner at (left, top); only ink and smoothing
// pixels are written, so the face shows through the rest.
void stamp(Drawing &drawing, face::Glyph glyph, int left, int top, Ink smoothing)
{
    for (std::size_t row = 0; row < glyph.size(); ++row) {
        for (std::size_t col = 0; col < glyph[row].size(); ++col) {
            Ink &pixel = drawing[static_cast<std::size_t>(top) + row]
                                [static_cast<std::size_t>(left) + col];
            switch (glyph[row][col]) {
            case '#':
                pixel = Ink::Black;
                break;
            case '+':
                pixel = smoothing;
                break;
            default:
                break;
            }
        }
    }
}

Drawing tileDrawing(int number)
{
    Drawing drawing{};
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            drawing[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = frameInk(x, y);

    const std::string digits = std::to_string(number);
    constexpr int gap = 2;
    int width = -gap;
    for (const char digit : digits)
        width += static_cast<int>(face::large(digit - '0')[0].size()) + gap;

    // The glyphs' ink reaches their first and last columns, so centring the
    // glyph boxes on the face (columns 2 to 29) centres the black too. The
    // face is 28 wide: an odd-width number sits half a pixel to the left.
    constexpr int faceLeft = 2;
    constexpr int faceWidth = side - 4;
    constexpr int top = 8;
    int left = faceLeft + (faceWidth - width) / 2;
    for (const char digit : digits) {
        const face::Glyph glyph = face::large(digit - '0');
        stamp(drawing, glyph, left, top, Ink::Shadow);
        left += static_cast<int>(glyph[0].size()) + gap;
    }
    return drawing;
}

QImage paint(const Drawing &drawing, const Look &look)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = colourOf(drawing[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)],
                               look);
    }
    return image;
}

// Pale blue between these two ends; the lighter end makes the cloud patches.
// A few dozen steps are plenty at 32 by 32 and keep that icon's palette small;
// the bigger icons get finer steps, so their clouds show no bands.
QRgb iconSky(float density, float steps)
{
    const float t = std::round(std::clamp(density, 0.0f, 1.0f) * steps) / steps;
    return qRgb(static_cast<int>(std::lround(std::lerp(130.0f, 200.0f, t))),
                static_cast<int>(std::lround(std::lerp(190.0f, 225.0f, t))),
                static_cast<int>(std::lround(std::lerp(245.0f, 255.0f, t))));
}

// The icon's tiles and digits at a point (u, v) of the 32 by 32 design, in
// design pixels: a colour, or 0 where the sky shows. Eight yellow tiles of 9 by
// 9 with one pixel between them, the first at (2, 2), each with a one-pixel
// bevel whose two edges meet along the tile's rising diagonal, and digits 1 to
// 8 in reading order. Bigger icons take their digits from the tile face, which
// has more detail than the icon's own 6-pixel digits.
QRgb iconInk(float u, float v, bool bigDigits)
{
    constexpr float tile = 9;
    constexpr float pitch = tile + 1;
    constexpr float first = 2;
    const int column = static_cast<int>(std::floor((u - first) / pitch));
    const int row = static_cast<int>(std::floor((v - first) / pitch));
    const float x = u - first - pitch * static_cast<float>(column);
    const float y = v - first - pitch * static_cast<float>(row);
    const int number = row * 3 + column + 1;
    if (column < 0 || column > 2 || row < 0 || row > 2 || number > 8 || x >= tile || y >= tile)
        return 0;

    if (bigDigits) {
        // The tile digit, 6 design pixels high, centred on the tile.
        const face::Glyph glyph = face::large(number);
        const float cell = 6.0f / static_cast<float>(glyph.size());
        const float width = cell * static_cast<float>(glyph[0].size());
        const int gx = static_cast<int>(std::floor((x - (tile - width) / 2) / cell));
        const int gy = static_cast<int>(std::floor((y - 1.5f) / cell));
        if (gy >= 0 && gy < static_cast<int>(glyph.size()) && gx >= 0
            && gx < static_cast<int>(glyph[0].size())) {
            const char ink = glyph[static_cast<std::size_t>(gy)][static_cast<std::size_t>(gx)];
            if (ink == '#')
                return black;
            if (ink == '+')
                return yellow.shadow;
        }
    } else {
        // Columns 2 to 6 and rows 1 to 6 of the tile: clear of the dark edge
        // below, which would swallow the foot of a digit.
        const face::Glyph glyph = face::small(number);
        const int gx = static_cast<int>(std::floor(x)) - 2;
        const int gy = static_cast<int>(std::floor(y)) - 1;
        if (gy >= 0 && gy < static_cast<int>(glyph.size()) && gx >= 0
            && gx < static_cast<int>(glyph[0].size())
            && glyph[static_cast<std::size_t>(gy)][static_cast<std::size_t>(gx)] == '#')
            return black;
    }

    // The same bevel as the big tiles, one design pixel wide; at 32 by 32 the
    // two pixels on the diagonal at the split corners keep the face colour.
    const bool edge = x < 1 || y < 1 || x >= tile - 1 || y >= tile - 1;
    const float diagonal = std::floor(x) + std::floor(y);
    if (edge && diagonal < tile - 1)
        return yellow.highlight;
    if (edge && diagonal > tile - 1)
        return yellow.shadow;
    return yellow.face;
}

} // namespace

QImage drawIcon(int size)
{
    const float scale = static_cast<float>(size) / side;
    QImage image(size, size, QImage::Format_RGB32);
    // The clouds are laid out relative to the square, so each size shows the
    // same sky, drawn at its own resolution rather than blown up.
    const sky::Field clouds(size, { 2, 4, 8 }, 0x1c0dU);
    std::vector<float> densities(static_cast<std::size_t>(size));
    const float steps = 24.0f * std::max(1.0f, scale);
    // Each pixel averages 4 by 4 samples, so edges that fall inside a pixel
    // blend instead of stepping. At 32 by 32 all of a pixel's samples fall in
    // the same design pixel: the icon is the design, pixel for pixel.
    constexpr int samples = 4;
    for (int y = 0; y < size; ++y) {
        clouds.row(y, densities);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size; ++x) {
            // Only the denser part of the field becomes cloud, so the patches stay apart.
            const float density =
                    std::clamp((densities[static_cast<std::size_t>(x)] - 0.45f) / 0.4f, 0.0f, 1.0f);
            const QRgb skyColour = iconSky(density, steps);
            int red = 0, green = 0, blue = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const float u =
                            (static_cast<float>(x)
                             + (static_cast<float>(sx) + 0.5f) / static_cast<float>(samples))
                            / scale;
                    const float v =
                            (static_cast<float>(y)
                             + (static_cast<float>(sy) + 0.5f) / static_cast<float>(samples))
                            / scale;
                    QRgb c = iconInk(u, v, size > 2 * side - 1);
                    if (c == 0)
                        c = skyColour;
                    red += qRed(c);
                    green += qGreen(c);
                    blue += qBlue(c);
                }
            const int n = samples * samples;
            line[x] = qRgb((red + n / 2) / n, (green + n / 2) / n, (blue + n / 2) / n);
        }
    }
    return image;
}

namespace {

constexpr int firstTile = HomePictures + 1; // the yellow 1
constexpr int lastTile = AwayPictures + 15; // the grey 15
constexpr int iconId = 1;

using Tiles = std::array<QImage, lastTile - firstTile + 1>;

// The 36 tiles take well under a millisecond together, so the first request
// draws them all and later ones only copy a shared image. The yellow numbers
// 16 to 21 are never asked for; they cost nothing.
const Tiles &tiles()
{
    static const Tiles built = [] {
        Tiles t;
        for (int id = firstTile; id <= lastTile; ++id) {
            const PictureContent content = pictureContent(id);
            t[static_cast<std::size_t>(id - firstTile)] =
                    paint(tileDrawing(content.number), content.home ? yellow : grey);
        }
        return t;
    }();
    return built;
}

} // namespace

QImage picture(int id)
{
    const bool known = id == iconId || pictureContent(id).number != 0;
    Q_ASSERT_X(known, "glidor::pictures::picture", "no picture has this id");
    if (!known)
        return {};
    // The icon's clouds take a float noise field: drawn only when asked for,
    // which the game itself never does (its window takes the baked icons).
    if (id == iconId)
        return drawIcon(side);
    return tiles()[static_cast<std::size_t>(id - firstTile)];
}

QImage background()
{
    // Baked at build time: the clouds cost a few milliseconds of start-up,
    // and the picture is the same on every run anyway.
    static const QImage texture(sky::pixels, sky::size, sky::size, sky::size * 4,
                                QImage::Format_RGB32);
    return texture;
}

} // namespace glidor::pictures
