/* A weston module for tests: a seat with a pointer and a keyboard that a test drives, window
 * listing, close requests and screenshots, over a UNIX socket. Weston's headless back end has no
 * input devices of its own; with this module a test can click, type and look like a user.
 *
 *   weston --backend=headless-backend.so --use-pixman --modules=/path/weston_test_seat.so
 *
 * The socket path comes from TARVEL_WESTON_CONTROL. One command per connection, one line each;
 * the reply is one or more lines ending with "ok" or "error <why>":
 *   move X Y            pointer to output coordinates X, Y
 *   button CODE 1|0     press or release a pointer button (evdev code: 272 left, 273 right)
 *   key CODE 1|0        press or release a key (evdev code)
 *   windows             one line per mapped window (toplevels and popups, top of the stack
 *                       first): "window PID X Y W H<TAB>APP_ID<TAB>TITLE", where X, Y, W, H are
 *                       the window geometry the client set, on the output
 *   close PID           ask the toplevels of client PID to close, as a close button does
 *   shot PATH           write the output's pixels to PATH as a binary PPM
 */
#include <errno.h>
#include <libweston-desktop/libweston-desktop.h>
#include <libweston/libweston.h>
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

/* Exported by libweston for its back ends, declared in a header it does not install. */
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* ec,
                      const char* seat_name);
int weston_seat_init_pointer(struct weston_seat* seat);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);
void weston_seat_release(struct weston_seat* seat);
void notify_motion_absolute(struct weston_seat* seat, const struct timespec* time, double x,
                            double y);
void notify_button(struct weston_seat* seat, const struct timespec* time, int32_t button,
                   enum wl_pointer_button_state state);
void notify_key(struct weston_seat* seat, const struct timespec* time, uint32_t key,
                enum wl_keyboard_key_state state, enum weston_key_state_update update_state);
void notify_pointer_frame(struct weston_seat* seat);

struct test_seat {
    struct weston_compositor* compositor;
    struct weston_seat seat;
    int listen_fd;
    struct wl_event_source* source;
    struct wl_listener destroy;
    char path[108];
};

static void reply(FILE* out, const char* text) {
    fprintf(out, "%s\n", text);
}

static void list_windows(struct test_seat* ts, FILE* out) {
    struct weston_view* view;
    wl_list_for_each(view, &ts->compositor->view_list, link) {
        struct weston_surface* surface = view->surface;
        if (!weston_view_is_mapped(view) || !weston_surface_is_desktop_surface(surface))
            continue;
        struct weston_desktop_surface* ds = weston_surface_get_desktop_surface(surface);
        struct weston_geometry g = weston_desktop_surface_get_geometry(ds);
        const char* app_id = weston_desktop_surface_get_app_id(ds);
        const char* title = weston_desktop_surface_get_title(ds);
        float x, y;
        weston_view_to_global_float(view, (float)g.x, (float)g.y, &x, &y);
        fprintf(out, "window %d %d %d %d %d\t%s\t%s\n", (int)weston_desktop_surface_get_pid(ds),
                (int)x, (int)y, g.width, g.height, app_id ? app_id : "", title ? title : "");
    }
    reply(out, "ok");
}

static void close_windows(struct test_seat* ts, int pid, FILE* out) {
    struct weston_view* view;
    int n = 0;
    wl_list_for_each(view, &ts->compositor->view_list, link) {
        if (!weston_view_is_mapped(view) || !weston_surface_is_desktop_surface(view->surface))
            continue;
        struct weston_desktop_surface* ds = weston_surface_get_desktop_surface(view->surface);
        if ((int)weston_desktop_surface_get_pid(ds) == pid) {
            weston_desktop_surface_close(ds);
            n++;
        }
    }
    reply(out, n > 0 ? "ok" : "error no window of that client");
}

static void screenshot(struct test_seat* ts, const char* path, FILE* out) {
    struct weston_compositor* c = ts->compositor;
    if (wl_list_empty(&c->output_list)) {
        reply(out, "error no output");
        return;
    }
    struct weston_output* output = wl_container_of(c->output_list.next, output, link);
    const int w = output->current_mode->width;
    const int h = output->current_mode->height;
    uint32_t* pixels = malloc((size_t)w * h * 4);
    if (pixels == NULL) {
        reply(out, "error out of memory");
        return;
    }
    if (c->renderer->read_pixels(output, PIXMAN_a8r8g8b8, pixels, 0, 0, w, h) < 0) {
        free(pixels);
        reply(out, "error the renderer cannot read pixels (start weston with --use-pixman)");
        return;
    }
    const int flip = (c->capabilities & WESTON_CAP_CAPTURE_YFLIP) != 0;
    FILE* f = fopen(path, "wb");
    if (f == NULL) {
        free(pixels);
        reply(out, "error cannot write the file");
        return;
    }
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    unsigned char* row = malloc((size_t)w * 3);
    for (int y = 0; row != NULL && y < h; y++) {
        const uint32_t* src = pixels + (size_t)(flip ? h - 1 - y : y) * w;
        for (int x = 0; x < w; x++) {
            row[3 * x] = (src[x] >> 16) & 0xff;
            row[3 * x + 1] = (src[x] >> 8) & 0xff;
            row[3 * x + 2] = src[x] & 0xff;
        }
        fwrite(row, 3, (size_t)w, f);
    }
    free(row);
    fclose(f);
    free(pixels);
    reply(out, "ok");
}

static void run_command(struct test_seat* ts, char* line, FILE* out) {
    struct timespec now;
    weston_compositor_get_time(&now);
    char arg[4096];
    double x, y;
    int code, pressed;
    if (sscanf(line, "move %lf %lf", &x, &y) == 2) {
        notify_motion_absolute(&ts->seat, &now, x, y);
        notify_pointer_frame(&ts->seat);
        reply(out, "ok");
    } else if (sscanf(line, "button %d %d", &code, &pressed) == 2) {
        notify_button(&ts->seat, &now, code,
                      pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        notify_pointer_frame(&ts->seat);
        reply(out, "ok");
    } else if (sscanf(line, "key %d %d", &code, &pressed) == 2) {
        notify_key(&ts->seat, &now, (uint32_t)code,
                   pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
                   STATE_UPDATE_AUTOMATIC);
        reply(out, "ok");
    } else if (strncmp(line, "windows", 7) == 0) {
        list_windows(ts, out);
    } else if (sscanf(line, "close %d", &code) == 1) {
        close_windows(ts, code, out);
    } else if (sscanf(line, "shot %4095s", arg) == 1) {
        screenshot(ts, arg, out);
    } else {
        reply(out, "error unknown command");
    }
}

static int on_connection(int fd, uint32_t mask, void* data) {
    struct test_seat* ts = data;
    (void)fd;
    (void)mask;
    int client = accept(ts->listen_fd, NULL, NULL);
    if (client < 0)
        return 0;
    /* The test writes its line at once and waits for the reply; a stuck client cannot hold the
     * compositor for long. */
    struct timeval timeout = {2, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    FILE* in = fdopen(client, "r+");
    if (in == NULL) {
        close(client);
        return 0;
    }
    char line[4200];
    if (fgets(line, sizeof line, in) != NULL)
        run_command(ts, line, in);
    fclose(in);
    return 0;
}

static void on_compositor_destroy(struct wl_listener* listener, void* data) {
    struct test_seat* ts = wl_container_of(listener, ts, destroy);
    (void)data;
    wl_event_source_remove(ts->source);
    close(ts->listen_fd);
    unlink(ts->path);
    weston_seat_release(&ts->seat);
    free(ts);
}

WL_EXPORT int wet_module_init(struct weston_compositor* compositor, int* argc, char* argv[]) {
    (void)argc;
    (void)argv;
    const char* path = getenv("TARVEL_WESTON_CONTROL");
    if (path == NULL || strlen(path) >= sizeof(((struct sockaddr_un*)0)->sun_path)) {
        weston_log("weston_test_seat: TARVEL_WESTON_CONTROL must name a socket path\n");
        return -1;
    }
    struct test_seat* ts = calloc(1, sizeof *ts);
    if (ts == NULL)
        return -1;
    ts->compositor = compositor;
    snprintf(ts->path, sizeof ts->path, "%s", path);

    struct sockaddr_un addr = {.sun_family = AF_UNIX};
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path);
    unlink(path);
    ts->listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ts->listen_fd < 0 || bind(ts->listen_fd, (struct sockaddr*)&addr, sizeof addr) < 0 ||
        listen(ts->listen_fd, 4) < 0) {
        weston_log("weston_test_seat: cannot listen on %s: %s\n", path, strerror(errno));
        if (ts->listen_fd >= 0)
            close(ts->listen_fd);
        free(ts);
        return -1;
    }

    weston_seat_init(&ts->seat, compositor, "test-seat");
    weston_seat_init_pointer(&ts->seat);
    weston_seat_init_keyboard(&ts->seat, NULL);

    struct wl_event_loop* loop = wl_display_get_event_loop(compositor->wl_display);
    ts->source = wl_event_loop_add_fd(loop, ts->listen_fd, WL_EVENT_READABLE, on_connection, ts);
    ts->destroy.notify = on_compositor_destroy;
    wl_signal_add(&compositor->destroy_signal, &ts->destroy);
    weston_log("weston_test_seat: listening on %s\n", path);
    return 0;
}
