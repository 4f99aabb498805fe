// Drives the real window through Qt's window-system entry points: layout, pixels, input, focus, what a screen reader hears and a whole game.
#include <QtTest>
#include <QtWidgets>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

#include "frmglidor.h"

#include <functional>

// What the player meets after an input, in words that show well in a failed comparison.
static QString state(int gap, bool buttonOn, qsizetype sounds, bool help)
{
    return QString::asprintf("gap %d, button %s, %d sounds%s", gap, buttonOn ? "on" : "off", int(sounds), help ? ", help" : "");
}

static QRect squareRect(int k) { return {32 * ((k - 1) % 4 + 1), 32 * ((k - 1) / 4 + 1), 32, 32}; }

// Relative luminance and contrast ratio as the web's accessibility guidelines define them.
static double luminance(QRgb c)
{
    auto lin = [](int v) { return v <= 10 ? v / 3294.6 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}
static double contrast(QRgb a, QRgb b) { return (std::max(luminance(a), luminance(b)) + .05) / (std::min(luminance(a), luminance(b)) + .05); }

// What a screen reader is sent: how many events, the objects renamed, and whatever gets the focus, whose name it speaks.
static struct { int events; QStringList renamed, spoken; QList<QAccessibleInterface *> focused; } sent;

// The shuffle's draws and the cues, as the window is handed them.
struct Script : glidor::RandomSource, glidor::sound::Player {
    QList<int> deals;               // squares the next shuffle draws first
    std::function<int()> gap;       // after them it draws the gap, which moves nothing
    QStringList sounds;
    void seed() override {}
    float draw() override { return ((deals.isEmpty() ? gap() : deals.takeFirst()) - .5f) / 16; }
    void play(const char *name) override { sounds << name; }
};

class WindowTest : public QObject {
    Q_OBJECT
    FrmGlidor *w = nullptr;
    Script script;
    QStringList &sounds = script.sounds;
    QList<int> &deals = script.deals;
    int leaked = 0;   // presses that got past the controls to the client area

    bool eventFilter(QObject *, QEvent *e) override { leaked += e->type() == QEvent::MouseButtonPress; return false; }

    template <typename T = QWidget> T *get(const QString &name) const { return w->findChild<T *>(name); }
    static QAccessibleInterface *a11y(QObject *o) { return QAccessible::queryAccessibleInterface(o); }
    QString name(const QString &control) const { return a11y(get(control))->text(QAccessible::Name); }
    void menu(const char *name) { get<QAction>(name)->trigger(); }
    QImage grab(const char *name) const { return get(name)->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QPoint at(const QString &name) const { return get(name)->mapTo(w, QPoint(16, 10)); }
    void click(const char *name) { QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at(name)); }
    int gap() const // the square a screen reader calls empty
    {
        int k = 16;
        while (k && name(QStringLiteral("imgBild%1").arg(k)) != "Tom ruta")
            --k;
        return k;
    }
    void deal(const QList<int> &squares = {}) { deals = squares; get<QPushButton>("cmdBlanda")->click(); sounds.clear(); }
    void away(const std::function<void()> &meanwhile = [] {}) // another window active for a while
    {
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        meanwhile();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }

    // Phases: "start"; "deal" (the board left in order); "near" (one move, tile 12 down, from the end);
    // "win" (a deal ended by a press on the gap); "help" (the panel shown); "away" (another window in between).
    void enter(const QString &phase)
    {
        if (!phase.startsWith("start"))
            deal(phase.contains("near") ? QList<int>{12} : QList<int>{});
        if (phase.contains("win"))
            click("imgBild16");
        if (phase.contains("help"))
            menu("mnuHur");
        if (phase.contains("away"))
            away();
        QCoreApplication::processEvents();
        deals = {12};
        sounds.clear();
        sent = {};
    }
    // Steps apart by ", ": a key sequence, or "click" or "double" with a mouse button (1, 2, 4) and a control.
    void play(const QString &input)
    {
        for (const QString &step : input.split(", ")) {
            const QStringList words = step.split(' ');
            if (words.size() > 1)
                QTest::mouseEvent(words[0] == "click" ? QTest::MouseClick : QTest::MouseDClick, w->windowHandle(),
                                  Qt::MouseButton(words[1].toInt()), {}, at(words.value(2, "imgBild12")));
            else
                QTest::keySequence(w->windowHandle(), QKeySequence(step));
        }
    }

private slots:
    void initTestCase()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent *e) {
            ++sent.events;
            if (e->type() == QAccessible::NameChanged)
                sent.renamed << e->object()->objectName();
            if (e->type() == QAccessible::Focus && e->accessibleInterface() != sent.focused.value(sent.focused.size() - 1)) {
                sent.focused << e->accessibleInterface(); // a focus event on the item that has it already is not spoken
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
    void cleanup() { delete w; sounds.clear(); deals.clear(); leaked = 0; QApplication::setPalette(QPalette()); }

    void windowAndMenus()
    {
        QStringList boxes; // each control where it stands and the pixel size of its font
        for (const char *control : {"Label1", "lblLabel", "lblFlytt", "cmdBlanda", "fraHur", "lblHur1", "lblHur2", "lblHur3", "lblHur4", "lblHur5", "lblHur6"})
            boxes << QString::asprintf("%s %d %d %dx%d", control, get(control)->x(), get(control)->y(), get(control)->width(), get(control)->height())
                         + (strstr(control, "cmd") ? "" : QString::asprintf(" %dpx", QFontInfo(get(control)->font()).pixelSize()));
        QCOMPARE(boxes.join(", ").replace(QRegularExpression("lblFlytt 227 86 [0-9]+x[0-9]+"), "lblFlytt 227 86"),
                 "Label1 166 26 139x33 21px, lblLabel 166 56 139x33 21px, lblFlytt 227 86 24px, cmdBlanda 207 133 61x27, fraHur -2 -8 312x204 11px, "
                 "lblHur1 1 20 304x20 13px, lblHur2 1 47 304x20 13px, lblHur3 1 73 304x20 13px, lblHur4 1 100 304x20 13px, "
                 "lblHur5 1 127 304x20 13px, lblHur6 1 153 304x20 13px");
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize() && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QStringList seen = {w->windowTitle()}; // then the menus' captions, + for a check mark, ! for a shortcut
        for (QAction *top : w->menuBar()->actions())
            for (QAction *item : QList<QAction *>{top} + top->menu()->actions())
                seen << item->text() + (item->isChecked() ? "+" : "") + (item->shortcut().isEmpty() ? "" : "!");
        QCOMPARE(seen, QStringList({" Glidor av Brickmakare", "&Meny", "&Blanda", "", "&Avsluta", "&Inställningar", "&Ljud+", "&Hjälp", "&Hur man gör"}));
    }

    void pixels()
    {
        const QImage image = grab("frmGlidorClient");
        const std::pair<QRect, QRgb> frame[] = {{{28, 28, 133, 2}, qRgb(0, 128, 128)}, {{28, 28, 2, 133}, qRgb(0, 128, 128)},
                                                {{162, 30, 2, 132}, qRgb(192, 255, 255)}, {{28, 162, 134, 2}, qRgb(192, 255, 255)}};
        for (const auto &[line, colour] : frame)
            for (int i = 0; i < line.width() * line.height(); ++i)
                QCOMPARE(image.pixel(line.topLeft() + QPoint(i % line.width(), i / line.width())), colour);
        QCOMPARE(image.copy(squareRect(16)), grab("imgBak").copy(squareRect(16))); // the sky in the gap
        menu("mnuHur"); // the panel alone then fills the client area, the button included
        QCOMPARE(grab("frmGlidorClient"), grab("fraHur").copy(2, 8, 307, 191));
    }

    void darkPalette() // the words over the sky stay readable; the button and the panel take the dark colours
    {
        QPalette dark(QColor(40, 40, 40), QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, Qt::white);
        cleanup();
        QApplication::setPalette(dark);
        init();
        menu("mnuLjud"); // a deal that leaves a two-digit count: its text is wider
        deal({13, 1});
        for (const char *label : {"Label1", "lblLabel", "lblFlytt"}) {
            const QImage text = grab("frmGlidorClient").copy(get(label)->geometry()), sky = grab("imgBak").copy(get(label)->geometry());
            QRgb ink = qRgb(255, 255, 255); // the darkest pixel the text changed
            for (int i = 0; i < text.width() * text.height(); ++i)
                if (text.pixel(i % text.width(), i / text.width()) != sky.pixel(i % text.width(), i / text.width()))
                    ink = std::min(ink, text.pixel(i % text.width(), i / text.width()), [](QRgb a, QRgb b) { return luminance(a) < luminance(b); });
            for (int i = 0; i < text.width() * text.height(); ++i)
                QVERIFY2(contrast(ink, sky.pixel(i % text.width(), i / text.width())) >= 4.5, label);
        }
        QVERIFY(luminance(grab("cmdBlanda").pixel(30, 5)) < .1);
        menu("mnuHur");
        QCOMPARE(grab("frmGlidorClient").pixel(150, 5), dark.color(QPalette::Button).rgb());
    }

    void input_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("after"); // a deal leaves the board in order, so a solved check ends the game
        auto row = [](const char *phase, const QString &input, int gap, bool buttonOn, int sounds) {
            const bool mouse = input.contains("click") || input.contains("double"); // a press anywhere hides the panel
            const bool help = (strstr(phase, "help") || input.contains("Alt+H, H")) && !mouse;
            QTest::addRow("%s: %s", phase, qPrintable(input)) << phase << input << state(gap, buttonOn, sounds, help);
        };
        const std::pair<const char *, int> arrows[] = {{"Right", 15}, {"Down", 12}, {"Left", 16}, {"Up", 16}};
        for (const char *phase : {"start", "start help", "deal", "deal help", "win away"}) {
            const bool inGame = phase[0] == 'd';
            for (const char *m : {"", "Shift+", "Ctrl+", "Alt+"})
                for (auto [k, gap] : arrows)
                    row(phase, QString(m) + k, phase[0] == 's' ? 16 : gap, !inGame || gap == 16, inGame);
            for (const char *click : {"click 1", "click 2", "click 4", "double 1", "double 2", "double 4"})
                if (strcmp(phase, "deal help")) // there a double-click's first press hides the panel, the second moves
                    row(phase, click, strcmp(phase, "deal") ? 16 : 12, !inGame, inGame ? 1 + (*click == 'd') : 0);
        }
        row("near help", "double 1 imgBild16", 16, true, 2); // the first press hides the panel, the second wins
        for (const char *k : {"A", "Space", "Return", "Esc", "F1", "Tab"})
            row("deal", k, 16, false, 0);
        row("start help", "click 4 lblHur6", 16, true, 0);
        for (const char *k : {"Space", "Return", "Enter", "click 1 cmdBlanda"}) { // the button keeps the focus until a deal
            row("start", k, 12, false, 1);
            row("start help", k, *k == 'c' ? 16 : 12, *k == 'c', *k != 'c');
            row("win away", k, *k == 'c' ? 12 : 16, *k != 'c', *k == 'c');
        }
        // Whatever the way through the menus, the keys go back to where they went before.
        for (const char *route : {"Alt+M, Esc, Esc", "Alt+I, Esc, Esc", "Alt+M, Esc, Alt+I, Esc, Esc", "Alt+H, Esc, Alt+M, Esc, Alt+I, Esc, Esc",
                                  "Alt+M, Esc, Alt+H, H, click 1 fraHur", "Alt+I, Esc, Alt+M, Right, Esc, Esc"}) {
            row("start", QString(route) + ", Right, Space", 12, false, 1);
            row("deal", QString(route) + ", Right", 15, false, 1);
            row("win", QString(route) + ", Right, Space", 15, true, 0);
        }
        row("start", "Alt+I, Esc, Alt+I, L, Right, Space", 12, false, 0); // the sound switched off on the way
        row("start", "Alt+M, Esc, Alt+M, B, Right", 11, false, 2);      // a deal from the menu gives the keys to the board
        row("win", "Tab, Space", 12, false, 1);
    }
    void input()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, after);
        enter(phase);
        play(input);
        // Each press of a double-click reaches the move rule once, and a square, enabled or not, keeps its presses.
        QCOMPARE(state(gap(), get("cmdBlanda")->isEnabled(), sounds.size(), get("fraHur")->isVisible())
                     + (leaked ? ", a press got past a square" : ""), after);
    }

    void heard_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("said");
        QTest::addRow("a deal starts a game") << "start" << "Space" << "Nytt spel";
        QTest::addRow("so does a deal from the menu") << "start" << "Alt+M, B" << "Nytt spel";
        QTest::addRow("a tile leaves its square") << "deal" << "Down" << "Bricka 12 fel plats, 1 flyttning";
        QTest::addRow("a run of three tells the pressed tile") << "deal" << "click 1 imgBild13" << "Bricka 13 fel plats, 3 flyttningar";
        QTest::addRow("the winning move") << "near" << "Up" << "Bricka 12 på sin plats. Löst på 1 flyttning";
        QTest::addRow("back and forth after the game") << "near" << "Up, Down, Up" << "Bricka 12 på sin plats, 3 flyttningar";
        QTest::addRow("the help panel") << "deal" << "Alt+H, H" << "Blanda brickorna Flytta tillbaka dom igen genom att klicka på den "
                                                                "eller de brickor du vill flytta eller använd piltangenterna. Lycka till!";
        QTest::addRow("a key that moves nothing") << "near" << "Left" << "nothing";
        QTest::addRow("a press on a tile out of line") << "near" << "click 1 imgBild1" << "nothing";
        QTest::addRow("a move after the game") << "win" << "Down" << "Bricka 12 fel plats, 1 flyttning";
    }
    void heard()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, said);
        enter(phase);
        for (int i = 0; i < 500; ++i) // a deal here moves tile 12 down and up again 250 times
            deals.append(12 + 4 * (i % 2));
        play(input);
        QCoreApplication::processEvents();
        QCOMPARE(sent.spoken.isEmpty() ? "nothing" : sent.spoken.last(), said);
        QCOMPARE(sent.renamed.contains("lblFlytt"), said.contains("flyttning")); // a screen reader that keeps names hears of a new count
        QVERIFY2(sent.events < 50, qPrintable(QString::number(sent.events))); // a deal's 500 moves are not told one by one
    }

    void accessibilityTree()
    {
        QStringList unnamed, board; // anything shown that a screen reader can land on has a name; the board in reading order
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            if (!node->state().invisible && node->text(QAccessible::Name).isEmpty() && node->role() != QAccessible::MenuBar)
                unnamed << (node->object() ? node->object()->objectName() : "a message");
            if (node->object() && node->object()->objectName().startsWith("imgBild"))
                board << node->object()->objectName().mid(7);
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(a11y(w));
        QCOMPARE(unnamed, QStringList());
        QCOMPARE(board.join(' '), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
        for (const char *sound : {"av", "på"}) { // a screen reader says whether the sound is on or off
            menu("mnuLjud");
            QCOMPARE(a11y(get<QAction>("mnuLjud"))->text(QAccessible::Description), QString::fromUtf8(sound));
            QCOMPARE(a11y(get<QAction>("mnuLjud"))->state().checked, *sound == 'p');
        }
        QAccessibleInterface *counter = a11y(get("lblFlytt"));
        QVERIFY(!counter->valueInterface() && counter->actionInterface()->actionNames().isEmpty()); // a count to read, nothing to change
    }

    void wholeGame()
    {
        QCOMPARE(QStringList({name("Label1"), name("lblLabel"), name("lblFlytt"), name("cmdBlanda")}).join(", "),
                 QStringLiteral("Antal, Flyttningar, Antal flyttningar: 0, Blanda"));
        QCOMPARE(name("imgBild7") + name("imgBild16"), QStringLiteral("Bricka 7, på sin platsTom ruta"));
        deal({13, 1}); // the bottom row slides right (three tiles), then the left column down (three more)
        QCOMPARE(name("imgBild13") + name("imgBild1"), QStringLiteral("Bricka 9, fel platsTom ruta"));
        QVERIFY(!get("cmdBlanda")->isEnabled() && !get<QAction>("mnuBlanda")->isEnabled());
        click("imgBild13"); // the column back up
        QCOMPARE(name("lblFlytt"), QStringLiteral("Antal flyttningar: 3"));
        click("imgBild16"); // the row back left
        QVERIFY(get("cmdBlanda")->isEnabled() && get<QAction>("mnuBlanda")->isEnabled() && !get("imgBild0")->isVisible());
        QCOMPARE(sounds, QStringList({"Move.wav", "Move.wav", "Done.wav"}));
        for (int k = 1; k <= 15; ++k)
            QCOMPARE(grab("frmGlidorClient").pixel(squareRect(k).topLeft() + QPoint(3, 3)), qRgb(206, 203, 0)); // yellow: home
        away([this] { menu("mnuHur"); }); // the help chosen while another window is active is read once the game's is back
        QTRY_VERIFY(sent.spoken.value(sent.spoken.size() - 1).endsWith("Lycka till!"));
        for (int i = 0; i < 12; ++i) // after the game: a two-digit count, which grows to the right of a fixed left edge
            QTest::keyClick(w->windowHandle(), i % 2 ? Qt::Key_Left : Qt::Key_Right);
        const QFontMetrics m = get("lblFlytt")->fontMetrics();
        QCOMPARE(get("lblFlytt")->geometry(), QRect(227, 86, m.horizontalAdvance("12"), m.height()));
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
