// Tests of the rules, through a stand-in window that records what the core asks of it.
#include "puzzle.h"
#include "randomdraw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <sstream>

namespace {

using glidor::KeyDown, glidor::KeyLeft, glidor::KeyRight, glidor::KeyUp;

// The picture a square must show: 100 + t at home, 121 + t elsewhere, none for the gap.
int ruleId(int square, int tile) { return tile == 16 ? 0 : square == tile ? 100 + tile : 121 + tile; }

// The middle of the draws that pick `square`.
float drawFor(int square) { return (static_cast<float>(square) - 0.5f) / 16; }

// A loaded game whose window records each operation in call order as a short text
// ("pic 16 133", "snd Move.wav", "lbl 3"), joined by ", ", and keeps what it shows.
struct Game : glidor::WindowOps {
    mutable std::string log;
    std::string loaded, counter = "0";
    std::array<int, 17> picture{}; // 0: no picture
    std::array<bool, 17> enabled{};
    std::array<int, 2> sounds{}; // Move, Done
    bool controls = true, mark = true;
    std::deque<float> draws; // a draw past the script throws
    glidor::Board b;
    glidor::Puzzle p{b, *this};

    Game() { p.Form_Load(), loaded.swap(log); }
    void clear() { log.clear(), sounds = {}; }

    template <class... Parts> void rec(const Parts &...parts) const
    {
        std::ostringstream op;
        ((op << ' ' << parts), ...);
        EXPECT_EQ(op.str() == " btn?", log.ends_with("mark?")) << "a sound condition reads the mark, then the button";
        log += (log.empty() ? "" : ", ") + op.str().substr(1);
    }
    void seedRandom() override { rec("seed"); }
    float drawRandom() override { const float r = draws.at(0); return draws.pop_front(), r; }
    void createSquare(int k) override { rec("new", k); }
    void placeSquare(int k, int left, int top) override { rec("at", k, left, top); }
    void showSquare(int k) override { rec("show", k); }
    void enableSquare(int k, bool on) override { enabled[k] = on, rec("en", k, on); }
    void setSquarePicture(int k, int id) override { picture[k] = id, rec("pic", k, id); }
    void clearSquarePicture(int k) override { picture[k] = 0, rec("clr", k); }
    void sendBackgroundToBack() override { rec("back"); }
    bool soundMark() const override { return rec("mark?"), mark; }
    bool shuffleButtonEnabled() const override { return rec("btn?"), controls; }
    void enableShuffleControls(bool on) override { controls = on, rec("ctl", on); }
    void setCounterText(const std::string &text) override { counter = text, rec("lbl", text); }
    void showCounter(bool on) override { rec("cnt", on); }
    void startSound(glidor::Cue cue) override { ++sounds[int(cue)], rec("snd", glidor::cueFileName(cue)); }

    // Lays out "1 2 3 4 / 5 6 7 8 / ...", "_" for the gap, with the pictures a window would show.
    void boardFrom(const std::string &text)
    {
        std::istringstream in(text);
        std::string word;
        for (int k = 1; k <= 16 && in >> word;)
            if (word != "/") {
                b.Squares[k].Tile = word == "_" ? 16 : std::stoi(word);
                picture[k] = ruleId(k, int(b.Squares[k].Tile));
                b.EmptySquare = word == "_" ? std::uint8_t(k) : b.EmptySquare;
                ++k;
            }
    }
    // The state a deal leaves, without dealing.
    void startGame() { controls = false, enabled.fill(true); }
    // A mouse-down on square k, which only an enabled square gets.
    void press(int k)
    {
        ASSERT_TRUE(enabled[k]) << "square " << k << " takes no mouse input";
        p.MoveTile(std::int16_t(k)), p.CheckSolved();
    }
    // Which phase the controls show: "start", "game", "over", or "mixed" for none.
    std::string phase() const
    {
        const auto open = std::count(enabled.begin() + 1, enabled.end(), true);
        return controls ? (open == 0 ? "start" : open == 1 && enabled[16] ? "over" : "mixed") : open == 16 ? "game" : "mixed";
    }
};

// Opening (`on`) or closing squares 1..last.
std::string squares(int last, bool on)
{
    std::string ops;
    for (int k = 1; k <= last; ++k)
        ops += "en " + std::to_string(k) + (on ? " 1, " : " 0, ");
    return ops;
}

const std::string endOfGame = squares(15, false) + "ctl 1";
const char *const Solved = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";
const char *const Swapped = "2 1 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";
const char *const Rising = "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const Falling = "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const Column1 = "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13";
const char *const GapOn5 = "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5";

TEST(Start, loadSeedsThenLaysOutTheSolvedBoardClosedToTheMouse)
{
    std::ostringstream expected("seed", std::ios::ate);
    for (int k = 1; k <= 16; ++k)
        expected << ", new " << k << ", at " << k << ' ' << 32 * ((k - 1) % 4 + 1) << ' ' << 32 * ((k - 1) / 4 + 1) << ", show " << k
                 << ", en " << k << " 0, " << (k < 16 ? "pic " + std::to_string(k) + ' ' + std::to_string(100 + k) : "clr 16");
    EXPECT_EQ(Game().loaded, expected.str() + ", back");
}

// During a game, so every try on a square of the board sounds before anything
// moves. Each of the twelve cases at the edge of its bound, then the squares
// just past the bounds of cases 1 to 6, whose far square holds the gap in the
// next row. An arrow names the square whose tile slides into the gap (-3..20,
// maybe off the board or in the next row) and then runs the solved check;
// other keys do nothing at all.
const std::string Sounded = "mark?, btn?, snd Move.wav";
const struct Slide {
    const char *name, *before;
    int p, key;
    std::string ops;
} slides[] = {
    {"right1", Rising, 3, 0, Sounded + ", pic 4 124, clr 3, lbl 1"},
    {"right2", Rising, 2, 0, Sounded + ", pic 4 124, pic 3 123, clr 2, lbl 2"},
    {"right3", Rising, 1, 0, Sounded + ", pic 4 124, pic 3 123, pic 2 122, clr 1, lbl 3"},
    {"left1", Falling, 2, 0, Sounded + ", pic 1 101, clr 2, lbl 1"},
    {"left2", Falling, 3, 0, Sounded + ", pic 1 101, pic 2 102, clr 3, lbl 2"},
    {"left3", Falling, 4, 0, Sounded + ", pic 1 101, pic 2 102, pic 3 103, clr 4, lbl 3"},
    {"down1", Solved, 12, 0, Sounded + ", pic 16 133, clr 12, lbl 1"},
    {"down2", Solved, 8, 0, Sounded + ", pic 16 133, pic 12 129, clr 8, lbl 2"},
    {"down3", Solved, 4, 0, Sounded + ", pic 16 133, pic 12 129, pic 8 125, clr 4, lbl 3"},
    {"up1", Column1, 5, 0, Sounded + ", pic 1 126, clr 5, lbl 1"},
    {"up2", Column1, 9, 0, Sounded + ", pic 1 126, pic 5 122, clr 9, lbl 2"},
    {"up3", Column1, 13, 0, Sounded + ", pic 1 126, pic 5 122, pic 9 109, clr 13, lbl 3"},
    {"noWrapRight1", GapOn5, 4, 0, Sounded}, {"noWrapRight2", GapOn5, 3, 0, Sounded}, {"noWrapRight3", GapOn5, 2, 0, Sounded},
    {"noWrapLeft1", Rising, 5, 0, Sounded},  {"noWrapLeft2", Rising, 6, 0, Sounded},  {"noWrapLeft3", Rising, 7, 0, Sounded},
    {"diagonal", Solved, 11, 0, Sounded},    {"theGapItself", Solved, 16, 0, Sounded},
    {"keyRight", Rising, 0, KeyRight, Sounded + ", pic 4 124, clr 3, lbl 1"},
    {"keyLeft", Falling, 0, KeyLeft, Sounded + ", pic 1 101, clr 2, lbl 1"},
    {"keyDown", GapOn5, 0, KeyDown, Sounded + ", pic 5 122, clr 1, lbl 1"},
    {"keyUp", GapOn5, 0, KeyUp, Sounded + ", pic 5 130, clr 9, lbl 1"},
    {"keyRightUpARow", GapOn5, 0, KeyRight, Sounded}, {"keyLeftDownARow", Rising, 0, KeyLeft, Sounded},
    {"keyRightTo0", Falling, 0, KeyRight, ""}, {"keyLeftTo17", Swapped, 0, KeyLeft, ""}, {"keyDownTo-3", Falling, 0, KeyDown, ""},
    {"keyUpTo20", Swapped, 0, KeyUp, ""},      {"key36", Swapped, 0, 36, ""},           {"key41", Swapped, 0, 41, ""},
};

TEST(MoveRule, slidesOneRunTowardsTheGapAndAnArrowNamesTheSquareThatSlides)
{
    for (const Slide &s : slides) {
        SCOPED_TRACE(s.name);
        Game g;
        g.boardFrom(s.before);
        g.startGame();
        g.b.Solved = glidor::True; // cleared by the solved check on a board out of order
        s.key ? g.p.Form_KeyDown(s.key) : g.p.MoveTile(std::int16_t(s.p));
        EXPECT_EQ(g.log, s.ops);
        EXPECT_EQ(g.b.Solved, s.key >= KeyLeft && s.key <= KeyDown ? glidor::False : glidor::True);
        for (int k = 1; k <= 16; ++k)
            EXPECT_EQ(g.picture[k], ruleId(k, int(g.b.Squares[k].Tile))) << "square " << k;
    }
}

TEST(Phases, aDealLeftInOrderEndsAtTheNextActionThenMovesCountSilently)
{
    Game g;
    // Each attempt undoes the one before.
    std::generate_n(std::back_inserter(g.draws), 500, [i = 0]() mutable { return drawFor(i++ % 2 ? 16 : 12); });
    g.p.cmdBlanda_Click();
    EXPECT_TRUE(g.draws.empty()) << "500 attempts";
    EXPECT_TRUE(g.log.starts_with("cnt 0, mark?")) << "the counter hides first";
    EXPECT_TRUE(g.log.ends_with("btn?, snd Move.wav, " + squares(16, true) + "cnt 1, lbl 0, ctl 0")) << g.log;
    EXPECT_EQ(g.sounds, (std::array{1, 0})) << "the 500 attempts are silent";

    g.clear();
    g.press(16); // the gap: nothing moves, yet the game ends
    EXPECT_EQ(g.log, "mark?, btn?, snd Move.wav, mark?, btn?, snd Done.wav, " + endOfGame);

    // After the win the gap still takes the mouse; moves count but make no sound.
    g.clear();
    g.p.Form_KeyDown(KeyDown);
    g.press(16);
    EXPECT_EQ(g.log, "mark?, btn?, pic 16 133, clr 12, lbl 1, mark?, btn?, pic 12 112, clr 16, lbl 2, mark?, btn?, " + endOfGame);
}

TEST(RandomDraw, theLargestDrawStaysBelowOneAndPicksSquare16)
{
    EXPECT_EQ(glidor::unitDraw(0x80000000u), 0.5f);
    EXPECT_EQ(glidor::unitDraw(0xFFFFFFFFu), 1.0f - 0x1p-24f);
    EXPECT_EQ(glidor::squareFromDraw(1.0f - 0x1p-24f), 16);
    for (int k = 1; k < 16; ++k) {
        EXPECT_EQ(glidor::squareFromDraw(k / 16.0f), k + 1) << k;
        EXPECT_EQ(glidor::squareFromDraw(std::nextafter(k / 16.0f, 0.0f)), k) << k;
    }
}

// Runs over the whole board alternate with runs in its bottom right block,
// where three tiles cycle and games are often won, so every phase is visited.
TEST(Invariants, holdUnderManyThousandsOfRandomActions)
{
    std::mt19937 rng(1517);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int wins = 0, deals = 0;
    for (int run = 0; run < 40; ++run) {
        const bool block = run % 2;
        const auto square = [&] { return block ? std::array{11, 12, 15, 16}[pick(0, 3)] : pick(1, 16); };
        Game g;
        std::generate_n(std::back_inserter(g.draws), 50000, [&] { return block ? drawFor(square()) : glidor::unitDraw(std::uint32_t(rng())); });
        double moved = 0;
        for (int step = 0; step < 1000 && !::testing::Test::HasFailure(); ++step) {
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step);
            const auto before = g.b.Squares;
            const bool playing = !g.controls, dealt = pick(0, 99) < 2 && !playing;
            const int action = pick(0, 99), k = square();
            g.mark = pick(0, 3) > 0;
            g.clear();
            if (dealt)
                g.p.cmdBlanda_Click(), ++deals;
            else if (action < 50 && g.enabled[k])
                g.press(k);
            else if (action < 80 && !block)
                g.p.Form_KeyDown(pick(36, 41));
            else if (action < 92)
                g.p.MoveTile(std::int16_t(block ? k : pick(-5, 21)));
            else
                g.p.CheckSolved();

            // The tiles stay a permutation, every picture follows the rule, EmptySquare names the gap.
            std::array<int, 17> seen{};
            int changed = 0, inOrder = 0;
            for (int q = 1; q <= 16; ++q) {
                const int tile = int(g.b.Squares[q].Tile);
                ASSERT_TRUE(tile >= 1 && tile <= 16 && ++seen[tile] == 1) << q;
                EXPECT_EQ(g.picture[q], ruleId(q, tile)) << q;
                changed += tile != before[q].Tile, inOrder += tile == q;
            }
            EXPECT_EQ(g.b.Squares[g.b.EmptySquare].Tile, 16);
            // The counter shows the tiles moved since the last deal.
            moved = dealt ? 0 : moved + std::max(changed - 1, 0);
            EXPECT_EQ(g.counter, std::to_string(long(moved)));
            EXPECT_NE(g.phase(), "mixed");
            // Only a board in order ends a game. One move sound per deal and per
            // move during a game, one win sound per win.
            const bool won = playing && g.phase() == "over";
            EXPECT_TRUE(!won || inOrder == 16);
            EXPECT_GE(g.sounds[0], g.mark && (dealt || (playing && changed)));
            EXPECT_LE(g.sounds[0], g.mark && (dealt || playing));
            EXPECT_EQ(g.sounds[1], g.mark && won);
            wins += won;
        }
    }
    EXPECT_GT(deals, 150);
    EXPECT_GT(wins, 100);
}

} // namespace
