// peer_app.h - what the two peer programs (the viewer's own code on GLFW and on SDL2) share:
// the window-layer functions the viewer's code calls, the viewer's pointer mapping with its
// wrap at the side edges, its key codes, and the command line (idle style, options).
#ifndef KVR_BENCH_PEER_APP_H
#define KVR_BENCH_PEER_APP_H

// How the program idles between events.
enum PeerIdle {
    PEER_IDLE_WAIT,  // the library's blocking wait
    PEER_IDLE_POLL,  // the viewer's loop: handle what is pending, else sleep 50 ms
};

// The command line: idle style and the X visual asked for (0: the library's own choice).
struct PeerOptions {
    PeerIdle idle;
    unsigned long visualId;
};

// Parses "--wait" or "--poll" (default) and "--visual <id>"; false (after a usage line) when
// the command line is not understood.
bool peerParseOptions(int argc, char** argv, const char* name, PeerOptions* options);

// Installed by the program: presents the back buffer, and moves the pointer to a position in
// the window.
extern void (*peerSwap)();
extern void (*peerWarp)(int x, int y);

// The client size, as the window layer reports it to the viewer's code.
extern int peerWidth;
extern int peerHeight;
// 1 while the right button is held.
extern int peerRightDown;

// Opens the viewer's render state in the current context and draws the first frame at the
// window's size, as the window layer does when the window opens and goes full screen.
void peerStart(int width, int height);
// A new client size: the projection, the viewport and a frame.
void peerResize(int width, int height);
// The pointer's position in the window when it opens.
void peerPointerAt(int x, int y);
// A pointer position in the window: wraps at the side edges, otherwise turns the view and draws.
// A report of the position already known is dropped: both libraries report the position when
// the pointer enters the window, which X does not count as a move, and neither does the layer.
void peerPointerMoved(int x, int y);
// A wheel turn, in notches (positive: away from the user).
void peerWheel(double notches);
// The left button released.
void peerLeftButtonUp();
// A key press, as a virtual-key code (0 for keys the viewer does not know).
void peerKeyDown(int vk);
// With KVR_PEER_TIMES set, prints to standard error when a step of the start-up ended:
// "peer time <step> <CLOCK_MONOTONIC in ms>".
void peerMark(const char* step);
// Sleeps for the given milliseconds.
void peerSleepMs(long ms);

#endif  // KVR_BENCH_PEER_APP_H
