// The rules of the game: start position, move rule, shuffle and solved check.
#include "puzzle.h"

#include <cmath>
#include <cstdio>

#include "randomdraw.h"

namespace glidor {

namespace {

constexpr double Gap = 16;

std::string countText(double count)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", count);
    return text;
}

// One case of the move rule: the bound on square p that keeps the run inside
// its row or column, the distance k to the gap and the step s towards it.
struct MoveCase
{
    enum Field { Column, Row } field;
    enum Compare { Less, Greater } compare;
    int bound;
    int k;
    int s;
};

// Tested in this order; the first case whose two conditions hold is carried out.
constexpr MoveCase moveCases[12] = {
    { MoveCase::Column, MoveCase::Less, 4, 1, +1 },
    { MoveCase::Column, MoveCase::Less, 3, 2, +1 },
    { MoveCase::Column, MoveCase::Less, 2, 3, +1 },
    { MoveCase::Column, MoveCase::Greater, 1, 1, -1 },
    { MoveCase::Column, MoveCase::Greater, 2, 2, -1 },
    { MoveCase::Column, MoveCase::Greater, 3, 3, -1 },
    { MoveCase::Row, MoveCase::Less, 4, 1, +4 },
    { MoveCase::Row, MoveCase::Less, 3, 2, +4 },
    { MoveCase::Row, MoveCase::Less, 2, 3, +4 },
    { MoveCase::Row, MoveCase::Greater, 1, 1, -4 },
    { MoveCase::Row, MoveCase::Greater, 2, 2, -4 },
    { MoveCase::Row, MoveCase::Greater, 3, 3, -4 },
};

} // namespace

const char *cueFileName(Cue cue)
{
    return cue == Cue::Move ? "Move.wav" : "Done.wav";
}

bool sideBySide(const Board &board, int a, int b)
{
    const SquareRec &p = board.Squares.at(static_cast<std::size_t>(a));
    const SquareRec &q = board.Squares.at(static_cast<std::size_t>(b));
    return std::abs(p.Column - q.Column) + std::abs(p.Row - q.Row) == 1;
}

bool Puzzle::gameInProgress() const
{
    return !m_ops.shuffleButtonEnabled();
}

void Puzzle::Form_Load()
{
    m_ops.seedRandom();
    SetUpBoard();
}

void Puzzle::SetUpBoard()
{
    m_board.LoopIndex = 0;
    for (std::uint8_t row = 1; row <= 4; ++row) {
        for (std::uint8_t column = 1; column <= 4; ++column) {
            m_board.LoopIndex += 1;
            const int k = static_cast<int>(m_board.LoopIndex);
            m_ops.createSquare(k);
            m_ops.placeSquare(k, 32 * column, 32 * row);
            m_board.Squares[k].Column = column;
            m_board.Squares[k].Row = row;
            m_ops.showSquare(k);
            m_ops.enableSquare(k, false);
            if (k <= 15) {
                m_ops.setSquarePicture(k, pictureId(k, k));
                m_board.Squares[k].Tile = k;
            } else {
                m_ops.clearSquarePicture(k);
                m_board.Squares[k].Tile = Gap;
            }
        }
    }
    m_ops.sendBackgroundToBack();
    m_board.EmptySquare = 16;
}

void Puzzle::MoveTile(std::int16_t p)
{
    if (p < 1 || p > 16)
        return;

    // The sound comes before the rule is tried, so a press on a tile that
    // cannot move is heard too. Like every sound condition it reads both
    // states, the sound mark first, even when the mark alone decides.
    const bool soundOn = m_ops.soundMark();
    const bool duringGame = gameInProgress();
    if (soundOn && duringGame)
        m_ops.startSound(Cue::Move);

    const SquareRec &from = m_board.Squares[p];
    for (const MoveCase &c : moveCases) {
        const double value = c.field == MoveCase::Column ? from.Column : from.Row;
        const bool inBounds = c.compare == MoveCase::Less ? value < c.bound : value > c.bound;
        // Only the far square is tested: a nearer gap would have matched an
        // earlier case. The bound keeps the index on the board.
        if (!inBounds || m_board.Squares[p + c.k * c.s].Tile != Gap)
            continue;

        // The tile next to the gap moves first, the tile from p last.
        for (int j = c.k; j >= 1; --j) {
            const int d = p + j * c.s;
            const int q = p + (j - 1) * c.s;
            m_board.Squares[d].Tile = m_board.Squares[q].Tile;
            m_ops.setSquarePicture(d, pictureId(d, static_cast<int>(m_board.Squares[d].Tile)));
        }
        m_board.Squares[p].Tile = Gap;
        m_ops.clearSquarePicture(p);
        m_board.MoveCount += c.k;
        m_ops.setCounterText(countText(m_board.MoveCount));
        m_board.EmptySquare = static_cast<std::uint8_t>(p);
        return;
    }
}

void Puzzle::CheckSolved()
{
    m_board.Solved = True;
    for (m_board.LoopIndex = 1; m_board.LoopIndex <= 15; m_board.LoopIndex += 1) {
        if (m_board.Squares[static_cast<int>(m_board.LoopIndex)].Tile != m_board.LoopIndex)
            m_board.Solved = False;
    }
    if (m_board.Solved != True)
        return;

    const bool soundOn = m_ops.soundMark();
    const bool duringGame = gameInProgress();
    if (soundOn && duringGame)
        m_ops.startSound(Cue::Done);
    // Square 16 holds the gap and stays open to the mouse.
    for (m_board.LoopIndex = 1; m_board.LoopIndex <= 15; m_board.LoopIndex += 1)
        m_ops.enableSquare(static_cast<int>(m_board.LoopIndex), false);
    m_ops.enableShuffleControls(true);
}

void Puzzle::Shuffle()
{
    m_ops.showCounter(false);
    for (m_board.LoopIndex = 1; m_board.LoopIndex <= 500; m_board.LoopIndex += 1) {
        const float r = m_ops.drawRandom();
        m_board.RandomSquare = squareFromDraw(r);
        // The shuffle button is still enabled here, so these moves are silent.
        MoveTile(m_board.RandomSquare);
    }
    const bool soundOn = m_ops.soundMark();
    const bool duringGame = gameInProgress();
    if (soundOn && !duringGame)
        m_ops.startSound(Cue::Move);
    for (m_board.LoopIndex = 1; m_board.LoopIndex <= 16; m_board.LoopIndex += 1) {
        const int k = static_cast<int>(m_board.LoopIndex);
        m_ops.enableSquare(k, true);
        if (m_board.Squares[k].Tile == Gap)
            m_board.EmptySquare = static_cast<std::uint8_t>(k);
    }
    m_ops.showCounter(true);
}

void Puzzle::cmdBlanda_Click()
{
    Shuffle();
    m_board.MoveCount = 0;
    m_ops.setCounterText(countText(m_board.MoveCount));
    m_ops.enableShuffleControls(false);
}

void Puzzle::Form_KeyDown(int keyCode)
{
    // Signed 16-bit arithmetic with no bounds test: the target lies in -3..20,
    // and MoveTile ignores what falls off the board. A target past the end of a
    // row is a square in the next one, out of line with the gap: a press that
    // sounds and moves nothing.
    const auto gap = static_cast<std::int16_t>(m_board.EmptySquare);
    std::int16_t target;
    switch (keyCode) {
    case KeyRight:
        target = static_cast<std::int16_t>(gap - 1);
        break;
    case KeyLeft:
        target = static_cast<std::int16_t>(gap + 1);
        break;
    case KeyDown:
        target = static_cast<std::int16_t>(gap - 4);
        break;
    case KeyUp:
        target = static_cast<std::int16_t>(gap + 4);
        break;
    default:
        return;
    }
    MoveTile(target);
    CheckSolved();
}

} // namespace glidor
