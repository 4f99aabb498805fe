// Turns a failure to open the window at start into one Swedish line and a plain exit.
#pragma once

namespace glidor {

// From here until releaseStartGuard(), Qt's messages are held back, and a fatal
// one (Qt's platform plugin gives up when there is no display to talk to)
// prints one line in Swedish on stderr and ends the program with status 1,
// without the abort and core dump that Qt's own handling would give.
void installStartGuard();

// Passes the held messages on, in order, and puts Qt's own handling back.
void releaseStartGuard();

} // namespace glidor
