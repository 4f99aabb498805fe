// A probe for the benchmark: logs when the window is first painted, presses and repaints.
#include "benchprobe.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace glidor::bench {

namespace {

long long nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long peakMemoryKb()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atol(line + 6);
    std::fclose(status);
    return kb;
}

class Probe : public QObject {
public:
    Probe(FILE *log, long long t0, bool exitAfterFirstFrame)
        : m_log(log), m_t0(t0), m_exit(exitAfterFirstFrame) {}
    ~Probe() override
    {
        std::fprintf(m_log, "hwm %ld\n", peakMemoryKb());
        std::fclose(m_log);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        // Every press passes the native window once before it reaches a widget.
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            if (watched->isWindowType())
                std::fprintf(m_log, "press %lld\n", nowNs() - m_t0);
            return false;
        }
        // The first frame is painted and flushed while the native window
        // handles its first Expose, later ones while a top-level handles
        // UpdateRequest: run the handler here so the time is taken after it.
        const bool topLevel = watched->isWindowType()
            || (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow());
        if ((type != QEvent::Expose && type != QEvent::UpdateRequest) || !topLevel)
            return false;
        QApplication::instance()->removeEventFilter(this);
        watched->event(event);
        QApplication::instance()->installEventFilter(this);
        const long long t = nowNs() - m_t0;
        if (!m_painted) {
            m_painted = true;
            std::fprintf(m_log, "painted %lld\nhwm %ld\n", t, peakMemoryKb());
            if (m_exit)
                QApplication::exit(0);
        } else {
            std::fprintf(m_log, "flush %lld\n", t);
        }
        std::fflush(m_log);
        return true;
    }

private:
    FILE *m_log;
    long long m_t0;
    bool m_exit;
    bool m_painted = false;
};

} // namespace

void installProbe(QApplication &app)
{
    const char *path = std::getenv("GLIDOR_BENCH_LOG");
    if (!path || !*path)
        return;
    FILE *log = std::fopen(path, "a");
    if (!log)
        return;
    const char *t0 = std::getenv("GLIDOR_BENCH_T0");
    const char *exitAfter = std::getenv("GLIDOR_BENCH_EXIT");
    auto *probe = new Probe(log, t0 ? std::atoll(t0) : nowNs(),
                            exitAfter && std::strcmp(exitAfter, "1") == 0);
    probe->setParent(&app);
    app.installEventFilter(probe);
}

} // namespace glidor::bench
