// x11_test_support.h - shared helpers of the X11 platform tests: a window made through the
// Win32 calls with a recording window procedure, a message pump, and an XTest connection.
#ifndef KVR_X11_TEST_SUPPORT_H
#define KVR_X11_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include "glx_window.h"
#include "kvr_platform.h"

#include <X11/Xlib.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace x11test {

// One message as the window procedure received it.
struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool insideSetWindowPos;  // arrived while the test was inside SetWindowPos
};

// Everything the recording window procedure saw, oldest first.
extern std::vector<Received> received;
// Set by tests around SetWindowPos calls.
extern bool insideSetWindowPos;
// Called by the recording window procedure on WM_SIZE with the new client size, when set.
extern std::function<void(int, int)> onSize;

using glxwin::displayAvailable;
using glxwin::displayRequired;

// Registers the test class, creates a 640 by 480 window with a double-buffered context,
// shows and focuses it and waits for the activation; null on failure.
HWND openWindow();
// Releases context, device context, window and class.
void closeWindow();
// The test window's device context and rendering context.
HDC windowDc();
HGLRC windowContext();

// Dispatches messages until the predicate holds or the time is up; true when it held.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);
// Dispatches every message that arrives within the given time.
void pumpFor(int ms);
// The received messages of one kind.
std::vector<Received> messagesOf(UINT message);
// The received key messages (down and up, system or not), oldest first.
std::vector<Received> keyMessages();
// Dispatches until the given number of key messages has arrived; false when they did not.
bool waitKeys(size_t count);

// The connection that sends XTest input (opened on first use).
Display* input();
// The X window behind a window handle.
Window xwindowOf(HWND hwnd);
// Sends a fake key press or release of a keysym and flushes it to the server.
void key(unsigned long keysym, bool press);
// Moves the pointer in screen coordinates.
void moveTo(int x, int y);
// Presses or releases a pointer button.
void button(unsigned number, bool press);
// Waits until the server has handled everything sent, then a little longer for delivery.
void settle();
// Releases a key while another client (a window manager's switcher, a screen locker) holds the
// keyboard grabbed, so the release goes to that client; the grab ends unsynced afterwards.
bool releaseUnderGrab(unsigned long keysym);
// The same for a press or a release: the key goes down or up at that client, unseen here.
bool keyUnderGrab(unsigned long keysym, bool press);
// The server's time now: the one it stamps on a property change of a window of the XTest connection.
Time serverTime();
// Sends a key event to a window as the server would deliver it, with the given server time.
void sendKey(Window w, unsigned long keysym, bool press, Time time);

// Sends a request of one word with the given major and minor opcode (not flushed): an
// extension's unknown minor opcode makes a BadRequest of its own kind.
void sendBareRequest(Display* d, int major, int minor);

// Two monitors side by side on the X screen, the primary one not at the origin: a left one at
// (0, 0) 800 x 600 and the primary at (800, 200) 1024 x 768, which shows the screen's output.
extern const RECT kLeftMonitor;
extern const RECT kPrimaryMonitor;
// While set, this process sees RandR's monitors and Xinerama's screens in the reverse of the
// server's order, the primary last in both (Xvfb lists it first, so picking the first one instead
// of the primary would go unseen).
extern bool primaryLast;
// While set, this process's calls see an Xwayland server: RandR's outputs are named XWAYLAND<n>,
// and the input devices include Xwayland's pointer only while xwaylandSeat is set too (a
// compositor without a seat has none). Set both before the platform first opens the display,
// which it asks once per connection: tests that pose run in a fresh process.
extern bool poseAsXwayland;
extern bool xwaylandSeat;
// While set, this process's calls see a server with RandR 1.4 (no monitors, Xinerama decides).
// Set before the platform first opens the display, as for poseAsXwayland.
extern bool randrWithoutMonitors;
// While set, Xinerama is inactive for this process's calls (asked once per connection too).
extern bool xineramaInactive;
// While poseScreens is set, Xinerama answers posedScreens instead of the server's screens; with
// none, a block holding one unused screen (0, 0) 640 x 480 and a count of 0.
extern bool poseScreens;
extern std::vector<RECT> posedScreens;
// While set, the server refuses this process's connections detectable auto-repeat, so that held
// keys repeat as a release and a press of the same time. Set before the display is opened.
extern bool refuseDetectableRepeat;
// Defines the two monitors (RandR 1.5, through the XTest connection); false when the server
// cannot. They stay until removeMonitors: Xvfb keeps them after their client leaves.
bool addMonitors();
// Removes the two monitors again.
void removeMonitors();

// How a test that changes the server's state (root properties, the keyboard layout, the
// monitors) gets a server of its own.
enum class PrivateServer {
    Ready,        // this process runs on a private Xvfb it started: the test goes on
    RanAlone,     // the process was already on another server: the test ran alone in a new process
    FailedAlone,  // ... and failed there
    Missing,      // no private server could be started
};
// Points the test's connections (the platform's, the XTest one, the programs it starts) at a
// private Xvfb of 1920 x 1080, started on first use and stopped when the process ends. When the
// process is already connected to another server, runs the current test alone in a new process
// of this program instead. `why` says what happened, for the skip or failure message.
PrivateServer usePrivateServer(std::string* why);
// The same, in a process that had connected to no X server before this test: the current test
// runs alone in a new process when this one has connected to any server, its own included.
PrivateServer useFreshPrivateServer(std::string* why);
// True when this process runs on the private server usePrivateServer started.
bool onPrivateServer();

// Starts openbox (the manager the end-to-end checks use) on this process's private server and
// waits until it manages the screen; its process id, or -1 when there is no private server or
// no openbox. Stop it with xdrv::stop before the test ends, so that later tests of the process
// run without a manager.
pid_t startManager();

// Another client's 1-pixel input windows over the edges of a rectangle on the root, above every
// window, as pekwm keeps them for its edge actions: the side ones take pointer motion themselves,
// the top and bottom ones (mapped last, over the corners) only crossings. Gone with the object.
class EdgeWindows {
public:
    explicit EdgeWindows(const RECT& area);
    ~EdgeWindows();

private:
    std::vector<Window> windows;
};

// Opens a test window with the pointer inside it and an empty queue; Alt and Shift are released
// and the window closed afterwards, so a test that stops half way leaves no modifier held.
class InputWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    HWND hwnd = nullptr;
    RECT rect = {0, 0, 0, 0};
};

}  // namespace x11test

// Skips a test without a display it may use (one this process started, or $DISPLAY when
// KVR_REQUIRE_DISPLAY=1 says it is a throwaway server); fails it when KVR_REQUIRE_DISPLAY=1 and
// there is none.
#define KVR_NEED_DISPLAY()                                                           \
    do {                                                                             \
        if (!x11test::displayAvailable()) {                                          \
            if (x11test::displayRequired()) {                                        \
                FAIL() << glxwin::displayMissing() << ", and KVR_REQUIRE_DISPLAY=1"; \
            }                                                                        \
            GTEST_SKIP() << glxwin::displayMissing();                                \
        }                                                                            \
    } while (0)

// Runs the rest of a test that changes the server's state on a private X server (see
// usePrivateServer): skips it when it already ran alone in a new process and passed there,
// fails it when it failed there or when no server can be started where a display is required.
#define KVR_NEED_PRIVATE_SERVER() KVR_NEED_SERVER_FROM(x11test::usePrivateServer)
// The same, with no connection made before the test in its process (see useFreshPrivateServer).
#define KVR_NEED_FRESH_PRIVATE_SERVER() KVR_NEED_SERVER_FROM(x11test::useFreshPrivateServer)
#define KVR_NEED_SERVER_FROM(use)                     \
    do {                                              \
        std::string why_;                             \
        switch (use(&why_)) {                         \
            case x11test::PrivateServer::Ready:       \
                break;                                \
            case x11test::PrivateServer::RanAlone:    \
                GTEST_SKIP() << why_;                 \
            case x11test::PrivateServer::FailedAlone: \
                FAIL() << why_;                       \
            case x11test::PrivateServer::Missing:     \
                if (x11test::displayRequired()) {     \
                    FAIL() << why_;                   \
                }                                     \
                GTEST_SKIP() << why_;                 \
        }                                             \
    } while (0)

#endif  // KVR_X11_TEST_SUPPORT_H
