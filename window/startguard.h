// Turns a failure to open the window at start into one Swedish line and a plain exit.
#pragma once

namespace glidor {

// From here until releaseStartGuard(), Qt's messages are held back, and a fatal
// one (no platform plugin could start: no display, no Wayland compositor, a
// platform that is not there) prints one line in Swedish on stderr, giving the
// reason the held messages tell, and ends the program with status 1, without
// the abort and core dump that Qt's own handling would give.
void installStartGuard();

// Passes the held messages on, in order, and puts Qt's own handling back.
void releaseStartGuard();

} // namespace glidor
