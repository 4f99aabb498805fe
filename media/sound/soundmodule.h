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
// glidorSoundStop() ends the thread and frees the back end. It waits only as
// long as the thread takes to see that it must end, which is at once unless the
// machine is busy, and 50 ms at most; never on the sound server. A thread that
// libpulse holds (after it gave up on a connection whose name lookup has no
// answer yet, it waits for the lookup to end, seconds) is not waited for: it is
// left blocked inside libpulse with what it uses. The lookup ends seconds
// later, when the program is long gone; were it to end during exit itself, the
// thread would go on in libpulse while exit frees libpulse's static free lists.
// A connection still on its way is left as it is too: freeing it would wait
// for its name lookup. Call it once, after a successful start.
