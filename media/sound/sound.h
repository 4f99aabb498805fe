// Plays the game's sound cues from the program's own directory.
#pragma once

namespace glidor::sound {

// Something that plays the game's sound files; the window is handed one at start.
class Player {
public:
    virtual ~Player() = default;
    // Starts `fileName` ("Move.wav" or "Done.wav") and returns at once.
    virtual void play(const char *fileName) = 0;
};

// Starts `fileName` ("Move.wav" or "Done.wav") from the directory of the
// program's executable and returns at once. A new sound stops the one still
// playing. Anything that cannot be played gives silence: nothing is reported,
// nothing is printed and the caller never waits.
void play(const char *fileName);

// The desktop's sound output, playing through play(). Asked for before the
// application's first window is shown, it opens the sound back end once that
// window is painted, so that the first cue is as quick as the others.
Player &desktop();

} // namespace glidor::sound
