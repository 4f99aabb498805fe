// Starts Glidor: one window, shown in the middle of the screen.
#include <QApplication>

#include "benchprobe.h"
#include "frmglidor.h"
#include "randomdraw.h"
#include "sound.h"
#include "startguard.h"

int main(int argc, char *argv[])
{
    glidor::installStartGuard();
    QApplication app(argc, argv);
    glidor::releaseStartGuard();
    glidor::bench::installProbe(app);

    glidor::ClockRandom random;
    FrmGlidor window(random, glidor::sound::desktop());
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return app.exec();
}
