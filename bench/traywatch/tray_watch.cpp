// tray-watch: waits until a window of the given WM_CLASS is reparented into
// trayer's panel and prints that moment on CLOCK_MONOTONIC, in milliseconds.
//
// Usage: tray-watch <class> [timeout seconds]
// Prints "ready" once it listens, then the time; exits 1 on timeout.
//
// The benchmark's polling of `xwininfo -tree` sees an icon only at its next
// poll, and each poll is a process of its own on the machine being measured;
// listening for the reparent gives the moment itself.

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

double nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// WM_CLASS holds "instance\0class\0"; true when either part is name.
bool hasClass(xcb_connection_t *connection, xcb_window_t window, const std::string &name)
{
    const auto cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (!reply)
        return false;
    const char *value = static_cast<const char *>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    bool found = false;
    for (int start = 0; start < length && !found;) {
        const size_t part = strnlen(value + start, size_t(length - start));
        found = name.compare(0, std::string::npos, value + start, part) == 0;
        start += int(part) + 1;
    }
    free(reply);
    return found;
}

// Whether window or one of its ancestors is trayer's panel.
bool insideTrayer(xcb_connection_t *connection, xcb_window_t window, xcb_window_t root)
{
    while (window != XCB_NONE && window != root) {
        if (hasClass(connection, window, "trayer"))
            return true;
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree)
            return false;
        window = tree->parent;
        free(tree);
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tray-watch <class> [timeout seconds]\n");
        return 2;
    }
    const std::string name = argv[1];
    const double deadline = nowMs() + (argc > 2 ? std::atof(argv[2]) : 30.0) * 1000.0;

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "tray-watch: cannot open the display\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    // A window leaving the root for the panel is reported to the root's
    // substructure listeners.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t selected =
        xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t *error = xcb_request_check(connection, selected)) {
        free(error);
        std::fprintf(stderr, "tray-watch: cannot listen on the root window\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd socket{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (nowMs() < deadline) {
        xcb_generic_event_t *event = xcb_poll_for_event(connection);
        if (!event) {
            if (xcb_connection_has_error(connection))
                return 2;
            poll(&socket, 1, int(deadline - nowMs()) + 1);
            continue;
        }
        const double when = nowMs();
        if ((event->response_type & 0x7f) == XCB_REPARENT_NOTIFY) {
            const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
            if (hasClass(connection, reparent->window, name) &&
                insideTrayer(connection, reparent->parent, root)) {
                std::printf("%.3f\n", when);
                std::fflush(stdout);
                free(event);
                xcb_disconnect(connection);
                return 0;
            }
        }
        free(event);
    }
    std::fprintf(stderr, "tray-watch: no %s icon in the tray in time\n", name.c_str());
    return 1;
}
