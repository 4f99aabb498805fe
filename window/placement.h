// Centres a window on its screen, frame included, once a window manager has framed it.
#pragma once

class QWidget;

namespace glidor {

// Call before the first show(): when `window` is first exposed, it is moved so
// that the whole window, title bar and border included, is centred on the
// available area of its screen. Without a window manager there is no frame and
// the client area is centred; where windows cannot place themselves (Wayland)
// the move does nothing.
void centreWhenFramed(QWidget &window);

} // namespace glidor
