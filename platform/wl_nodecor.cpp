// wl_nodecor.cpp - stands in for libdecor in a build without it: no window gets a libdecor
// frame, so toplevels are the backend's own, with the compositor's decorations where offered.
#include "wl_state.h"

bool kvr_wlDecorOpen() {
    return false;
}

void kvr_wlDecorClose() {}

bool kvr_wlDecorate(KvrWlWindow*, const char*, const char*) {
    return false;
}

// Never called: no window has a frame.
void kvr_wlDecorMap(KvrWlWindow*) {}
void kvr_wlDecorShow(KvrWlWindow*, bool) {}
void kvr_wlDecorFullscreen(KvrWlWindow*, bool, wl_output*) {}
void kvr_wlDecorMinimise(KvrWlWindow*) {}
void kvr_wlDecorDestroy(KvrWlWindow*) {}
