/* Starts a program and reports how long it takes until its first top-level
 * window is mapped, waiting on the X server's MapNotify event rather than
 * polling, and the program's resident memory at that moment.
 *
 *   mapwait program [args...]
 *   prints: "<milliseconds> <rss-kilobytes>" and ends the program.
 */
#define _GNU_SOURCE
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static long rssKb(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, "VmRSS:", 6) == 0) {
            kb = strtol(line + 6, NULL, 10);
            break;
        }
    }
    fclose(f);
    return kb;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: mapwait program [args...]\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "mapwait: no X display\n");
        return 2;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    // Polled rather than blocked on: a program that dies before it maps a
    // window would otherwise leave this waiting for ever.
    const int fd = xcb_get_file_descriptor(c);
    double mapped = -1;
    int ended = 0;
    while (mapped < 0 && !ended && !xcb_connection_has_error(c)) {
        xcb_generic_event_t *ev;
        while (mapped < 0 && (ev = xcb_poll_for_event(c))) {
            const int type = ev->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY && !((const xcb_map_notify_event_t *)ev)->override_redirect)
                mapped = nowMs() - start;
            free(ev);
        }
        if (mapped < 0 && waitpid(pid, NULL, WNOHANG) == pid)
            ended = 1;
        if (mapped < 0 && !ended) {
            struct pollfd wait = {fd, POLLIN, 0};
            poll(&wait, 1, 20);
        }
    }
    const long kb = ended ? -1 : rssKb(pid);
    if (!ended) {
        kill(pid, SIGTERM);
        waitpid(pid, NULL, 0);
    }
    xcb_disconnect(c);
    if (mapped < 0) {
        fprintf(stderr, "mapwait: %s ended before it mapped a window\n", argv[1]);
        return 1;
    }
    printf("%.1f %ld\n", mapped, kb);
    return 0;
}
