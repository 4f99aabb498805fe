// The game's one window: its layout and menus, the window operations of the core, the handlers.
#include "frmglidor.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "accessibility.h"
#include "controls.h"
#include "pictures.h"
#include "sound.h"

// The window, each control, each menu and each menu item carry the game's name
// for them as their objectName; elements of a control array get their index
// appended: imgBild0 .. imgBild16 and lblHur1 .. lblHur6. The menu bar, which
// the game does not name, has none, and the client area is frmGlidorClient.

using namespace glidor;

namespace {

constexpr QSize ClientSize(307, 191);

// Sizes in pixels, so the look does not follow the screen's dpi setting;
// high-dpi scaling then scales the whole window as one. The first family is
// the one the game was drawn with; the second is its free stand-in on Debian.
QFont comicFont(int pixels)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue") });
    font.setPixelSize(pixels);
    return font;
}

QFont verdanaFont(int pixels)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans") });
    font.setPixelSize(pixels);
    return font;
}

QLabel *makeLabel(const char *name, const QString &text, const QFont &font, const QRect &box,
                  QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(box);
    return label;
}

// A line of the board frame, 2 pixels wide between two end points. The pen
// is a 2 by 2 square centred on each point of the line, which covers pixels
// c - 1 and c across it: that leaves the same two pixels of sky between the
// frame and the board on every side.
void makeLine(const char *name, QPoint from, QPoint to, QColor colour, QWidget *parent)
{
    auto *line = new QWidget(parent);
    line->setObjectName(QLatin1String(name));
    line->setGeometry(QRect(QPoint(std::min(from.x(), to.x()) - 1, std::min(from.y(), to.y()) - 1),
                            QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y()))));
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
}

} // namespace

FrmGlidor::FrmGlidor(RandomSource &random, sound::Player &sound, QWidget *parent)
    : QMainWindow(parent), m_random(random), m_sound(sound), m_puzzle(m_board, *this)
{
    setObjectName(QStringLiteral("frmGlidor"));
    setWindowTitle(QStringLiteral(" Glidor av Brickmakare"));
    // Every size up to 128, so a task bar or a switcher at any scale shows a
    // drawn icon rather than a blown-up one. X11 window icons stop at 128 (the
    // menu's 256 comes from the icon theme); a larger one would only cost memory.
    QIcon icon;
    for (const QImage &image : pictures::icons())
        if (image.width() <= 128)
            icon.addPixmap(QPixmap::fromImage(image));
    setWindowIcon(icon);
    // A fixed border with minimise and close, but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    // QMainWindow would offer a menu of tool bars on a right click.
    setContextMenuPolicy(Qt::NoContextMenu);
    installAccessibility();

    buildMenus();
    buildControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    m_news = std::make_unique<ScreenReaderNews>(m_board, *m_client, imgBild, *lblFlytt, *cmdBlanda);

    m_puzzle.Form_Load();

    QList<QWidget *> readingOrder(imgBild.begin() + 1, imgBild.end());
    readingOrder << Label1 << lblLabel << lblFlytt << cmdBlanda << fraHur;
    m_client->setReadingOrder(readingOrder);

    // The only control that can take the focus starts with it, so the arrow
    // keys reach the button and not the board until the first shuffle.
    cmdBlanda->setFocus(Qt::OtherFocusReason);

    adjustSize();
    if (const QScreen *where = screen())
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 where->availableGeometry())
                     .topLeft());
}

FrmGlidor::~FrmGlidor() = default;

void FrmGlidor::buildMenus()
{
    auto *bar = new MenuBar(this);
    setMenuBar(bar);
    auto addMenu = [bar](const char *name, const QString &title) {
        QMenu *menu = bar->addMenu(title);
        menu->setObjectName(QString::fromUtf8(name));
        return menu;
    };
    auto addItem = [this](QMenu *menu, const char *name, const QString &text,
                          void (FrmGlidor::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        if (handler)
            connect(action, &QAction::triggered, this, handler);
        return action;
    };

    QMenu *mnuMeny = addMenu("mnuMeny", QStringLiteral("&Meny"));
    mnuBlanda =
            addItem(mnuMeny, "mnuBlanda", QStringLiteral("&Blanda"), &FrmGlidor::mnuBlanda_Click);
    mnuMeny->addSeparator()->setObjectName(QStringLiteral("mnuTomt"));
    addItem(mnuMeny, "mnuAvsluta", QStringLiteral("&Avsluta"), &FrmGlidor::mnuAvsluta_Click);

    QMenu *mnuInstallningar = addMenu("mnuInställningar", QStringLiteral("&Inställningar"));
    // Qt inverts the mark of a checkable item each time it is chosen, which is
    // all that choosing "Ljud" does; the core reads the mark before each sound.
    mnuLjud = addItem(mnuInstallningar, "mnuLjud", QStringLiteral("&Ljud"), nullptr);
    mnuLjud->setCheckable(true);
    mnuLjud->setChecked(true);

    QMenu *mnuHjalp = addMenu("mnuHjälp", QStringLiteral("&Hjälp"));
    addItem(mnuHjalp, "mnuHur", QStringLiteral("&Hur man gör"), &FrmGlidor::mnuHur_Click);
}

void FrmGlidor::buildControls()
{
    m_client = new BoardArea(this);
    m_client->setObjectName(
            QStringLiteral("frmGlidorClient")); // the client area below the menu bar
    m_client->setAccessibleName(QStringLiteral("Spelplan"));
    m_client->setFixedSize(ClientSize);
    QPalette palette = m_client->palette();
    palette.setColor(QPalette::Window, QColor(0, 192, 192));
    m_client->setPalette(palette);
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    // A new child is drawn above its older siblings, so the controls are made
    // from the back of the stacking order to the front.
    imgBak = new PictureBox(PictureBox::Fit::Stretch, m_client);
    imgBak->setObjectName(QStringLiteral("imgBak"));
    // 308 by 192 as the game was designed; the window's fixed client area
    // shows 307 by 191 of it.
    imgBak->setGeometry(0, 0, 308, 192);
    imgBak->setPicture(pictures::background());

    // The design element of the squares: never on the board, and below the
    // client area besides. It needs no picture since it is never seen.
    imgBild[0] = new BoardSquare(0, m_client);
    imgBild[0]->setObjectName(QStringLiteral("imgBild0"));
    imgBild[0]->setGeometry(67, 200, 32, 32);
    imgBild[0]->hide();

    const QColor darkCyan(0, 128, 128);
    const QColor paleCyan(192, 255, 255);
    makeLine("Line1", { 29, 163 }, { 161, 163 }, paleCyan, m_client);
    makeLine("Line2", { 163, 31 }, { 163, 161 }, paleCyan, m_client);
    makeLine("Line3", { 29, 29 }, { 160, 29 }, darkCyan, m_client);
    makeLine("Line4", { 29, 29 }, { 29, 160 }, darkCyan, m_client);

    lblFlytt = new CounterLabel(m_client);
    lblFlytt->setObjectName(QStringLiteral("lblFlytt"));
    lblFlytt->setFont(comicFont(24));
    lblFlytt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblFlytt->setAccessibleName(QStringLiteral("Antal flyttningar"));
    lblFlytt->move(227, 86);
    lblFlytt->setCount(QStringLiteral("0"));

    lblLabel = makeLabel("lblLabel", QStringLiteral("Flyttningar"), comicFont(21),
                         { 166, 56, 139, 33 }, m_client);
    Label1 = makeLabel("Label1", QStringLiteral("Antal"), comicFont(21), { 166, 26, 139, 33 },
                       m_client);
    // The texts over the light sky stay dark whatever the desktop's palette:
    // a dark palette's light text would hardly show there.
    for (QLabel *overSky : { static_cast<QLabel *>(lblFlytt), lblLabel, Label1 }) {
        QPalette dark = overSky->palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            dark.setColor(group, QPalette::WindowText, Qt::black);
        overSky->setPalette(dark);
    }

    cmdBlanda = new QPushButton(QStringLiteral("Blanda"), m_client);
    cmdBlanda->setObjectName(QStringLiteral("cmdBlanda"));
    cmdBlanda->setGeometry(207, 133, 61, 27);
    // The style draws a button's frame from the window colour; keep the
    // desktop's own colour there rather than the cyan of the client area.
    QPalette buttonPalette = QApplication::palette(cmdBlanda);
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        buttonPalette.setColor(group, QPalette::Window,
                               buttonPalette.color(group, QPalette::Window));
    cmdBlanda->setPalette(buttonPalette);
    cmdBlanda->setAccessibleDescription(
            QStringLiteral("Blandar brickorna och startar ett nytt spel"));
    // Enter presses the focused button, as Space does.
    cmdBlanda->setAutoDefault(true);
    connect(cmdBlanda, &QPushButton::clicked, this,
            [this] { m_news->playerAction([this] { m_puzzle.cmdBlanda_Click(); }); });

    // The panel's border lies outside the client area on every side, so when
    // shown it is a plain field over everything, the button included.
    fraHur = new HelpPanel(m_client);
    fraHur->setObjectName(QStringLiteral("fraHur"));
    fraHur->setAccessibleName(QStringLiteral("Hjälp"));
    fraHur->setGeometry(-2, -8, 312, 204);
    fraHur->setFont(verdanaFont(11));
    palette = fraHur->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    fraHur->setPalette(palette);
    fraHur->setAutoFillBackground(true);
    connect(fraHur, &HelpPanel::pressed, this, &FrmGlidor::fraHur_MouseDown);

    static const char *const helpLines[6] = {
        "Blanda brickorna",
        "Flytta tillbaka dom igen",
        "genom att klicka på den",
        "eller de brickor du vill flytta",
        "eller använd piltangenterna.",
        "Lycka till!",
    };
    for (int i = 1; i <= 6; ++i) {
        auto *line = new HelpLine(i, QString::fromUtf8(helpLines[i - 1]), fraHur);
        line->setObjectName(QStringLiteral("lblHur%1").arg(i));
        line->setFont(verdanaFont(13));
        line->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        line->setAutoFillBackground(true);
        // Laid out at 15 twips to the pixel: left 8 twips, tops from 300 twips
        // at a pitch of 400, 4560 by 300 twips, each rounded to the nearest pixel.
        const int top = (300 + 400 * (i - 1) + 7) / 15;
        line->setGeometry(1, top, 304, 20);
        connect(line, &HelpLine::clicked, this, &FrmGlidor::lblHur_Click);
    }
    fraHur->hide();
}

// --- window operations of the core ---------------------------------------------

void FrmGlidor::seedRandom()
{
    m_random.seed();
}

float FrmGlidor::drawRandom()
{
    return m_random.draw();
}

void FrmGlidor::createSquare(int k)
{
    auto *square = new BoardSquare(k, m_client);
    square->setObjectName(QStringLiteral("imgBild%1").arg(k));
    square->setGeometry(imgBild[0]->geometry());
    // A new element goes to the back, behind the sky; sendBackgroundToBack()
    // then puts the sky behind the finished board.
    square->lower();
    connect(square, &BoardSquare::pressed, this, &FrmGlidor::imgBild_MouseDown);
    connect(square, &BoardSquare::doubleClicked, this, &FrmGlidor::imgBild_DblClick);
    imgBild.at(static_cast<std::size_t>(k)) = square;
}

void FrmGlidor::placeSquare(int k, int left, int top)
{
    imgBild.at(static_cast<std::size_t>(k))->move(left, top);
}

void FrmGlidor::showSquare(int k)
{
    imgBild.at(static_cast<std::size_t>(k))->show();
}

void FrmGlidor::enableSquare(int k, bool enabled)
{
    imgBild.at(static_cast<std::size_t>(k))->setEnabled(enabled);
}

void FrmGlidor::setSquarePicture(int k, int id)
{
    BoardSquare *square = imgBild.at(static_cast<std::size_t>(k));
    // The picture store keeps every picture; a QImage copy only shares it.
    square->setPicture(pictures::picture(id));
    m_news->setPicture(k, id);
}

void FrmGlidor::clearSquarePicture(int k)
{
    BoardSquare *square = imgBild.at(static_cast<std::size_t>(k));
    square->setPicture(QImage());
    m_news->setPicture(k, 0);
}

void FrmGlidor::sendBackgroundToBack()
{
    imgBak->lower();
}

bool FrmGlidor::soundMark() const
{
    return mnuLjud->isChecked();
}

bool FrmGlidor::shuffleButtonEnabled() const
{
    return cmdBlanda->isEnabled();
}

void FrmGlidor::enableShuffleControls(bool enabled)
{
    cmdBlanda->setEnabled(enabled);
    mnuBlanda->setEnabled(enabled);
    // Disabling the focused button leaves the window with no focus widget.
    // Give the focus to the board, which passes the keys on to the window, so
    // the arrow keys keep coming here also after the window has been away and
    // is activated again (Qt would otherwise hand the focus to the first
    // control that can take it); and screen readers hear the board's messages.
    if (!enabled && !focusWidget())
        m_client->setFocus(Qt::OtherFocusReason);
}

void FrmGlidor::setCounterText(const std::string &text)
{
    lblFlytt->setCount(QString::fromStdString(text));
}

void FrmGlidor::showCounter(bool visible)
{
    lblFlytt->setVisible(visible);
}

void FrmGlidor::startSound(Cue cue)
{
    m_sound.play(cueFileName(cue));
}

// --- handlers --------------------------------------------------------------------

void FrmGlidor::keyPressEvent(QKeyEvent *event)
{
    // The core knows the arrows by their virtual-key codes. Shift, Ctrl and
    // Alt make no difference; any other key is left alone.
    int keyCode = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        keyCode = KeyLeft;
        break;
    case Qt::Key_Up:
        keyCode = KeyUp;
        break;
    case Qt::Key_Right:
        keyCode = KeyRight;
        break;
    case Qt::Key_Down:
        keyCode = KeyDown;
        break;
    default:
        QMainWindow::keyPressEvent(event);
        return;
    }
    m_news->playerAction([this, keyCode] { m_puzzle.Form_KeyDown(keyCode); });
}

void FrmGlidor::imgBild_MouseDown(int index)
{
    m_news->playerAction([this, index] {
        m_puzzle.MoveTile(static_cast<std::int16_t>(index));
        m_puzzle.CheckSolved();
    });
}

void FrmGlidor::imgBild_DblClick(int index)
{
    m_news->playerAction([this, index] {
        m_puzzle.MoveTile(static_cast<std::int16_t>(index));
        m_puzzle.CheckSolved();
    });
}

void FrmGlidor::fraHur_MouseDown()
{
    fraHur->hide();
}

void FrmGlidor::lblHur_Click(int)
{
    fraHur->hide();
}

void FrmGlidor::mnuHur_Click()
{
    fraHur->show();
    QStringList lines;
    for (const QLabel *line : fraHur->findChildren<QLabel *>())
        lines << line->text();
    m_client->announce(lines.join(QLatin1Char(' ')));
}

void FrmGlidor::mnuAvsluta_Click()
{
    // The only window: closing it ends the program, with nothing to ask or save.
    close();
}

void FrmGlidor::mnuBlanda_Click()
{
    m_news->playerAction([this] { m_puzzle.cmdBlanda_Click(); });
}
