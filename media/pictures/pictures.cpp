// The tile pictures, the icon and the sky, drawn in code once on first use.
#include "pictures.h"

#include "digitface.h"
#include "pictureid.h"
#include "sky.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace glidor::pictures {

namespace {

constexpr int side = 32;

// What each pixel of a tile is, before it gets the colours of a look. The grey
// and the yellow picture of a tile share one drawing and differ in colours only.
enum class Ink : unsigned char { Face, Highlight, Shadow, Black };
using Drawing = std::array<std::array<Ink, side>, side>;

struct Look {
    QRgb face;
    QRgb highlight;
    QRgb shadow;
};

constexpr Look yellow{qRgb(206, 203, 0), qRgb(255, 255, 0), qRgb(148, 150, 0)};
constexpr Look grey{qRgb(206, 203, 206), qRgb(255, 255, 255), qRgb(148, 150, 148)};
constexpr QRgb black = qRgb(0, 0, 0);

QRgb colourOf(Ink ink, const Look &look)
{
    switch (ink) {
    case Ink::Face: return look.face;
    case Ink::Highlight: return look.highlight;
    case Ink::Shadow: return look.shadow;
    case Ink::Black: return black;
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
            Ink &pixel = drawing[static_cast<std::size_t>(top) + row][static_cast<std::size_t>(left) + col];
            switch (glyph[row][col]) {
            case '#': pixel = Ink::Black; break;
            case '+': pixel = smoothing; break;
            default: break;
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
            line[x] = colourOf(drawing[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)], look);
    }
    return image;
}

// Pale blue between these two ends; the lighter end makes the cloud patches.
QRgb iconSky(float density)
{
    // A few dozen steps are plenty at 32 by 32 and keep the icon's palette small.
    constexpr float steps = 24.0f;
    const float t = std::round(std::clamp(density, 0.0f, 1.0f) * steps) / steps;
    return qRgb(static_cast<int>(std::lround(std::lerp(130.0f, 200.0f, t))),
                static_cast<int>(std::lround(std::lerp(190.0f, 225.0f, t))),
                static_cast<int>(std::lround(std::lerp(245.0f, 255.0f, t))));
}

// A 3 by 3 sliding puzzle with tiles 1 to 8 in order and the last place empty.
QImage drawIcon()
{
    QImage image(side, side, QImage::Format_RGB32);
    const sky::Field clouds(side, {2, 4, 8}, 0x1c0dU);
    std::array<float, side> densities{};
    for (int y = 0; y < side; ++y) {
        clouds.row(y, densities);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            // Only the denser part of the field becomes cloud, so the patches stay apart.
            const float density = std::clamp((densities[static_cast<std::size_t>(x)] - 0.45f) / 0.4f, 0.0f, 1.0f);
            line[x] = iconSky(density);
        }
    }

    constexpr int tile = 9;
    constexpr int pitch = tile + 1;
    constexpr int first = 2;
    for (int number = 1; number <= 8; ++number) {
        const int left = first + ((number - 1) % 3) * pitch;
        const int top = first + ((number - 1) / 3) * pitch;
        for (int y = 0; y < tile; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(top + y));
            for (int x = 0; x < tile; ++x) {
                // The same bevel as the big tiles, one pixel wide.
                const bool edge = x == 0 || y == 0 || x == tile - 1 || y == tile - 1;
                QRgb colour = yellow.face;
                if (edge && x + y < tile - 1)
                    colour = yellow.highlight;
                else if (edge && x + y > tile - 1)
                    colour = yellow.shadow;
                line[left + x] = colour;
            }
        }
        // Rows 1 to 6 and columns 2 to 6 of the tile: clear of the dark edge
        // below, which would swallow the foot of a digit.
        const face::Glyph glyph = face::small(number);
        for (std::size_t row = 0; row < glyph.size(); ++row)
            for (std::size_t col = 0; col < glyph[row].size(); ++col)
                if (glyph[row][col] == '#')
                    image.setPixel(left + 2 + static_cast<int>(col), top + 1 + static_cast<int>(row), black);
    }
    return image;
}


constexpr int firstTile = HomePictures + 1; // the yellow 1
constexpr int lastTile = AwayPictures + 15;  // the grey 15
constexpr int iconId = 1;

struct Store {
    std::array<QImage, lastTile - firstTile + 1> tiles;
    QImage icon;
};

// The 36 tiles and the icon take well under a millisecond together, so the
// first request draws them all and later ones only copy a shared image. The
// yellow numbers 16 to 21 are never asked for; they cost nothing.
const Store &store()
{
    static const Store built = [] {
        Store s;
        for (int id = firstTile; id <= lastTile; ++id) {
            const PictureContent content = pictureContent(id);
            s.tiles[static_cast<std::size_t>(id - firstTile)] = paint(tileDrawing(content.number), content.home ? yellow : grey);
        }
        s.icon = drawIcon();
        return s;
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
    if (id == iconId)
        return store().icon;
    return store().tiles[static_cast<std::size_t>(id - firstTile)];
}

QImage background()
{
    // Baked at build time: the clouds cost a few milliseconds of start-up,
    // and the picture is the same on every run anyway.
    static const QImage texture(sky::pixels, sky::size, sky::size, sky::size * 4, QImage::Format_RGB32);
    return texture;
}

} // namespace glidor::pictures
