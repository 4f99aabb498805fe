// Drives the real window through Qt's window-system entry points: layout, pixels, input, focus and a whole game.
#include <QtTest>
#include <QtWidgets>

#include "frmglidor.h"

#include <functional>

// What the player meets after an input, in words that show well in a failed comparison.
static QString state(int gap, bool buttonOn, qsizetype sounds, bool help)
{
    return QString::asprintf("gap %d, button %s, %d sounds%s", gap, buttonOn ? "on" : "off", int(sounds), help ? ", help" : "");
}

static QRect squareRect(int k) { return {32 * ((k - 1) % 4 + 1), 32 * ((k - 1) / 4 + 1), 32, 32}; }

// The shuffle's draws and the cues, as the window is handed them.
struct Script : glidor::RandomSource, glidor::sound::Player {
    QList<int> deals;               // squares the next shuffle draws first
    std::function<int()> gap;       // after them it draws the gap, which moves nothing
    QStringList sounds;
    int seeds = 0;
    void seed() override { ++seeds; }
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
    void menu(const char *name) { get<QAction>(name)->trigger(); }
    QImage grab(const char *name) const { return get(name)->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QPoint at(const QString &name) const { return get(name)->mapTo(w, QPoint(16, 10)); }
    void click(const char *name) { QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at(name)); }
    // The square a screen reader calls empty.
    int gap() const
    {
        for (int k = 1; k <= 16; ++k)
            if (QAccessible::queryAccessibleInterface(get(QStringLiteral("imgBild%1").arg(k)))->text(QAccessible::Name) == "Tom ruta")
                return k;
        return 0;
    }
    void deal(const QList<int> &squares = {}) { deals = squares; get<QPushButton>("cmdBlanda")->click(); sounds.clear(); }

private slots:
    void init()
    {
        script.gap = [this] { return gap(); };
        w = new FrmGlidor(script, script);
        w->show();
        w->centralWidget()->installEventFilter(this);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup() { delete w; sounds.clear(); deals.clear(); leaked = 0; }

    void layout_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("px"); // font size in pixels
        QTest::addRow("Label1") << QRect(166, 26, 139, 33) << "Antal" << 21;
        QTest::addRow("lblLabel") << QRect(166, 56, 139, 33) << "Flyttningar" << 21;
        QTest::addRow("cmdBlanda") << QRect(207, 133, 61, 27) << "Blanda" << 0;
        QTest::addRow("fraHur") << QRect(-2, -8, 312, 204) << "" << 11;
        const char *help[] = {"Blanda brickorna", "Flytta tillbaka dom igen", "genom att klicka på den",
                              "eller de brickor du vill flytta", "eller använd piltangenterna.", "Lycka till!"};
        const int tops[] = {20, 47, 73, 100, 127, 153};
        for (int i = 0; i < 6; ++i)
            QTest::addRow("lblHur%d", i + 1) << QRect(1, tops[i], 304, 20) << QString::fromUtf8(help[i]) << 13;
    }
    void layout()
    {
        QFETCH(QRect, box);
        QFETCH(QString, text);
        QFETCH(int, px);
        QWidget *control = get(QTest::currentDataTag());
        QCOMPARE(control->geometry(), box);
        QCOMPARE(control->property("text").toString(), text);
        QVERIFY(!px || QFontInfo(control->font()).pixelSize() == px);
    }

    void windowAndMenus()
    {
        QCOMPARE(w->centralWidget()->geometry(), QRect(0, w->menuBar()->height(), 307, 191));
        QVERIFY(w->minimumSize() == w->maximumSize() && !(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(QFontInfo(get("lblFlytt")->font()).pixelSize(), 24);
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

    void input_data()
    {
        QTest::addColumn<QString>("phase"); // before the input: a deal, the help panel, a win and a visit to another window
        QTest::addColumn<QString>("input"); // a key sequence, or a click or double-click of mouse button 1, 2 or 4 on a control
        QTest::addColumn<QString>("after"); // a deal leaves the board in order, so a solved check ends the game
        auto row = [](const char *phase, const QString &input, int gap, bool buttonOn, int sounds) {
            const bool help = strstr(phase, "help") && !input.contains(' '); // a press anywhere hides the panel
            QTest::addRow("%s: %s", phase, qPrintable(input)) << phase << input << state(gap, buttonOn, sounds, help);
        };
        const std::pair<const char *, int> arrows[] = {{"Right", 15}, {"Down", 12}, {"Left", 16}, {"Up", 16}};
        for (const char *phase : {"start", "start help", "deal", "deal help", "deal win away"}) {
            const bool inGame = phase[0] == 'd' && !strstr(phase, "win");
            for (const char *m : {"", "Shift+", "Ctrl+", "Alt+"})
                for (auto [k, gap] : arrows)
                    row(phase, QString(m) + k, phase[0] == 's' ? 16 : gap, !inGame || gap == 16, inGame);
            for (const char *click : {"click 1", "click 2", "click 4", "double 1", "double 2", "double 4"})
                if (strcmp(phase, "deal help")) // there a double-click's first press hides the panel, the second moves
                    row(phase, click, strcmp(phase, "deal") ? 16 : 12, !inGame, inGame ? 1 + (*click == 'd') : 0);
        }
        for (const char *k : {"A", "Space", "Return", "Esc", "F1", "Tab"})
            row("deal", k, 16, false, 0);
        row("start help", "click 4 lblHur6", 16, true, 0);
        for (const char *k : {"Space", "Return", "Enter", "click 1 cmdBlanda"}) { // the button keeps the focus until a deal
            row("start", k, 12, false, 1);
            row("start help", k, *k == 'c' ? 16 : 12, *k == 'c', *k != 'c');
            row("deal win away", k, *k == 'c' ? 12 : 16, *k != 'c', *k == 'c');
        }
    }
    void input()
    {
        QFETCH(QString, phase);
        QFETCH(QString, input);
        QFETCH(QString, after);
        if (phase.startsWith("deal"))
            deal();
        if (phase.contains("help"))
            menu("mnuHur");
        if (phase.contains("win")) { // then away to another window and back: the keys still come to the window
            click("imgBild16");
            QWidget other;
            other.show();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
        }
        deals = {12};
        sounds.clear();
        const QStringList words = input.split(' ');
        if (words.size() > 1)
            QTest::mouseEvent(words[0] == "click" ? QTest::MouseClick : QTest::MouseDClick, w->windowHandle(),
                              Qt::MouseButton(words[1].toInt()), {}, at(words.value(2, "imgBild12")));
        else
            QTest::keySequence(w->windowHandle(), QKeySequence(input));
        // Each press of a double-click reaches the move rule once, and a square, enabled or not, keeps its presses.
        QCOMPARE(state(gap(), get("cmdBlanda")->isEnabled(), sounds.size(), get("fraHur")->isVisible())
                     + (leaked ? ", a press got past a square" : ""), after);
    }

    void menuItems()
    {
        menu("mnuLjud"); // the sound mark off, a deal through the menu, and the mark on again
        menu("mnuBlanda");
        QVERIFY(!get("cmdBlanda")->isEnabled() && !get<QAction>("mnuBlanda")->isEnabled() && sounds.isEmpty());
        menu("mnuLjud");
        QTest::keyClick(w->windowHandle(), Qt::Key_Down);
        QCOMPARE(sounds, QStringList({"Move.wav"}));
    }

    void wholeGame()
    {
        auto name = [this](const QString &x) { return QAccessible::queryAccessibleInterface(get(x))->text(QAccessible::Name); };
        QCOMPARE(name("cmdBlanda") + name("fraHur") + name("lblFlytt"), QStringLiteral("BlandaHjälpAntal flyttningar: 0"));
        QCOMPARE(name("imgBild7") + name("imgBild16"), QStringLiteral("Bricka 7, på sin platsTom ruta"));
        deal({13, 1}); // the bottom row slides right (three tiles), then the left column down (three more)
        QCOMPARE(name("imgBild13") + name("imgBild1"), QStringLiteral("Bricka 9, fel platsTom ruta"));
        QCOMPARE(grab("frmGlidorClient").copy(squareRect(1)), grab("imgBak").copy(squareRect(1)));
        click("imgBild13"); // the column back up
        QCOMPARE(name("lblFlytt") + QAccessible::queryAccessibleInterface(get("lblFlytt"))->text(QAccessible::Value), QStringLiteral("Antal flyttningar: 33"));
        click("imgBild16"); // the row back left
        QVERIFY(get("cmdBlanda")->isEnabled() && get<QAction>("mnuBlanda")->isEnabled() && !get("imgBild0")->isVisible());
        QCOMPARE(sounds, QStringList({"Move.wav", "Move.wav", "Done.wav"}));
        for (int k = 1; k <= 15; ++k)
            QCOMPARE(grab("frmGlidorClient").pixel(squareRect(k).topLeft() + QPoint(3, 3)), qRgb(206, 203, 0)); // yellow: home
        deal(); // from the solved board a deal that moves nothing; then twelve moves
        for (int i = 0; i < 12; ++i) // make a two-digit count, which grows to the right of a fixed left edge
            QTest::keyClick(w->windowHandle(), i % 2 ? Qt::Key_Left : Qt::Key_Right);
        const QFontMetrics m = get("lblFlytt")->fontMetrics();
        QCOMPARE(get("lblFlytt")->geometry(), QRect(227, 86, m.horizontalAdvance("12"), m.height()));
    }
};

QTEST_MAIN(WindowTest)
#include "window_tests.moc"
