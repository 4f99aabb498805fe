// Writes the program's icon as PNG files for the desktop's icon theme.
#include <QImage>
#include <QString>

#include <cstdio>

#include "pictures.h"

// Usage: makeicons OUTDIR; writes OUTDIR/SIZE.png for each size of the window's icon.
int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeicons OUTDIR\n");
        return 2;
    }
    for (const QImage &icon : glidor::pictures::icons()) {
        const QString path = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/')
                + QString::number(icon.width()) + QStringLiteral(".png");
        if (!icon.save(path, "PNG")) {
            std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
