// The small widgets the window is built from: pictures, board squares, the counter and the help panel.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QWidget>

namespace glidor {

// Shows one picture, either at its own size from the top left corner or
// stretched over the whole control. Without a picture it paints nothing, so
// whatever lies behind it shows through.
class PictureBox : public QWidget {
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
class BoardSquare : public PictureBox {
    Q_OBJECT
public:
    BoardSquare(int index, QWidget *parent);

signals:
    void pressed(int index);
    void doubleClicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int m_index;
};

// The move counter lblFlytt: one line of text whose box always has the size
// of that text in the label's font, with its top left corner kept in place.
// Screen readers hear its accessible name with the count as its value.
class CounterLabel : public QLabel {
    Q_OBJECT
public:
    explicit CounterLabel(QWidget *parent);
    void setCount(const QString &digits);
};

// The help panel fraHur: a press of any button on the panel itself reports pressed().
class HelpPanel : public QFrame {
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
class HelpLine : public QLabel {
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

// Makes screen readers read CounterLabel as its name with the count as value.
// Installed once per program; cheap, and does nothing until an assistive tool asks.
void installAccessibility();

} // namespace glidor
