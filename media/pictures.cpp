// Placeholder pictures until the real drawing lands.
#include "pictures.h"

namespace glidor::pictures {

QImage picture(int id)
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(id >= 122 ? qRgb(206, 203, 206) : qRgb(206, 203, 0));
    return image;
}

QImage background()
{
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(qRgb(150, 200, 250));
    return image;
}

} // namespace glidor::pictures
