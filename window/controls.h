// The plain widgets the window is built from: pictures, squares, counter, menu bar and help panel.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

namespace glidor {

// Shows one picture, either at its own size from the top left corner or
// stretched over the whole control. Without a picture it paints nothing, so
// whatever lies behind it shows through.
class PictureBox : public QWidget
{
public:
    enum class Fit { NaturalSize, Stretch };

    PictureBox(Fit fit, QWidget *parent);

    // A null image clears the picture.
    void setPicture(const QImage &image);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
    Fit m_fit;
};

// One element of the imgBild control array. Every press of any mouse button
// is reported once: the first press of a double-click as pressed(), the second
// as doubleClicked(). A disabled square reports nothing and keeps its presses
// from reaching the widgets behind it; its picture looks as when enabled.
class BoardSquare : public PictureBox
{
    Q_OBJECT
public:
    BoardSquare(int index, QWidget *parent);

    // What a screen reader calls the square. Changing it tells no one: screen
    // readers hear of a settled board once, not of every step of a shuffle.
    void setSpokenName(const QString &name) { m_spokenName = name; }
    QString spokenName() const { return m_spokenName; }

signals:
    void pressed(int index);
    void doubleClicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int m_index;
    QString m_spokenName;
};

// The move counter lblFlytt: one line of text whose box always has the size
// of that text in the label's font, with its top left corner kept in place.
// Setting the count tells screen readers nothing.
class CounterLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CounterLabel(QWidget *parent);
    void setCount(const QString &digits);
};

// The menu bar. Used from the keyboard it takes the focus and, when its menus
// close, gives it back to the widget that had it when a menu was opened. After
// Esc from one menu the bar itself holds the focus, so a menu opened next with
// Alt and its letter would record the bar, and the keys would stay with it.
// Such a menu first gives the focus back to where it was before the bar took it.
class MenuBar : public QMenuBar
{
    Q_OBJECT
public:
    explicit MenuBar(QWidget *parent);

protected:
    bool event(QEvent *event) override;

private:
    QPointer<QWidget> m_focusBefore;
};

// The help panel fraHur: a press of any button on the panel itself reports pressed().
class HelpPanel : public QFrame
{
    Q_OBJECT
public:
    explicit HelpPanel(QWidget *parent);

signals:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// One line lblHur(index) of the help panel. A press on it stays with the line
// (the panel does not see it); releasing the last button held over the line
// reports clicked().
class HelpLine : public QLabel
{
    Q_OBJECT
public:
    HelpLine(int index, const QString &text, QWidget *parent);

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_index;
};

} // namespace glidor
