// x11_raw_request.cpp - a request of no content sent as it stands, for tests that need the server
// to refuse requests of many kinds. Xlibint.h defines BOOL and the min and max macros, so this
// file includes nothing of the program's.
#include <X11/Xlibint.h>

namespace x11test {

// Sends a request of one word with the given major and minor opcode (not flushed).
void sendBareRequest(Display* dpy, int major, int minor) {
    LockDisplay(dpy);
    xReq* req = static_cast<xReq*>(_XGetRequest(dpy, static_cast<CARD8>(major), sizeof(xReq)));
    req->data = static_cast<CARD8>(minor);
    UnlockDisplay(dpy);
    SyncHandle();
}

}  // namespace x11test
