// Drives the real window through Qt's window-system entry points: input, focus, what a screen
// reader hears, colours and a whole game.
#include <QtTest>
#include <QtWidgets>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

#include "frmglidor.h"

#include <functional>

// What a screen reader is sent: how many events, the objects renamed, and whatever gets the focus,
// whose name it speaks.
static struct
{
    int events;
    QStringList renamed, spoken;
    QList<QAccessibleInterface *> focused;
} sent;

// The shuffle's draws and the cues, as the window is handed them.
struct Script : glidor::RandomSource, glidor::sound::Player
{
    QList<int> deals; // squares the next shuffle draws first
    std::function<int()> gap; // after them it draws the gap, which moves nothing
    QStringList sounds;
    void seed() override { }
    float draw() override { return ((deals.isEmpty() ? gap() : deals.takeFirst()) - .5f) / 16; }
    void play(const char *name) override { sounds << name; }
};

class WindowTest : public QObject
{
    Q_OBJECT
    FrmGlidor *w = nullptr;
    Script script;
    QStringList &sounds = script.sounds;
    QList<int> &deals = script.deals;
    int leaked = 0; // presses that got past the controls to the client area

    bool eventFilter(QObject *, QEvent *e) override
    {
        leaked += e->type() == QEvent::MouseButtonPress;
        return false;
    }

    template<typename T = QWidget>
    T *get(const QString &name) const
    {
        return w->findChild<T *>(name);
    }
    static QAccessibleInterface *a11y(QObject *o)
    {
        return QAccessible::queryAccessibleInterface(o);
    }
    QString name(const QString &control) const
    {
        return a11y(get(control))->text(QAccessible::Name);
    }
    void menu(const char *name) { get<QAction>(name)->trigger(); }
    int gap() const
    {
        int k = 16;
        while (k && name(QStringLiteral("imgBild%1").arg(k)) != "Tom ruta")
            --k;
        return k;
    } // the square called empty
    void deal(const QList<int> &squares = {})
    {
        deals = squares;
        get<QPushButton>("cmdBlanda")->click();
        sounds.clear();
    }
    void away(const std::function<void()> &meanwhile = [] {}) // another window active for a while
    {
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        meanwhile();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }

    // Phases: "start"; "deal" (left in order); "near" (tile 12 one move away); "win" (a deal ended
    // by a press on the gap); "help" (the panel shown); "away" (another window between). Steps: a
    // key sequence, or press/release/click/double, mouse button, control.
    void play(const QString &phase, const QString &input, const QList<int> &next = { 12 })
    {
        if (!phase.startsWith("start"))
            deal(phase.contains("near") ? QList<int>{ 12 } : QList<int>{});
        if (phase.contains("win"))
            play("start", "click 1 imgBild16");
        if (phase.contains("help"))
            menu("mnuHur");
        if (phase.contains("away"))
            away();
        QCoreApplication::processEvents();
        deals = next; // what the next shuffle draws
        sounds.clear();
        sent = {};
        for (const QString &step : input.split(", ", Qt::SkipEmptyParts)) {
            const QStringList words = step.split(' ');
            if (words.size() > 1)
                QTest::mouseEvent(
                        QTest::MouseAction(QStringList({ "press", "release", "click", "double" })
                                                   .indexOf(words[0])),
                        w->windowHandle(), Qt::MouseButton(words[1].toInt()), {},
                        get(words.value(2, "imgBild12"))->mapTo(w, QPoint(16, 10)));
            else
                QTest::keySequence(w->windowHandle(), QKeySequence(step));
        }
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent *e) {
            ++sent.events;
            if (e->type() == QAccessible::NameChanged)
                sent.renamed << e->object()->objectName();
            if (e->type() == QAccessible::Focus
                && e->accessibleInterface() != sent.focused.value(sent.focused.size() - 1)) {
                sent.focused << e->accessibleInterface(); // a focus event on the item that has it
                                                          // already is not spoken
                sent.spoken << e->accessibleInterface()->text(QAccessible::Name);
            }
        });
    }
    void init()
    {
        script.gap = [this] { return gap(); };
        w = new FrmGlidor(script, script);
        w->show();
        w->centralWidget()->installEventFilter(this);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup()
    {
        delete w;
        sounds.clear();
        deals.clear();
        leaked = 0;
        QApplication::setPalette(QPalette());
    }

    void darkPalette() // the words over the sky look the same with a dark palette
    {
        deal({ 13, 1 });
        const QRect words(
                166, 26, 139,
                100); // "Antal", "Flyttningar" and the count, with the button out of the picture
        const QImage light = w->centralWidget()->grab(words).toImage();
        QApplication::setPalette(
                QPalette(QColor(40, 40, 40), QColor(30, 30, 30))); // light text on a dark window
        QCOMPARE(w->centralWidget()->grab(words).toImage(), light);
        away([&] { QCOMPARE(w->centralWidget()->grab(words).toImage(), light); });
    }

    void input_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("after"); // what the player meets; a deal leaves the board in
                                            // order, so a solved check ends the game
        const auto row = [](const char *sentence, const char *phase, const QString &input,
                            const char *after) {
            QTest::addRow("%s (%s: %s)", sentence, phase, qPrintable(input))
                    << phase << input << after;
        };
        row("before the first deal no arrow moves", "start", "Right, Shift+Down, Ctrl+Left, Alt+Up",
            "gap 16, button on, 0 sounds");
        row("nor any press", "start", "click 1, click 2, double 4", "gap 16, button on, 0 sounds");
        row("the keys leave the help shown", "start help", "Left, Alt+Right",
            "gap 16, button on, 0 sounds, help");
        row("a click on a line hides it", "start help", "click 4 imgBild16",
            "gap 16, button on, 0 sounds");
        row("a press on a line and a release away from it leave it shown", "start help",
            "press 1 lblHur3, release 1 lblHur5", "gap 16, button on, 0 sounds, help");
        row("in a game an arrow slides a tile, Shift or not", "deal", "Shift+Right",
            "gap 15, button off, 1 sounds");
        row("Ctrl or Alt", "deal", "Ctrl+Down, Alt+Down", "gap 8, button off, 2 sounds");
        row("an arrow off the board checks the board, here in order", "deal", "Left",
            "gap 16, button on, 1 sounds");
        row("with Alt too", "deal", "Alt+Up", "gap 16, button on, 1 sounds");
        row("the help stays shown through the arrows", "deal help", "Ctrl+Down",
            "gap 12, button off, 1 sounds, help");
        row("every mouse button moves", "deal", "click 1, click 2 imgBild8, click 4 imgBild4",
            "gap 4, button off, 3 sounds");
        row("a double-click is two presses, the second on the gap", "deal",
            "double 1, double 2 imgBild8, double 4 imgBild4", "gap 4, button off, 6 sounds");
        row("a press with the help shown only hides it", "deal help", "click 2",
            "gap 16, button off, 0 sounds");
        row("the second press of a double-click moves", "deal help", "double 4",
            "gap 12, button off, 1 sounds");
        row("a double-click that hides the help and wins ends the game", "near help",
            "double 1 imgBild16", "gap 16, button on, 2 sounds");
        row("after a game the arrows still move, silently", "win away",
            "Right, Shift+Right, Ctrl+Down, Alt+Left", "gap 11, button on, 0 sounds");
        row("the gap takes presses, silently, the other squares none", "win away",
            "click 1 imgBild16, double 4, click 2", "gap 16, button on, 0 sounds");
        // The button keeps the focus until a deal, and then the board has it.
        row("Space deals", "start", "Space", "gap 12, button off, 1 sounds");
        row("Return deals, the help shown", "start help", "Return",
            "gap 12, button off, 1 sounds, help");
        row("Enter deals", "start", "Enter", "gap 12, button off, 1 sounds");
        row("a press on the button with the help shown only hides it", "start help",
            "click 1 cmdBlanda", "gap 16, button on, 0 sounds");
        row("after a game Space and Return deal nothing", "win away", "Space, Return",
            "gap 16, button on, 0 sounds");
        row("a press on the button deals", "win away", "click 1 cmdBlanda",
            "gap 12, button off, 1 sounds");
        row("Tab leads to the button", "win", "Tab, Space", "gap 12, button off, 1 sounds");
        // Whatever the way through the menus, the keys go back to where they went before.
        for (const char *route :
             { "Alt+M, Esc, Esc", "Alt+M, Esc, Alt+I, Esc, Esc",
               "Alt+M, Esc, Alt+H, H, click 1 fraHur", "Alt+I, Esc, Alt+M, Right, Esc, Esc" }) {
            row("the button", "start", QString(route) + ", Right, Space",
                "gap 12, button off, 1 sounds");
            row("the board", "deal", QString(route) + ", Right", "gap 15, button off, 1 sounds");
            row("the board after a game", "win", QString(route) + ", Right, Space",
                "gap 15, button on, 0 sounds");
        }
        row("the sound switched off on the way", "start", "Alt+I, Esc, Alt+I, L, Right, Space",
            "gap 12, button off, 0 sounds");
        row("a deal from the menu gives the keys to the board", "start",
            "Alt+M, Esc, Alt+M, B, Right", "gap 11, button off, 2 sounds");
    }
    void input()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, after);
        play(phase, input);
        // Each press of a double-click reaches the move rule once, and a square, enabled or not,
        // keeps its presses.
        QCOMPARE(QString::asprintf("gap %d, button %s, %d sounds", gap(),
                                   get("cmdBlanda")->isEnabled() ? "on" : "off", int(sounds.size()))
                         + (get("fraHur")->isVisible() ? ", help" : "")
                         + (leaked ? ", a press got past a square" : ""),
                 after);
    }

    void heard_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("said");
        QTest::addRow("a deal from the menu starts a game") << "start"
                                                            << "Alt+M, B"
                                                            << "Nytt spel";
        QTest::addRow("a tile leaves its square") << "deal"
                                                  << "Down"
                                                  << "Bricka 12, fel plats, 1 flyttning";
        QTest::addRow("a run of three tells the pressed tile")
                << "deal"
                << "click 1 imgBild13"
                << "Bricka 13, fel plats, 3 flyttningar";
        QTest::addRow("the winning move") << "near"
                                          << "Up"
                                          << "Bricka 12, på sin plats. Löst på 1 flyttning";
        QTest::addRow("back and forth after the game") << "near"
                                                       << "Up, Down, Up"
                                                       << "Bricka 12, på sin plats, 3 flyttningar";
        QTest::addRow("the help panel")
                << "deal"
                << "Alt+H, H"
                << "Blanda brickorna Flytta tillbaka dom igen genom att klicka på den eller de "
                   "brickor du vill flytta eller använd piltangenterna. Lycka till!";
        QTest::addRow("a key that moves nothing") << "near"
                                                  << "Left"
                                                  << "nothing";
    }
    void heard()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, said);
        QList<int> churn(501, 12); // a deal here moves tile 12 down and up again 250 times
        for (int i = 2; i < churn.size(); i += 2)
            churn[i] = 16;
        play(phase, input, churn);
        QCOMPARE(sent.spoken.isEmpty() ? "nothing" : sent.spoken.last(), said);
        QCOMPARE(sent.renamed.contains("lblFlytt"),
                 said.contains(
                         "flyttning")); // a screen reader that keeps names hears of a new count
        QVERIFY2(sent.events < 50,
                 qPrintable(QString::number(
                         sent.events))); // a deal's 500 moves are not told one by one
    }

    void accessibilityTree()
    {
        deal({ 12, 11 }); // tile 12 down to square 16, then tile 11 right to square 12
        QStringList unnamed, board; // anything shown that a screen reader can land on has a name;
                                    // what the board shows, in reading order
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            if (!node->state().invisible && node->text(QAccessible::Name).isEmpty()
                && node->role() != QAccessible::MenuBar)
                unnamed << (node->object() ? node->object()->objectName() : "a message");
            if (!node->state().invisible && node->parent()
                && node->parent()->object() == w->centralWidget())
                board << node->text(QAccessible::Name);
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(a11y(w));
        QCOMPARE(unnamed, QStringList());
        QCOMPARE(board.join("; ")
                         .remove(QRegularExpression("Bricka |, på sin plats"))
                         .replace(", fel plats",
                                  " away"), // the squares as "7" at home, "7 away" elsewhere
                 "1; 2; 3; 4; 5; 6; 7; 8; 9; 10; Tom ruta; 11 away; 13; 14; 15; 12 away; Antal; "
                 "Flyttningar; Antal flyttningar: 0; Blanda");
        QVERIFY2(!a11y(get("lblFlytt"))->valueInterface()
                         && a11y(get("lblFlytt"))->actionInterface()->actionNames().isEmpty(),
                 "the count is only read");
        QAccessibleInterface *ljud = a11y(get<QAction>("mnuLjud"));
        QVERIFY(ljud->state().checkable && ljud->state().checked);
        menu("mnuLjud");
        QVERIFY(!ljud->state().checked);
    }

    void windowAndMenus() // a fixed client area under the menu bar, the caption, and the menus with
                          // one check mark
    {
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize()
                && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QStringList seen = {
            w->windowTitle()
        }; // then each menu and its items, + for a check mark, ! for a shortcut
        for (QAction *top : w->menuBar()->actions())
            for (QAction *item : QList<QAction *>{ top } + top->menu()->actions())
                seen << item->text() + (item->isChecked() ? "+" : "")
                                + (item->shortcut().isEmpty() ? "" : "!");
        for (const QLabel *line :
             get("fraHur")->findChildren<QLabel *>()) // and the help lines, one below the other at
                                                      // their own tops
            seen << QString::asprintf("%d,%d %dx%d", line->x(), line->y(), line->width(),
                                      line->height());
        QCOMPARE(seen,
                 QStringList({ " Glidor av Brickmakare", "&Meny", "&Blanda", "", "&Avsluta",
                               "&Inställningar", "&Ljud+", "&Hjälp", "&Hur man gör", "1,20 304x20",
                               "1,47 304x20", "1,73 304x20", "1,100 304x20", "1,127 304x20",
                               "1,153 304x20" }));
    }

    void wholeGame()
    {
        deal({ 13, 1 }); // the bottom row slides right (three tiles), then the left column down
                         // (three more)
        play("start",
             "click 1 imgBild13, click 1 imgBild16"); // the column back up, then the row back left
        QCOMPARE(sounds, QStringList({ "Move.wav", "Move.wav", "Done.wav" }));
        QCOMPARE(name("lblFlytt"),
                 QStringLiteral(
                         "Antal flyttningar: 6")); // a screen reader reads the count with its name
        away([this] {
            menu("mnuHur");
        }); // the help chosen while another window is active is read once the game's is back
        QTRY_VERIFY(sent.spoken.value(sent.spoken.size() - 1).endsWith("Lycka till!"));
        play("start",
             "Right, Left, Right, Left, Right, Left, Right, Left"); // after the game: the count
                                                                    // grows to the right of a fixed
                                                                    // left edge
        const QFontMetrics m = get("lblFlytt")->fontMetrics();
        QCOMPARE(get("lblFlytt")->geometry(),
                 QRect(227, 86, m.horizontalAdvance("14"), m.height()));
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
