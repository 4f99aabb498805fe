// The start, the sound cues, the phases of a game and one whole game.
#include "fakewindow.h"

namespace {

const char *const Solved = "1 2 3 4 / 5 6 7 8 / 9 10 11 12 / 13 14 15 _";

Log operator+(Log a, const Log &b) { return a.insert(a.end(), b.begin(), b.end()), a; }

Log squares(int last, const char *state)
{
    Log ops;
    for (int k = 1; k <= last; ++k)
        ops.push_back("enable " + std::to_string(k) + " " + state);
    return ops;
}

const Log endOfGame = squares(15, "off") + Log{"controls on"};

TEST(Start, loadSeedsAndLaysOutTheSolvedBoardClosedToTheMouse)
{
    Game g;
    const Log &w = g.loaded;
    EXPECT_EQ(Log(w.begin(), w.begin() + 7),
              (Log{"seed", "create 1", "place 1 32 32", "show 1", "enable 1 off", "picture 1 101", "create 2"}));
    EXPECT_EQ(Log(w.end() - 6, w.end()),
              (Log{"create 16", "place 16 128 128", "show 16", "enable 16 off", "clear 16", "background to back"}));
    for (const char *entry : {"place 4 128 32", "place 13 32 128", "place 7 96 64", "picture 15 115"})
        EXPECT_EQ(std::count(w.begin(), w.end(), entry), 1) << entry;
    EXPECT_EQ(std::count(w.begin(), w.end(), "draw"), 0);
    EXPECT_TRUE(g.puzzle.Squares[7].Row == 2 && g.puzzle.Squares[7].Column == 3);
    EXPECT_EQ(g.board(), Solved);
    EXPECT_EQ(g.phase(), "start");
    EXPECT_TRUE(g.puzzle.EmptySquare == 16 && g.puzzle.MoveCount == 0 && g.puzzle.Solved == glidor::False);
}

enum class Place { Move, Shuffle, Check };
struct SoundCase {
    Place place;
    bool mark, duringGame;
    const char *sound; // nullptr: silence
};

const SoundCase soundCases[] = {
    {Place::Move, true, true, "sound Move.wav"},     {Place::Move, true, false, nullptr},
    {Place::Move, false, true, nullptr},             {Place::Move, false, false, nullptr},
    {Place::Shuffle, true, false, "sound Move.wav"}, {Place::Shuffle, false, false, nullptr},
    {Place::Check, true, true, "sound Done.wav"},    {Place::Check, true, false, nullptr},
    {Place::Check, false, true, nullptr},            {Place::Check, false, false, nullptr},
};

TEST(Sound, eachConditionReadsMarkThenButtonAndSoundsBeforeItsEffect)
{
    for (const SoundCase &c : soundCases) {
        SCOPED_TRACE(testing::Message() << int(c.place) << " mark " << c.mark << " game " << c.duringGame);
        Game g;
        g.window.mark = c.mark;
        if (c.duringGame)
            g.startGame();
        std::string effect = "picture 16 133";
        if (c.place == Place::Move) {
            g.puzzle.MoveTile(12);
        } else if (c.place == Place::Shuffle) {
            g.window.draws.assign(500, drawFor(16)); // attempts on the gap move nothing
            g.puzzle.EmptySquare = 0;
            g.puzzle.Shuffle();
            effect = "enable 1 on";
            EXPECT_EQ(g.puzzle.EmptySquare, 16) << "the gap is taken from the board";
        } else {
            g.puzzle.CheckSolved();
            effect = "enable 1 off";
        }
        const Log expected = c.sound ? Log{"mark?", "button?", c.sound} : Log{"mark?", "button?"};
        const auto at = std::find(g.window.log.begin(), g.window.log.end(), effect);
        ASSERT_GE(at - g.window.log.begin(), long(expected.size()));
        EXPECT_EQ(Log(at - long(expected.size()), at), expected);
        EXPECT_EQ(g.window.sounds(), c.sound ? Log{c.sound} : Log{});
        EXPECT_TRUE(g.window.readsPaired());
    }
}

struct Check {
    const char *phase;
    bool inOrder;
    Log ops;
};

// A solved check in each phase: only a game in progress ends, with a sound.
const Check checks[] = {
    {"game", false, {}}, {"game", true, Log{"mark?", "button?", "sound Done.wav"} + endOfGame},
    {"start", false, {}}, {"start", true, Log{"mark?", "button?"} + endOfGame},
    {"over", false, {}}, {"over", true, Log{"mark?", "button?"} + endOfGame},
};

TEST(Phases, theSolvedCheckEndsOnlyAGameInProgress)
{
    for (const Check &c : checks) {
        const std::string phase = c.phase;
        SCOPED_TRACE(phase + (c.inOrder ? " in order" : " out of order"));
        Game g;
        if (phase != "start")
            g.startGame();
        if (phase == "over")
            g.puzzle.CheckSolved();
        g.window.log.clear();
        if (!c.inOrder)
            g.boardFrom("1 2 3 4 / 5 6 7 8 / 9 10 11 _ / 13 14 15 12");
        g.puzzle.CheckSolved();
        EXPECT_EQ(g.window.log, c.ops);
        EXPECT_EQ(g.puzzle.Solved, c.inOrder ? glidor::True : glidor::False);
        EXPECT_EQ(g.phase(), c.inOrder && phase == "game" ? "over" : phase);
    }
}

TEST(Phases, aDealLeftInOrderEndsAtTheNextActionEvenOneThatMovesNothing)
{
    Game g;
    for (int i = 0; i < 250; ++i)
        g.window.draws.insert(g.window.draws.end(), {drawFor(12), drawFor(16)});
    g.puzzle.cmdBlanda_Click();
    EXPECT_EQ(g.board(), Solved);
    EXPECT_EQ(g.phase(), "game");
    g.window.log.clear();

    g.press(16); // the gap: nothing moves
    EXPECT_EQ(g.window.log, Log({"mark?", "button?", "sound Move.wav", "mark?", "button?", "sound Done.wav"}) + endOfGame);
    EXPECT_EQ(g.window.counterText, "0");
    EXPECT_EQ(g.phase(), "over");
}

TEST(WholeGame, dealSolvePlayOnAfterTheWinThenDealAgainFromTheSolvedBoard)
{
    Game g;
    for (int square : {15, 11, 10, 9})
        g.window.draws.push_back(drawFor(square));
    g.window.draws.insert(g.window.draws.end(), 496, drawFor(9)); // the gap: attempts that move nothing
    g.puzzle.cmdBlanda_Click();

    EXPECT_EQ(g.board(), "1 2 3 4 / 5 6 7 8 / _ 9 10 12 / 13 14 11 15");
    EXPECT_TRUE(g.window.draws.empty());
    EXPECT_EQ(g.window.count("draw"), 500);
    EXPECT_EQ(g.window.log.front(), "counter hidden");
    EXPECT_EQ(g.window.sounds(), Log{"sound Move.wav"});
    const Log tail = Log{"mark?", "button?", "sound Move.wav"} + squares(16, "on") +
                     Log{"counter shown", "counter 0", "controls off"};
    EXPECT_EQ(Log(g.window.log.end() - long(tail.size()), g.window.log.end()), tail);
    EXPECT_TRUE(g.puzzle.MoveCount == 0 && g.puzzle.EmptySquare == 9);

    struct Action {
        int square, key;
        const char *counter;
    };
    const Action play[] = {{6, 0, "0"}, {0, glidor::KeyLeft, "1"}, {12, 0, "3"},
                           {11, 0, "4"}, {0, glidor::KeyUp, "5"}, {16, 0, "6"}};
    for (const Action &a : play) {
        EXPECT_EQ(g.phase(), "game");
        g.window.log.clear();
        a.square ? g.press(a.square) : g.puzzle.Form_KeyDown(a.key);
        EXPECT_EQ(g.window.counterText, a.counter) << a.square << " " << a.key;
    }
    EXPECT_EQ(g.board(), Solved);
    EXPECT_EQ(g.window.log, Log({"mark?", "button?", "sound Move.wav", "picture 15 115", "clear 16", "counter 6",
                                 "mark?", "button?", "sound Done.wav"}) + endOfGame);
    EXPECT_EQ(g.phase(), "over");
    for (int k = 1; k <= 15; ++k)
        EXPECT_EQ(g.window.picture[k], 100 + k);

    // After the win the gap still takes the mouse; moves count but make no sound.
    g.window.log.clear();
    g.puzzle.Form_KeyDown(glidor::KeyDown);
    g.press(16);
    EXPECT_EQ(g.board(), Solved);
    EXPECT_EQ(g.window.counterText, "8");
    EXPECT_EQ(g.window.sounds(), Log{});
    EXPECT_EQ(g.phase(), "over");

    g.window.draws.assign(500, drawFor(12));
    g.puzzle.cmdBlanda_Click();
    EXPECT_EQ(g.board(), "1 2 3 4 / 5 6 7 8 / 9 10 11 _ / 13 14 15 12");
    EXPECT_EQ(g.window.counterText, "0");
    EXPECT_EQ(g.phase(), "game");
}

} // namespace
