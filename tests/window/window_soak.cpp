// Sends thousands of seeded random presses, keys and menu commands to the real window and checks the board after each.
#include <QtTest>
#include <QtWidgets>

#include <random>

#include "controls.h"
#include "frmglidor.h"
#include "pictures.h"

class SoakTest : public QObject {
    Q_OBJECT
    std::mt19937 random{20240611};
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    QImage pictures[137]; // by the ids the core gives them, each made once

    // What the board and the window disagree on, if anything; `client` is the client area on the screen, or null.
    QString mismatch(const FrmGlidor &w, const QImage &client, const QImage &sky)
    {
        const glidor::Puzzle &p = w.puzzle();
        if (p.Squares[0].Tile || p.Squares[0].Row || p.Squares[0].Column || p.Squares[p.EmptySquare].Tile != 16)
            return QStringLiteral("Squares[0], or EmptySquare %1").arg(p.EmptySquare);
        int seen[17] = {};
        for (int k = 1; k <= 16; ++k) {
            const glidor::SquareRec &s = p.Squares[k];
            const int t = int(s.Tile), id = t == 16 ? 0 : glidor::pictureId(k, t);
            if (t < 1 || t > 16 || seen[t]++ || s.Column != (k - 1) % 4 + 1 || s.Row != (k - 1) / 4 + 1)
                return QStringLiteral("square %1: tile %2, row %3, column %4").arg(k).arg(s.Tile).arg(s.Row).arg(s.Column);
            const QImage &picture = id && pictures[id].isNull() ? pictures[id] = glidor::pictures::picture(id) : pictures[id];
            const QString name = id ? QStringLiteral("Bricka %1, %2").arg(t).arg(t == k ? "på sin plats" : "fel plats") : "Tom ruta";
            const auto *square = w.findChild<glidor::PictureBox *>(QStringLiteral("imgBild%1").arg(k));
            const QRect box(32 * s.Column, 32 * s.Row, 32, 32);
            // The sky is stretched with smoothing, which may round a pixel differently from one repaint to the next:
            // the gap is compared by its mean shade.
            const auto shade = [](const QImage &image) { return qGray(image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0)); };
            if (square->picture() != picture || square->accessibleName() != name
                || (!client.isNull() && (id ? client.copy(box) != picture.convertToFormat(QImage::Format_RGB32)
                                            : std::abs(shade(client.copy(box)) - shade(sky.copy(box))) > 2)))
                return QStringLiteral("square %1 does not show tile %2").arg(k).arg(t);
        }
        return w.findChild<QLabel *>("lblFlytt")->text() == QString::number(p.MoveCount) ? QString() : "the counter";
    }

private slots:
    void randomInputKeepsWindowAndBoardInStep()
    {
        const Qt::Key others[] = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Escape, Qt::Key_A, Qt::Key_F1};
        int mix = 0; // per thousand draws of a deal, those that pick a random square; the rest draw the gap and move nothing
        // Where the gap has been since the start, each move undoing the one before it; a press on the square it
        // came from takes the board one move back, so that games end and there are moves after a win to try too.
        QList<int> trail = {16};
        const auto note = [&](int gap) {
            gap == trail.value(trail.size() - 2) ? trail.removeLast() : gap != trail.last() ? trail.append(gap) : void();
            return gap;
        };
        FrmGlidor w({[](const char *) {}, [&] { // the shuffle's moves join the trail as they are made
            const int gap = note(w.puzzle().EmptySquare);
            return pick(1000) < mix ? glidor::unitDraw(random()) : (gap - .5f) / 16; }});
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QImage sky = w.findChild<QWidget *>("imgBak")->grab().toImage();
        const auto screen = [&] {
            return w.screen()->grabWindow(w.winId(), 0, w.menuBar()->height(), 307, 191).toImage().convertToFormat(QImage::Format_RGB32);
        };
        const auto at = [&](int x, int y) { return w.centralWidget()->mapTo(&w, QPoint(x, y)); };
        const auto modifiers = [&] { return Qt::KeyboardModifiers(pick(16) << 25); }; // any of Shift, Ctrl, Alt and Meta
        for (int i = 1; i <= 20000; ++i) {
            mix = QList<int>{0, 5, 20, 1000}[pick(4)];
            const int what = pick(20), back = trail.value(trail.size() - 2);
            if (what < 8 && back) // the way back
                QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, at(32 * ((back - 1) % 4 + 1) + 16, 32 * ((back - 1) / 4 + 1) + 16));
            else if (what < 10)
                QTest::mouseClick(w.windowHandle(), Qt::MouseButton(1 << pick(3)), modifiers(), at(32 + pick(128), 32 + pick(128)));
            else if (what < 12)
                QTest::mouseDClick(w.windowHandle(), Qt::MouseButton(1 << pick(3)), modifiers(), at(32 + pick(128), 32 + pick(128)));
            else if (what < 17)
                QTest::keyClick(w.windowHandle(), what < 15 ? Qt::Key(Qt::Key_Left + pick(4)) : others[pick(7)], modifiers());
            else if (what < 19)
                w.findChild<QAction *>(QStringList{"mnuBlanda", "mnuLjud", "mnuHur"}[pick(3)])->trigger();
            else // anywhere in the client area: the panel when shown, the button, the labels, the sky
                QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, at(pick(307), pick(191)));
            note(w.puzzle().EmptySquare);
            const QString problem = mismatch(w, QImage(), sky);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("event %1: %2").arg(i).arg(problem)));
            // Every 100 events the screen as well, once the window has painted, unless the help panel covers the board.
            if (i % 100 == 0 && !w.findChild<QWidget *>("fraHur")->isVisible())
                QTRY_VERIFY2(mismatch(w, screen(), sky).isEmpty(), qPrintable(QStringLiteral("event %1: the screen").arg(i)));
        }
    }
};

QTEST_MAIN(SoakTest)
#include "window_soak.moc"
