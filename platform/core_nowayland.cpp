// core_nowayland.cpp - stands in for the Wayland backend in a build without it: there is never
// a Wayland backend to choose, and X11 is used.
#include "core.h"

const KvrWsBackend* kvr_wlConnectBackend(bool) {
    return nullptr;
}

bool kvr_wlBuilt() {
    return false;
}
