// Turns a failure to open the window at start into one Swedish line and a plain exit.
#include "startguard.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QScreen>
#include <QString>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace glidor {

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

// Qt calls the handler on whichever thread logs (the xcb reader thread runs
// while QApplication is built), so the list is only touched under the lock.
// The handler stays in place after the release and passes each message on at
// once: a thread may have picked it up just before, and there is no moment at
// which swapping it back would be safe for such a thread.
std::mutex heldLock;
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> *heldMessages = nullptr;

// The one line that says why the window could not open, read from what Qt
// said before it gave up. The most telling message wins: a display that did not
// answer explains the plugin that then failed to load.
QString reasonFromHeldMessages()
{
    const auto quoted = [](const QString &text, const QString &after) {
        const qsizetype at = text.indexOf(after);
        return at < 0 ? QString() : text.mid(at + after.size()).section(QLatin1Char('"'), 0, 0);
    };
    QString reason;
    int rank = 0; // higher is more telling
    const auto offer = [&](int r, const QString &text) {
        if (r > rank) {
            rank = r;
            reason = text;
        }
    };
    // The display's name follows the words, as in "could not connect to display :4711".
    const QLatin1String noDisplay("could not connect to display");
    for (const HeldMessage &message : std::as_const(*heldMessages)) {
        const QString &text = message.text;
        if (const qsizetype at = text.indexOf(noDisplay); at >= 0) {
            const QString display = text.mid(at + noDisplay.size()).trimmed();
            offer(4,
                  display.isEmpty() ? QStringLiteral("ingen skärm hittades (DISPLAY saknas)")
                                    : QStringLiteral("ingen kontakt med skärmen ") + display);
        } else if (text.contains(QLatin1String("Failed to create wl_display"))) {
            offer(4, QStringLiteral("ingen kontakt med Wayland-skärmen"));
        } else if (text.contains(QLatin1String("Could not find the Qt platform plugin \""))) {
            offer(3,
                  QStringLiteral("fönsterplattformen \"%1\" finns inte")
                          .arg(quoted(text, QStringLiteral("plugin \""))));
        } else if (text.contains(QLatin1String("Could not load the Qt platform plugin \""))) {
            offer(2,
                  QStringLiteral("fönsterplattformen \"%1\" gick inte att starta")
                          .arg(quoted(text, QStringLiteral("plugin \""))));
        }
    }
    return rank ? reason : QStringLiteral("inget fönstersystem gick att starta");
}

[[noreturn]] void failToOpen(const QString &reason)
{
    const QByteArray line = "glidor: kan inte öppna fönstret: " + reason.toUtf8() + '\n';
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
    // _exit, not exit: the half-built application must not run its destructors,
    // and abort() would leave a core dump behind.
    _exit(1);
}

// Qt needs a locale whose codeset is UTF-8. Where the environment names
// another one (LANG unset, or C), Qt 6.8 switches to C.UTF-8 by itself and says
// so in four lines. The game's texts are Qt strings in every locale, so there
// is nothing to tell the player. A switch that failed is worth telling.
bool isLocaleNotice(QtMsgType type, const QString &text)
{
    return type == QtWarningMsg && text.startsWith(QLatin1String("Detected locale \""))
            && text.contains(QLatin1String("which is not UTF-8"))
            && text.contains(QLatin1String("has switched to"));
}

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    std::unique_lock lock(heldLock);
    if (!heldMessages) {
        lock.unlock();
        previousHandler(type, context, text);
    } else if (type == QtFatalMsg) {
        failToOpen(reasonFromHeldMessages());
    } else if (!isLocaleNotice(type, text)) {
        heldMessages->append({ type, QByteArray(context.category), text });
    }
}

} // namespace

void installStartGuard()
{
    const std::lock_guard lock(heldLock);
    heldMessages = new QList<HeldMessage>;
    // Installed a second time, the handler must not find itself as the one to pass on to.
    if (const QtMessageHandler before = qInstallMessageHandler(holdMessage); before != holdMessage)
        previousHandler = before;
}

void releaseStartGuard()
{
    // Qt's X11 back end has no way to paint on a screen of 256 colours (8 bits
    // a pixel): the window would stay black while every paint prints a warning.
    // Fifteen bits and more it paints on, so every depth below that is refused.
    if (const QScreen *screen = QGuiApplication::primaryScreen(); screen && screen->depth() < 15)
        failToOpen(QStringLiteral("skärmen har bara %1 färger").arg(1LL << screen->depth()));
    // Passed on under the lock, so a message logged meanwhile on another
    // thread waits, and then goes straight on after the held ones.
    const std::lock_guard lock(heldLock);
    for (const HeldMessage &message : std::as_const(*heldMessages)) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previousHandler(message.type, context, message.text);
    }
    delete heldMessages;
    heldMessages = nullptr;
}

} // namespace glidor
