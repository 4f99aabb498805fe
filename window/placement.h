// Opens a window centred on its screen with its frame, which a window manager adds only once the
// window is mapped.
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
