// Starts Glidor: one window, shown in the middle of the screen.
#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "frmglidor.h"
#include "pictures.h"
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
    static char *args[] = {name, nullptr};
    int count = 1;

    glidor::installStartGuard();
    QApplication app(count, args);
    glidor::releaseStartGuard();
    // What a desktop matches against the menu entry: the X11 window class and
    // the Wayland app id.
    QApplication::setApplicationName(QStringLiteral("Glidor"));
    QApplication::setDesktopFileName(QStringLiteral("se.brickmakare.Glidor"));

    glidor::ClockRandom random;
    FrmGlidor window(random, glidor::sound::desktop());
    // Every size, so a task bar or a switcher at any scale shows a drawn icon
    // rather than a blown-up one.
    QIcon icon;
    for (const QImage &image : glidor::pictures::icons())
        icon.addPixmap(QPixmap::fromImage(image));
    window.setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
    glidor::centreWhenFramed(window);
    window.show();
    return app.exec();
}
