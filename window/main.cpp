// Starts Glidor: one window, shown in the middle of the screen.
#include <QApplication>

#include "benchprobe.h"
#include "frmglidor.h"
#include "startguard.h"

int main(int argc, char *argv[])
{
    glidor::installStartGuard();
    QApplication app(argc, argv);
    glidor::releaseStartGuard();
    glidor::bench::installProbe(app);

    FrmGlidor window;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return app.exec();
}
