// Starts a program on the X display and times it from the start of its process to the first
// top-level window it maps; then reports its resident memory once shown, and stops it.
//   startup_probe SETTLE_MS PROGRAM [ARGUMENTS...]
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {
long residentKb(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", int(pid));
    std::FILE *status = std::fopen(path, "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    }
    std::fclose(status);
    return kb;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_probe SETTLE_MS PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const int settleMs = std::atoi(argv[1]);
    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    // Without a window manager every top-level window is a child of the root: watch the root.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    bool mapped = false;
    while (xcb_generic_event_t *event = xcb_wait_for_event(x)) {
        mapped = (event->response_type & ~0x80) == XCB_MAP_NOTIFY;
        std::free(event);
        if (mapped)
            break;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    const long kb = residentKb(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(x);
    if (!mapped)
        return 1;
    std::printf("startup mapped_ms=%.1f rss_kb=%ld\n", ms, kb);
    return 0;
}
