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
// glidorSoundStop() ends the thread and drops the connection to the sound
// server. It waits for the thread to leave what it is doing, which never
// includes waiting on the server. Call it once, after a successful start.
