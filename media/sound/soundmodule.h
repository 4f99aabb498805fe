// What the play operation and its back-end module, opened at run time, hand each other.
#pragma once

#include <string>

namespace glidor::sound {

// Gives the newest request not yet taken, as the path of a sound file, or false.
using TakeRequest = bool (*)(std::string &path);

// The module's two entry points, looked up by these names.
using StartBackEnd = int (*)(TakeRequest take);
using StopBackEnd = void (*)();
constexpr const char *StartSymbol = "glidorSoundStart";
constexpr const char *StopSymbol = "glidorSoundStop";

} // namespace glidor::sound

// glidorSoundStart(take) starts the back end's thread, which from then on
// calls `take` whenever it is woken and plays what it gets, stopping the sound
// before. It gives an eventfd: adding to its count wakes the thread. It gives
// -1 when the back end cannot run; then nothing was started. Call it once.
//
// glidorSoundStop() ends the thread and frees the back end, waiting a few
// milliseconds at most and never on the sound server. A thread that libpulse
// holds longer (waiting for a name lookup that has no answer yet) is left to
// end by itself, with what it uses: nothing that exit tears down. Call it
// once, after a successful start.
