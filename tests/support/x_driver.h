// x_driver.h - driving a real program from outside on an X server: child processes, their
// windows found by title, XTest input, the window manager's close request, the screen's pixels,
// clocks and files. Shared by the soak test, the end-to-end driver, the first-run tool and the
// benchmarks.
#ifndef KVR_X_DRIVER_H
#define KVR_X_DRIVER_H

#include <X11/X.h>
#include <X11/Xlib.h>
#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace xdrv {

// Monotonic time in nanoseconds (CLOCK_MONOTONIC, the clock the swap counter uses too).
uint64_t nowNs();
// Milliseconds between two monotonic times.
double msBetween(uint64_t from, uint64_t to);
// Sleeps for the given milliseconds.
void sleepMs(double ms);
// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path);

// An X error handler that ignores errors from requests on windows that went away meanwhile.
int ignoreXErrors(Display*, XErrorEvent*);
// The root's children, bottom first.
std::vector<Window> rootChildren(Display* dpy);
// A viewable child of the root with the given title that is not among `known`, or 0.
Window findWindow(Display* dpy, const char* title, const std::vector<Window>& known = {});
// Waits up to timeoutMs for such a window; 0 when none came, or when the child `pid` (if above
// 0) ended first: it is then reaped, its status stored and pid set to -1.
Window waitForWindow(Display* dpy, const char* title, double timeoutMs, pid_t& pid, int* status,
                     const std::vector<Window>& known = {});
// Asks the window to close, as a window manager's close button does, and waits for the server.
void sendDeleteWindow(Display* dpy, Window w);

// Presses and releases a key given by keysym, with an optional modifier key held around it.
void tapKey(Display* dpy, KeySym sym, KeySym modifier = NoSymbol);

// Starts args[0] with args as its command line, standard output to outPath and error to errPath
// (the same file when both are equal; appended to or truncated), KVR_MESSAGEBOX=stderr and the
// given environment added. The process id, or -1 when it cannot be started.
pid_t spawn(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
            bool append, const std::vector<std::pair<std::string, std::string>>& env = {});
// True once the child has ended (or pid is not above 0): it is then reaped, its wait status
// stored when status is not null, and pid set to -1.
bool exited(pid_t& pid, int* status = nullptr);
// Waits up to timeoutMs for the child to end and returns its wait status; when it does not end
// in time it is killed, reaped and -1 returned.
int waitExit(pid_t& pid, double timeoutMs);
// Ends a child: SIGTERM, then SIGKILL when it has not gone within graceMs.
void stop(pid_t& pid, double graceMs = 1000.0);

// True when an Xvfb can be started (it is on the PATH).
bool haveXvfb();
// Starts a private X server, Xvfb with one screen of the given size (such as "1920x1080x24"), on
// a free display number from KVR_SPARE_DISPLAYS ("first-last", by default 141 to 160), and stores
// its name (":N"). The server ends with the process that started it. Its process id once it
// accepts clients, or -1 when none could be started.
pid_t startXvfb(const std::string& screen, std::string* name);

// The whole screen as it is now, as RGB bytes, top row first; false when it cannot be read.
bool grabScreenRgb(Display* dpy, int* width, int* height, std::vector<unsigned char>* rgb);
// Writes RGB bytes, top row first, as a binary PPM; false when the file cannot be written whole.
bool writePpm(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb);

}  // namespace xdrv

#endif  // KVR_X_DRIVER_H
