// The game's one window.
#pragma once

#include <QMainWindow>

#include "puzzle.h"

class FrmGlidor : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmGlidor(QWidget *parent = nullptr);
};
