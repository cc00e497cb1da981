// startup_timer [--timeout S] -- PROGRAM [ARG]...: starts PROGRAM on the X display of
// $DISPLAY, waits until it maps its first top-level window, and prints
//   map_ms=<milliseconds from the start to the map> vmhwm_at_map_kb=<peak resident memory>
// with the memory read from the kernel as the window maps; then ends the program (SIGTERM,
// SIGKILL if it has not ended 10 s later) and exits 0. Exits 1 when the program ends first or maps nothing
// within the time limit (30 s unless given), 2 on a usage error. For bench/startup.sh.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The process a window belongs to, as the toolkit tells it in _NET_WM_PID; 0 for none.
long windowProcess(Display* display, Window window, Atom pidAtom) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && type == XA_CARDINAL && format == 32 && count == 1)
        pid = *reinterpret_cast<long*>(data); // 32-bit items come as longs
    if (data) XFree(data);
    return pid;
}

// Whether the window mapped on the root is the program's: its own, or the frame a window
// manager put around one of the program's.
bool isProgramsWindow(Display* display, Window window, Atom pidAtom, pid_t program) {
    if (windowProcess(display, window, pidAtom) == program) return true;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = windowProcess(display, children[i], pidAtom) == program;
        if (children) XFree(children);
    }
    return found;
}

// VmHWM of /proc/PID/status, in kB; -1 when it cannot be read.
long peakMemoryKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Asks the program to end as a desktop does, and waits for it: at most kEndSeconds, then
// it is killed, so that the next run finds the display free either way.
constexpr int kEndSeconds = 10;
void endProgram(pid_t program) {
    kill(program, SIGTERM);
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(kEndSeconds);
    while (waitpid(program, nullptr, WNOHANG) != program) {
        if (Clock::now() > limit) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
            return;
        }
        usleep(10000);
    }
}

// Errors from windows that went between the map and the question (a splash closing)
// are no failure of the timer.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: startup_timer [--timeout S] -- PROGRAM [ARG]...\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    int first = 1;
    double limitSeconds = 30;
    if (first + 1 < argc && std::strcmp(argv[first], "--timeout") == 0) {
        limitSeconds = std::atof(argv[first + 1]);
        first += 2;
    }
    if (first >= argc || std::strcmp(argv[first], "--") != 0 || first + 1 >= argc ||
        limitSeconds <= 0)
        return usage();
    char** command = argv + first + 1;

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_timer: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    // Listening before the program starts, so that no map can come before it.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t program = fork();
    if (program < 0) return 1;
    if (program == 0) {
        close(ConnectionNumber(display));
        execvp(command[0], command);
        std::fprintf(stderr, "startup_timer: cannot run %s\n", command[0]);
        _exit(127);
    }

    const Clock::time_point limit = start + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(limitSeconds));
    bool mapped = false, ended = false;
    double mapMs = 0;
    long memoryKb = -1;
    while (!mapped && !ended && Clock::now() < limit) {
        while (XPending(display) && !mapped) {
            XEvent event;
            XNextEvent(display, &event);
            // Pop-ups and tool tips set override-redirect; they are no main window.
            if (event.type != MapNotify || event.xmap.override_redirect) continue;
            const Clock::time_point at = Clock::now();
            if (isProgramsWindow(display, event.xmap.window, pidAtom, program)) {
                mapMs = std::chrono::duration<double, std::milli>(at - start).count();
                memoryKb = peakMemoryKb(program);
                mapped = true;
            }
        }
        if (mapped) break;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 20);
        ended = waitpid(program, nullptr, WNOHANG) == program;
    }

    if (!ended) endProgram(program);
    XCloseDisplay(display);
    if (!mapped) {
        std::fprintf(stderr, "startup_timer: %s %s\n", command[0],
                     ended ? "ended before it mapped a window" : "mapped no window in time");
        return 1;
    }
    std::printf("map_ms=%.1f vmhwm_at_map_kb=%ld\n", mapMs, memoryKb);
    return 0;
}
