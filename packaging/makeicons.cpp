// Writes the program's icon as PNG files for the desktop's icon theme.
#include <QImage>
#include <QString>

#include <cstdio>

#include "pictures.h"

// Usage: makeicons OUTDIR SIZE...; writes OUTDIR/SIZE.png for each size.
int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: makeicons OUTDIR SIZE...\n");
        return 2;
    }
    const QImage icon = glidor::pictures::picture(1);
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        // Whole multiples of 32 scaled pixel for pixel keep the small art sharp.
        const QImage scaled = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QString path = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/') + QString::number(size) + QStringLiteral(".png");
        if (size < 16 || size % 32 != 0 || !scaled.save(path, "PNG")) {
            std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
