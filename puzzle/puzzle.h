// The board state of the game and the procedures that hold its rules.
#pragma once

#include "pictureid.h"
#include "windowops.h"

#include <array>
#include <cstdint>

namespace glidor {

// One square of the board: whole numbers held in doubles, the game's own type for them (see Board).
struct SquareRec
{
    double Column = 0;
    double Row = 0;
    double Tile = 0; // 1..15, or 16 for the gap
};

// Truth values as the game's own state holds them: true is -1, all bits set, not a C++ bool.
constexpr std::int16_t True = -1;
constexpr std::int16_t False = 0;

// Virtual-key codes of the arrow keys: the window's key handler translates Qt's arrow keys into
// these before it hands them to Form_KeyDown.
enum ArrowKey : int { KeyLeft = 37, KeyUp = 38, KeyRight = 39, KeyDown = 40 };

// The board state: the window-level variables that the rules work on, under the game's own names
// and with their own types (bytes, 16-bit integers, doubles), so the rules compute exactly as the
// game always has. The window owns it; only the rules change it.
struct Board
{
    std::array<SquareRec, 17> Squares{}; // index 0 is not a square and keeps its zeros
    std::uint8_t EmptySquare = 0;
    std::uint8_t RandomSquare = 0;
    std::int16_t Solved = False;
    double MoveCount = 0;
    double LoopIndex = 0; // the loop counter all the rules share, window-level like the rest
};

// True when squares a and b (1..16) of the laid-out board share a side: next
// to each other in a row, or one above the other in a column.
bool sideBySide(const Board &board, int a, int b);

// The rules: they change the board and reach the window only through WindowOps.
// Squares are numbered 1..16 row by row from the top left.
class Puzzle
{
public:
    Puzzle(Board &board, WindowOps &ops) : m_board(board), m_ops(ops) { }

    // Seeds the random draws, then lays out the solved board.
    void Form_Load();
    // Creates the sixteen squares and lays out tile k on square k, all disabled, gap on 16.
    void SetUpBoard();
    // Slides the tile on square p, with the tiles between it and the gap, one
    // square towards the gap when p lies in the gap's row or column. Numbers
    // outside 1..16 are ignored, without a sound.
    void MoveTile(std::int16_t p);
    // Ends the game when tiles 1..15 are back on squares 1..15.
    void CheckSolved();
    // 500 random move attempts from the current board, then opens the board.
    void Shuffle();
    // The shuffle command: deals a game and starts it.
    void cmdBlanda_Click();
    // An arrow key names the tile that slides into the gap in its direction;
    // every other key code does nothing at all.
    void Form_KeyDown(int keyCode);

private:
    bool gameInProgress() const;

    Board &m_board;
    WindowOps &m_ops;
};

} // namespace glidor
