// The window operations through which the puzzle core reaches everything outside the board.
#pragma once

#include <string>

namespace glidor {

// The sound cues of the game; each names a file in the program's own directory.
enum class Cue { Move, Done };

// File name of a cue: "Move.wav" or "Done.wav".
const char *cueFileName(Cue cue);

// Everything the rules need from the window, and nothing more. All calls are
// synchronous; a value read back is the current one, also right after it was set.
// No operation may call back into the core.
class WindowOps
{
public:
    virtual ~WindowOps() = default;

    // Seeds the random draws from the clock; each run draws a different sequence.
    virtual void seedRandom() = 0;
    // A uniform draw r with 0 <= r < 1.
    virtual float drawRandom() = 0;

    // Creates board square k (1..16) as a hidden 32 by 32 picture control.
    virtual void createSquare(int k) = 0;
    virtual void placeSquare(int k, int left, int top) = 0;
    virtual void showSquare(int k) = 0;
    // A disabled square takes no mouse input and looks exactly as when enabled.
    virtual void enableSquare(int k, bool enabled) = 0;
    // Shows picture `id` (101..115, 122..136) on square k at its natural size.
    virtual void setSquarePicture(int k, int id) = 0;
    // Square k shows no picture; the background shows through it.
    virtual void clearSquarePicture(int k) = 0;
    virtual void sendBackgroundToBack() = 0;

    // True while the sound menu item carries its check mark.
    virtual bool soundMark() const = 0;
    // Enabled state of the shuffle button; disabled means a game is in progress.
    virtual bool shuffleButtonEnabled() const = 0;
    // Sets the shuffle button, then the shuffle menu item, to `enabled`.
    virtual void enableShuffleControls(bool enabled) = 0;

    // The move counter label shows `text` and sizes itself to it.
    virtual void setCounterText(const std::string &text) = 0;
    virtual void showCounter(bool visible) = 0;

    // Starts the cue's sound and returns at once; a sound that cannot play is silence.
    virtual void startSound(Cue cue) = 0;
};

} // namespace glidor
