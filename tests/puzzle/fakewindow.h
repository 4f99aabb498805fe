// A recording stand-in for the window and a game fixture that builds boards from text.
#pragma once

#include "puzzle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using Log = std::vector<std::string>;

// Records every operation as a short text, in call order, and keeps what a
// real window would show. Draws come from the script first, then from
// drawSource; a draw nobody provided fails the test.
class FakeWindow : public glidor::WindowOps {
public:
    mutable Log log;
    std::array<int, 17> picture{}; // picture id per square, 0 for none
    std::array<bool, 17> enabled{};
    std::string counterText = "0"; // the label's text before anything sets it
    bool counterVisible = true, buttonEnabled = true, menuEnabled = true, mark = true;
    std::deque<float> draws;
    std::function<float()> drawSource;

    void seedRandom() override { rec("seed"); }
    float drawRandom() override
    {
        rec("draw");
        if (!draws.empty()) {
            const float r = draws.front();
            draws.pop_front();
            return r;
        }
        if (!drawSource)
            ADD_FAILURE() << "a draw that was not scripted";
        return drawSource ? drawSource() : 0;
    }
    void createSquare(int k) override { rec("create", k); }
    void placeSquare(int k, int left, int top) override { rec("place", k, left, top); }
    void showSquare(int k) override { rec("show", k); }
    void enableSquare(int k, bool on) override { enabled[k] = on, rec("enable", k, on ? "on" : "off"); }
    void setSquarePicture(int k, int id) override { picture[k] = id, rec("picture", k, id); }
    void clearSquarePicture(int k) override { picture[k] = 0, rec("clear", k); }
    void sendBackgroundToBack() override { rec("background to back"); }
    bool soundMark() const override { return rec("mark?"), mark; }
    bool shuffleButtonEnabled() const override { return rec("button?"), buttonEnabled; }
    void enableShuffleControls(bool on) override { buttonEnabled = menuEnabled = on, rec("controls", on ? "on" : "off"); }
    void setCounterText(const std::string &text) override { counterText = text, rec("counter", text); }
    void showCounter(bool on) override { counterVisible = on, rec("counter", on ? "shown" : "hidden"); }
    void startSound(glidor::Cue cue) override { rec("sound", glidor::cueFileName(cue)); }

    long count(const std::string &entry) const { return std::count(log.begin(), log.end(), entry); }
    Log sounds() const
    {
        Log played;
        std::copy_if(log.begin(), log.end(), std::back_inserter(played),
                     [](const std::string &e) { return e.rfind("sound ", 0) == 0; });
        return played;
    }
    // Every sound condition reads the mark and then the button, never one alone.
    bool readsPaired() const
    {
        for (size_t i = 0; i < log.size(); ++i)
            if ((log[i] == "mark?") != (i + 1 < log.size() && log[i + 1] == "button?") ||
                (log[i] == "button?") != (i > 0 && log[i - 1] == "mark?"))
                return false;
        return true;
    }

private:
    // One log entry: the parts joined by single spaces.
    template <class... Parts> void rec(const Parts &...parts) const
    {
        std::ostringstream entry;
        ((entry << parts << ' '), ...);
        log.push_back(entry.str().substr(0, entry.str().size() - 1));
    }
};

// The picture a square must show: home 100 + t, away 121 + t, none for the gap.
inline int ruleId(int square, int tile) { return tile == 16 ? 0 : square == tile ? 100 + tile : 121 + tile; }

// The middle of the draws that pick `square`.
inline float drawFor(int square) { return (static_cast<float>(square) - 0.5f) / 16; }

// A loaded window and its puzzle; the log of the start is moved aside.
struct Game {
    FakeWindow window;
    glidor::Puzzle puzzle{window};
    Log loaded;

    Game() { puzzle.Form_Load(), loaded.swap(window.log); }

    // Lays out "1 2 3 4 / 5 6 7 8 / ..." with "_" for the gap, showing the
    // pictures a window would show and with EmptySquare on the gap.
    void boardFrom(const std::string &text)
    {
        std::istringstream in(text);
        std::string word;
        int k = 0;
        while (in >> word) {
            if (word == "/")
                continue;
            ASSERT_LT(k, 16) << "more than sixteen squares in " << text;
            const int tile = word == "_" ? 16 : std::stoi(word);
            puzzle.Squares[++k].Tile = tile;
            window.picture[k] = ruleId(k, tile);
            if (tile == 16)
                puzzle.EmptySquare = static_cast<std::uint8_t>(k);
        }
        ASSERT_EQ(k, 16) << text;
    }
    std::string board() const
    {
        std::string text;
        for (int k = 1; k <= 16; ++k) {
            const int tile = static_cast<int>(puzzle.Squares[k].Tile);
            text += (tile == 16 ? "_" : std::to_string(tile)) + (k == 16 ? "" : k % 4 ? " " : " / ");
        }
        return text;
    }
    // The state a shuffle leaves, without shuffling.
    void startGame() { window.buttonEnabled = window.menuEnabled = false, window.enabled.fill(true); }
    // What a mouse-down on square k does; only an enabled square gets one.
    void press(int k)
    {
        ASSERT_TRUE(window.enabled[k]) << "square " << k << " takes no mouse input";
        puzzle.MoveTile(static_cast<std::int16_t>(k));
        puzzle.CheckSolved();
    }
    // Which of the three phases the controls show, or "mixed" for none of them.
    std::string phase() const
    {
        const auto &on = window.enabled;
        const int open = static_cast<int>(std::count(on.begin() + 1, on.begin() + 16, true));
        if (window.buttonEnabled != window.menuEnabled)
            return "mixed";
        if (!window.buttonEnabled)
            return open == 15 && on[16] ? "game" : "mixed";
        return open ? "mixed" : on[16] ? "over" : "start";
    }
};
