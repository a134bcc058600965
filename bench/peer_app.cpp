// peer_app.cpp - the window-layer functions the viewer's code calls, for a program that opens
// its window with another library, and the viewer's input mapping as the window layer does it.
#include "peer_app.h"

#include "kelvor.h"
#include "kvr_window.h"

#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void (*peerSwap)() = nullptr;
void (*peerWarp)(int x, int y) = nullptr;
int peerWidth = 0;
int peerHeight = 0;
int peerRightDown = 0;

// The latest pointer position reported or known.
static int pointerX = -1;
static int pointerY = -1;

bool peerParseOptions(int argc, char** argv, const char* name, PeerOptions* options) {
    options->idle = PEER_IDLE_POLL;
    options->visualId = 0;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--wait") == 0) {
            options->idle = PEER_IDLE_WAIT;
        } else if (std::strcmp(argv[i], "--poll") == 0) {
            options->idle = PEER_IDLE_POLL;
        } else if (std::strcmp(argv[i], "--visual") == 0 && i + 1 < argc) {
            options->visualId = std::strtoul(argv[++i], nullptr, 0);
        } else {
            std::fprintf(stderr, "usage: %s [--wait | --poll] [--visual <X visual id>]\n", name);
            return false;
        }
    }
    return true;
}

void peerStart(int width, int height) {
    peerMark("window-and-context");
    onInit();
    peerMark("onInit");
    peerResize(width, height);
    peerMark("first-frame");
}

void peerResize(int width, int height) {
    peerWidth = width;
    peerHeight = height;
    onResize(width, height);
}

void peerPointerAt(int x, int y) {
    pointerX = x;
    pointerY = y;
}

void peerPointerMoved(int px, int py) {
    if (px == pointerX && py == pointerY) {
        return;
    }
    pointerX = px;
    pointerY = py;
    // Full screen: the pointer reaching a side edge is sent to the other side, and the move
    // that the warp makes is the one reported.
    if (px >= peerWidth - 1) {
        peerWarp(1, py);
        return;
    }
    if (px <= 0) {
        peerWarp(peerWidth - 2, py);
        return;
    }
    int halfWidth = peerWidth / 2;
    int halfHeight = peerHeight / 2;
    if (halfWidth == 0 || halfHeight == 0) {
        return;
    }
    // The same arithmetic as the window layer, so the same position gives the same view.
    long double x = (long double)(px - halfWidth) * (1.0L / (long double)halfWidth);
    long double y = (long double)(py - halfHeight) * (1.0L / (long double)halfHeight);
    onMouseMove((double)x, (double)y);
}

void peerWheel(double notches) {
    // The window layer passes the wheel's wParam: the signed delta (120 a notch) in the high word.
    int delta = (int)(notches * 120.0);
    onMouseWheel((int)(((unsigned)delta & 0xFFFFu) << 16));
}

void peerLeftButtonUp() {
    onMouseClick();
}

void peerKeyDown(int vk) {
    if (vk != 0) {
        onKeyDown(vk);
    }
}

void peerMark(const char* step) {
    if (std::getenv("KVR_PEER_TIMES") == nullptr) {
        return;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "peer time %s %.3f\n", step,
                 (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1.0e6);
}

void peerSleepMs(long ms) {
    timespec wait;
    wait.tv_sec = ms / 1000;
    wait.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// The window layer's functions that the viewer's code calls. The peer's window is full screen
// from the start and stays so: leaving full screen (Escape) is not offered.
int kvr_swapBuffers() {
    peerSwap();
    return 1;
}

int kvr_isFullscreen() {
    return 1;
}

int kvr_toggleFullScreen() {
    return 1;
}

int kvr_isRightMouseButtonDown() {
    return peerRightDown;
}

int kvr_getScreenWidth() {
    return peerWidth;
}

int kvr_getScreenHeight() {
    return peerHeight;
}
