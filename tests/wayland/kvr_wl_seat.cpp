// kvr_wl_seat.cpp - a user's keyboard, mouse and eyes on a Wayland compositor, for tests that
// drive any Wayland client from outside. Connects to $WAYLAND_DISPLAY, then reads one command a
// line on standard input and answers each with exactly one line, "ok ..." or "error <why>":
//
//   key NAME down|up     a key by its xkb keysym name (w, Escape, Alt_L, Return, space, F4)
//   tap NAME             the key pressed and released
//   move DX DY           relative pointer motion (what a locked pointer reports)
//   moveto X Y           the pointer to an output position
//   button left|right|middle down|up
//   wheel N              N notches, positive away from the user (up)
//   shot PATH            the whole output as a binary PPM (P6)
//   size                 "ok W H", the output's current mode
//   sleep MS             waits
//   sync                 a round trip to the compositor
//
// Keys go through a virtual keyboard (zwp_virtual_keyboard_v1) with a US keymap of its own,
// pointer input through a wlroots virtual pointer, pictures through wlroots screencopy. On a
// compositor without screencopy (weston with --debug) the picture comes from
// weston-screenshooter. A command the compositor offers no protocol for answers an error; the
// tool keeps running.
#include <errno.h>
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

wl_display* display = nullptr;
wl_registry* registry = nullptr;
wl_seat* seat = nullptr;
wl_shm* shm = nullptr;
wl_output* output = nullptr;
int outputW = 0, outputH = 0;
zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
uint32_t pointerManagerVersion = 0;
zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
zwlr_screencopy_manager_v1* screencopyManager = nullptr;
uint32_t screencopyVersion = 0;

zwlr_virtual_pointer_v1* pointer = nullptr;
zwp_virtual_keyboard_v1* keyboard = nullptr;
xkb_context* xkbContext = nullptr;
xkb_keymap* keymap = nullptr;
xkb_state* xkbState = nullptr;
// The modifiers last sent, to send them again only when a key changes them.
uint32_t sentMods[4] = {0, 0, 0, 0};

// Milliseconds on a monotonic clock, the time stamps of the events sent.
uint32_t nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000);
}

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {}

void outputMode(void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        outputW = width;
        outputH = height;
    }
}

void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, int32_t) {}
void outputName(void*, wl_output*, const char*) {}
void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                           outputScale,    outputName, outputDescription};

void registryGlobal(void*, wl_registry* reg, uint32_t name, const char* interface, uint32_t version) {
    std::string i = interface;
    if (i == wl_seat_interface.name && !seat) {
        seat = static_cast<wl_seat*>(wl_registry_bind(reg, name, &wl_seat_interface, 1));
    } else if (i == wl_shm_interface.name) {
        shm = static_cast<wl_shm*>(wl_registry_bind(reg, name, &wl_shm_interface, 1));
    } else if (i == wl_output_interface.name && !output) {
        output = static_cast<wl_output*>(wl_registry_bind(reg, name, &wl_output_interface, 2));
        wl_output_add_listener(output, &outputListener, nullptr);
    } else if (i == zwlr_virtual_pointer_manager_v1_interface.name) {
        pointerManagerVersion = std::min<uint32_t>(version, 2);
        pointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(reg, name, &zwlr_virtual_pointer_manager_v1_interface, pointerManagerVersion));
    } else if (i == zwp_virtual_keyboard_manager_v1_interface.name) {
        keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(reg, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (i == zwlr_screencopy_manager_v1_interface.name) {
        screencopyVersion = std::min<uint32_t>(version, 3);
        screencopyManager = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(reg, name, &zwlr_screencopy_manager_v1_interface, screencopyVersion));
    }
}

void registryGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};

// An anonymous shared-memory file of the given size, or -1.
int sharedFile(size_t size) {
    int fd = memfd_create("kvr-wl-seat", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (ftruncate(fd, off_t(size)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// ---------------------------------------------------------------------------------------------
// The keyboard.

// Makes the virtual keyboard with the keymap of a layout (the US one unless asked: `layout`),
// or gives the existing one that keymap; "" or why it could not.
std::string setUpKeyboard(const std::string& layout = "us", const std::string& variant = "") {
    if (!keyboardManager || !seat) {
        return "the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)";
    }
    if (!xkbContext) {
        xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    }
    xkb_rule_names names = {"evdev", "pc105", layout.c_str(), variant.c_str(), ""};
    xkb_keymap* compiled =
        xkbContext ? xkb_keymap_new_from_names(xkbContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    if (!compiled) {
        return "the keymap of layout " + layout + " does not compile (xkb-data missing?)";
    }
    if (xkbState) {
        xkb_state_unref(xkbState);
        xkb_keymap_unref(keymap);
    }
    keymap = compiled;
    xkbState = xkb_state_new(keymap);
    memset(sentMods, 0, sizeof sentMods);
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    size_t size = strlen(text) + 1;
    int fd = sharedFile(size);
    if (fd < 0) {
        free(text);
        return std::string("memfd: ") + strerror(errno);
    }
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        free(text);
        return std::string("mmap: ") + strerror(errno);
    }
    memcpy(map, text, size);
    munmap(map, size);
    free(text);
    if (!keyboard) {
        keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
    close(fd);
    wl_display_roundtrip(display);
    return "";
}

// The xkb keycode that gives the keysym on the first shift level it appears on (the lowest
// level wins, so "w" is the W key unshifted); 0 when no key of the US layout has it.
xkb_keycode_t keycodeOf(xkb_keysym_t sym) {
    xkb_keycode_t best = 0;
    xkb_level_index_t bestLevel = 1000;
    for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap); ++k) {
        xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, k, 0);
        for (xkb_level_index_t l = 0; l < levels && l < bestLevel; ++l) {
            const xkb_keysym_t* syms = nullptr;
            int n = xkb_keymap_key_get_syms_by_level(keymap, k, 0, l, &syms);
            for (int i = 0; i < n; ++i) {
                if (syms[i] == sym) {
                    best = k;
                    bestLevel = l;
                }
            }
        }
    }
    return best;
}

std::string sendCode(xkb_keycode_t code, bool down, const std::string& name);

// Sends one key change by keysym name, then the modifier state it leads to when that changed.
std::string sendKey(const std::string& name, bool down) {
    if (!keyboard) {
        std::string why = setUpKeyboard();
        if (!why.empty()) {
            return "error " + why;
        }
    }
    xkb_keysym_t sym = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
    if (sym == XKB_KEY_NoSymbol) {
        sym = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
    }
    if (sym == XKB_KEY_NoSymbol) {
        return "error no keysym named " + name;
    }
    xkb_keycode_t code = keycodeOf(sym);
    if (code < 8) {
        return "error no key of the layout gives " + name;
    }
    return sendCode(code, down, name);
}

// Sends one change of the key with an xkb keycode (evdev + 8), then the modifier state it leads
// to when that changed.
std::string sendCode(xkb_keycode_t code, bool down, const std::string& name) {
    zwp_virtual_keyboard_v1_key(keyboard, nowMs(), code - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(xkbState, code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    uint32_t mods[4] = {xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_DEPRESSED),
                        xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_LATCHED),
                        xkb_state_serialize_mods(xkbState, XKB_STATE_MODS_LOCKED),
                        xkb_state_serialize_layout(xkbState, XKB_STATE_LAYOUT_EFFECTIVE)};
    if (memcmp(mods, sentMods, sizeof mods) != 0) {
        zwp_virtual_keyboard_v1_modifiers(keyboard, mods[0], mods[1], mods[2], mods[3]);
        memcpy(sentMods, mods, sizeof mods);
    }
    wl_display_flush(display);
    char buf[128];
    snprintf(buf, sizeof buf, "ok %s %s (evdev %u, mods 0x%x)", name.c_str(), down ? "down" : "up", code - 8,
             mods[0]);
    return buf;
}

// ---------------------------------------------------------------------------------------------
// The pointer.

// Makes the virtual pointer on the output (version 2) or on the seat; "" or why it could not.
std::string setUpPointer() {
    if (!pointerManager) {
        return "the compositor offers no virtual pointer (zwlr_virtual_pointer_manager_v1)";
    }
    if (pointerManagerVersion >= 2 && output) {
        pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(pointerManager, seat, output);
    } else {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager, seat);
    }
    wl_display_roundtrip(display);
    return "";
}

// Ends one pointer event group and sends it.
std::string pointerFrame(const std::string& reply) {
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_flush(display);
    return reply;
}

std::string pointerCommand(const std::string& cmd, std::istringstream& args) {
    if (!pointer) {
        std::string why = setUpPointer();
        if (!why.empty()) {
            return "error " + why;
        }
    }
    if (cmd == "move") {
        double dx, dy;
        if (!(args >> dx >> dy)) {
            return "error usage: move DX DY";
        }
        zwlr_virtual_pointer_v1_motion(pointer, nowMs(), wl_fixed_from_double(dx), wl_fixed_from_double(dy));
        return pointerFrame("ok move");
    }
    if (cmd == "moveto") {
        int x, y;
        if (!(args >> x >> y) || x < 0 || y < 0) {
            return "error usage: moveto X Y (not negative)";
        }
        if (outputW <= 0 || outputH <= 0) {
            return "error the output's size is not known";
        }
        zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), uint32_t(x), uint32_t(y), uint32_t(outputW),
                                                uint32_t(outputH));
        return pointerFrame("ok moveto");
    }
    if (cmd == "button") {
        std::string which, state;
        args >> which >> state;
        uint32_t code = which == "left"     ? BTN_LEFT
                        : which == "right"  ? BTN_RIGHT
                        : which == "middle" ? BTN_MIDDLE
                                            : 0;
        if (code == 0 || (state != "down" && state != "up")) {
            return "error usage: button left|right|middle down|up";
        }
        zwlr_virtual_pointer_v1_button(
            pointer, nowMs(), code,
            state == "down" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        return pointerFrame("ok button");
    }
    // wheel: Wayland's vertical axis grows towards the user, so a notch up is -15 and -1 step.
    int notches;
    if (!(args >> notches)) {
        return "error usage: wheel N";
    }
    uint32_t t = nowMs();
    zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer, t, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                          wl_fixed_from_int(-15 * notches), -notches);
    return pointerFrame("ok wheel");
}

// ---------------------------------------------------------------------------------------------
// Pictures.

struct Capture {
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool haveBuffer = false, bufferDone = false, ready = false, failed = false;
    uint32_t flags = 0;
};

void frameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    Capture* c = static_cast<Capture*>(data);
    c->format = format, c->width = width, c->height = height, c->stride = stride;
    c->haveBuffer = true;
}

void frameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<Capture*>(data)->flags = flags;
}

void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<Capture*>(data)->ready = true;
}

void frameFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Capture*>(data)->failed = true;
}

void frameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}

void frameBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Capture*>(data)->bufferDone = true;
}

const zwlr_screencopy_frame_v1_listener frameListener = {
    frameBuffer, frameFlags, frameReady, frameFailed, frameDamage, frameDmabuf, frameBufferDone};

// Writes RGB bytes, top row first, as a binary PPM.
bool writePpm(const std::string& path, int w, int h, const std::vector<unsigned char>& rgb) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    bool ok = fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return fclose(f) == 0 && ok;
}

// Waits for the compositor's events until done() holds or it goes away.
template <typename F>
bool dispatchUntil(F done) {
    while (!done()) {
        if (wl_display_dispatch(display) < 0) {
            return false;
        }
    }
    return true;
}

std::string screencopyShot(const std::string& path) {
    Capture c;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(screencopyManager, 0, output);
    zwlr_screencopy_frame_v1_add_listener(frame, &frameListener, &c);
    // Version 3 lists every buffer kind and then says done; earlier versions offer one shm buffer.
    bool offered =
        dispatchUntil([&] { return c.failed || (screencopyVersion >= 3 ? c.bufferDone : c.haveBuffer); });
    if (!offered || c.failed || !c.haveBuffer) {
        zwlr_screencopy_frame_v1_destroy(frame);
        return "error the compositor offered no shared-memory buffer for the output";
    }
    size_t size = size_t(c.stride) * c.height;
    int fd = sharedFile(size);
    void* pixels = fd < 0 ? MAP_FAILED : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        if (fd >= 0) {
            close(fd);
        }
        zwlr_screencopy_frame_v1_destroy(frame);
        return std::string("error shared memory: ") + strerror(errno);
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(size));
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, int32_t(c.width), int32_t(c.height), int32_t(c.stride), c.format);
    zwlr_screencopy_frame_v1_copy(frame, buffer);
    bool got = dispatchUntil([&] { return c.ready || c.failed; });
    std::string reply;
    if (!got || c.failed) {
        reply = "error the copy of the output failed";
    } else {
        // Pixels are 32-bit little-endian words: XRGB/ARGB hold B,G,R,X in memory, XBGR/ABGR R,G,B,X.
        bool bgr = c.format == WL_SHM_FORMAT_XRGB8888 || c.format == WL_SHM_FORMAT_ARGB8888;
        bool rgbOrder = c.format == WL_SHM_FORMAT_XBGR8888 || c.format == WL_SHM_FORMAT_ABGR8888;
        if (!bgr && !rgbOrder) {
            reply = "error unhandled shm format 0x" + std::to_string(c.format);
        } else {
            std::vector<unsigned char> rgb(size_t(c.width) * c.height * 3);
            bool flip = c.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
            for (uint32_t y = 0; y < c.height; ++y) {
                const unsigned char* row =
                    static_cast<unsigned char*>(pixels) + size_t(flip ? c.height - 1 - y : y) * c.stride;
                unsigned char* out = &rgb[size_t(y) * c.width * 3];
                for (uint32_t x = 0; x < c.width; ++x, row += 4, out += 3) {
                    out[0] = row[bgr ? 2 : 0];
                    out[1] = row[1];
                    out[2] = row[bgr ? 0 : 2];
                }
            }
            reply = writePpm(path, int(c.width), int(c.height), rgb)
                        ? "ok " + std::to_string(c.width) + " " + std::to_string(c.height)
                        : "error cannot write " + path;
        }
    }
    wl_buffer_destroy(buffer);
    wl_shm_pool_destroy(pool);
    munmap(pixels, size);
    close(fd);
    zwlr_screencopy_frame_v1_destroy(frame);
    return reply;
}

// Runs a program with its output to /dev/null in the given folder; its exit status, or -1.
int runQuiet(const std::vector<std::string>& args, const std::string& dir) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1), dup2(null, 2);
        if (!dir.empty() && chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    if (pid < 0 || waitpid(pid, &st, 0) != pid) {
        return -1;
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Weston has no screencopy: its own screenshooter (a --debug protocol) writes a PNG into the
// folder it runs in, which ImageMagick turns into the PPM.
std::string westonShot(const std::string& path) {
    char dir[] = "/tmp/kvr-wl-shot-XXXXXX";
    if (!mkdtemp(dir)) {
        return std::string("error mkdtemp: ") + strerror(errno);
    }
    std::string reply;
    int st = runQuiet({"weston-screenshooter"}, dir);
    std::string png;
    std::string list = std::string(dir);
    if (FILE* p = popen(("ls " + list + "/*.png 2>/dev/null").c_str(), "r")) {
        char line[512];
        if (fgets(line, sizeof line, p)) {
            png = line;
            png.erase(png.find_last_not_of("\n") + 1);
        }
        pclose(p);
    }
    if (st != 0 || png.empty()) {
        reply = st == 127 ? "error no screencopy, and weston-screenshooter is not installed (package weston)"
                          : "error no screencopy, and weston-screenshooter failed (weston needs --debug)";
    } else if (runQuiet({"convert", png, "ppm:" + path}, "") != 0) {
        reply = "error convert (imagemagick) could not turn " + png + " into " + path;
    } else {
        reply = "ok";
    }
    runQuiet({"rm", "-rf", dir}, "");
    return reply;
}

std::string shot(std::istringstream& args) {
    std::string path;
    if (!(args >> path)) {
        return "error usage: shot PATH";
    }
    if (screencopyManager && shm && output) {
        return screencopyShot(path);
    }
    return westonShot(path);
}

// One command line to its answer.
std::string run(const std::string& line) {
    std::istringstream args(line);
    std::string cmd;
    args >> cmd;
    if (cmd == "key" || cmd == "tap") {
        std::string name, state = "tap";
        args >> name;
        if (cmd == "key") {
            args >> state;
        }
        if (name.empty() || (state != "down" && state != "up" && state != "tap")) {
            return "error usage: key NAME down|up, or tap NAME";
        }
        if (state != "tap") {
            return sendKey(name, state == "down");
        }
        std::string down = sendKey(name, true);
        return down.rfind("ok", 0) == 0 ? sendKey(name, false) : down;
    }
    if (cmd == "code") {
        // code N down|up|tap: the key with xkb keycode N, whatever the layout puts on it.
        unsigned n = 0;
        std::string state = "tap";
        args >> n >> state;
        if (n < 8 || n > 255 || (state != "down" && state != "up" && state != "tap")) {
            return "error usage: code KEYCODE down|up|tap (KEYCODE 8 to 255)";
        }
        if (!keyboard) {
            std::string why = setUpKeyboard();
            if (!why.empty()) {
                return "error " + why;
            }
        }
        std::string name = "keycode " + std::to_string(n);
        if (state != "tap") {
            return sendCode(n, state == "down", name);
        }
        std::string down = sendCode(n, true, name);
        return down.rfind("ok", 0) == 0 ? sendCode(n, false, name) : down;
    }
    if (cmd == "layout") {
        // layout NAME [VARIANT]: the keyboard's keymap from then on.
        std::string layout, variant;
        args >> layout >> variant;
        if (layout.empty()) {
            return "error usage: layout NAME [VARIANT]";
        }
        std::string why = setUpKeyboard(layout, variant);
        return why.empty() ? "ok layout " + layout : "error " + why;
    }
    if (cmd == "move" || cmd == "moveto" || cmd == "button" || cmd == "wheel") {
        return pointerCommand(cmd, args);
    }
    if (cmd == "shot") {
        return shot(args);
    }
    if (cmd == "size") {
        if (outputW <= 0) {
            return "error no output, or its mode is not known";
        }
        return "ok " + std::to_string(outputW) + " " + std::to_string(outputH);
    }
    if (cmd == "sleep") {
        int ms;
        if (!(args >> ms) || ms < 0) {
            return "error usage: sleep MS";
        }
        usleep(useconds_t(ms) * 1000);
        return "ok";
    }
    if (cmd == "sync") {
        return wl_display_roundtrip(display) >= 0 ? "ok" : "error the compositor connection is gone";
    }
    return "error unknown command: " + cmd;
}

}  // namespace

int main() {
    display = wl_display_connect(nullptr);
    if (!display) {
        const char* name = getenv("WAYLAND_DISPLAY");
        fprintf(stderr, "kvr_wl_seat: cannot connect to the Wayland display %s\n", name ? name : "(unset)");
        return 1;
    }
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    // The globals, then the output's mode.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    // The devices exist from the start: a client started afterwards sees the seat's keyboard and
    // pointer from its first connection instead of as a capability change.
    if (keyboardManager && seat) {
        setUpKeyboard();
    }
    if (pointerManager) {
        setUpPointer();
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty()) {
            continue;
        }
        std::string reply =
            wl_display_get_error(display) ? "error the compositor connection is gone" : run(line);
        printf("%s\n", reply.c_str());
        fflush(stdout);
    }
    wl_display_disconnect(display);
    return 0;
}
