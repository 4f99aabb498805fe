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

// A row of a table from one line, its parts apart by " | ": the last is the one column, what
// is expected; the others, what the case does, name the row, apart by ": " (see given()).
static void row(const QString &line)
{
    const QStringList part = line.split(" | ");
    QTest::newRow(qPrintable(part.mid(0, part.size() - 1).join(": "))) << part.last();
}

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
    int leaked = 0; // presses that got past the controls to the client area

    bool eventFilter(QObject *, QEvent *e) override
    {
        leaked += e->type() == QEvent::MouseButtonPress;
        return false;
    }

    QWidget *get(const QString &name) const { return w->findChild<QWidget *>(name); }
    QAction *item(const QString &name) const { return w->findChild<QAction *>(name); }
    static auto *a11y(QObject *o) { return QAccessible::queryAccessibleInterface(o); }
    static QString given(int i) { return QString(QTest::currentDataTag()).section(": ", i, i); }
    QString name(const QString &c) const { return a11y(get(c))->text(QAccessible::Name); }
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

    // Phases: "start"; "deal" (left in order); "near" (tile 12 one move away); "win" (a deal ended
    // by a press on the gap); "help" (the panel shown); "away" (another window between). Steps: a
    // key sequence, or press/release/click/double, mouse button, control; each step is handled
    // before the next comes, as keys 40 ms apart are.
    void play(const QString &phase, const QString &input)
    {
        if (!phase.startsWith("start"))
            deal(phase.contains("near")          ? QList<int>{ 12 }
                         : phase.contains("far") ? QList<int>{ 13, 1 }
                                                 : QList<int>{});
        if (phase.contains("win"))
            play("start", "click 1 imgBild16");
        if (phase.contains("help"))
            item("mnuHur")->trigger();
        if (phase.contains("away"))
            away();
        QCoreApplication::processEvents();
        // A deal here moves tile 12 down and up 250 times, then down.
        script.deals = QList<int>(501, 12);
        for (int i = 2; i < 501; i += 2)
            script.deals[i] = 16;
        script.sounds.clear();
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

    // Each row: the phase, the input, then what the player meets: the gap, the button on or off,
    // the sounds, the help shown, and after a colon the last thing a screen reader is sure to
    // say. A deal in a phase leaves the board in order, so a solved check ends the game; "far"
    // deals the bottom row right (three tiles), then the left column down (three).
    void input_data()
    {
        QTest::addColumn<QString>("after");
        // Before the first deal no arrow moves, nor any press; the help stays shown through the
        // keys, a click on one of its lines hides it, a press there and a release off it do not.
        row("start | Right, Shift+Down, Ctrl+Left, Alt+Up, click 1, click 2, double 4 | 16 on 0");
        row("start help | press 1 lblHur3, release 1 lblHur5 | 16 on 0 help");
        // In a game an arrow slides a tile, whatever Shift, Ctrl or Alt; an arrow off the board
        // checks the board, here in order.
        row("deal | Shift+Right, Alt+Down | 11 off 2: Bricka 11, fel plats, 2 flyttningar");
        row("deal | Left | 16 on 1");
        row("deal help | Ctrl+Down | 12 off 1 help");
        // Every mouse button moves; a double-click is two presses, the second on the gap. A press
        // with the help shown only hides it, the second of a double-click moves, and wins.
        row("deal | double 1, double 2 imgBild8, double 4 imgBild4 | 4 off 6");
        row("deal help | click 2 | 16 off 0");
        row("near help | double 1 imgBild16 | 16 on 2");
        // After a game the arrows still move, silently.
        row("win away | Right, Shift+Right, Ctrl+Down, Alt+Left | 11 on 0");
        // The button keeps the focus until a deal, and then the board has it: Space, Return and
        // Enter deal, a press on the button deals unless it only hides the help, Tab leads back.
        row("start help | Return | 12 off 1 help");
        row("start | Enter | 12 off 1");
        row("start help | click 1 cmdBlanda | 16 on 0");
        row("win away | Space, Return | 16 on 0");
        row("win away | click 1 cmdBlanda | 12 off 1");
        row("win | Tab, Space | 12 off 1");
        // Whatever the way through the menus, the keys go back to where they went before: the
        // button, the board, the board after a game.
        for (const QString route :
             { "Alt+M, Esc, Esc", "Alt+M, Esc, Alt+I, Esc, Esc",
               "Alt+M, Esc, Alt+H, H, click 1 fraHur", "Alt+I, Esc, Alt+M, Right, Esc, Esc" }) {
            row("start | " + route + ", Right, Space | 12 off 1");
            row("deal | " + route + ", Right | 15 off 1");
            row("win | " + route + ", Right, Space | 15 on 0");
        }
        row("start | Alt+I, Esc, Alt+I, L, Right, Space | 12 off 0"); // the sound switched off
        row("start | Alt+M, Esc, Alt+M, B, Right | 11 off 2"); // a deal from the menu
        // What a screen reader says: the news of a game, each move with the count (of a run of
        // three the pressed tile), the win, the last move of a burst however many it skipped,
        // the help, and nothing for a key that moves nothing.
        row("start | Alt+M, B | 12 off 1: Nytt spel");
        row("far | click 1 imgBild13, click 1 imgBild16 | 16 on 3: Bricka 15, på sin plats. Löst "
            "på 6 flyttningar");
        row("near | Up | 16 on 2: Bricka 12, på sin plats. Löst på 1 flyttning");
        row("near | Up, Down, Up | 16 on 2: Bricka 12, på sin plats, 3 flyttningar");
        row("deal | Down, Right, Up, Left, Down | 12 off 5: Bricka 11, fel plats, 5 flyttningar");
        row("deal | Alt+H, H | 16 off 0 help: Blanda brickorna Flytta tillbaka dom igen genom att "
            "klicka på den eller de brickor du vill flytta eller använd piltangenterna. Lycka "
            "till!");
        row("near | Esc, Left | 12 off 1: nothing");
    }
    void input()
    {
        QFETCH(QString, after);
        play(given(0), given(1));
        // Each press of a double-click reaches the move rule once, and a square, enabled or not,
        // keeps its presses.
        const QString said = sent.spoken.isEmpty() ? "nothing" : sent.spoken.last();
        QCOMPARE(QString::asprintf("%d %s %d", gap(), get("cmdBlanda")->isEnabled() ? "on" : "off",
                                   int(script.sounds.size()))
                         + (get("fraHur")->isVisible() ? " help" : "")
                         + (leaked ? ", a press got past a square" : "")
                         + (after.contains(':') ? ": " + said : ""),
                 after);
        // A screen reader that keeps names hears of a new count and of the square a move left
        // empty; a deal's moves are not told one by one.
        if (after.contains(':'))
            QCOMPARE(sent.renamed.contains("lblFlytt")
                             && sent.renamed.contains(QString("imgBild%1").arg(gap())),
                     said.contains("flyttning"));
        QVERIFY(sent.renamed.size() <= 5 * given(1).count(',') + 5);
    }

    // What a desktop and a screen reader find: a fixed client area under the menu bar, dark words
    // over the sky, the caption, the menus and the help lines, a name on anything shown, the
    // board in reading order; the help read when it can be, and the count's place.
    void windowAndTree()
    {
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize()
                && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        deal({ 12, 11 }); // tile 12 down to square 16, then tile 11 right to square 12
        // Each menu and its items, + for a check mark, - when off, ! for a shortcut; the help lines
        // one below the other at their own tops, then the panel, over the client area and past
        // it on every side; then what a screen reader finds.
        QStringList seen = { w->windowTitle() };
        for (QAction *top : w->menuBar()->actions())
            for (QAction *item : QList<QAction *>{ top } + top->menu()->actions())
                seen << item->text() + (item->isChecked() ? "+" : "")
                                + (item->isEnabled() ? "" : "-")
                                + (item->shortcut().isEmpty() ? "" : "!");
        for (const QWidget *box : get("fraHur")->findChildren<QWidget *>() + QList{ get("fraHur") })
            seen << QString::asprintf("%d,%d %dx%d", box->x(), box->y(), box->width(),
                                      box->height());
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            const QString name = node->text(QAccessible::Name);
            if (!node->state().invisible && name.isEmpty() && node->role() != QAccessible::MenuBar)
                seen << "unnamed " + (node->object() ? node->object()->objectName() : "message");
            if (!node->state().invisible && node->parent()
                && node->parent()->object() == w->centralWidget())
                seen << name;
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(a11y(w));
        // The squares as "7" at home, "7 away" elsewhere.
        QCOMPARE(seen.join("; ")
                         .remove(QRegularExpression("Bricka |, på sin plats"))
                         .replace(", fel plats", " away"),
                 " Glidor av Brickmakare; &Meny; &Blanda-; ; &Avsluta; &Inställningar; &Ljud+; "
                 "&Hjälp; &Hur man gör; 1,20 304x20; 1,47 304x20; 1,73 304x20; 1,100 304x20; "
                 "1,127 304x20; 1,153 304x20; -2,-8 312x204; 1; 2; 3; 4; 5; 6; 7; 8; 9; 10; "
                 "Tom ruta; 11 away; 13; 14; 15; 12 away; Antal; Flyttningar; Antal "
                 "flyttningar: 0; Blanda");
        // The sound switch: a check mark, and the words a screen reader says.
        QAccessibleInterface *ljud = a11y(item("mnuLjud"));
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
        play("start", "Right, Left, Right, Left, Right, Left, Right, Left, Right, Left");
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
