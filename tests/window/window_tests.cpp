// Drives the real window through Qt's window-system entry points: layout, pixels, input, focus and a whole game.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "frmglidor.h"

namespace {

const QRgb Yellow = qRgb(206, 203, 0), Grey = qRgb(206, 203, 206);

QRect squareRect(int k) { return {32 * ((k - 1) % 4 + 1), 32 * ((k - 1) / 4 + 1), 32, 32}; }

struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        presses += e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick;
        return false;
    }
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    FrmGlidor *w = nullptr;
    QStringList sounds;
    QList<int> dealSquares; // what the next shuffle draws first; after that it draws the gap, which moves nothing

    template <typename T = QWidget> T *child(const QString &name) const
    {
        T *found = w->findChild<T *>(name);
        return found ? found : (qFatal("no child %s", qPrintable(name)), nullptr);
    }
    QWidget *square(int k) const { return child(QStringLiteral("imgBild%1").arg(k)); }
    QAction *action(const char *name) const { return child<QAction>(QLatin1String(name)); }
    QPushButton *button() const { return child<QPushButton>(QStringLiteral("cmdBlanda")); }
    QWidget *panel() const { return child(QStringLiteral("fraHur")); }
    QString counter() const { return child<QLabel>(QStringLiteral("lblFlytt"))->text(); }
    int tileOn(int k) const { return int(w->puzzle().Squares[k].Tile); }
    static QImage grab(QWidget *x) { return x->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage grab() const { return grab(w->centralWidget()); }
    QRgb face(const QImage &image, int k) const { return image.pixel(squareRect(k).topLeft() + QPoint(3, 3)); }

    QPoint at(QWidget *x, QPoint local = {16, 10}) const { return x->mapTo(w, local); }
    void press(QWidget *x, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseClick(w->windowHandle(), b, {}, at(x)); }
    void key(int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w->windowHandle(), Qt::Key(k), m); }
    void deal(QList<int> squares = {})
    {
        dealSquares = squares;
        button()->click();
        sounds.clear();
    }

private slots:
    void init()
    {
        sounds.clear();
        GlidorServices services;
        services.playSound = [this](const char *name) { sounds << QString::fromLatin1(name); };
        services.drawRandom = [this] {
            return ((dealSquares.isEmpty() ? w->puzzle().EmptySquare : dealSquares.takeFirst()) - 0.5f) / 16;
        };
        w = new FrmGlidor(services);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup() { delete w; }

    void controls_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::addRow("imgBak") << QRect(0, 0, 308, 192) << QString() << true;
        QTest::addRow("imgBild0") << QRect(67, 200, 32, 32) << QString() << false;
        QTest::addRow("Label1") << QRect(166, 26, 139, 33) << "Antal" << true;
        QTest::addRow("lblLabel") << QRect(166, 56, 139, 33) << "Flyttningar" << true;
        QTest::addRow("cmdBlanda") << QRect(207, 133, 61, 27) << "Blanda" << true;
        QTest::addRow("fraHur") << QRect(-2, -8, 312, 204) << QString() << false;
        QTest::addRow("Line4") << QRect(QPoint(28, 28), QPoint(29, 160)) << QString() << true;
        QTest::addRow("Line3") << QRect(QPoint(28, 28), QPoint(160, 29)) << QString() << true;
        QTest::addRow("Line2") << QRect(QPoint(162, 30), QPoint(163, 161)) << QString() << true;
        QTest::addRow("Line1") << QRect(QPoint(28, 162), QPoint(161, 163)) << QString() << true;
        const char *help[] = {"Blanda brickorna", "Flytta tillbaka dom igen", "genom att klicka på den",
                              "eller de brickor du vill flytta", "eller använd piltangenterna.", "Lycka till!"};
        const int tops[] = {20, 47, 73, 100, 127, 153};
        for (int i = 0; i < 6; ++i)
            QTest::addRow("lblHur%d", i + 1) << QRect(1, tops[i], 304, 20) << QString::fromUtf8(help[i]) << true;
        for (int k = 1; k <= 16; ++k)
            QTest::addRow("imgBild%d", k) << squareRect(k) << QString() << true;
    }
    void controls()
    {
        QFETCH(QRect, box);
        QFETCH(QString, text);
        QFETCH(bool, shown);
        QWidget *c = child(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(c->geometry(), box);
        QCOMPARE(c->isHidden(), !shown);
        if (auto *label = qobject_cast<QLabel *>(c))
            QCOMPARE(label->text(), text);
        if (auto *pushButton = qobject_cast<QPushButton *>(c))
            QCOMPARE(pushButton->text(), text);
    }

    void windowFontsAndMenus()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral(" Glidor av Brickmakare"));
        QVERIFY(!w->windowIcon().isNull());
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        // Centred, up to the few pixels of frame that the platform adds once shown.
        QVERIFY((w->frameGeometry().center() - w->screen()->availableGeometry().center()).manhattanLength() <= 8);
        const QObjectList order = w->centralWidget()->children();
        QCOMPARE(order.first()->objectName() + order.last()->objectName(), QStringLiteral("imgBakfraHur"));

        const struct { const char *name; QStringList families; int pixels; } fonts[] = {
            {"Label1", {"Comic Sans MS", "Comic Neue"}, 21}, {"lblLabel", {"Comic Sans MS", "Comic Neue"}, 21},
            {"lblFlytt", {"Comic Sans MS", "Comic Neue"}, 24}, {"fraHur", {"Verdana", "DejaVu Sans"}, 11},
            {"lblHur3", {"Verdana", "DejaVu Sans"}, 13}};
        for (const auto &f : fonts) {
            const QFontInfo info(child(QLatin1String(f.name))->font());
            QVERIFY2(f.families.contains(info.family()) && info.pixelSize() == f.pixels, f.name);
        }

        QStringList seen;
        for (QAction *top : w->menuBar()->actions()) {
            seen << top->text();
            for (QAction *item : top->menu()->actions()) {
                seen << (item->isSeparator() ? item->objectName() : item->text());
                QVERIFY(item->shortcut().isEmpty() && item->isEnabled());
                QCOMPARE(item->isChecked(), item->objectName() == QLatin1String("mnuLjud"));
            }
        }
        QCOMPARE(seen, QStringList({"&Meny", "&Blanda", "mnuTomt", "&Avsluta", "&Inställningar", "&Ljud", "&Hjälp",
                                    "&Hur man gör"}));
    }

    void pixels()
    {
        QImage image = grab();
        const QImage sky = grab(child(QStringLiteral("imgBak")));
        for (const char *name : {"Line1", "Line2", "Line3", "Line4"}) {
            const QRect line = child(QLatin1String(name))->geometry();
            const QRgb colour = line.top() == 28 ? qRgb(0, 128, 128) : qRgb(192, 255, 255);
            for (int y = line.top(); y <= line.bottom(); ++y)
                for (int x = line.left(); x <= line.right(); ++x)
                    QCOMPARE(image.pixel(x, y), colour);
        }
        // Two pixels of sky between the frame and the board on every side, and in the gap.
        for (QPoint p : {QPoint(30, 90), QPoint(90, 31), QPoint(161, 90), QPoint(90, 160)})
            QCOMPARE(image.pixel(p), sky.pixel(p));
        QCOMPARE(image.copy(squareRect(16)), sky.copy(squareRect(16)));
        QVERIFY(sky.pixel(140, 140) != qRgb(0, 192, 192));

        // The help panel, shown, covers every pixel: the client area is the panel alone.
        action("mnuHur")->trigger();
        action("mnuHur")->trigger();
        QVERIFY(panel()->isVisible());
        image = grab();
        const QImage alone = grab(panel());
        for (int y = 0; y < 191; ++y)
            for (int x = 0; x < 307; ++x)
                QCOMPARE(image.pixel(x, y), alone.pixel(x + 2, y + 8));
    }

    void counterGrowsToTheRight()
    {
        QLabel *label = child<QLabel>(QStringLiteral("lblFlytt"));
        for (const char *digits : {"0", "17", "123"}) {
            w->setCounterText(digits);
            const QFontMetrics m = label->fontMetrics();
            QCOMPARE(label->geometry(), QRect(227, 86, m.horizontalAdvance(digits), m.height()));
        }
    }

    void helpPanelHides_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("where");
        QTest::addRow("press on panel, left") << "fraHur" << Qt::LeftButton << QPoint(3, 9);
        QTest::addRow("press on panel, right") << "fraHur" << Qt::RightButton << QPoint(300, 190);
        QTest::addRow("press on panel over button") << "fraHur" << Qt::LeftButton << QPoint(237, 148);
        QTest::addRow("click on line over button") << "lblHur6" << Qt::LeftButton << QPoint(236, 1);
        QTest::addRow("click on first line, middle") << "lblHur1" << Qt::MiddleButton << QPoint(5, 5);
    }
    void helpPanelHides()
    {
        QFETCH(QString, target);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, where);
        action("mnuHur")->trigger();
        QTest::mousePress(w->windowHandle(), button, {}, at(child(target), where));
        // On the panel itself the press hides it; on a line only the release does.
        QCOMPARE(panel()->isVisible(), target != QLatin1String("fraHur"));
        QTest::mouseRelease(w->windowHandle(), button, {}, at(child(target), where));
        QVERIFY(!panel()->isVisible());
        QVERIFY(this->button()->isEnabled()); // the button underneath was not pressed
    }

    void mouse_data()
    {
        QTest::addColumn<bool>("inGame");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("moved"); // tiles moved by the presses on square 12
        for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
            QTest::addRow("before shuffle, %x", b) << false << false << b << 0;
            QTest::addRow("before shuffle, double %x", b) << false << true << b << 0;
            QTest::addRow("in game, %x", b) << true << false << b << 1;
            QTest::addRow("in game, double %x", b) << true << true << b << 1;
        }
    }
    void mouse()
    {
        QFETCH(bool, inGame);
        QFETCH(bool, doubleClick);
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, moved);
        if (inGame)
            deal();
        PressCounter behind;
        w->centralWidget()->installEventFilter(&behind);
        w->installEventFilter(&behind);
        if (doubleClick)
            QTest::mouseDClick(w->windowHandle(), button, {}, at(square(12)));
        else
            press(square(12), button);
        QCOMPARE(behind.presses, 0); // a square, enabled or not, keeps its presses
        QCOMPARE(tileOn(16), moved ? 12 : 16);
        QCOMPARE(counter(), QString::number(moved));
        // Each press reaches the move rule once; the second of a double-click falls on the new gap.
        QCOMPARE(sounds.size(), inGame ? 1 + doubleClick : 0);
        QCOMPARE(QApplication::focusWidget(), inGame ? static_cast<QWidget *>(w) : this->button());
    }

    void keys_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("gap");
        const int mods[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier};
        const int keys[][2] = {{Qt::Key_Right, 15}, {Qt::Key_Down, 12}, {Qt::Key_Left, 16}, {Qt::Key_Up, 16}};
        for (const char *phase : {"start", "game", "help", "over"})
            for (int m : mods)
                for (const auto &k : keys)
                    QTest::addRow("%s %x %x", phase, k[0], m) << phase << k[0] << m << (phase[0] == 's' ? 16 : k[1]);
    }
    void keys()
    {
        QFETCH(QString, phase);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, gap);
        if (phase != "start")
            deal();
        if (phase == "help")
            action("mnuHur")->trigger();
        if (phase == "over") {
            press(square(16)); // the deal left the board in order: any action ends the game
            QVERIFY(button()->isEnabled());
        }
        this->key(key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(int(w->puzzle().EmptySquare), gap);
        QCOMPARE(tileOn(gap), 16);
        QCOMPARE(panel()->isVisible(), phase == "help");
    }

    void otherKeysDoNotRunTheSolvedCheck()
    {
        deal(); // the board is still in order: the next solved check ends the game
        for (int k : {Qt::Key_A, Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape, Qt::Key_F1, Qt::Key_Tab})
            key(k);
        QVERIFY(!button()->isEnabled() && sounds.isEmpty());
        key(Qt::Key_Left); // names square 17: nothing moves, but the check runs
        QVERIFY(button()->isEnabled());
        QCOMPARE(sounds, QStringList({"Done.wav"}));
    }

    void spaceAndEnterPressTheButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("help");
        for (int k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
            for (bool help : {false, true})
                QTest::addRow("%x%s", k, help ? " under help" : "") << k << help;
    }
    void spaceAndEnterPressTheButton()
    {
        QFETCH(int, key);
        QFETCH(bool, help);
        if (help)
            action("mnuHur")->trigger();
        dealSquares = {12};
        this->key(key);
        QVERIFY(!button()->isEnabled() && !action("mnuBlanda")->isEnabled());
        QCOMPARE(tileOn(12), 16);
        QCOMPARE(counter(), QStringLiteral("0"));
        QCOMPARE(panel()->isVisible(), help);
    }

    void focus()
    {
        for (QWidget *x : w->findChildren<QWidget *>())
            QVERIFY2(x == button() || x->focusPolicy() == Qt::NoFocus || x->inherits("QMenu"), qPrintable(x->objectName()));
        deal();
        press(square(16)); // ends the game
        QVERIFY(QApplication::focusWidget() != button()); // enabling does not take the focus back
        // Away and back again: the keys still come to the window.
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        key(Qt::Key_Down);
        QCOMPARE(tileOn(16), 12);
        key(Qt::Key_Tab); // now the button has the focus and eats the arrows
        QCOMPARE(QApplication::focusWidget(), button());
        key(Qt::Key_Up);
        QCOMPARE(tileOn(16), 12);
    }

    void menuShuffleAndSoundSwitch()
    {
        QAction *ljud = action("mnuLjud");
        ljud->trigger();
        QVERIFY(!w->soundMark());
        dealSquares = {12, 11, 10};
        action("mnuBlanda")->trigger();
        QVERIFY(!button()->isEnabled() && !action("mnuBlanda")->isEnabled());
        QCOMPARE(counter(), QStringLiteral("0"));
        QCOMPARE(int(w->puzzle().EmptySquare), 10);
        for (int k = 1; k <= 16; ++k)
            QVERIFY(square(k)->isEnabled());
        press(square(12));
        QVERIFY(sounds.isEmpty());
        ljud->trigger();
        QVERIFY(ljud->isChecked());
        press(square(10));
        QCOMPARE(sounds, QStringList({"Move.wav"}));
    }

    void wholeGame()
    {
        auto name = [](QWidget *x) { return QAccessible::queryAccessibleInterface(x)->text(QAccessible::Name); };
        QCOMPARE(name(square(7)), QStringLiteral("Bricka 7, på sin plats"));
        QCOMPARE(name(square(16)), QStringLiteral("Tom ruta"));
        QCOMPARE(name(button()), QStringLiteral("Blanda"));
        QCOMPARE(name(panel()), QStringLiteral("Hjälp"));
        QAccessibleInterface *count = QAccessible::queryAccessibleInterface(child(QStringLiteral("lblFlytt")));
        QCOMPARE(count->text(QAccessible::Name), QStringLiteral("Antal flyttningar"));

        // The deal slides the bottom row right (three tiles), then the left column down (three more).
        deal({13, 1});
        QImage image = grab();
        for (int k : {5, 9, 13, 14, 15, 16})
            QCOMPARE(face(image, k), Grey);
        QCOMPARE(name(square(13)), QStringLiteral("Bricka 9, fel plats"));
        QCOMPARE(name(square(1)), QStringLiteral("Tom ruta"));
        press(square(13)); // the column back up
        QCOMPARE(count->text(QAccessible::Value), QStringLiteral("3"));
        QCOMPARE(count->valueInterface()->currentValue().toInt(), 3);
        press(square(16)); // the row back left
        QVERIFY(button()->isEnabled() && action("mnuBlanda")->isEnabled());
        QCOMPARE(counter(), QStringLiteral("6"));
        QCOMPARE(sounds, QStringList({"Move.wav", "Move.wav", "Done.wav"}));
        image = grab();
        for (int k = 1; k <= 15; ++k) {
            QCOMPARE(face(image, k), Yellow);
            QVERIFY(!square(k)->isEnabled());
        }
        QVERIFY(square(16)->isEnabled());
        QVERIFY(!child(QStringLiteral("imgBild0"))->isVisible());
    }

    void exitEndsTheProgram_data()
    {
        QTest::addColumn<bool>("fromMenu");
        QTest::newRow("Avsluta") << true;
        QTest::newRow("title bar") << false;
    }
    void exitEndsTheProgram()
    {
        QFETCH(bool, fromMenu);
        QTimer::singleShot(0, w, [this, fromMenu] {
            fromMenu ? action("mnuAvsluta")->trigger() : void(w->windowHandle()->close());
        });
        QTimer::singleShot(5000, qApp, [] { QApplication::exit(2); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
