// Drives the real window through Qt's window-system entry points: input, focus, what a screen
// reader hears, colours and a whole game; and the messages held back at start.
#include <QtTest>
#include <QtWidgets>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

#include "frmglidor.h"
#include "startguard.h"

#include <atomic>
#include <functional>
#include <thread>

// What a screen reader is sent: the objects renamed, the items given the focus, and what it says.
// It may fall behind and skip focus moves, so it is sure to speak one only on an item that has
// not had the focus before; an announcement it always speaks.
static struct
{
    QStringList renamed, spoken;
    QList<QAccessible::Id> focused;
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

// One thing the player does: a key combination as Qt writes it ("Shift+Down"), or one mouse
// action with one button over the middle of a control.
struct Step
{
    QString keys;
    QTest::MouseAction mouse;
    Qt::MouseButton button;
    QString control;
};
using Steps = QList<Step>;
Q_DECLARE_METATYPE(Step)

// Key combinations, one after the other: keys("Alt+M, Esc").
static Steps keys(const QString &combinations)
{
    Steps steps;
    for (const QString &combination : combinations.split(", "))
        steps << Step{ combination, QTest::MouseClick, Qt::NoButton, {} };
    return steps;
}

// A mouse action on a control: click(Qt::LeftButton, "imgBild12").
template<QTest::MouseAction action>
static Steps mouse(Qt::MouseButton button, const char *control)
{
    return { { {}, action, button, control } };
}
constexpr auto press = mouse<QTest::MousePress>, release = mouse<QTest::MouseRelease>,
               click = mouse<QTest::MouseClick>, doubleClick = mouse<QTest::MouseDClick>;

class WindowTest : public QObject
{
    Q_OBJECT
public: // Q_ENUM wants them so, and then a failure names the value
    // Where a row starts: before the first deal; in a game dealt in order (every draw of the
    // shuffle falls on the gap); one move from order (tile 12 dealt down); two runs of three
    // tiles from order (the bottom row dealt right, then the left column down); or after a game
    // dealt in order and won by a press on the gap.
    enum class Phase { Start, InOrder, OneMoveLeft, TwoRunsLeft, Won };
    Q_ENUM(Phase)
    // What comes between the phase and the steps: the help shown, or another window active a while.
    enum class Then { Nothing, HelpShown, AwayAndBack };
    Q_ENUM(Then)
    enum class Button { On, Off };
    Q_ENUM(Button)
    enum class Help { Hidden, Shown };
    Q_ENUM(Help)

private:
    FrmGlidor *w = nullptr;
    Script script;
    int leaked = 0; // presses that got past the controls to the client area

    bool eventFilter(QObject *, QEvent *e) override
    {
        leaked += e->type() == QEvent::MouseButtonPress;
        return false;
    }

    QWidget *get(const QString &name) const { return w->findChild<QWidget *>(name); }
    QAction *item(const QString &name) const { return w->findChild<QAction *>(name); }
    static auto *a11y(QObject *o) { return QAccessible::queryAccessibleInterface(o); }
    QString name(const QString &c) const { return a11y(get(c))->text(QAccessible::Name); }
    int emptySquare() const // the square called empty
    {
        int k = 16;
        while (k && name(QStringLiteral("imgBild%1").arg(k)) != "Tom ruta")
            --k;
        return k;
    }
    void deal(const QList<int> &squares = {})
    {
        script.deals = squares;
        qobject_cast<QPushButton *>(get("cmdBlanda"))->click();
        script.sounds.clear();
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
    // Each step is handled before the next comes, as keys 40 ms apart are.
    void perform(const Steps &steps)
    {
        for (const Step &step : steps) {
            if (!step.keys.isEmpty())
                QTest::keySequence(w->windowHandle(), QKeySequence(step.keys));
            else
                QTest::mouseEvent(step.mouse, w->windowHandle(), step.button, {},
                                  get(step.control)->mapTo(w, QPoint(16, 10)));
            QCoreApplication::processEvents();
        }
    }
    void reach(Phase phase, Then then)
    {
        if (phase == Phase::OneMoveLeft)
            deal({ 12 });
        else if (phase == Phase::TwoRunsLeft)
            deal({ 13, 1 });
        else if (phase != Phase::Start)
            deal();
        if (phase == Phase::Won)
            perform(click(Qt::LeftButton, "imgBild16"));
        if (then == Then::HelpShown)
            item("mnuHur")->trigger();
        if (then == Then::AwayAndBack)
            away();
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent *e) {
            if (e->type() == QAccessible::NameChanged)
                sent.renamed << e->object()->objectName();
            const bool focus = e->type() == QAccessible::Focus;
            const QAccessible::Id id = focus ? QAccessible::uniqueId(e->accessibleInterface()) : 0;
            if (focus && !sent.focused.contains(id))
                sent.spoken << e->accessibleInterface()->text(QAccessible::Name);
            sent.focused << id;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
            if (e->type() == QAccessible::Announcement)
                sent.spoken << static_cast<QAccessibleAnnouncementEvent *>(e)->message();
#endif
        });
    }
    void init()
    {
        script.gap = [this] { return emptySquare(); };
        w = new FrmGlidor(script, script);
        w->show();
        w->centralWidget()->installEventFilter(this);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup()
    {
        delete w;
        leaked = 0;
        QApplication::setPalette(QPalette());
    }

    // Each row: where it starts, what the player does, and what the player meets then: the gap,
    // the button, the number of sounds, the help; and the last thing a screen reader is sure to
    // say, empty for nothing.
    void input_data()
    {
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<Then>("then");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<int>("gap");
        QTest::addColumn<Button>("button");
        QTest::addColumn<int>("sounds");
        QTest::addColumn<Help>("help");
        QTest::addColumn<QString>("said");
        using enum Phase;
        using enum Then;
        using enum Button;
        using enum Help;
        const auto left = Qt::LeftButton, right = Qt::RightButton, middle = Qt::MiddleButton;

        QTest::newRow("before the first deal no arrow moves, nor any press")
                << Start << Nothing
                << keys("Right, Shift+Down, Ctrl+Left, Alt+Up") + click(left, "imgBild12")
                        + click(right, "imgBild12") + doubleClick(middle, "imgBild12")
                << 16 << On << 0 << Hidden << "";
        QTest::newRow("the help stays after a press on a line and a release off it")
                << Start << HelpShown << press(left, "lblHur3") + release(left, "lblHur5") << 16
                << On << 0 << Shown << "";
        QTest::newRow("in a game an arrow slides a tile, whatever Shift, Ctrl or Alt")
                << InOrder << Nothing << keys("Shift+Right, Alt+Down") << 11 << Off << 2 << Hidden
                << "Bricka 11, fel plats, 2 flyttningar";
        QTest::newRow("an arrow off the board checks the board, here in order")
                << InOrder << Nothing << keys("Left") << 16 << On << 1 << Hidden
                << "Löst på 0 flyttningar";
        QTest::newRow("the help stays through the keys")
                << InOrder << HelpShown << keys("Ctrl+Down") << 12 << Off << 1 << Shown
                << "Bricka 12, fel plats, 1 flyttning";
        QTest::newRow("every mouse button moves, and a double-click is two presses")
                << InOrder << Nothing
                << doubleClick(left, "imgBild12") + doubleClick(right, "imgBild8")
                        + doubleClick(middle, "imgBild4")
                << 4 << Off << 6 << Hidden << "Bricka 4, fel plats, 3 flyttningar";
        QTest::newRow("a press with the help shown only hides it")
                << InOrder << HelpShown << click(right, "imgBild12") << 16 << Off << 0 << Hidden
                << "";
        QTest::newRow("the second press of a double-click moves, once the first hid the help")
                << OneMoveLeft << HelpShown << doubleClick(left, "imgBild16") << 16 << On << 2
                << Hidden << "Bricka 12, på sin plats. Löst på 1 flyttning";
        QTest::newRow("after a game the arrows still move, silently")
                << Won << AwayAndBack << keys("Right, Shift+Right, Ctrl+Down, Alt+Left") << 11 << On
                << 0 << Hidden << "Bricka 11, fel plats, 4 flyttningar";
        // The button keeps the focus until a deal, and then the board has it: Space, Return and
        // Enter deal, a press on the button deals unless it only hides the help, Tab leads back.
        QTest::newRow("Return deals, with the help shown")
                << Start << HelpShown << keys("Return") << 12 << Off << 1 << Shown << "Nytt spel";
        QTest::newRow("Enter deals")
                << Start << Nothing << keys("Enter") << 12 << Off << 1 << Hidden << "Nytt spel";
        QTest::newRow("a press on the button with the help shown only hides it")
                << Start << HelpShown << click(left, "cmdBlanda") << 16 << On << 0 << Hidden << "";
        QTest::newRow("after a game the board keeps the keys")
                << Won << AwayAndBack << keys("Space, Return") << 16 << On << 0 << Hidden << "";
        QTest::newRow("after a game a press on the button deals")
                << Won << AwayAndBack << click(left, "cmdBlanda") << 12 << Off << 1 << Hidden
                << "Nytt spel";
        QTest::newRow("after a game Tab leads back to the button")
                << Won << Nothing << keys("Tab, Space") << 12 << Off << 1 << Hidden << "Nytt spel";
        // Whatever the way through the menus, the keys go back to where they went before: the
        // button, the board, the board after a game.
        const std::pair<const char *, Steps> routes[] = {
            { "Esc from a menu and the bar", keys("Alt+M, Esc, Esc") },
            { "Esc from two menus", keys("Alt+M, Esc, Alt+I, Esc, Esc") },
            { "the help", keys("Alt+M, Esc, Alt+H, H") + click(left, "fraHur") },
            { "a menu opened from another", keys("Alt+I, Esc, Alt+M, Right, Esc, Esc") },
        };
        for (const auto &[way, route] : routes) {
            QTest::addRow("after %s the button has the keys", way)
                    << Start << Nothing << route + keys("Right, Space") << 12 << Off << 1 << Hidden
                    << "Nytt spel";
            QTest::addRow("after %s the board has the keys", way)
                    << InOrder << Nothing << route + keys("Right") << 15 << Off << 1 << Hidden
                    << "Bricka 15, fel plats, 1 flyttning";
            QTest::addRow("after %s the board has the keys after a game", way)
                    << Won << Nothing << route + keys("Right, Space") << 15 << On << 0 << Hidden
                    << "Bricka 15, fel plats, 1 flyttning";
        }
        QTest::newRow("the sound switched off from the menu")
                << Start << Nothing << keys("Alt+I, Esc, Alt+I, L, Right, Space") << 12 << Off << 0
                << Hidden << "Nytt spel";
        QTest::newRow("a deal from the menu")
                << Start << Nothing << keys("Alt+M, Esc, Alt+M, B, Right") << 11 << Off << 2
                << Hidden << "Bricka 11, fel plats, 1 flyttning";
        // What a screen reader says: the news of a game, each move with the count (of a run of
        // three the pressed tile), the win, the last move of a burst however many it skipped,
        // the help, and nothing for a key that moves nothing.
        QTest::newRow("a screen reader hears of a new game")
                << Start << Nothing << keys("Alt+M, B") << 12 << Off << 1 << Hidden << "Nytt spel";
        QTest::newRow("a screen reader hears the tile pressed in a run, and the win")
                << TwoRunsLeft << Nothing << click(left, "imgBild13") + click(left, "imgBild16")
                << 16 << On << 3 << Hidden << "Bricka 15, på sin plats. Löst på 6 flyttningar";
        QTest::newRow("a screen reader hears the move that wins")
                << OneMoveLeft << Nothing << keys("Up") << 16 << On << 2 << Hidden
                << "Bricka 12, på sin plats. Löst på 1 flyttning";
        QTest::newRow("a screen reader hears the last of a burst that wins and goes on")
                << OneMoveLeft << Nothing << keys("Up, Down, Up") << 16 << On << 2 << Hidden
                << "Bricka 12, på sin plats, 3 flyttningar";
        QTest::newRow("a screen reader hears the last of a burst of moves")
                << InOrder << Nothing << keys("Down, Right, Up, Left, Down") << 12 << Off << 5
                << Hidden << "Bricka 11, fel plats, 5 flyttningar";
        QTest::newRow("a screen reader hears the help")
                << InOrder << Nothing << keys("Alt+H, H") << 16 << Off << 0 << Shown
                << "Blanda brickorna Flytta tillbaka dom igen genom att klicka på den eller de "
                   "brickor du vill flytta eller använd piltangenterna. Lycka till!";
        QTest::newRow("a screen reader hears nothing of a key that moves nothing")
                << OneMoveLeft << Nothing << keys("Esc, Left") << 12 << Off << 1 << Hidden << "";
    }
    void input()
    {
        QFETCH(Phase, phase);
        QFETCH(Then, then);
        QFETCH(Steps, steps);
        reach(phase, then);
        // A deal in the steps slides tile 12 down, then up and down again 249 times: it ends
        // one move from order, and a screen reader must not hear of its moves one by one.
        script.deals = { 12 };
        for (int i = 0; i < 249; ++i)
            script.deals << 16 << 12;
        script.sounds.clear();
        sent = {};
        const QString countBefore = qobject_cast<QLabel *>(get("lblFlytt"))->text();
        perform(steps);

        QTEST(emptySquare(), "gap");
        QTEST(get("cmdBlanda")->isEnabled() ? Button::On : Button::Off, "button");
        QTEST(int(script.sounds.size()), "sounds");
        QTEST(get("fraHur")->isVisible() ? Help::Shown : Help::Hidden, "help");
        QTEST(sent.spoken.value(sent.spoken.size() - 1), "said");
        // Each press of a double-click reaches the move rule once, and a square, enabled or not,
        // keeps its presses.
        QVERIFY2(!leaked, "a press got past a square");
        // A screen reader that keeps names hears of a new count and of the square a move left
        // empty; a deal's moves are not told one by one.
        const bool counted = qobject_cast<QLabel *>(get("lblFlytt"))->text() != countBefore;
        QCOMPARE(sent.renamed.contains("lblFlytt")
                         && sent.renamed.contains(QString("imgBild%1").arg(emptySquare())),
                 counted);
        QVERIFY(sent.renamed.size() <= 5 * steps.size());
    }

    // What a desktop and a screen reader find: a fixed client area under the menu bar, the
    // caption, the menus and the help lines, a name on anything shown, the board in reading
    // order, dark words over the sky; the help read when it can be, and the count's place.
    void windowAndTree()
    {
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize()
                && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        deal({ 12, 11 }); // tile 12 down to square 16, then tile 11 right to square 12
        QCOMPARE(w->windowTitle(), " Glidor av Brickmakare");
        // Each menu and its items, none with a shortcut; during a game the deal is off.
        QStringList menus, off;
        for (QAction *top : w->menuBar()->actions())
            for (QAction *item : QList<QAction *>{ top } + top->menu()->actions()) {
                menus << item->text();
                if (!item->isEnabled())
                    off << item->text();
                QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->text()));
            }
        QCOMPARE(menus,
                 QStringList({ "&Meny", "&Blanda", "", "&Avsluta", "&Inställningar", "&Ljud",
                               "&Hjälp", "&Hur man gör" }));
        QCOMPARE(off, QStringList{ "&Blanda" });
        // The help lines one below the other at their own tops, then the panel, over the client
        // area and past it on every side.
        QList<QRect> help;
        for (const QWidget *box : get("fraHur")->findChildren<QWidget *>() + QList{ get("fraHur") })
            help << box->geometry();
        const QList<QRect> lines = {
            { 1, 20, 304, 20 },  { 1, 47, 304, 20 },  { 1, 73, 304, 20 },
            { 1, 100, 304, 20 }, { 1, 127, 304, 20 }, { 1, 153, 304, 20 }
        };
        QCOMPARE(help, lines + QList<QRect>({ { -2, -8, 312, 204 } }));
        // The sky a pixel past the client area to the right and below; the button beside the board.
        QCOMPARE(get("imgBak")->geometry(), QRect(0, 0, 308, 192));
        QCOMPARE(get("cmdBlanda")->geometry(), QRect(207, 133, 61, 27));
        // The board is a canvas of pictures: as a panel Orca would read every label in it at once.
        QCOMPARE(a11y(w->centralWidget())->role(), QAccessible::Canvas);
        QCOMPARE(a11y(get("imgBild1"))->role(), QAccessible::Graphic);
        // What a screen reader finds: a name on everything shown, and the board in reading order.
        QStringList unnamed, board;
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            const QString name = node->text(QAccessible::Name);
            if (!node->state().invisible && name.isEmpty() && node->role() != QAccessible::MenuBar)
                unnamed << (node->object() ? node->object()->objectName() : "a message");
            if (!node->state().invisible && node->parent()
                && node->parent()->object() == w->centralWidget())
                board << name;
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(a11y(w));
        QCOMPARE(unnamed, QStringList());
        const auto home = [](int tile) { return QString("Bricka %1, på sin plats").arg(tile); };
        const auto elsewhere = [](int tile) { return QString("Bricka %1, fel plats").arg(tile); };
        QStringList squares;
        for (int tile : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 })
            squares << home(tile);
        squares << "Tom ruta" << elsewhere(11) << home(13) << home(14) << home(15) << elsewhere(12);
        QCOMPARE(board,
                 squares
                         + QStringList(
                                 { "Antal", "Flyttningar", "Antal flyttningar: 0", "Blanda" }));
        // The sound switch: a check mark, and the words a screen reader says.
        QAccessibleInterface *ljud = a11y(item("mnuLjud"));
        QCOMPARE(ljud->text(QAccessible::Name), "Ljud");
        for (const char *words : { "på", "av", "på" }) {
            QCOMPARE(ljud->state().checkable && ljud->state().checked, words == QString("på"));
            QCOMPARE(ljud->text(QAccessible::Description), QString(words));
            item("mnuLjud")->trigger();
        }
        // The words over the sky keep their own dark colour in any palette.
        const QRect words(166, 26, 139, 100); // "Antal", "Flyttningar" and the count, no button
        QApplication::setPalette(QPalette(Qt::lightGray, Qt::white)); // dark text on light
        const QImage light = w->centralWidget()->grab(words).toImage();
        QApplication::setPalette(QPalette(QColor(40, 40, 40), QColor(30, 30, 30)));
        QCOMPARE(w->centralWidget()->grab(words).toImage(), light);
        away([&] { QCOMPARE(w->centralWidget()->grab(words).toImage(), light); });
        // The help chosen while another window is active is read once the game's is back.
        away([this] { item("mnuHur")->trigger(); });
        QTRY_VERIFY(sent.spoken.value(sent.spoken.size() - 1).endsWith("Lycka till!"));
        // The count grows to the right of a fixed left edge.
        perform(keys("Right, Left, Right, Left, Right, Left, Right, Left, Right, Left"));
        const QFontMetrics m = get("lblFlytt")->fontMetrics();
        QCOMPARE(get("lblFlytt")->geometry(),
                 QRect(227, 86, m.horizontalAdvance("10"), m.height()));
    }

    // Held messages come out in order when released, the thread that logs meanwhile waits its
    // turn, and of Qt's locale warnings only the notice of a switch that was made is dropped.
    void startGuard()
    {
        static QStringList out;
        const QtMessageHandler test = qInstallMessageHandler(
                [](QtMsgType, const QMessageLogContext &, const QString &text) { out << text; });
        glidor::installStartGuard();
        const QString locale = "Detected locale \"C\" with character encoding \"ANSI_X3.4-1968\", "
                               "which is not UTF-8.\nQt depends on a UTF-8 locale, ";
        qWarning("%s", qPrintable(locale + "and has switched to \"C.UTF-8\" instead."));
        qWarning("%s", qPrintable(locale + "but has failed to switch to one."));
        std::atomic<int> logged = 0;
        std::atomic<bool> released = false;
        std::thread other([&] { // from before the release to well after it
            for (int after = 0; after < 200; after += released)
                qInfo("#%d", logged++);
        });
        QTRY_VERIFY(logged > 100);
        glidor::releaseStartGuard();
        released = true;
        other.join();
        qInstallMessageHandler(test);
        QStringList expected = { locale + "but has failed to switch to one." };
        while (expected.size() <= logged)
            expected << "#" + QString::number(expected.size() - 1);
        QCOMPARE(out.filter(QRegularExpression("^(#|Detected)")), expected); // Qt may say more
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
