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

class WindowTest : public QObject
{
    Q_OBJECT
    FrmGlidor *w = nullptr;
    Script script;
    QStringList &sounds = script.sounds;
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
    int gap() const // the square called empty
    {
        int k = 16;
        while (k && name(QStringLiteral("imgBild%1").arg(k)) != "Tom ruta")
            --k;
        return k;
    }
    void deal(const QList<int> &squares = {})
    {
        script.deals = squares;
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
    // key sequence, or press/release/click/double, mouse button, control; each step is handled
    // before the next comes, as keys 40 ms apart are.
    void play(const QString &phase, const QString &input, const QList<int> &next = { 12 })
    {
        if (!phase.startsWith("start"))
            deal(phase.contains("near") ? QList<int>{ 12 } : QList<int>{});
        if (phase.contains("win"))
            play("start", "click 1 imgBild16");
        if (phase.contains("help"))
            get<QAction>("mnuHur")->trigger();
        if (phase.contains("away"))
            away();
        QCoreApplication::processEvents();
        script.deals = next; // what the next shuffle draws
        sounds.clear();
        sent = {};
        for (const QString &step : input.split(", ", Qt::SkipEmptyParts)) {
            const QStringList words = step.split(' ');
            const auto action = QStringList({ "press", "release", "click", "double" });
            if (words.size() > 1)
                QTest::mouseEvent(QTest::MouseAction(action.indexOf(words[0])), w->windowHandle(),
                                  Qt::MouseButton(words[1].toInt()), {},
                                  get(words.value(2, "imgBild12"))->mapTo(w, QPoint(16, 10)));
            else
                QTest::keySequence(w->windowHandle(), QKeySequence(step));
            QCoreApplication::processEvents();
        }
    }

private slots:
    void initTestCase()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent *e) {
            if (e->type() == QAccessible::NameChanged)
                sent.renamed << e->object()->objectName();
            const QAccessible::Id id = QAccessible::uniqueId(e->accessibleInterface());
            if (e->type() == QAccessible::Focus && !sent.focused.contains(id))
                sent.spoken << e->accessibleInterface()->text(QAccessible::Name);
            if (e->type() == QAccessible::Focus)
                sent.focused << id;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
            if (e->type() == QAccessible::Announcement)
                sent.spoken << static_cast<QAccessibleAnnouncementEvent *>(e)->message();
#endif
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
        leaked = 0;
        QApplication::setPalette(QPalette());
    }

    void darkPalette() // the words over the sky keep their own dark colour in any palette
    {
        deal({ 13, 1 });
        const QRect words(166, 26, 139, 100); // "Antal", "Flyttningar" and the count, no button
        QApplication::setPalette(QPalette(Qt::lightGray, Qt::white)); // dark text on light
        const QImage light = w->centralWidget()->grab(words).toImage();
        QApplication::setPalette(QPalette(QColor(40, 40, 40), QColor(30, 30, 30)));
        QCOMPARE(w->centralWidget()->grab(words).toImage(), light);
        away([&] { QCOMPARE(w->centralWidget()->grab(words).toImage(), light); });
    }

    void input_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        // What the player meets: the gap, the button on or off, the sounds, the help shown. A
        // deal leaves the board in order, so a solved check ends the game.
        QTest::addColumn<QString>("after");
        const auto row = [](const char *sentence, const char *phase, const QString &input,
                            const char *after) {
            QTest::addRow("%s (%s: %s)", sentence, phase, qPrintable(input))
                    << phase << input << after;
        };
        row("before the first deal no arrow moves", "start", "Right, Shift+Down, Ctrl+Left, Alt+Up",
            "16 on 0");
        row("nor any press", "start", "click 1, click 2, double 4", "16 on 0");
        row("the keys leave the help shown", "start help", "Left, Alt+Right", "16 on 0 help");
        row("a click on a line hides it", "start help", "click 4 imgBild16", "16 on 0");
        row("a press on a line, a release off it", "start help",
            "press 1 lblHur3, release 1 lblHur5", "16 on 0 help");
        row("in a game an arrow slides a tile, Shift or not", "deal", "Shift+Right", "15 off 1");
        row("Ctrl or Alt", "deal", "Ctrl+Down, Alt+Down", "8 off 2");
        row("an arrow off the board checks the board, in order", "deal", "Left", "16 on 1");
        row("with Alt too", "deal", "Alt+Up", "16 on 1");
        row("the help stays shown through the arrows", "deal help", "Ctrl+Down", "12 off 1 help");
        row("every mouse button moves", "deal", "click 1, click 2 imgBild8, click 4 imgBild4",
            "4 off 3");
        row("a double-click is two presses, the second on the gap", "deal",
            "double 1, double 2 imgBild8, double 4 imgBild4", "4 off 6");
        row("a press with the help shown only hides it", "deal help", "click 2", "16 off 0");
        row("the second press of a double-click moves", "deal help", "double 4", "12 off 1");
        row("a double-click that hides the help and wins", "near help", "double 1 imgBild16",
            "16 on 2");
        row("after a game the arrows still move, silently", "win away",
            "Right, Shift+Right, Ctrl+Down, Alt+Left", "11 on 0");
        row("the gap takes presses, silently, the other squares none", "win away",
            "click 1 imgBild16, double 4, click 2", "16 on 0");
        // The button keeps the focus until a deal, and then the board has it.
        row("Space deals", "start", "Space", "12 off 1");
        row("Return deals, the help shown", "start help", "Return", "12 off 1 help");
        row("Enter deals", "start", "Enter", "12 off 1");
        row("a press on the button with the help shown only hides it", "start help",
            "click 1 cmdBlanda", "16 on 0");
        row("after a game Space and Return deal nothing", "win away", "Space, Return", "16 on 0");
        row("a press on the button deals", "win away", "click 1 cmdBlanda", "12 off 1");
        row("Tab leads to the button", "win", "Tab, Space", "12 off 1");
        // Whatever the way through the menus, the keys go back to where they went before.
        for (const char *route :
             { "Alt+M, Esc, Esc", "Alt+M, Esc, Alt+I, Esc, Esc",
               "Alt+M, Esc, Alt+H, H, click 1 fraHur", "Alt+I, Esc, Alt+M, Right, Esc, Esc" }) {
            row("the button", "start", QString(route) + ", Right, Space", "12 off 1");
            row("the board", "deal", QString(route) + ", Right", "15 off 1");
            row("the board after a game", "win", QString(route) + ", Right, Space", "15 on 0");
        }
        row("the sound switched off on the way", "start", "Alt+I, Esc, Alt+I, L, Right, Space",
            "12 off 0");
        row("a deal from the menu gives the keys to the board", "start",
            "Alt+M, Esc, Alt+M, B, Right", "11 off 2");
    }
    void input()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, after);
        play(phase, input);
        // Each press of a double-click reaches the move rule once, and a square, enabled or not,
        // keeps its presses.
        QCOMPARE(QString::asprintf("%d %s %d", gap(), get("cmdBlanda")->isEnabled() ? "on" : "off",
                                   int(sounds.size()))
                         + (get("fraHur")->isVisible() ? " help" : "")
                         + (leaked ? ", a press got past a square" : ""),
                 after);
    }

    void heard_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("said"); // the last thing a screen reader is sure to say
        const auto row = [](const char *name, const char *phase, const char *input,
                            const char *said) {
            QTest::addRow("%s", name) << phase << input << said;
        };
        row("a deal from the menu starts a game", "start", "Alt+M, B", "Nytt spel");
        row("a tile leaves its square", "deal", "Down", "Bricka 12, fel plats, 1 flyttning");
        row("a run of three tells the pressed tile", "deal", "click 1 imgBild13",
            "Bricka 13, fel plats, 3 flyttningar");
        row("the winning move", "near", "Up", "Bricka 12, på sin plats. Löst på 1 flyttning");
        row("a burst ends with the last move", "near", "Up, Down, Up",
            "Bricka 12, på sin plats, 3 flyttningar");
        row("a longer one", "deal", "Down, Right, Up, Left, Down",
            "Bricka 11, fel plats, 5 flyttningar");
        row("the help panel", "deal", "Alt+H, H",
            "Blanda brickorna Flytta tillbaka dom igen genom att klicka på den eller de brickor "
            "du vill flytta eller använd piltangenterna. Lycka till!");
        row("a key that moves nothing", "near", "Left", "nothing");
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
        // A screen reader that keeps names hears of a new count; a deal's moves are not told
        // one by one.
        QCOMPARE(sent.renamed.contains("lblFlytt"), said.contains("flyttning"));
        QVERIFY2(sent.renamed.size() <= 3 * input.count(',') + 5,
                 qPrintable(sent.renamed.join(' ')));
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
        // The squares as "7" at home, "7 away" elsewhere.
        QCOMPARE(board.join("; ")
                         .remove(QRegularExpression("Bricka |, på sin plats"))
                         .replace(", fel plats", " away"),
                 "1; 2; 3; 4; 5; 6; 7; 8; 9; 10; Tom ruta; 11 away; 13; 14; 15; 12 away; Antal; "
                 "Flyttningar; Antal flyttningar: 0; Blanda");
        QVERIFY2(!a11y(get("lblFlytt"))->valueInterface()
                         && a11y(get("lblFlytt"))->actionInterface()->actionNames().isEmpty(),
                 "the count is only read");
        // The sound switch: a check mark, and the words a screen reader says.
        QAccessibleInterface *ljud = a11y(get<QAction>("mnuLjud"));
        for (const char *words : { "på", "av", "på" }) {
            QCOMPARE(ljud->state().checkable && ljud->state().checked, words == QString("på"));
            QCOMPARE(ljud->text(QAccessible::Description), QString(words));
            get<QAction>("mnuLjud")->trigger();
        }
    }

    void windowAndMenus() // a fixed client area under the menu bar, the caption, the menus
    {
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize()
                && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        // Each menu and its items, + for a check mark, ! for a shortcut; the help lines one below
        // the other at their own tops.
        QStringList seen = { w->windowTitle() };
        for (QAction *top : w->menuBar()->actions())
            for (QAction *item : QList<QAction *>{ top } + top->menu()->actions())
                seen << item->text() + (item->isChecked() ? "+" : "")
                                + (item->shortcut().isEmpty() ? "" : "!");
        for (const QLabel *line : get("fraHur")->findChildren<QLabel *>())
            seen << QString::asprintf("%d,%d %dx%d", line->x(), line->y(), line->width(),
                                      line->height());
        QCOMPARE(seen.join("; "),
                 " Glidor av Brickmakare; &Meny; &Blanda; ; &Avsluta; &Inställningar; &Ljud+; "
                 "&Hjälp; &Hur man gör; 1,20 304x20; 1,47 304x20; 1,73 304x20; 1,100 304x20; "
                 "1,127 304x20; 1,153 304x20");
    }

    void wholeGame()
    {
        deal({ 13, 1 }); // the bottom row right (three tiles), then the left column down (three)
        play("start", "click 1 imgBild13, click 1 imgBild16"); // the column up, the row left
        QCOMPARE(sounds, QStringList({ "Move.wav", "Move.wav", "Done.wav" }));
        QCOMPARE(name("lblFlytt"), "Antal flyttningar: 6"); // the count read with its name
        // The help chosen while another window is active is read once the game's is back.
        away([this] { get<QAction>("mnuHur")->trigger(); });
        QTRY_VERIFY(sent.spoken.value(sent.spoken.size() - 1).endsWith("Lycka till!"));
        // After the game the count grows to the right of a fixed left edge.
        play("start", "Right, Left, Right, Left, Right, Left, Right, Left");
        const QFontMetrics m = get("lblFlytt")->fontMetrics();
        QCOMPARE(get("lblFlytt")->geometry(),
                 QRect(227, 86, m.horizontalAdvance("14"), m.height()));
    }

    // Held messages come out in order when released, the thread that logs meanwhile waits its
    // turn, and of Qt's locale warnings only the notice of a switch that was made is dropped.
    void startGuard()
    {
        static QStringList out;
        out.clear();
        const QtMessageHandler test = qInstallMessageHandler(
                [](QtMsgType, const QMessageLogContext &, const QString &text) { out << text; });
        glidor::installStartGuard();
        const QString locale = "Detected locale \"C\" with character encoding \"ANSI_X3.4-1968\", "
                               "which is not UTF-8.\nQt depends on a UTF-8 locale, ";
        qWarning("%s", qPrintable(locale + "and has switched to \"C.UTF-8\" instead."));
        qWarning("%s", qPrintable(locale + "but has failed to switch to one."));
        std::atomic<int> logged = 0;
        std::atomic<bool> released = false;
        std::thread other([&] {
            for (int after = 0; after < 200; after += released)
                qInfo("%d", logged++);
        });
        QTRY_VERIFY(logged > 100);
        glidor::releaseStartGuard();
        released = true;
        other.join();
        qInstallMessageHandler(test);
        QStringList expected = { locale + "but has failed to switch to one." };
        for (int i = 0; i < logged; ++i)
            expected << QString::number(i);
        QCOMPARE(out, expected);
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
