// Tests of the rules, through a stand-in window that keeps what a player would see.
#include "puzzle.h"
#include "randomdraw.h"

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <deque>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace glidor;

// The middle of the draws that pick `square`.
float drawFor(int square)
{
    return (static_cast<float>(square) - 0.5f) / 16;
}

// What the window shows: pictures, open squares, the controls, the counter and the sounds heard.
struct Screen : WindowOps
{
    std::array<int, 17> picture{}, left{}, top{};
    std::array<bool, 17> open{}, shown{};
    int created = 0, createdWhenSkyLowered = 0, drawsMade = 0, drawsSeenByPlayer = 0;
    bool seeded = false, controls = true, mark = true, counterShown = true;
    std::string counter = "0", sounds;
    std::deque<float> draws; // past these, each draw picks the gap, which moves nothing

    void seedRandom() override { seeded = true; }
    float drawRandom() override
    {
        ++drawsMade;
        drawsSeenByPlayer += counterShown;
        const float r = draws.empty()
                ? drawFor(int(std::find(picture.begin() + 1, picture.end(), 0) - picture.begin()))
                : draws.front();
        if (!draws.empty())
            draws.pop_front();
        return r;
    }
    void createSquare(int k) override
    {
        ++created;
        open[k] = true;
    } // a new control takes the mouse
    void placeSquare(int k, int x, int y) override
    {
        left[k] = x;
        top[k] = y;
    }
    void showSquare(int k) override { shown[k] = true; }
    void enableSquare(int k, bool on) override { open[k] = on; }
    void setSquarePicture(int k, int id) override { picture[k] = id; }
    void clearSquarePicture(int k) override { picture[k] = 0; }
    void sendBackgroundToBack() override { createdWhenSkyLowered = created; }
    bool soundMark() const override { return mark; }
    bool shuffleButtonEnabled() const override { return controls; }
    void enableShuffleControls(bool on) override { controls = on; }
    void setCounterText(const std::string &text) override { counter = text; }
    void showCounter(bool on) override { counterShown = on; }
    void startSound(Cue cue) override { sounds += cueFileName(cue) + std::string(" "); }
};

struct Game
{
    Screen s;
    Board b;
    Puzzle p{ b, s };
    Game() { p.Form_Load(); }

    // Lays out "1 2 3 4 / 5 6 7 8 / ...", "_" for the gap, as a window would show it.
    void boardFrom(std::string text)
    {
        std::erase(text, '/');
        std::istringstream in(text);
        for (int k = 1; k <= 16; ++k) {
            std::string word;
            in >> word;
            const int tile = word == "_" ? 16 : std::stoi(word);
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
            text += tile == 16 && !number                   ? "_"
                    : tile == number && home == (tile == k) ? std::to_string(tile)
                                                            : "?";
            text += k == 16 ? "" : k % 4 ? " " : " / ";
        }
        return text;
    }
    void deal(std::initializer_list<int> squares)
    {
        for (int k : squares)
            s.draws.push_back(drawFor(k));
        p.cmdBlanda_Click();
    }
    void act(const std::string &what) // "press K", "key Right", "key 36"
    {
        const std::string arg = what.substr(what.find(' ') + 1);
        const std::map<std::string, int> keys{
            { "Left", KeyLeft }, { "Up", KeyUp }, { "Right", KeyRight }, { "Down", KeyDown }
        };
        if (what.starts_with("press")) {
            p.MoveTile(std::int16_t(std::stoi(arg)));
            p.CheckSolved();
        } else {
            p.Form_KeyDown(keys.contains(arg) ? keys.at(arg) : std::stoi(arg));
        }
    }
};

const char *const InOrder = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";

TEST(Start, theSolvedBoardStandsOnThe32PixelGridClosedToTheMouseWithTheSkyBehindIt)
{
    Game g;
    EXPECT_TRUE(g.s.seeded);
    EXPECT_EQ(g.shown(), InOrder);
    EXPECT_EQ(g.s.createdWhenSkyLowered, 16);
    const int where[][3] = { { 1, 32, 32 },  { 4, 128, 32 },  { 6, 64, 64 },
                             { 11, 96, 96 }, { 13, 32, 128 }, { 16, 128, 128 } };
    for (const auto &[k, x, y] : where)
        EXPECT_EQ(std::pair(g.s.left[k], g.s.top[k]), std::pair(x, y)) << "square " << k;
    for (int k = 1; k <= 16; ++k)
        EXPECT_TRUE(g.s.shown[k] && !g.s.open[k] && g.b.Squares[k].Column == (k - 1) % 4 + 1
                    && g.b.Squares[k].Row == (k - 1) / 4 + 1)
                << k;
}

// During a game a press slides the run between the square and the gap, an arrow the tile on its
// side of the gap. Every press sounds, even one that moves nothing; a key that points off the board
// does nothing.
const struct Slide
{
    const char *sentence, *before, *action, *after;
    int counted;
    const char *sounds;
} slides[] = {
    { "one tile slides right", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 3",
      "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 1, "Move.wav " },
    { "two tiles slide right", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 2",
      "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 2, "Move.wav " },
    { "three tiles slide right", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 1",
      "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 3, "Move.wav " },
    { "one tile slides left", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 2",
      "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 1, "Move.wav " },
    { "two tiles slide left", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 3",
      "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 2, "Move.wav " },
    { "three tiles slide left home", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 4",
      "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 3, "Move.wav " },
    { "one tile slides down", InOrder, "press 12", "1 2 3 4 / 5 6 7 8 / 9 10 11 _ / 13 14 15 12", 1,
      "Move.wav " },
    { "two tiles slide down", InOrder, "press 8", "1 2 3 4 / 5 6 7 _ / 9 10 11 8 / 13 14 15 12", 2,
      "Move.wav " },
    { "three tiles slide down", InOrder, "press 4", "1 2 3 _ / 5 6 7 4 / 9 10 11 8 / 13 14 15 12",
      3, "Move.wav " },
    { "one tile slides up", "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13", "press 5",
      "5 2 3 4 / _ 6 7 8 / 1 10 11 12 / 9 14 15 13", 1, "Move.wav " },
    { "two tiles slide up", "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13", "press 9",
      "5 2 3 4 / 1 6 7 8 / _ 10 11 12 / 9 14 15 13", 2, "Move.wav " },
    { "three tiles slide up", "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13", "press 13",
      "5 2 3 4 / 1 6 7 8 / 9 10 11 12 / _ 14 15 13", 3, "Move.wav " },
    { "a run never wraps into the row below", "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5",
      "press 4", nullptr, 0, "Move.wav " },
    { "nor two squares back", "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5", "press 3", nullptr, 0,
      "Move.wav " },
    { "nor three squares back", "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5", "press 2", nullptr,
      0, "Move.wav " },
    { "nor into the row above", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 5", nullptr,
      0, "Move.wav " },
    { "nor two squares on", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 6", nullptr, 0,
      "Move.wav " },
    { "nor three squares on", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", "press 7", nullptr, 0,
      "Move.wav " },
    { "a diagonal neighbour stays, and the board checked in order is won", InOrder, "press 11",
      nullptr, 0, "Move.wav Done.wav " },
    { "the gap itself sounds and stays", "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _", "press 16",
      nullptr, 0, "Move.wav " },
    { "Right slides the tile left of the gap", "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4",
      "key Right", "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 1, "Move.wav " },
    { "Left slides the tile right of the gap", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4",
      "key Left", "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", 1, "Move.wav " },
    { "Down slides the tile above the gap", "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5",
      "key Down", "_ 2 3 4 / 1 6 7 8 / 9 10 11 12 / 13 14 15 5", 1, "Move.wav " },
    { "Up slides the tile below the gap", "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5", "key Up",
      "1 2 3 4 / 9 6 7 8 / _ 10 11 12 / 13 14 15 5", 1, "Move.wav " },
    { "Right with the gap on 1 points off the board", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4",
      "key Right", nullptr, 0, "" },
    { "Down with the gap on 1 points off the board", "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4",
      "key Down", nullptr, 0, "" },
    { "Left with the gap on 16 points off the board", "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _",
      "key Left", nullptr, 0, "" },
    { "Up with the gap on 16 points off the board", "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _",
      "key Up", nullptr, 0, "" },
    { "a board with tile 1 alone away is not won", "_ 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 1",
      "press 6", nullptr, 0, "Move.wav " },
    { "nor one with tile 15 alone away", "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 _ 15", "press 6",
      nullptr, 0, "Move.wav " },
    { "the key that brings 15 home wins at once", "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 _ 15",
      "key Left", InOrder, 1, "Move.wav Done.wav " },
    { "a key that is no arrow does nothing", "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _",
      "key 36", nullptr, 0, "" },
    { "nor does the key after the arrows", "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _", "key 41",
      nullptr, 0, "" },
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

TEST(Shuffle, makes500SilentAttemptsBehindTheCounterThenOpensTheBoardWithOneSound)
{
    Game g;
    g.deal({ 12, 11, 7 }); // tile 12 down, tile 11 right, tile 7 down
    EXPECT_EQ(g.s.drawsMade, 500);
    EXPECT_EQ(g.s.drawsSeenByPlayer, 0);
    EXPECT_EQ(g.shown(), "1 2 3 4 / 5 6 _ 8 / 9 10 7 11 / 13 14 15 12");
    EXPECT_EQ(g.s.counter, "0");
    EXPECT_TRUE(g.s.counterShown && !g.s.controls);
    EXPECT_EQ(std::count(g.s.open.begin() + 1, g.s.open.end(), true), 16);
    EXPECT_EQ(g.s.sounds, "Move.wav ");
}

// A deal left in order is won at the player's first action. Afterwards the gap still takes the
// mouse and the arrows still move tiles, counted and silent, and the order found again changes
// nothing.
TEST(EndOfGame, aDealLeftInOrderEndsAtTheNextActionThenMovesCountSilently)
{
    for (bool mark : { true, false }) {
        Game g;
        g.s.mark = mark;
        g.deal({ 12, 16 });
        EXPECT_TRUE(!g.s.controls && g.s.open[1]) << "not over yet";
        g.act("press 6"); // out of line with the gap: nothing moves, the game ends
        EXPECT_EQ(g.s.sounds, mark ? "Move.wav Move.wav Done.wav " : "");
        EXPECT_TRUE(g.s.controls);
        EXPECT_EQ(std::count(g.s.open.begin() + 1, g.s.open.end(), true), 1);
        EXPECT_TRUE(g.s.open[16]);
        g.act("key Down");
        g.act("press 16");
        EXPECT_EQ(g.shown(), InOrder);
        EXPECT_EQ(g.s.counter, "2");
        EXPECT_EQ(g.s.sounds, mark ? "Move.wav Move.wav Done.wav " : "");
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
    for (int k = 1; k <= 16; ++k)
        EXPECT_NEAR(hits[k], 1000, 150) << "square " << k;
}

} // namespace
