// Plays the game's sound cues from the program's own directory.
#pragma once

namespace glidor::sound {

// Starts `fileName` ("Move.wav" or "Done.wav") from the directory of the
// program's executable and returns at once. A new sound stops the one still
// playing. Anything that cannot be played gives silence: nothing is reported,
// nothing is printed and the caller never waits.
void play(const char *fileName);

} // namespace glidor::sound
