// The move rule: its twelve cases and their bounds, the pictures of a slide, the arrow keys.
#include "fakewindow.h"

namespace {

struct Slide {
    const char *name;
    const char *before;
    int p;
    const char *after;                       // nullptr: nothing moves
    std::vector<std::pair<int, int>> pictures; // square and id, in the order they are set
};

void PrintTo(const Slide &s, std::ostream *os) { *os << s.name; }

const char *const Rising = "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const Falling = "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4";
const char *const Start = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";
const char *const Column1 = "_ 2 3 4 / 5 6 7 8 / 1 10 11 12 / 9 14 15 13";
const char *const GapOn5 = "1 2 3 4 / _ 6 7 8 / 9 10 11 12 / 13 14 15 5";

// Each case at the edge of its bound, then the squares just past the bounds of
// cases 1 to 6, whose far square holds the gap in the next row.
const Slide slides[] = {
    {"right1", Rising, 3, "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{4, 124}}},
    {"right2", Rising, 2, "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{4, 124}, {3, 123}}},
    {"right3", Rising, 1, "_ 1 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{4, 124}, {3, 123}, {2, 122}}},
    {"left1", Falling, 2, "1 _ 2 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{1, 101}}},
    {"left2", Falling, 3, "1 2 _ 3 / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{1, 101}, {2, 102}}},
    {"left3", Falling, 4, "1 2 3 _ / 5 6 7 8 / 9 10 11 12 / 13 14 15 4", {{1, 101}, {2, 102}, {3, 103}}},
    {"down1", Start, 12, "1 2 3 4 / 5 6 7 8 / 9 10 11 _ / 13 14 15 12", {{16, 133}}},
    {"down2", Start, 8, "1 2 3 4 / 5 6 7 _ / 9 10 11 8 / 13 14 15 12", {{16, 133}, {12, 129}}},
    {"down3", Start, 4, "1 2 3 _ / 5 6 7 4 / 9 10 11 8 / 13 14 15 12", {{16, 133}, {12, 129}, {8, 125}}},
    {"up1", Column1, 5, "5 2 3 4 / _ 6 7 8 / 1 10 11 12 / 9 14 15 13", {{1, 126}}},
    {"up2", Column1, 9, "5 2 3 4 / 1 6 7 8 / _ 10 11 12 / 9 14 15 13", {{1, 126}, {5, 122}}},
    {"up3", Column1, 13, "5 2 3 4 / 1 6 7 8 / 9 10 11 12 / _ 14 15 13", {{1, 126}, {5, 122}, {9, 109}}},
    {"noWrapRight1", GapOn5, 4, nullptr, {}},
    {"noWrapRight2", GapOn5, 3, nullptr, {}},
    {"noWrapRight3", GapOn5, 2, nullptr, {}},
    {"noWrapLeft1", Rising, 5, nullptr, {}},
    {"noWrapLeft2", Rising, 6, nullptr, {}},
    {"noWrapLeft3", Rising, 7, nullptr, {}},
    {"diagonal", Start, 11, nullptr, {}},
    {"theGapItself", Start, 16, nullptr, {}},
};

class MoveRule : public ::testing::TestWithParam<Slide> {};

TEST_P(MoveRule, slidesOneRunTowardsTheGapAndRedrawsEveryTouchedSquare)
{
    const Slide &s = GetParam();
    Game g;
    g.boardFrom(s.before);
    g.puzzle.EmptySquare = 0; // the rule finds the gap on the board, never here

    g.puzzle.MoveTile(static_cast<std::int16_t>(s.p));

    Log expected{"mark?", "button?"};
    for (auto [square, id] : s.pictures)
        expected.push_back("picture " + std::to_string(square) + " " + std::to_string(id));
    if (s.after)
        expected.insert(expected.end(), {"clear " + std::to_string(s.p), "counter " + std::to_string(s.pictures.size())});
    EXPECT_EQ(g.window.log, expected);
    EXPECT_EQ(g.board(), s.after ? s.after : s.before);
    EXPECT_EQ(g.puzzle.EmptySquare, s.after ? s.p : 0);
    EXPECT_EQ(g.puzzle.MoveCount, s.pictures.size());
    for (int k = 1; k <= 16; ++k)
        EXPECT_EQ(g.window.picture[k], ruleId(k, static_cast<int>(g.puzzle.Squares[k].Tile))) << "square " << k;
}

INSTANTIATE_TEST_SUITE_P(Cases, MoveRule, ::testing::ValuesIn(slides),
                         [](const auto &info) { return std::string(info.param.name); });

struct Arrow {
    int gap, key, target;
    enum { Moves, SoundOnly, Nothing } outcome;
};

// An arrow names the tile that slides into the gap in its direction; the
// square it names may lie off the board (-3..20) or in the next row.
const Arrow arrows[] = {
    {6, glidor::KeyRight, 5, Arrow::Moves},   {1, glidor::KeyRight, 0, Arrow::Nothing},
    {5, glidor::KeyRight, 4, Arrow::SoundOnly}, {3, glidor::KeyLeft, 4, Arrow::Moves},
    {16, glidor::KeyLeft, 17, Arrow::Nothing}, {4, glidor::KeyLeft, 5, Arrow::SoundOnly},
    {5, glidor::KeyDown, 1, Arrow::Moves},    {1, glidor::KeyDown, -3, Arrow::Nothing},
    {4, glidor::KeyDown, 0, Arrow::Nothing},  {12, glidor::KeyUp, 16, Arrow::Moves},
    {13, glidor::KeyUp, 17, Arrow::Nothing},  {16, glidor::KeyUp, 20, Arrow::Nothing},
};

TEST(ArrowKeys, eachKeyPassesItsSquareThenChecksTheBoard)
{
    for (const Arrow &a : arrows) {
        SCOPED_TRACE("gap " + std::to_string(a.gap) + " key " + std::to_string(a.key));
        Game g;
        g.startGame();
        // The gap on `gap`, its tile on 16 and tiles 9 and 10 swapped: never in
        // order, so the solved check shows only in Solved.
        std::string text;
        for (int k : {1, 2, 3, 4, 5, 6, 7, 8, 10, 9, 11, 12, 13, 14, 15, 16})
            text += (k == a.gap ? "_" : std::to_string(k == 16 ? a.gap : k)) + " ";
        g.boardFrom(text);
        const std::string before = g.board();
        const double moving = a.outcome == Arrow::Moves ? g.puzzle.Squares[a.target].Tile : 0;
        g.puzzle.Solved = glidor::True;

        g.puzzle.Form_KeyDown(a.key);

        EXPECT_EQ(g.puzzle.Solved, glidor::False) << "the solved check did not run";
        if (a.outcome == Arrow::Moves) {
            EXPECT_EQ(g.puzzle.EmptySquare, a.target);
            EXPECT_EQ(g.puzzle.Squares[a.gap].Tile, moving);
            EXPECT_EQ(g.window.sounds(), Log{"sound Move.wav"});
            EXPECT_EQ(g.window.counterText, "1");
        } else {
            const Log soundOnly{"mark?", "button?", "sound Move.wav"};
            EXPECT_EQ(g.board(), before);
            EXPECT_EQ(g.puzzle.EmptySquare, a.gap);
            EXPECT_EQ(g.window.log, a.outcome == Arrow::SoundOnly ? soundOnly : Log{});
        }
    }
}

TEST(ArrowKeys, otherKeysDoNothingNotEvenTheSolvedCheck)
{
    for (int key : {0, 13, 32, 36, 41, 65, 137}) {
        Game g;
        g.startGame(); // in order during a game: a solved check would end it
        g.puzzle.Form_KeyDown(key);
        EXPECT_TRUE(g.window.log.empty()) << key;
        EXPECT_EQ(g.phase(), "game") << key;
    }
}

} // namespace
