// The game's one window.
#include "frmglidor.h"

FrmGlidor::FrmGlidor(QWidget *parent) : QMainWindow(parent) {}
