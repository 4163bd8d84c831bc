// Start-up to a visible window: starts a program and reports, in milliseconds, when the X server
// maps the first new top-level window (the window manager's frame or the program's own window),
// then ends the program. Polling tools wake every few hundred milliseconds; this waits for the
// event itself.
//   mapwait TIMEOUT_MS PROGRAM [ARG...]   prints "<ms>" and exits 0, or exits 1 on timeout
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mapwait TIMEOUT_MS PROGRAM [ARG...]\n");
        return 2;
    }
    const int timeoutMs = std::atoi(argv[1]);
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "mapwait: no X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // a round trip

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        close(xcb_get_file_descriptor(x));
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    const auto elapsed = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    int status = 1;
    while (status != 0 && elapsed() < timeoutMs) {
        pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
        poll(&fd, 1, 50);
        while (const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event{
            xcb_poll_for_event(x), &std::free}) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && status != 0) {
                std::printf("%.1f\n", elapsed());
                status = 0;
            }
        }
        if (xcb_connection_has_error(x))
            break;
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(x);
    return status;
}
