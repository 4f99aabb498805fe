// The game's one window: its controls, the window operations of the core and the input handlers.
#pragma once

#include <QMainWindow>

#include <array>
#include <memory>

#include "puzzle.h"
#include "randomdraw.h"
#include "sound.h"

class QAction;
class QLabel;
class QPushButton;

namespace glidor {
class BoardArea;
class BoardSquare;
class CounterLabel;
class HelpPanel;
class PictureBox;
class ScreenReaderNews;
} // namespace glidor

// The window frmGlidor. It keeps what the player sees (controls, focus, the
// help panel, the sound mark) and hands every decision about the board to
// the core, which reaches the controls back through WindowOps; what a screen
// reader hears of each action is left to ScreenReaderNews.
class FrmGlidor : public QMainWindow, private glidor::WindowOps
{
    Q_OBJECT
public:
    // Builds every control, runs Form_Load (which creates the sixteen squares)
    // and places the window in the middle of its screen; it is not shown yet.
    // The shuffle draws from `random` and the cues play on `sound`; both must
    // outlive the window.
    FrmGlidor(glidor::RandomSource &random, glidor::sound::Player &sound,
              QWidget *parent = nullptr);
    ~FrmGlidor() override;

protected:
    // Form_KeyDown: the arrow keys, whenever the window itself has the focus.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // glidor::WindowOps
    void seedRandom() override;
    float drawRandom() override;
    void createSquare(int k) override;
    void placeSquare(int k, int left, int top) override;
    void showSquare(int k) override;
    void enableSquare(int k, bool enabled) override;
    void setSquarePicture(int k, int id) override;
    void clearSquarePicture(int k) override;
    void sendBackgroundToBack() override;
    bool soundMark() const override;
    bool shuffleButtonEnabled() const override;
    void enableShuffleControls(bool enabled) override;
    void setCounterText(const std::string &text) override;
    void showCounter(bool visible) override;
    void startSound(glidor::Cue cue) override;

    void buildControls();
    void buildMenus();

    void imgBild_MouseDown(int index);
    void imgBild_DblClick(int index);
    void fraHur_MouseDown();
    void lblHur_Click(int index);
    void mnuHur_Click();
    void mnuAvsluta_Click();
    void mnuBlanda_Click();

    glidor::RandomSource &m_random;
    glidor::sound::Player &m_sound;
    glidor::Board m_board;
    glidor::Puzzle m_puzzle;

    glidor::BoardArea *m_client = nullptr;
    glidor::HelpPanel *fraHur = nullptr;
    QPushButton *cmdBlanda = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblLabel = nullptr;
    glidor::CounterLabel *lblFlytt = nullptr;
    glidor::PictureBox *imgBak = nullptr;
    std::array<glidor::BoardSquare *, 17> imgBild{}; // 0 is the design element, never on the board
    QAction *mnuBlanda = nullptr;
    QAction *mnuLjud = nullptr;
    std::unique_ptr<glidor::ScreenReaderNews> m_news; // made once the controls it reads are
};
