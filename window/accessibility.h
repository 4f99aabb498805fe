// What a screen reader is told: the board as it sees it, the messages, and the news of each move.
#pragma once

#include <QAccessible>
#include <QList>
#include <QString>
#include <QWidget>

#include <array>

namespace glidor {

struct Board;
class BoardSquare;

// The client area, which is also the board as screen readers see it: the
// controls in reading order (setReadingOrder), then, where Qt has no
// announcements, the latest message. The window hands this widget the keyboard
// focus where it would hold it itself (keys it ignores go on to the window).
class BoardArea : public QWidget
{
    Q_OBJECT
public:
    explicit BoardArea(QWidget *parent);
    ~BoardArea() override;

    // The widgets a screen reader may visit, in order; any other child is left out.
    void setReadingOrder(const QList<QWidget *> &widgets) { m_order = widgets; }
    const QList<QWidget *> &readingOrder() const { return m_order; }

    // Speaks `text` soon after, when the board is where its window keeps the
    // focus; otherwise does nothing. Where Qt has announcements (6.8 on) it is
    // one; before, it is a focus move to a message item made for it.
    void announce(const QString &text);
    // The item that holds the latest message; 0 before the first and where Qt announces.
    QAccessible::Id messageItem() const { return m_items[1]; }

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    void sendPending();

    QList<QWidget *> m_order;
    QString m_pending;
    QAccessible::Id m_items[2] = {}; // the one before the latest, and the latest
};

// Tells screen readers what one action of the player changed, once, however
// many steps the rules took: the squares and the counter whose names changed,
// and one message from the board, which says the news of a game, the tile the
// player moved with the count, or the win. Nothing when nothing changed.
class ScreenReaderNews
{
public:
    // Reads the game from the rules' `board` and from the window: the client
    // area that speaks, the squares 1..16 (made later, by the rules), the
    // counter, and the shuffle button, which is off while a game is on. All of
    // them must outlive this.
    ScreenReaderNews(const Board &board, BoardArea &client,
                     const std::array<BoardSquare *, 17> &squares, QWidget &counter,
                     const QWidget &shuffleButton);

    // Square k shows picture `id` now, 0 for the gap, and takes its name at
    // once; screen readers hear of it when the action is done.
    void setPicture(int k, int id);

    // Runs one action of the player, then tells screen readers what it changed.
    template<typename Action>
    void playerAction(Action action)
    {
        const Seen before = seen();
        action();
        tell(before);
    }

private:
    // What a screen reader can know of the game: the picture on each square
    // (0 for the gap), the move count and whether a game is in progress.
    struct Seen
    {
        std::array<int, 17> pictures{};
        long long moves = 0;
        bool inGame = false;
        bool operator==(const Seen &) const = default;
    };
    Seen seen() const;
    void tell(const Seen &before);

    const Board &m_board;
    BoardArea &m_client;
    const std::array<BoardSquare *, 17> &m_squares;
    QWidget &m_counter;
    const QWidget &m_shuffleButton;
    std::array<int, 17> m_pictures{}; // as Seen::pictures
};

// Makes screen readers see the board as above, each square as a picture named
// by what it shows, the counter as its name followed by the count (a plain
// text with nothing to change or press), and the sound item as on or off.
// Installed once per program; cheap, and does nothing until an assistive tool asks.
void installAccessibility();

} // namespace glidor
