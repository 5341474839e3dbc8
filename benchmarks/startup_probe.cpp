/* Start-up probe: how long after its process starts the game's window is
 * mapped, carries its name, and shows its first frame, seen as an X client
 * of the server the game runs on.
 *
 *   tumbrik_startup RUNS PROGRAM [ARG...]
 *
 * For each run the probe watches the root window for new top-level
 * windows, notes the time, forks and execs the program, and then waits:
 * "mapped" is the MapNotify of its top-level window (the server has made
 * it viewable; a window unmapped or destroyed again does not count);
 * "named" is when that window's WM_NAME reads Tumbrik (the game sets it
 * once its assets are loaded, just before its first pass); "first frame"
 * is when the window's pixel (2, 2) reads the grey of the game's
 * background (0xAAAAAA), polled every millisecond. The
 * program is then asked to quit with SIGTERM, which SDL turns into a quit
 * event. Each run is printed, then the median and the worst of each:
 *
 *   run 1: mapped 41.2 ms, named 52.0 ms, first frame 53.1 ms
 *   summary mapped 41.2 43.9      (median and max, ms)
 *
 * Exit status 1 when a run times out (10 s) or the program dies first. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

/* ==== Clock and X errors ==== */

static double nowMs()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

/* The window may go away between an event and a request about it (the
 * game quits, SDL remakes its window): such errors only mean "not yet". */
static int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

/* ==== Watching one window ==== */

/* 1 when the window's name is the game's. */
static int namedTumbrik(Display *dpy, Window win)
{
    char *name = NULL;
    int found = XFetchName(dpy, win, &name) && name && strcmp(name, "Tumbrik") == 0;
    if (name)
        XFree(name);
    return found;
}

/* One channel of a pixel by the image's mask, scaled to 0..255. */
static unsigned channel(unsigned long pixel, unsigned long mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        shift++;
    }
    return (unsigned)(((pixel >> shift) & mask) * 255 / mask);
}

/* 1 when pixel (2, 2) of the window shows the game's background grey. */
static int showsFrame(Display *dpy, Window win)
{
    XImage *img = XGetImage(dpy, win, 2, 2, 1, 1, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    unsigned long p = XGetPixel(img, 0, 0);
    int grey = channel(p, img->red_mask) == 0xAA && channel(p, img->green_mask) == 0xAA &&
               channel(p, img->blue_mask) == 0xAA;
    XDestroyImage(img);
    return grey;
}

/* ==== One run ==== */

struct Times {
    double mapped, named, frame;
};

/* Ask the program to quit, and make sure it has. */
static void stopProgram(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; i++) {
        if (waitpid(pid, NULL, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
}

/* Start the program and time its window; 0 when the run fails. */
static int timeRun(Display *dpy, char **program, Times *t)
{
    Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, True);

    double start = nowMs();
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 0;
    }
    if (pid == 0) {
        close(ConnectionNumber(dpy));
        execvp(program[0], program);
        perror(program[0]);
        _exit(127);
    }

    Window win = None;
    t->mapped = t->named = t->frame = -1;
    int ok = 0;
    while (nowMs() - start < 10000) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            double at = nowMs() - start;
            if (ev.type == MapNotify && ev.xmap.event == root && win == None &&
                !ev.xmap.override_redirect) {
                win = ev.xmap.window;
                t->mapped = at;
                XSelectInput(dpy, win, PropertyChangeMask);
                if (namedTumbrik(dpy, win))
                    t->named = nowMs() - start;
            } else if ((ev.type == UnmapNotify && ev.xunmap.window == win) ||
                       (ev.type == DestroyNotify && ev.xdestroywindow.window == win)) {
                /* SDL 2 (under sdl12-compat) may replace its first window
                 * with another when it sets up its renderer: the window
                 * that counts is the one that stays. */
                win = None;
                t->mapped = t->named = t->frame = -1;
            } else if (ev.type == PropertyNotify && ev.xproperty.window == win &&
                       ev.xproperty.atom == XA_WM_NAME && t->named < 0 &&
                       namedTumbrik(dpy, win)) {
                t->named = at;
            }
        }
        if (win != None && t->frame < 0 && showsFrame(dpy, win))
            t->frame = nowMs() - start;
        if (t->mapped >= 0 && t->named >= 0 && t->frame >= 0) {
            ok = 1;
            break;
        }
        if (waitpid(pid, NULL, WNOHANG) == pid) {
            fprintf(stderr, "%s ended before its window was up\n", program[0]);
            XSelectInput(dpy, root, NoEventMask);
            return 0;
        }
        struct pollfd fd = { ConnectionNumber(dpy), POLLIN, 0 };
        poll(&fd, 1, 1);
    }
    if (!ok)
        fprintf(stderr, "run timed out: mapped %.1f, named %.1f, first frame %.1f ms\n",
                t->mapped, t->named, t->frame);
    XSelectInput(dpy, root, NoEventMask);
    if (win != None)
        XSelectInput(dpy, win, NoEventMask);
    XSync(dpy, True);
    stopProgram(pid);
    return ok;
}

/* ==== Runs and summary ==== */

static void summary(const char *what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double median = v.size() % 2 ? v[v.size() / 2]
                                 : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    printf("summary %s %.1f %.1f\n", what, median, v.back());
}

int main(int argc, char **argv)
{
    int runs = argc > 2 ? atoi(argv[1]) : 0;
    if (runs <= 0) {
        fprintf(stderr, "usage: %s RUNS PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "Couldn't open the X display %s\n", XDisplayName(NULL));
        return 1;
    }
    XSetErrorHandler(ignoreXError);

    std::vector<double> mapped, named, frame;
    for (int i = 1; i <= runs; i++) {
        Times t;
        if (!timeRun(dpy, argv + 2, &t))
            return 1;
        printf("run %d: mapped %.1f ms, named %.1f ms, first frame %.1f ms\n", i, t.mapped,
               t.named, t.frame);
        fflush(stdout);
        mapped.push_back(t.mapped);
        named.push_back(t.named);
        frame.push_back(t.frame);
        usleep(200000);
    }
    summary("mapped", mapped);
    summary("named", named);
    summary("first_frame", frame);
    XCloseDisplay(dpy);
    return 0;
}
