// The random draw, and the board's invariants under many thousands of random actions.
#include "fakewindow.h"
#include "randomdraw.h"

#include <cmath>
#include <random>

namespace {

TEST(RandomDraw, theLargestDrawStaysBelowOneAndPicksSquare16)
{
    const float largest = glidor::unitDraw(0xFFFFFFFFu);
    EXPECT_EQ(largest, 1.0f - 0x1p-24f);
    EXPECT_EQ(glidor::squareFromDraw(largest), 16);
    // The draw that matters: summed in single precision it names square 17.
    EXPECT_EQ(std::floor(largest * 16.0f + 1.0f), 17.0f);
}

TEST(RandomDraw, everySquareOwnsASixteenthOfTheDraws)
{
    EXPECT_EQ(glidor::squareFromDraw(0.0f), 1);
    for (int k = 1; k < 16; ++k) {
        const float boundary = k / 16.0f;
        EXPECT_EQ(glidor::squareFromDraw(boundary), k + 1) << k;
        EXPECT_EQ(glidor::squareFromDraw(std::nextafter(boundary, 0.0f)), k) << k;
    }
    // Every value the draw can take, once each.
    std::array<long, 18> hits{};
    for (std::uint32_t top = 0; top < (1u << 24); ++top) {
        const float r = glidor::unitDraw(top << 8 | (top & 0xFF));
        ASSERT_LT(r, 1.0f);
        ++hits[std::min(int(glidor::squareFromDraw(r)), 17)];
    }
    for (int k = 1; k <= 16; ++k)
        EXPECT_EQ(hits[k], 1L << 20) << k;
    EXPECT_EQ(hits[0] + hits[17], 0);
}

// Alternating runs over the whole board and over its bottom right block,
// where three tiles cycle and games are often won, so every phase is visited.
TEST(Invariants, holdUnderManyThousandsOfRandomActions)
{
    std::mt19937 rng(1517);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Left, Up, Right, Down: the square next to the gap whose tile slides in.
    const auto arrowStep = [](int key) { return key == 37 ? 1 : key == 38 ? 4 : key == 39 ? -1 : key == 40 ? -4 : 0; };
    int wins = 0, deals = 0;
    for (int run = 0; run < 40; ++run) {
        const bool block = run % 2;
        const std::vector<int> reach = block ? std::vector<int>{11, 12, 15, 16}
                                             : std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        const auto anySquare = [&] { return reach[pick(0, int(reach.size()) - 1)]; };
        Game g;
        g.window.drawSource = [&] {
            return block ? drawFor(anySquare()) : glidor::unitDraw(static_cast<std::uint32_t>(rng()));
        };
        const auto layout = g.puzzle.Squares;
        double moved = 0;
        for (int step = 0; step < 1000; ++step) {
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step);
            const auto before = g.puzzle.Squares;
            const bool duringGame = !g.window.buttonEnabled;
            g.window.mark = pick(0, 3) > 0;
            g.window.log.clear();
            int target = 0;      // the square passed to MoveTile; 0 when none or off the board
            bool checked = true; // whether the solved check ran
            const int action = pick(0, 99), key = pick(36, 41), keyTarget = g.puzzle.EmptySquare + arrowStep(key);
            std::vector<int> open;
            std::copy_if(reach.begin(), reach.end(), std::back_inserter(open), [&](int k) { return g.window.enabled[k]; });
            const bool keyInReach = !block || std::count(reach.begin(), reach.end(), keyTarget) || keyTarget < 1 || keyTarget > 16;
            if (action < 2 && !duringGame) {
                g.puzzle.cmdBlanda_Click();
                checked = false, ++deals;
            } else if (action < 45 && !open.empty()) {
                g.press(target = open[pick(0, int(open.size()) - 1)]);
            } else if (action < 80 && keyInReach) {
                checked = arrowStep(key) != 0;
                target = checked ? keyTarget : 0;
                g.puzzle.Form_KeyDown(key);
            } else if (action < 92) {
                target = block ? anySquare() : pick(-5, 21);
                g.puzzle.MoveTile(static_cast<std::int16_t>(target));
                checked = false;
            } else {
                g.puzzle.CheckSolved();
            }

            // The tiles form a permutation, pictures follow the rule, EmptySquare names the gap.
            std::array<int, 17> seen{};
            int changed = 0;
            bool inOrder = true;
            for (int k = 1; k <= 16; ++k) {
                const int tile = static_cast<int>(g.puzzle.Squares[k].Tile);
                ASSERT_TRUE(tile >= 1 && tile <= 16 && ++seen[tile] == 1) << g.board();
                EXPECT_EQ(g.window.picture[k], ruleId(k, tile)) << k;
                EXPECT_EQ(g.puzzle.Squares[k].Row, layout[k].Row);
                EXPECT_EQ(g.puzzle.Squares[k].Column, layout[k].Column);
                changed += tile != before[k].Tile;
                inOrder = inOrder && (k == 16 || tile == k);
            }
            EXPECT_EQ(g.puzzle.Squares[g.puzzle.EmptySquare].Tile, 16);
            EXPECT_TRUE(g.puzzle.Squares[0].Column == 0 && g.puzzle.Squares[0].Row == 0 && g.puzzle.Squares[0].Tile == 0);

            // MoveCount is the number of tiles moved since the last deal.
            const bool dealt = action < 2 && !duringGame;
            moved = dealt ? 0 : moved + (changed ? changed - 1 : 0);
            EXPECT_EQ(g.puzzle.MoveCount, moved);
            EXPECT_EQ(g.window.counterText, std::to_string(static_cast<long>(moved)));
            EXPECT_TRUE(g.window.counterVisible);

            // Sounds: one per deal, one per move attempt and one per win during a game.
            Log expected;
            const bool onBoard = target >= 1 && target <= 16;
            if (g.window.mark && (dealt || (duringGame && onBoard)))
                expected.push_back("sound Move.wav");
            if (g.window.mark && checked && inOrder && duringGame)
                expected.push_back("sound Done.wav");
            EXPECT_EQ(g.window.sounds(), expected);
            EXPECT_TRUE(g.window.readsPaired());
            EXPECT_NE(g.phase(), "mixed");
            if (checked && inOrder && duringGame)
                ++wins;
            if (::testing::Test::HasFailure())
                return;
        }
    }
    EXPECT_GT(deals, 150);
    EXPECT_GT(wins, 100);
}

} // namespace
