// xres_count.cpp - counts of a client's server resources through the X-Resource extension.
//
// The requests are built with Xlib's own request machinery (Xlibint.h) and the protocol header
// XResproto.h, so no X-Resource client library is needed. Xlibint.h defines BOOL and the min and
// max macros, so this file includes nothing of the program's.
#include <map>
#include <string>
#include <vector>

#include "xres_count.h"

#include <X11/Xlibint.h>
#include <X11/extensions/XResproto.h>

namespace xres {

// The X-Resource extension's major opcode, 0 when the server lacks it.
int opcode(Display* dpy) {
    int major = 0;
    int event = 0;
    int error = 0;
    return XQueryExtension(dpy, "X-Resource", &major, &event, &error) ? major : 0;
}

// Every client connected to the server (XResQueryClients).
std::vector<ClientIds> clients(Display* dpy, int opcode) {
    std::vector<ClientIds> result;
    xXResQueryClientsReq* req;
    xXResQueryClientsReply rep;
    LockDisplay(dpy);
    GetReq(XResQueryClients, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->XResReqType = X_XResQueryClients;
    if (_XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xFalse)) {
        for (CARD32 i = 0; i < rep.num_clients; ++i) {
            xXResClient c;
            _XRead(dpy, reinterpret_cast<char*>(&c), sz_xXResClient);
            result.push_back(ClientIds{c.resource_base, c.resource_mask});
        }
    }
    UnlockDisplay(dpy);
    SyncHandle();
    return result;
}

// Resource counts by type name of the client whose ids start at `base`; empty when it is gone.
std::map<std::string, int> resources(Display* dpy, int opcode, uint32_t base) {
    std::map<std::string, int> counts;
    bool present = false;
    for (const ClientIds& c : clients(dpy, opcode)) {
        present = present || c.base == base;
    }
    if (!present) {
        return counts;
    }
    std::vector<xXResType> types;
    xXResQueryClientResourcesReq* req;
    xXResQueryClientResourcesReply rep;
    LockDisplay(dpy);
    GetReq(XResQueryClientResources, req);
    req->reqType = static_cast<CARD8>(opcode);
    req->XResReqType = X_XResQueryClientResources;
    req->xid = base;
    if (_XReply(dpy, reinterpret_cast<xReply*>(&rep), 0, xFalse)) {
        for (CARD32 i = 0; i < rep.num_types; ++i) {
            xXResType t;
            _XRead(dpy, reinterpret_cast<char*>(&t), sz_xXResType);
            types.push_back(t);
        }
    }
    UnlockDisplay(dpy);
    SyncHandle();
    for (const xXResType& t : types) {
        char* name = XGetAtomName(dpy, t.resource_type);
        counts[name != nullptr ? name : "?"] += static_cast<int>(t.count);
        if (name != nullptr) {
            XFree(name);
        }
    }
    return counts;
}

}  // namespace xres
