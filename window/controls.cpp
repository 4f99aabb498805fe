// The plain widgets the window is built from: what they show and which presses they report.
#include "controls.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace glidor {

PictureBox::PictureBox(Fit fit, QWidget *parent) : QWidget(parent), m_fit(fit)
{
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(const QImage &image)
{
    m_image = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    if (m_fit == Fit::Stretch) {
        // The sky is a soft photograph; smoothing only helps it.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_image);
    } else {
        // No smoothing: on a high-dpi screen the 32-pixel tiles are scaled
        // nearest-neighbour and keep their hard edges.
        painter.drawImage(QPoint(0, 0), m_image);
    }
}

BoardSquare::BoardSquare(int index, QWidget *parent)
    : PictureBox(Fit::NaturalSize, parent), m_index(index)
{
    // Qt hands a press on a disabled widget to its parent. A disabled square
    // must swallow it, so nothing behind the board ever acts on it.
    setAttribute(Qt::WA_NoMousePropagation);
}

void BoardSquare::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit pressed(m_index);
}

void BoardSquare::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click comes only as this event. QWidget's
    // default would pass it on to mousePressEvent; report it on its own instead.
    event->accept();
    emit doubleClicked(m_index);
}

CounterLabel::CounterLabel(QWidget *parent) : QLabel(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void CounterLabel::setCount(const QString &digits)
{
    setText(digits);
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(digits), metrics.height());
}

MenuBar::MenuBar(QWidget *parent) : QMenuBar(parent)
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *from, QWidget *to) {
        if (to == this && from && from != this && from->window() == window())
            m_focusBefore = from;
    });
}

bool MenuBar::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut && hasFocus() && m_focusBefore)
        m_focusBefore->setFocus(Qt::MenuBarFocusReason);
    return QMenuBar::event(event);
}

HelpPanel::HelpPanel(QWidget *parent) : QFrame(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void HelpPanel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit pressed();
}

HelpLine::HelpLine(int index, const QString &text, QWidget *parent)
    : QLabel(text, parent), m_index(index)
{
    setFocusPolicy(Qt::NoFocus);
}

void HelpLine::mousePressEvent(QMouseEvent *event)
{
    // QLabel would pass the press on to the panel, which would hide itself at
    // once; a line hides the panel only when the button comes up.
    event->accept();
}

void HelpLine::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    // A click ends when the last button held comes up over the line.
    if (event->buttons() == Qt::NoButton && rect().contains(event->position().toPoint()))
        emit clicked(m_index);
}

} // namespace glidor
