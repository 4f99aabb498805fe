// Tests of the rules, through a stand-in window that keeps what a player would see.
#include "puzzle.h"
#include "randomdraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <sstream>
#include <thread>
#include <variant>
#include <vector>

namespace {

using namespace glidor;

// The sounds a player hears, told apart by the file the window is asked to play.
enum class Sound { Move, Done, OtherFile };
using Sounds = std::vector<Sound>;
constexpr Sound Move = Sound::Move, Done = Sound::Done;
void PrintTo(Sound sound, std::ostream *os)
{
    *os << (sound == Move ? "Move.wav" : sound == Done ? "Done.wav" : "another file");
}

// The shuffle button, back on once a game is over.
enum class Button { Off, On };
void PrintTo(Button button, std::ostream *os)
{
    *os << (button == Button::On ? "on" : "off");
}

// What the player does: squares pressed with the mouse, or key codes struck, one after another.
struct Press : std::vector<int>
{
    using vector::vector;
};
struct Keys : std::vector<int>
{
    using vector::vector;
};
using Input = std::variant<Press, Keys>;

// What the window shows: pictures, open squares, the controls, the counter and the sounds heard.
struct Screen : WindowOps
{
    std::array<int, 17> picture{};
    std::array<bool, 17> open{};
    int drawsMade = 0, drawsSeenByPlayer = 0;
    bool seeded = false, controls = true, mark = true, counterShown = true;
    std::string counter = "0";
    Sounds sounds;
    std::deque<int> draws; // squares; past these, each draw picks the gap, which moves nothing

    void seedRandom() override { seeded = true; }
    float drawRandom() override // the middle of a square's draws
    {
        ++drawsMade;
        drawsSeenByPlayer += counterShown;
        int k = int(std::find(picture.begin() + 1, picture.end(), 0) - picture.begin());
        if (!draws.empty())
            k = draws.front(), draws.pop_front();
        return (float(k) - 0.5f) / 16;
    }
    // A new control takes the mouse.
    void createSquare(int k) override { open[k] = true; }
    void placeSquare(int, int, int) override { }
    void showSquare(int) override { }
    void enableSquare(int k, bool on) override { open[k] = on; }
    void setSquarePicture(int k, int id) override { picture[k] = id; }
    void clearSquarePicture(int k) override { picture[k] = 0; }
    void sendBackgroundToBack() override { }
    bool soundMark() const override { return mark; }
    bool shuffleButtonEnabled() const override { return controls; }
    void enableShuffleControls(bool on) override { controls = on; }
    void setCounterText(const std::string &text) override { counter = text; }
    void showCounter(bool on) override { counterShown = on; }
    void startSound(Cue cue) override
    {
        const std::string file = cueFileName(cue);
        sounds.push_back(file == "Move.wav" ? Move : file == "Done.wav" ? Done : Sound::OtherFile);
    }
};

struct Game
{
    Screen s;
    Board b;
    Puzzle p{ b, s };
    Game() { p.Form_Load(); }

    // Lays out a board written row by row, "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _" with "_"
    // for the gap, as a window would show it.
    void boardFrom(const std::string &text)
    {
        std::istringstream words(text);
        int k = 0;
        for (std::string word; words >> word;) {
            if (word == "/" || ++k > 16)
                continue;
            const int tile = word == "_" ? 16 : std::stoi(word);
            b.Squares[k].Tile = tile;
            s.picture[k] = tile == 16 ? 0 : pictureId(k, tile);
            b.EmptySquare = tile == 16 ? std::uint8_t(k) : b.EmptySquare;
        }
        EXPECT_EQ(k, 16) << "squares written in " << text;
    }
    // The board as its pictures show it, written as boardFrom reads it; "?" for a picture that is
    // not the board's tile in its look there.
    std::string shown() const
    {
        std::string text;
        for (int k = 1; k <= 16; ++k) {
            const auto [number, home] = pictureContent(s.picture[k]);
            const int tile = int(b.Squares[k].Tile);
            text += tile == 16 && !number                   ? "_"
                    : tile == number && home == (tile == k) ? std::to_string(tile)
                                                            : "?";
            text += k == 16 ? "" : k % 4 ? " " : " / ";
        }
        return text;
    }
    void deal(std::initializer_list<int> squares)
    {
        s.draws = squares;
        p.cmdBlanda_Click();
    }
    void act(const Input &input)
    {
        if (const Press *press = std::get_if<Press>(&input)) {
            for (int k : *press) {
                p.MoveTile(std::int16_t(k));
                p.CheckSolved();
            }
        } else {
            for (int code : std::get<Keys>(input))
                p.Form_KeyDown(code);
        }
    }
};

// What a player meets: the board, the counter ("" while hidden), the button, how many squares
// take the mouse, and the sounds heard so far.
struct Seen
{
    std::string board, counter;
    Button button;
    int openSquares;
    Sounds sounds;
};

void expectSeen(const Game &g, const char *when, const Seen &want)
{
    SCOPED_TRACE(when);
    EXPECT_EQ(g.shown(), want.board);
    EXPECT_EQ(g.s.counterShown ? g.s.counter : "", want.counter);
    EXPECT_EQ(g.s.controls ? Button::On : Button::Off, want.button);
    EXPECT_EQ(std::ranges::count(g.s.open, true), want.openSquares);
    EXPECT_EQ(g.s.sounds, want.sounds);
}

// Boards named by what sets them apart, most by the square of the gap; GapOnTop has it on square 1
// above a first column of 5, 1 and 9.
const char *const InOrder = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";
const char *const Swapped = "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";
const char *const GapOn1 = "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const GapOn2 = "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const GapOn3 = "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const GapOn4 = "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const GapOn5 = "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5";
const char *const GapOnTop = "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13";
const char *const Tile1Away = "_ 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 1";
const char *const Tile15Away = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 _ 15";

// One action during a game, from a board with 10 moves counted, and what follows it.
struct Slide
{
    const char *sentence;
    const char *board;
    Input input;
    const char *boardAfter;
    int counted; // tiles the counter adds
    Sounds sounds;
    Button button;
};
void PrintTo(const Slide &t, std::ostream *os)
{
    *os << t.sentence;
}

// During a game a press slides the run between the square and the gap, an arrow the tile on its
// side of the gap. Every press sounds, even one that moves nothing. A key that points past the
// first or last square does nothing; one that points past the end of a row names a square in the
// next row, which is a press out of line with the gap. A board found in order ends the game.
const Slide slides[] = {
    { "one tile right", GapOn4, Press{ 3 }, GapOn3, 1, Sounds{ Move }, Button::Off },
    { "two tiles right", GapOn4, Press{ 2 }, GapOn2, 2, Sounds{ Move }, Button::Off },
    { "three tiles right", GapOn4, Press{ 1 }, GapOn1, 3, Sounds{ Move }, Button::Off },
    { "one tile left", GapOn1, Press{ 2 }, GapOn2, 1, Sounds{ Move }, Button::Off },
    { "two tiles left", GapOn1, Press{ 3 }, GapOn3, 2, Sounds{ Move }, Button::Off },
    { "three tiles left", GapOn1, Press{ 4 }, GapOn4, 3, Sounds{ Move }, Button::Off },
    { "one tile down", InOrder, Press{ 12 }, "1 2 3 4 / 5 6 7 8 / 9 10 11 _ / 13 14 15 12", 1,
      Sounds{ Move }, Button::Off },
    { "two tiles down", InOrder, Press{ 8 }, "1 2 3 4 / 5 6 7 _ / 9 10 11 8 / 13 14 15 12", 2,
      Sounds{ Move }, Button::Off },
    { "three tiles down", InOrder, Press{ 4 }, "1 2 3 _ / 5 6 7 4 / 9 10 11 8 / 13 14 15 12", 3,
      Sounds{ Move }, Button::Off },
    { "one tile up", GapOnTop, Press{ 5 }, "5 2 3 4 / _ 6 7 8 / 1 10 11 12 / 9 14 15 13", 1,
      Sounds{ Move }, Button::Off },
    { "two tiles up", GapOnTop, Press{ 9 }, "5 2 3 4 / 1 6 7 8 / _ 10 11 12 / 9 14 15 13", 2,
      Sounds{ Move }, Button::Off },
    { "three tiles up", GapOnTop, Press{ 13 }, "5 2 3 4 / 1 6 7 8 / 9 10 11 12 / _ 14 15 13", 3,
      Sounds{ Move }, Button::Off },
    { "a run never wraps into the row below", GapOn5, Press{ 4, 3, 2 }, GapOn5, 0,
      Sounds{ Move, Move, Move }, Button::Off },
    { "nor into the row above", GapOn4, Press{ 5, 6, 7 }, GapOn4, 0, Sounds{ Move, Move, Move },
      Button::Off },
    { "a diagonal neighbour stays; in order, won", InOrder, Press{ 11 }, InOrder, 0,
      Sounds{ Move, Done }, Button::On },
    { "the gap itself sounds and stays", Swapped, Press{ 16 }, Swapped, 0, Sounds{ Move },
      Button::Off },
    { "Right: the tile left of the gap", GapOn4, Keys{ KeyRight }, GapOn3, 1, Sounds{ Move },
      Button::Off },
    { "Left: the tile right of the gap", GapOn1, Keys{ KeyLeft }, GapOn2, 1, Sounds{ Move },
      Button::Off },
    { "Down: the tile above the gap", GapOn5, Keys{ KeyDown },
      "_ 2 3 4 / 1 6 7 8 / 9 10 11 12 / 13 14 15 5", 1, Sounds{ Move }, Button::Off },
    { "Up: the tile below the gap", GapOn5, Keys{ KeyUp },
      "1 2 3 4 / 9 6 7 8 / _ 10 11 12 / 13 14 15 5", 1, Sounds{ Move }, Button::Off },
    { "Right, Down with the gap on 1: off the board", GapOn1, Keys{ KeyRight, KeyDown }, GapOn1, 0,
      Sounds{}, Button::Off },
    { "Left, Up with the gap on 16: off the board", Swapped, Keys{ KeyLeft, KeyUp }, Swapped, 0,
      Sounds{}, Button::Off },
    { "Left with the gap on 4: square 5, out of line, sounds", GapOn4, Keys{ KeyLeft }, GapOn4, 0,
      Sounds{ Move }, Button::Off },
    { "tile 1 alone away: not won", Tile1Away, Press{ 6 }, Tile1Away, 0, Sounds{ Move },
      Button::Off },
    { "tile 15 alone away: not won", Tile15Away, Press{ 6 }, Tile15Away, 0, Sounds{ Move },
      Button::Off },
    { "the key that brings 15 home wins", Tile15Away, Keys{ KeyLeft }, InOrder, 1,
      Sounds{ Move, Done }, Button::On },
    { "no arrow: the key codes just before and after them", Swapped,
      Keys{ KeyLeft - 1, KeyDown + 1 }, Swapped, 0, Sounds{}, Button::Off },
};

class MoveRule : public testing::TestWithParam<Slide>
{
};

TEST_P(MoveRule, slidesOneRunTowardsTheGapCountsItsTilesAndSounds)
{
    const Slide &t = GetParam();
    Game g;
    g.boardFrom(t.board);
    g.s.controls = false; // a game is on
    g.b.MoveCount = 10; // and the counter shows it
    g.s.counter = "10";
    g.act(t.input);
    EXPECT_EQ(g.shown(), t.boardAfter);
    EXPECT_EQ(g.s.counter, std::to_string(10 + t.counted));
    EXPECT_EQ(g.s.sounds, t.sounds);
    EXPECT_EQ(g.s.controls ? Button::On : Button::Off, t.button);
    EXPECT_EQ(g.b.Squares[g.b.EmptySquare].Tile, 16) << "EmptySquare follows the gap";
}

INSTANTIATE_TEST_SUITE_P(Slides, MoveRule, testing::ValuesIn(slides));

// The board starts in order and closed; the clock seeds the draws.
TEST(Shuffle, makes500SilentAttemptsBehindTheCounterThenOpensTheBoardWithOneSound)
{
    Game g;
    EXPECT_TRUE(g.s.seeded);
    expectSeen(g, "at start", { InOrder, "0", Button::On, 0, {} });
    g.deal({ 12, 11, 7 }); // tile 12 down, tile 11 right, tile 7 down
    EXPECT_EQ(g.s.drawsMade, 500);
    EXPECT_EQ(g.s.drawsSeenByPlayer, 0);
    expectSeen(g, "dealt",
               { "1 2 3 4 / 5 6 _ 8 / 9 10 7 11 / 13 14 15 12", "0", Button::Off, 16, { Move } });
}

// A deal left in order is won at the player's first action. Afterwards the gap still takes the
// mouse and the arrows still move tiles, counted and silent, and the order found again changes
// nothing.
TEST(EndOfGame, aDealLeftInOrderEndsAtTheNextActionThenMovesCountSilently)
{
    for (bool mark : { true, false }) {
        SCOPED_TRACE(mark ? "sound on" : "sound off");
        Game g;
        g.s.mark = mark;
        const Sounds dealt = mark ? Sounds{ Move } : Sounds{};
        const Sounds won = mark ? Sounds{ Move, Move, Done } : Sounds{};
        g.deal({ 12, 16 });
        expectSeen(g, "dealt, not over yet", { InOrder, "0", Button::Off, 16, dealt });
        g.act(Press{ 6 }); // out of line with the gap: nothing moves, the game ends
        expectSeen(g, "won", { InOrder, "0", Button::On, 1, won });
        EXPECT_TRUE(g.s.open[16]);
        g.act(Keys{ KeyDown });
        g.act(Press{ 16 });
        expectSeen(g, "two moves after the win", { InOrder, "2", Button::On, 1, won });
        EXPECT_FALSE(g.s.open[12]) << "the tile back home is closed again";
    }
}

TEST(RandomDraw, theClockDealsADifferentSequenceEachRunSpreadEvenlyOverTheBoardAndNeverPastIt)
{
    EXPECT_EQ(unitDraw(0xFFFFFFFFu), 1.0f - 0x1p-24f);
    EXPECT_EQ(squareFromDraw(unitDraw(0xFFFFFFFFu)), 16);
    EXPECT_EQ(squareFromDraw(std::nextafter(0.5f, 0.0f)), 8);
    EXPECT_EQ(squareFromDraw(0.5f), 9);
    ClockRandom first, second;
    first.seed();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    second.seed();
    std::array<int, 17> hits{};
    int same = 0;
    for (int i = 0; i < 16000; ++i) {
        const float r = first.draw();
        same += r == second.draw();
        ++hits[squareFromDraw(r)];
    }
    EXPECT_LT(same, 10);
    EXPECT_GT(*std::min_element(hits.begin() + 1, hits.end()), 850) << "some squares seldom drawn";
}

} // namespace
