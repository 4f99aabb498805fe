// Turns a failure to open the window at start into one Swedish line and a plain exit.
#include "startguard.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace glidor {

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> *heldMessages = nullptr;

[[noreturn]] void failToOpen()
{
    const char *display = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        std::fputs("glidor: kan inte öppna fönstret: ingen skärm hittades (DISPLAY saknas)\n", stderr);
    } else {
        const char *name = display && *display ? display : wayland;
        std::fprintf(stderr, "glidor: kan inte öppna fönstret: ingen kontakt med skärmen %s\n", name);
    }
    std::fflush(stderr);
    // _exit, not exit: the half-built application must not run its destructors,
    // and abort() would leave a core dump behind.
    _exit(1);
}

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg)
        failToOpen();
    heldMessages->append({type, QByteArray(context.category), text});
}

} // namespace

void installStartGuard()
{
    heldMessages = new QList<HeldMessage>;
    previousHandler = qInstallMessageHandler(holdMessage);
}

void releaseStartGuard()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage &message : std::as_const(*heldMessages)) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        previousHandler(message.type, context, message.text);
    }
    delete heldMessages;
    heldMessages = nullptr;
}

} // namespace glidor
