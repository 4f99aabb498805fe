// Starts Glidor.
#include <QApplication>

#include "frmglidor.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FrmGlidor window;
    window.show();
    return app.exec();
}
