// Starts a program on the X server and watches its window from outside: first frame, memory,
// idleness, press latency.
//
//   xwatch start PROGRAM     prints "FRAME_MS PEAK_KB": the time from the start to
//                            the first paint of the whole window, and the peak
//                            memory a second later; then ends the program.
//   xwatch session PROGRAM   starts it, leaves it alone for ten seconds, presses
//                            Space, then presses every board square once; prints
//                            "idle CPU_TICKS WAKEUPS REPAINTS" and one line
//                            "press MS" for each press that repainted the window.
//
// A repaint is a damage event on the window: the X server reports every drawing
// into it, so nothing in the program has to help.
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

[[noreturn]] void die(const char *what)
{
    std::fprintf(stderr, "xwatch: %s\n", what);
    std::exit(1);
}

xcb_connection_t *x = nullptr;
xcb_window_t root = 0;
pid_t child = 0;
uint8_t damageEvent = 0;

void endChild()
{
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        child = 0;
    }
}

xcb_atom_t atom(const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name),
                                  nullptr),
            &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

pid_t pidOf(xcb_window_t window)
{
    static const xcb_atom_t netWmPid = atom("_NET_WM_PID");
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
            xcb_get_property_reply(
                    x, xcb_get_property(x, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr),
            &free);
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return 0;
    return pid_t(*static_cast<uint32_t *>(xcb_get_property_value(reply.get())));
}

// The next event, or null after `ms` milliseconds without one; dies if the server goes.
std::unique_ptr<xcb_generic_event_t, decltype(&free)> nextEvent(double ms)
{
    const auto until = Clock::now() + std::chrono::microseconds(long(ms * 1000));
    for (;;) {
        if (xcb_generic_event_t *e = xcb_poll_for_event(x))
            return { e, &free };
        if (xcb_connection_has_error(x))
            die("lost the X server");
        if (Clock::now() >= until)
            return { nullptr, &free };
        usleep(200);
    }
}

bool isDamage(const xcb_generic_event_t *e)
{
    return (e->response_type & 0x7f) == damageEvent + XCB_DAMAGE_NOTIFY;
}

struct Window
{
    xcb_window_t id = 0;
    int width = 0, height = 0;
};

// Starts `program` and waits for its top-level window to be mapped; returns it with damage
// reporting on.
Window startAndFind(const char *program, Clock::time_point &t0)
{
    t0 = Clock::now();
    child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
            _exit(127);
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    for (;;) {
        auto e = nextEvent(10000);
        if (!e)
            die("no window appeared within 10 s");
        if ((e->response_type & 0x7f) != XCB_MAP_NOTIFY)
            continue;
        const auto *map = reinterpret_cast<const xcb_map_notify_event_t *>(e.get());
        if (map->override_redirect || pidOf(map->window) != child)
            continue;
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> g(
                xcb_get_geometry_reply(x, xcb_get_geometry(x, map->window), nullptr), &free);
        if (!g)
            die("the window went away");
        Window w{ map->window, g->width, g->height };
        xcb_damage_create(x, xcb_generate_id(x), w.id, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(x);
        return w;
    }
}

// Waits for a paint that covers the whole window (Qt flushes the first frame in one piece).
void waitForFullFrame(const Window &w)
{
    for (;;) {
        auto e = nextEvent(10000);
        if (!e)
            die("the window was never painted");
        if (!isDamage(e.get()))
            continue;
        const auto *d = reinterpret_cast<const xcb_damage_notify_event_t *>(e.get());
        if (d->area.width >= w.width && d->area.height >= w.height)
            return;
    }
}

long statusField(const char *name)
{
    std::ifstream in("/proc/" + std::to_string(child) + "/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == name) {
            in >> value;
            return value;
        }
        std::getline(in, key);
    }
    return 0;
}

long cpuTicks()
{
    std::ifstream in("/proc/" + std::to_string(child) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string f;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::stol(f);
        if (i == 15)
            stime = std::stol(f);
    }
    return utime + stime;
}

long contextSwitches()
{
    long total = 0;
    for (const auto &task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/task")) {
        std::ifstream in(task.path() / "status");
        std::string key;
        long value = 0;
        while (in >> key)
            if (key.find("ctxt_switches") != std::string::npos && in >> value)
                total += value;
    }
    return total;
}

// Damage events within `ms`.
int repaintsWithin(double ms)
{
    int count = 0;
    const auto t0 = Clock::now();
    while (auto e = nextEvent(ms - msSince(t0)))
        count += isDamage(e.get());
    return count;
}

void fake(uint8_t type, uint8_t detail, int16_t rootX = 0, int16_t rootY = 0)
{
    xcb_test_fake_input(x, type, detail, XCB_CURRENT_TIME, root, rootX, rootY, 0);
    xcb_flush(x);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "session") != 0))
        die("usage: xwatch start|session PROGRAM");
    x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x))
        die("cannot reach the X server");
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(x, &xcb_damage_id);
    if (!damage || !damage->present)
        die("the X server has no DAMAGE extension");
    damageEvent = damage->first_event;
    xcb_damage_query_version_reply(x, xcb_damage_query_version(x, 1, 1), nullptr);
    root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
    std::atexit(endChild);

    Clock::time_point t0;
    const Window w = startAndFind(argv[2], t0);
    waitForFullFrame(w);
    const double frameMs = msSince(t0);

    if (std::strcmp(argv[1], "start") == 0) {
        repaintsWithin(1000);
        std::printf("%.2f %ld\n", frameMs, statusField("VmHWM:"));
        return 0;
    }

    repaintsWithin(1000);
    const long cpu0 = cpuTicks(), switches0 = contextSwitches();
    const int idleRepaints = repaintsWithin(10000);
    std::printf("idle %ld %ld %d\n", cpuTicks() - cpu0, contextSwitches() - switches0,
                idleRepaints);

    // Space on the focused button deals a game; then every square once. The
    // client area is the bottom 307 by 191 of the window, below the menu bar.
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> at(
            xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, w.id, root, 0, 0),
                                            nullptr),
            &free);
    if (!at)
        die("the window went away");
    xcb_set_input_focus(x, XCB_INPUT_FOCUS_POINTER_ROOT, w.id, XCB_CURRENT_TIME);
    fake(XCB_MOTION_NOTIFY, 0, int16_t(at->dst_x + 280), int16_t(at->dst_y + w.height - 10));
    const uint8_t space = 65; // the keycode of Space on Xvfb's default keymap
    fake(XCB_KEY_PRESS, space);
    fake(XCB_KEY_RELEASE, space);
    if (repaintsWithin(1500) == 0)
        die("Space dealt no game");
    const int menu = w.height - 191;
    int moved = 0;
    for (int k = 1; k <= 16; ++k) {
        const int column = (k - 1) % 4 + 1, row = (k - 1) / 4 + 1;
        fake(XCB_MOTION_NOTIFY, 0, int16_t(at->dst_x + 32 * column + 16),
             int16_t(at->dst_y + menu + 32 * row + 16));
        repaintsWithin(100);
        const auto pressed = Clock::now();
        fake(XCB_BUTTON_PRESS, 1);
        double latency = -1;
        while (auto e = nextEvent(300 - msSince(pressed)))
            if (isDamage(e.get()) && latency < 0)
                latency = msSince(pressed);
        fake(XCB_BUTTON_RELEASE, 1);
        repaintsWithin(100);
        if (latency >= 0) {
            std::printf("press %.3f\n", latency);
            ++moved;
        }
    }
    if (moved == 0)
        die("no press moved a tile");
    return 0;
}
