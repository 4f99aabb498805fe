// Tests of the rules, through a stand-in window that keeps what a player would see.
#include "puzzle.h"
#include "randomdraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace glidor;

// What the window shows: pictures, open squares, the controls, the counter and the sounds heard.
struct Screen : WindowOps
{
    std::array<int, 17> picture{};
    std::array<bool, 17> open{};
    int drawsMade = 0, drawsSeenByPlayer = 0;
    bool seeded = false, controls = true, mark = true, counterShown = true;
    std::string counter = "0", sounds;
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
    void startSound(Cue cue) override { sounds += cueFileName(cue)[0]; }
};

struct Game
{
    Screen s;
    Board b;
    Puzzle p{ b, s };
    Game() { p.Form_Load(); }

    // Lays out a board written as below, as a window would show it.
    void boardFrom(std::string text)
    {
        std::erase(text, ' ');
        for (int k = 1; k <= 16; ++k) {
            const int tile = int(std::string_view("123456789abcdef_").find(text.at(k - 1u))) + 1;
            b.Squares[k].Tile = tile;
            s.picture[k] = tile == 16 ? 0 : pictureId(k, tile);
            b.EmptySquare = tile == 16 ? std::uint8_t(k) : b.EmptySquare;
        }
    }
    // The board as its pictures show it; "?" for a picture not of the board's tile in its look
    // there.
    std::string shown() const
    {
        std::string text;
        for (int k = 1; k <= 16; ++k) {
            const auto [number, home] = pictureContent(s.picture[k]);
            const int tile = int(b.Squares[k].Tile);
            text += tile == 16 && !number                   ? '_'
                    : tile == number && home == (tile == k) ? "0123456789abcdef"[tile]
                                                            : '?';
            text += k % 4 || k == 16 ? "" : " ";
        }
        return text;
    }
    void deal(std::initializer_list<int> squares)
    {
        s.draws = squares;
        p.cmdBlanda_Click();
    }
    void act(const std::string &what) // "press K...", "key Right...", "key 36"
    {
        const std::map<std::string, int> keys{
            { "Left", KeyLeft }, { "Up", KeyUp }, { "Right", KeyRight }, { "Down", KeyDown }
        };
        std::istringstream args(what.substr(what.find(' ') + 1));
        for (std::string arg; args >> arg;) {
            if (what.starts_with("press")) {
                p.MoveTile(std::int16_t(std::stoi(arg)));
                p.CheckSolved();
            } else {
                p.Form_KeyDown(keys.contains(arg) ? keys.at(arg) : std::stoi(arg));
            }
        }
    }
    // What a player meets, as "1234 56_8 9a7b defc 0 off 16 M": the board, the counter ("-" while
    // hidden), the button, how many squares take the mouse, and the sounds heard.
    std::string state() const
    {
        return shown() + ' ' + (s.counterShown ? s.counter : "-") + (s.controls ? " on " : " off ")
                + std::to_string(std::ranges::count(s.open, true)) + ' ' + s.sounds;
    }
};

// Boards are written row by row, tiles 10 to 15 as a to f and "_" for the gap.
const char *const InOrder = "1234 5678 9abc def_";
const char *const GapRight = "123_ 5678 9abc def4", *const GapLeft = "_123 5678 9abc def4";
const char *const GapTop = "_234 5678 1abc 9efd", *const Gap5 = "1234 _678 9abc def5";
const char *const Swapped = "2134 5678 9abc def_";

// During a game a press slides the run between the square and the gap, an arrow the tile on its
// side of the gap. Every press sounds (M), even one that moves nothing; a key that points off the
// board does nothing. A board found in order ends the game (D).
const struct Slide
{
    const char *sentence, *before, *action, *after;
    int counted;
    const char *sounds;
} slides[] = {
    { "one tile right", GapRight, "press 3", "12_3 5678 9abc def4", 1, "M" },
    { "two tiles right", GapRight, "press 2", "1_23 5678 9abc def4", 2, "M" },
    { "three tiles right", GapRight, "press 1", GapLeft, 3, "M" },
    { "one tile left", GapLeft, "press 2", "1_23 5678 9abc def4", 1, "M" },
    { "two tiles left", GapLeft, "press 3", "12_3 5678 9abc def4", 2, "M" },
    { "three tiles left", GapLeft, "press 4", GapRight, 3, "M" },
    { "one tile down", InOrder, "press 12", "1234 5678 9ab_ defc", 1, "M" },
    { "two tiles down", InOrder, "press 8", "1234 567_ 9ab8 defc", 2, "M" },
    { "three tiles down", InOrder, "press 4", "123_ 5674 9ab8 defc", 3, "M" },
    { "one tile up", GapTop, "press 5", "5234 _678 1abc 9efd", 1, "M" },
    { "two tiles up", GapTop, "press 9", "5234 1678 _abc 9efd", 2, "M" },
    { "three tiles up", GapTop, "press 13", "5234 1678 9abc _efd", 3, "M" },
    { "a run never wraps into the row below", Gap5, "press 4 3 2", nullptr, 0, "MMM" },
    { "nor into the row above", GapRight, "press 5 6 7", nullptr, 0, "MMM" },
    { "a diagonal neighbour stays; in order, won", InOrder, "press 11", nullptr, 0, "MD" },
    { "the gap itself sounds and stays", Swapped, "press 16", nullptr, 0, "M" },
    { "Right: the tile left of the gap", GapRight, "key Right", "12_3 5678 9abc def4", 1, "M" },
    { "Left: the tile right of the gap", GapLeft, "key Left", "1_23 5678 9abc def4", 1, "M" },
    { "Down: the tile above the gap", Gap5, "key Down", "_234 1678 9abc def5", 1, "M" },
    { "Up: the tile below the gap", Gap5, "key Up", "1234 9678 _abc def5", 1, "M" },
    { "Right, Down with the gap on 1: off the board", GapLeft, "key Right Down", nullptr, 0, "" },
    { "Left, Up with the gap on 16: off the board", Swapped, "key Left Up", nullptr, 0, "" },
    { "tile 1 alone away: not won", "_234 5678 9abc def1", "press 6", nullptr, 0, "M" },
    { "tile 15 alone away: not won", "1234 5678 9abc de_f", "press 6", nullptr, 0, "M" },
    { "the key that brings 15 home wins", "1234 5678 9abc de_f", "key Left", InOrder, 1, "MD" },
    { "no arrow: the keys before and after them", Swapped, "key 36 41", nullptr, 0, "" },
};

TEST(MoveRule, slidesOneRunTowardsTheGapCountsItsTilesAndSounds)
{
    for (const Slide &t : slides) {
        SCOPED_TRACE(t.sentence);
        Game g;
        g.boardFrom(t.before);
        g.s.controls = false; // a game is on
        g.b.MoveCount = 10;
        g.act(t.action);
        EXPECT_EQ(g.shown(), t.after ? t.after : t.before);
        EXPECT_EQ(g.s.counter, t.counted ? std::to_string(10 + t.counted) : "0");
        EXPECT_EQ(g.s.sounds, t.sounds);
        EXPECT_EQ(g.b.Squares[g.b.EmptySquare].Tile, 16) << "EmptySquare follows the gap";
        EXPECT_EQ(g.s.controls, g.shown() == InOrder && t.sounds[0])
                << "only a checked board in order ends the game";
    }
}

// The board starts in order and closed; the clock seeds the draws.
TEST(Shuffle, makes500SilentAttemptsBehindTheCounterThenOpensTheBoardWithOneSound)
{
    Game g;
    EXPECT_TRUE(g.s.seeded);
    EXPECT_EQ(g.state(), "1234 5678 9abc def_ 0 on 0 ");
    g.deal({ 12, 11, 7 }); // tile 12 down, tile 11 right, tile 7 down
    EXPECT_TRUE(g.s.drawsMade == 500 && g.s.drawsSeenByPlayer == 0);
    EXPECT_EQ(g.state(), "1234 56_8 9a7b defc 0 off 16 M");
}

// A deal left in order is won at the player's first action. Afterwards the gap still takes the
// mouse and the arrows still move tiles, counted and silent, and the order found again changes
// nothing.
TEST(EndOfGame, aDealLeftInOrderEndsAtTheNextActionThenMovesCountSilently)
{
    for (bool mark : { true, false }) {
        Game g;
        g.s.mark = mark;
        const std::string sounds = mark ? "MMD" : "", inOrder = InOrder;
        g.deal({ 12, 16 });
        EXPECT_EQ(g.state(), inOrder + " 0 off 16 " + sounds.substr(0, 1)) << "not over yet";
        g.act("press 6"); // out of line with the gap: nothing moves, the game ends
        EXPECT_EQ(g.state(), inOrder + " 0 on 1 " + sounds);
        EXPECT_TRUE(g.s.open[16]);
        g.act("key Down");
        g.act("press 16");
        EXPECT_EQ(g.state(), inOrder + " 2 on 1 " + sounds);
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
