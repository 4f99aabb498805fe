// Centres a window on its screen, frame included, once a window manager has framed it.
#include "placement.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace glidor {

namespace {

// Watches the window until it is first on screen. Before that the window
// manager has not yet put its frame around it, so the frame's size is unknown
// and a window centred by its client area alone sits half a title bar low.
class FramedCentring : public QObject
{
public:
    explicit FramedCentring(QWidget &window) : QObject(&window), m_window(window) { }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        QWindow *handle = m_window.windowHandle();
        if (watched == handle && event->type() == QEvent::Expose && handle->isExposed()) {
            handle->removeEventFilter(this);
            if (const QScreen *screen = handle->screen()) {
                const QMargins frame = handle->frameMargins();
                const QSize outer = m_window.size().grownBy(frame);
                const QRect centred = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, outer,
                                                          screen->availableGeometry());
                handle->setPosition(centred.topLeft() + QPoint(frame.left(), frame.top()));
            }
            deleteLater();
        }
        return false;
    }

private:
    QWidget &m_window;
};

} // namespace

void centreWhenFramed(QWidget &window)
{
    window.winId(); // the platform window, whose events tell when the frame is there
    window.windowHandle()->installEventFilter(new FramedCentring(window));
}

} // namespace glidor
