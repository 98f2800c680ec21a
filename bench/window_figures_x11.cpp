// Start-up and memory of the real program on the X display in DISPLAY.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// utime + stime of a process, in milliseconds.
double CpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::vector<std::string> fields;
    std::size_t pos = close + 2;
    while (pos < text.size()) {
        const auto space = text.find(' ', pos);
        fields.push_back(text.substr(pos, space - pos));
        if (space == std::string::npos) break;
        pos = space + 1;
    }
    // Fields after the name start at "state" (field 3); utime is 14, stime 15.
    const double ticks = std::stod(fields.at(11)) + std::stod(fields.at(12));
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool IsKelvarin(Display* display, Window window) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name) return false;
    const bool match = std::strcmp(name, "Kelvarin") == 0;
    XFree(name);
    return match;
}

}  // namespace

void StartupFigures(const char* program) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("start-up: skipped (no X display; run under xvfb-run)\n");
        return;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("QT_QPA_PLATFORM");
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    bool shown = false;
    while (!shown && Clock::now() - started < std::chrono::seconds(20)) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            // The title is set before the window is mapped; a mapped child
            // of the root with the title is the window shown.
            if (event.type == MapNotify && IsKelvarin(display, event.xmap.window)) shown = true;
            if (event.type == CreateNotify || event.type == ReparentNotify)
                XSelectInput(display, event.xcreatewindow.window, StructureNotifyMask);
        }
        if (!shown) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto mapped = Clock::now();
    if (shown)
        std::printf("start-up until the window is shown: %.0f ms\n", Ms(mapped - started));
    else
        std::printf("start-up: the window did not appear in 20 s\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("memory after start (RSS): %.1f MiB\n", RssKiB(pid) / 1024.0);
    const double before = CpuMs(pid);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("idle window, port closed, 3 s: CPU %.0f ms\n", CpuMs(pid) - before);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
}
