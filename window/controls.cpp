// The small widgets the window is built from.
#include "controls.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
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
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, digits.toInt());
        QAccessible::updateAccessibility(&event);
        QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
    }
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

namespace {

class CounterAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CounterAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return label()->text();
        // Screen readers speak a label's name, not its value: the name carries the count.
        if (t == QAccessible::Name)
            return QAccessibleWidget::text(t) + QStringLiteral(": ") + label()->text();
        return QAccessibleWidget::text(t);
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return label()->text().toInt(); }
    void setCurrentValue(const QVariant &) override {} // read only
    QVariant maximumValue() const override { return std::numeric_limits<int>::max(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    QLabel *label() const { return static_cast<QLabel *>(widget()); }
};

QAccessibleInterface *accessibleFactory(const QString &, QObject *object)
{
    if (auto *counter = qobject_cast<CounterLabel *>(object))
        return new CounterAccessible(counter);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = (QAccessible::installFactory(accessibleFactory), true);
    Q_UNUSED(installed);
}

} // namespace glidor
