// Turns a failure to open the window at start into one Swedish line and a plain exit.
#pragma once

namespace glidor {

// From here until releaseStartGuard(), Qt's messages are held back, and a fatal
// one (no platform plugin could start: no display, no Wayland compositor, a
// platform that is not there) prints one line in Swedish on stderr, giving the
// reason the held messages tell, and ends the program with status 1, without
// the abort and core dump that Qt's own handling would give. Qt's notice that
// it has switched the locale to UTF-8 is dropped. Messages may come from any
// thread, also while the guard is being released.
void installStartGuard();

// Call once the application object exists. A screen the window cannot be
// painted on (fewer than 15 bits a pixel) ends the program the same way;
// otherwise the held messages are passed on, in order, and so is every later one.
void releaseStartGuard();

} // namespace glidor
