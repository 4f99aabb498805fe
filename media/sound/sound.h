// Plays the game's sound cues from the program's own directory.
#pragma once

namespace glidor::sound {

// Something that plays the game's sound files; the window is handed one at start.
class Player
{
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

// The desktop's sound output, playing through play(). Asked for once the
// application object exists, it opens the sound back end at the player's first
// key or mouse press, so that a window left alone never loads it and the first
// cue, which comes with or after such a press, is about as quick as the others.
Player &desktop();

} // namespace glidor::sound
