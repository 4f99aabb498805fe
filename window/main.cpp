// Starts Glidor: one window, shown in the middle of the screen.
#include <QApplication>

#include "frmglidor.h"
#include "placement.h"
#include "randomdraw.h"
#include "sound.h"
#include "startguard.h"

int main(int, char *[])
{
    // The game takes nothing from its command line, so Qt must not either
    // (-reverse, -qwindowtitle, -platform and the like would change it). The
    // fixed name also fixes the X11 instance name, whatever the link is called.
    static char name[] = "glidor";
    static char *args[] = { name, nullptr };
    int count = 1;

    glidor::installStartGuard();
    QApplication app(count, args);
    glidor::releaseStartGuard();
    // What a desktop matches against the menu entry: the X11 window class and
    // the Wayland app id.
    QApplication::setApplicationName(QStringLiteral("Glidor"));
    QApplication::setDesktopFileName(QStringLiteral(GLIDOR_APP_ID));

    glidor::ClockRandom random;
    FrmGlidor window(random, glidor::sound::desktop());
    QApplication::setWindowIcon(window.windowIcon());
    glidor::centreWhenFramed(window);
    window.show();
    return app.exec();
}
