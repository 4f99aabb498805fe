// Times the first drawing of the pictures and writes them all as PNG: dump_pictures [FOLDER].
#include "picturedump.h"
#include "pictures.h"

#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The pictures are drawn on first use, so the first calls carry the whole cost.
    QElapsedTimer timer;
    timer.start();
    const QImage tile = glidor::pictures::picture(101);
    const qint64 tiles = timer.nsecsElapsed();
    timer.restart();
    const QImage sky = glidor::pictures::background();
    const qint64 backdrop = timer.nsecsElapsed();
    std::printf("first picture() (all 36 tiles and the icon): %.3f ms\n", tiles / 1e6);
    std::printf("first background(): %.3f ms\n", backdrop / 1e6);

    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("pictures");
    if (!glidor::pictures::dumpPictures(folder)) {
        std::fprintf(stderr, "dump_pictures: cannot write into %s\n", qPrintable(folder));
        return 1;
    }
    std::printf("written to %s\n", qPrintable(folder));
    return tile.isNull() || sky.isNull() ? 1 : 0;
}
