// xres_count.h - counts of a client's server resources through the X-Resource extension.
#ifndef KVR_XRES_COUNT_H
#define KVR_XRES_COUNT_H

#include <X11/Xlib.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace xres {

// One client of the server: the base and mask of its resource ids.
struct ClientIds {
    uint32_t base;
    uint32_t mask;
};

// The X-Resource extension's major opcode, 0 when the server lacks it.
int opcode(Display* dpy);
// Every client connected to the server.
std::vector<ClientIds> clients(Display* dpy, int opcode);
// Resource counts by type name of the client whose ids start at `base`; empty when it is gone.
std::map<std::string, int> resources(Display* dpy, int opcode, uint32_t base);

}  // namespace xres

#endif  // KVR_XRES_COUNT_H
