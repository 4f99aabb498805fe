// What a screen reader is told: the board as it sees it, the messages, and the news of each move.
#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QMenu>
#include <QPointer>

#include <utility>

#include "controls.h"
#include "puzzle.h"

namespace glidor {

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
namespace {

// A message for screen readers without announcements: an item of the board
// with no widget of its own, which says one message.
class MessageAccessible : public QAccessibleInterface
{
public:
    MessageAccessible(BoardArea *board, const QString &text) : m_board(board), m_text(text) { }

    bool isValid() const override { return !m_board.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return m_board ? m_board->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_board);
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? m_text : QString();
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        return m_board ? QRect(m_board->mapToGlobal(QPoint(0, 0)), m_board->size()) : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.focused = m_board && m_board->hasFocus();
        return s;
    }

private:
    QPointer<BoardArea> m_board;
    QString m_text;
};

} // namespace
#endif

BoardArea::BoardArea(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

BoardArea::~BoardArea()
{
    for (QAccessible::Id id : m_items)
        if (id)
            QAccessible::deleteAccessibleInterface(id);
}

void BoardArea::announce(const QString &text)
{
    if (window()->focusWidget() != this)
        return;
    m_pending = text;
    // Sent once the event loop is back, after Qt's own news of any focus
    // change; a menu that has just closed gives the focus back only when its
    // window is active again, so until then the message waits for focusInEvent.
    QMetaObject::invokeMethod(this, &BoardArea::sendPending, Qt::QueuedConnection);
}

void BoardArea::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (!m_pending.isEmpty())
        QMetaObject::invokeMethod(this, &BoardArea::sendPending, Qt::QueuedConnection);
}

void BoardArea::sendPending()
{
    if (m_pending.isEmpty() || !hasFocus())
        return;
    const QString text = std::exchange(m_pending, QString());
    if (!QAccessible::isActive())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    // Orca speaks every announcement, in order, however fast they come.
    QAccessibleAnnouncementEvent event(this, text);
    QAccessible::updateAccessibility(&event);
#else
    // Orca speaks a focus move, but drops one that a newer move overtakes, and
    // says nothing for one that lands where its focus already is. An item of
    // its own for every message keeps the last of a fast run from ever landing
    // there. The one before stays, as a screen reader may still be reading it.
    if (m_items[0])
        QAccessible::deleteAccessibleInterface(m_items[0]);
    m_items[0] = m_items[1];
    m_items[1] = QAccessible::registerAccessibleInterface(new MessageAccessible(this, text));
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(int(m_order.size()));
    QAccessible::updateAccessibility(&event);
#endif
}

namespace {

// What a screen reader calls a square that shows picture `id`, 0 for the gap:
// its name in the board, and the words for a moved tile in a message.
QString squareName(int id)
{
    const PictureContent tile = pictureContent(id);
    if (tile.number == 0)
        return QStringLiteral("Tom ruta");
    return tile.home ? QStringLiteral("Bricka %1, på sin plats").arg(tile.number)
                     : QStringLiteral("Bricka %1, fel plats").arg(tile.number);
}

} // namespace

ScreenReaderNews::ScreenReaderNews(const Board &board, BoardArea &client,
                                   const std::array<BoardSquare *, 17> &squares, QWidget &counter,
                                   const QWidget &shuffleButton)
    : m_board(board),
      m_client(client),
      m_squares(squares),
      m_counter(counter),
      m_shuffleButton(shuffleButton)
{
}

void ScreenReaderNews::setPicture(int k, int id)
{
    m_squares.at(static_cast<std::size_t>(k))->setSpokenName(squareName(id));
    m_pictures.at(static_cast<std::size_t>(k)) = id;
}

ScreenReaderNews::Seen ScreenReaderNews::seen() const
{
    return { m_pictures, static_cast<long long>(m_board.MoveCount), !m_shuffleButton.isEnabled() };
}

void ScreenReaderNews::tell(const Seen &before)
{
    const Seen now = seen();
    if (now == before)
        return; // nothing moved: a screen reader has nothing new to say
    if (!QAccessible::isActive())
        return;
    // Each renamed square and the counter once, however many steps the rules took.
    int gap = 0;
    for (int k = 1; k <= 16; ++k) {
        if (now.pictures[k] == 0)
            gap = k;
        if (now.pictures[k] != before.pictures[k]) {
            QAccessibleEvent renamed(m_squares[k], QAccessible::NameChanged);
            QAccessible::updateAccessibility(&renamed);
        }
    }
    if (now.moves != before.moves) {
        QAccessibleEvent renamed(&m_counter, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }

    const QString count = now.moves == 1 ? QStringLiteral("1 flyttning")
                                         : QStringLiteral("%1 flyttningar").arg(now.moves);
    QStringList message;
    if (now.inGame && !before.inGame) {
        message << QStringLiteral("Nytt spel");
    } else {
        // Of the tiles that moved, the one now beside the gap is the one the
        // player moved; the others of a run went on ahead of it.
        for (int k = 1; k <= 16; ++k) {
            if (now.pictures[k] && now.pictures[k] != before.pictures[k]
                && sideBySide(m_board, k, gap))
                message << squareName(now.pictures[k]);
        }
        // The count goes with the move, or with the news that the puzzle is solved.
        if (before.inGame && !now.inGame)
            message << QStringLiteral("Löst på %1").arg(count);
        else if (!message.isEmpty())
            message.last() += QStringLiteral(", ") + count;
    }
    m_client.announce(message.join(QStringLiteral(". ")));
}

namespace {

// The counter: its name ends in the count, since screen readers speak a
// label's name and not a value; a value would also bring actions to change it.
class CounterAccessible : public QAccessibleWidget
{
public:
    explicit CounterAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name)
            return own + QStringLiteral(": ") + static_cast<QLabel *>(widget())->text();
        return own;
    }
};

// A square: a picture, named by what it shows.
class SquareAccessible : public QAccessibleWidget
{
public:
    explicit SquareAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Graphic) { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<BoardSquare *>(widget())->spokenName();
        return QAccessibleWidget::text(t);
    }
};

// The board lists the controls in reading order, then the latest message
// item, if any; the sky, the frame lines and the design square are left out.
class BoardAccessible : public QAccessibleWidget
{
public:
    // A canvas, not a panel: Orca reads a focused panel together with every
    // label inside it, the help lines and the messages included.
    explicit BoardAccessible(BoardArea *board) : QAccessibleWidget(board, QAccessible::Canvas) { }

    int childCount() const override
    {
        return int(order().size()) + (board()->messageItem() ? 1 : 0);
    }
    QAccessibleInterface *child(int index) const override
    {
        if (index >= 0 && index < order().size())
            return QAccessible::queryAccessibleInterface(order().at(index));
        if (index == order().size() && board()->messageItem())
            return QAccessible::accessibleInterface(board()->messageItem());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child)
                return i;
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        return board()->hasFocus() ? child(int(order().size())) : nullptr;
    }

private:
    BoardArea *board() const { return static_cast<BoardArea *>(widget()); }
    const QList<QWidget *> &order() const { return board()->readingOrder(); }
};

// A menu item with a check mark. Orca speaks the checked state of a menu item
// but says nothing when it is off, so the description says on or off. (The
// role stays a menu item: the menu finds its children by that role.)
class CheckItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    explicit CheckItemAccessible(QAction *action) : m_action(action) { }

    bool isValid() const override { return m_action && menu(); }
    QObject *object() const override { return m_action; }
    QWindow *window() const override { return menu() ? menu()->windowHandle() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(menu());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!m_action)
            return {};
        if (t == QAccessible::Name)
            return QString(m_action->text()).remove(QLatin1Char('&'));
        if (t == QAccessible::Description)
            return m_action->isChecked() ? QStringLiteral("på") : QStringLiteral("av");
        return {};
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        return menu()
                ? menu()->actionGeometry(m_action).translated(menu()->mapToGlobal(QPoint(0, 0)))
                : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.checkable = true;
        s.focusable = true;
        s.checked = m_action && m_action->isChecked();
        s.invisible = !menu() || !menu()->isVisible();
        s.focused = menu() && menu()->activeAction() == m_action;
        s.disabled = !m_action || !m_action->isEnabled();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                ? static_cast<QAccessibleActionInterface *>(this)
                : nullptr;
    }
    QStringList actionNames() const override { return { toggleAction() }; }
    void doAction(const QString &name) override
    {
        if (name == toggleAction() && m_action)
            m_action->trigger();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QMenu *menu() const
    {
        if (m_action)
            for (QObject *owner : m_action->associatedObjects())
                if (auto *menu = qobject_cast<QMenu *>(owner))
                    return menu;
        return nullptr;
    }
    QPointer<QAction> m_action;
};

QAccessibleInterface *accessibleFactory(const QString &, QObject *object)
{
    if (auto *item = qobject_cast<QAction *>(object); item && item->isCheckable())
        return new CheckItemAccessible(item);
    if (auto *counter = qobject_cast<CounterLabel *>(object))
        return new CounterAccessible(counter);
    if (auto *square = qobject_cast<BoardSquare *>(object))
        return new SquareAccessible(square);
    if (auto *board = qobject_cast<BoardArea *>(object))
        return new BoardAccessible(board);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace glidor
