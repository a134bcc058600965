// wndproc_fuzz.cpp - feeds the window procedure arbitrary message sequences through the fake
// platform, with the real application handling the callbacks, and checks the layer's invariants
// after every step.
//
// One input opens the window as WinMain does (onInit with no context, kvr_createWindow, maybe the
// switch to full screen), then decodes the rest of the bytes into steps: messages of the table
// with arbitrary or shaped wParam and lParam, arbitrary message numbers, full-screen toggles,
// messages taken through the queue as the main loop does, failures of the fake's calls switched
// on and off, and changes of the screen size. It closes with kvr_destroyWindow. The window
// procedure is wrapped so that the last WM_SIZE it received is known.
//
// Invariants checked after every step:
// - every key flag is 0 or 1; a key message changes only the flag of its own code, and only for
//   codes inside the 256-entry array;
// - the right-button and activity flags are 0 or 1;
// - the full-screen flag matches the window form last set through the fake (styles);
// - the client size kept by the layer equals the one carried by the last WM_SIZE;
// - yaw, pitch, eyeX, eyeY and eyeZ are finite.
// A broken invariant prints what was seen and aborts, which the fuzzer and the replay driver
// both report as a failure.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "window_layer_reset.h"
#include "fake_platform.h"
#include "gl_recorder.h"
#include "kelvor.h"
#include "kvr_window.h"
#include "wndproc_fuzz.h"

namespace {

// Camera values at start, as the application defines them.
const double kStartYaw = -40.3;
const double kStartPitch = 3.3;
const double kStartEyeX = 10.6;
const double kStartEyeY = 3.0;
const double kStartEyeZ = 6.6;
const double kStartJump = 0.1;

// The styles of the two window forms.
const DWORD kWindowedStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
const DWORD kWindowedExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
const DWORD kFullscreenStyle = WS_POPUP;
const DWORD kFullscreenExStyle = WS_EX_APPWINDOW;

// At most this many steps per input, so one input stays quick.
const int kMaxSteps = 4000;

// Reads the input bytes; past the end it yields zeros.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

// The next byte, 0 past the end.
uint8_t byte(Reader& r) {
    return r.pos < r.size ? r.data[r.pos++] : 0;
}

// The next n bytes as a little-endian unsigned number.
uint64_t bytes(Reader& r, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v |= static_cast<uint64_t>(byte(r)) << (8 * i);
    }
    return v;
}

// What the checks need to know besides the layer's own state.
struct Model {
    bool windowOpen;
    bool sizeSeen;
    uint32_t lastSizeLParam;
    long steps;
    long messages;
    long toggles;
    long failuresInjected;
};

Model model;
// The layer's window procedure as registered, called by the wrapper.
WNDPROC layerProc = nullptr;

// Passes every message on to the layer's procedure, noting the last WM_SIZE.
LRESULT CALLBACK wrapperProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        model.sizeSeen = true;
        model.lastSizeLParam = static_cast<uint32_t>(static_cast<uint64_t>(lParam) & 0xFFFFFFFFu);
    }
    return layerProc != nullptr ? layerProc(hWnd, message, wParam, lParam) : 0;
}

// Prints a broken invariant with the step it followed, then aborts.
[[noreturn]] void fail(const char* what, const char* step) {
    fprintf(stderr,
            "invariant broken after step %ld (%s): %s\n"
            "  full screen %d, style 0x%lx, ex style 0x%lx, size %d x %d, last WM_SIZE %ux%u\n"
            "  yaw %g, pitch %g, eye %g %g %g\n",
            model.steps, step, what, kvr_isFullscreenFlag, static_cast<unsigned long>(fake::style),
            static_cast<unsigned long>(fake::exStyle), static_cast<int>(kvr_screenWidth),
            static_cast<int>(kvr_screenHeight), model.lastSizeLParam & 0xFFFFu, model.lastSizeLParam >> 16,
            yaw, pitch, eyeX, eyeY, eyeZ);
    abort();
}

// Checks every invariant; `step` names what was just done.
void check(const char* step) {
    for (int i = 0; i < 256; ++i) {
        if (kvr_keys[i] != 0 && kvr_keys[i] != 1) {
            fail("a key flag is neither 0 nor 1", step);
        }
    }
    if (kvr_rightDown != 0 && kvr_rightDown != 1) {
        fail("the right-button flag is neither 0 nor 1", step);
    }
    if (kvr_active != 0 && kvr_active != 1) {
        fail("the activity flag is neither 0 nor 1", step);
    }
    if (kvr_isFullscreenFlag != 0 && kvr_isFullscreenFlag != 1) {
        fail("the full-screen flag is neither 0 nor 1", step);
    }
    if (model.windowOpen) {
        bool fullForm = fake::style == kFullscreenStyle && fake::exStyle == kFullscreenExStyle;
        bool windowedForm = fake::style == kWindowedStyle && fake::exStyle == kWindowedExStyle;
        if (kvr_isFullscreenFlag == 1 && !fullForm) {
            fail("the full-screen flag is set but the window does not have the full-screen styles", step);
        }
        if (kvr_isFullscreenFlag == 0 && !windowedForm) {
            fail("the full-screen flag is clear but the window does not have the windowed styles", step);
        }
    }
    if (model.sizeSeen) {
        if (kvr_screenWidth != static_cast<int32_t>(model.lastSizeLParam & 0xFFFFu) ||
            kvr_screenHeight != static_cast<int32_t>(model.lastSizeLParam >> 16)) {
            fail("the client size kept differs from the last WM_SIZE", step);
        }
    }
    if (!std::isfinite(yaw) || !std::isfinite(pitch) || !std::isfinite(eyeX) || !std::isfinite(eyeY) ||
        !std::isfinite(eyeZ)) {
        fail("a camera value is not finite", step);
    }
}

// Sends one message to the window procedure and checks the key flags it may change.
void sendMessage(UINT message, WPARAM wParam, LPARAM lParam, const char* step) {
    int32_t before[256];
    memcpy(before, kvr_keys, sizeof before);
    fake::send(message, wParam, lParam);
    ++model.messages;
    if (message == WM_KEYDOWN || message == WM_KEYUP) {
        for (int i = 0; i < 256; ++i) {
            if (static_cast<WPARAM>(i) == wParam) {
                continue;
            }
            // Escape in full screen toggles the form, which sends only WM_SIZE: no other flag moves.
            if (kvr_keys[i] != before[i]) {
                fail("a key message changed the flag of another key", step);
            }
        }
        if (wParam < 256 && layerProc != nullptr) {
            int32_t want = message == WM_KEYDOWN ? 1 : 0;
            if (kvr_keys[wParam] != want) {
                fail("a key message did not set its own key flag", step);
            }
        }
    }
    check(step);
}

// Messages that the window procedure handles or passes on, for the shaped steps.
const UINT kMessages[] = {WM_SIZE,       WM_ACTIVATE,    WM_CLOSE,      WM_KEYDOWN,     WM_KEYUP,
                          WM_SYSKEYDOWN, WM_MOUSEMOVE,   WM_LBUTTONUP,  WM_RBUTTONDOWN, WM_RBUTTONUP,
                          WM_MOUSEWHEEL, WM_PAINT,       WM_ERASEBKGND, WM_DESTROY,     WM_LBUTTONDOWN,
                          WM_SYSKEYUP,   WM_SYSCHAR,     WM_SYSCOMMAND, WM_CHAR,        WM_SETFOCUS,
                          WM_KILLFOCUS,  WM_ACTIVATEAPP, WM_SHOWWINDOW, WM_MOVE,        WM_NULL};
const int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);

// Keys that the application reacts to, for the key steps.
const int kKeys[] = {0x1B, 0x20, 0x41, 0x44, 0x53, 0x57, 0x6B, 0x6D, VK_RETURN, VK_MENU};
const int kKeyCount = static_cast<int>(sizeof kKeys / sizeof kKeys[0]);

// Failures that can be injected while the window is open.
const fake::Step kSteps[] = {fake::SwapBuffersStep, fake::ReleaseCurrent,    fake::DeleteContext,
                             fake::ReleaseWindowDC, fake::DestroyWindowStep, fake::UnregisterClass,
                             fake::MakeCurrent,     fake::GetWindowDC,       fake::CreateWindow};
const int kStepCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

// A key code: mostly ones the application knows, sometimes any 16-bit or wider value.
WPARAM keyCode(Reader& r) {
    uint8_t sel = byte(r);
    if (sel < 160) {
        return static_cast<WPARAM>(kKeys[sel % kKeyCount]);
    }
    if (sel < 230) {
        return static_cast<WPARAM>(byte(r));
    }
    return static_cast<WPARAM>(bytes(r, 8));
}

// Runs one step decoded from the input.
void runStep(Reader& r) {
    uint8_t op = byte(r);
    switch (op % 12) {
        case 0: {
            // Any message of the table, wParam and lParam arbitrary.
            UINT message = kMessages[byte(r) % kMessageCount];
            WPARAM wParam = static_cast<WPARAM>(bytes(r, 8));
            LPARAM lParam = static_cast<LPARAM>(bytes(r, 8));
            sendMessage(message, wParam, lParam, "table message");
            break;
        }
        case 1: {
            // Any message number at all.
            UINT message = static_cast<UINT>(bytes(r, 4));
            WPARAM wParam = static_cast<WPARAM>(bytes(r, 8));
            LPARAM lParam = static_cast<LPARAM>(bytes(r, 8));
            sendMessage(message, wParam, lParam, "arbitrary message");
            break;
        }
        case 2:
        case 3: {
            // A pointer move with a 16-bit position pair, edges and beyond included.
            LPARAM lParam = static_cast<LPARAM>(bytes(r, 4));
            if (byte(r) & 1) {
                lParam |= static_cast<LPARAM>(bytes(r, 4)) << 32;
            }
            sendMessage(WM_MOUSEMOVE, static_cast<WPARAM>(byte(r)), lParam, "mouse move");
            break;
        }
        case 4: {
            // A key going down or up.
            UINT message = (byte(r) & 1) ? WM_KEYUP : WM_KEYDOWN;
            WPARAM key = keyCode(r);
            sendMessage(message, key, static_cast<LPARAM>(bytes(r, 4)), "key");
            break;
        }
        case 5: {
            // Alt+Enter or another system key, with or without the context bit.
            WPARAM key = (byte(r) & 1) ? static_cast<WPARAM>(VK_RETURN) : keyCode(r);
            LPARAM lParam = static_cast<LPARAM>(bytes(r, 4));
            if (byte(r) & 1) {
                lParam |= 0x20000000;
            }
            sendMessage(WM_SYSKEYDOWN, key, lParam, "system key");
            break;
        }
        case 6: {
            // A size message with any width and height, and any kind.
            WPARAM kind = static_cast<WPARAM>(byte(r) % 5);
            sendMessage(WM_SIZE, kind, static_cast<LPARAM>(bytes(r, 8)), "size");
            break;
        }
        case 7: {
            // Wheel, buttons and activation with arbitrary words.
            static const UINT shortMessages[] = {WM_MOUSEWHEEL, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONUP,
                                                 WM_ACTIVATE};
            UINT message = shortMessages[byte(r) % 5];
            sendMessage(message, static_cast<WPARAM>(bytes(r, 4)), static_cast<LPARAM>(bytes(r, 4)), "input");
            break;
        }
        case 8: {
            // The full-screen switch, as WinMain and Escape call it.
            int before = kvr_isFullscreenFlag;
            int result = kvr_toggleFullScreen();
            ++model.toggles;
            if (result != 1) {
                fail("kvr_toggleFullScreen did not return 1", "toggle");
            }
            if (kvr_isFullscreenFlag != 1 - before) {
                fail("kvr_toggleFullScreen did not switch the flag", "toggle");
            }
            check("toggle");
            break;
        }
        case 9: {
            // A message taken through the queue and dispatched, as the main loop does.
            UINT message = kMessages[byte(r) % kMessageCount];
            fake::post(message, static_cast<WPARAM>(bytes(r, 2)), static_cast<LPARAM>(bytes(r, 4)));
            MSG msg;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                ++model.messages;
            }
            check("queued message");
            break;
        }
        case 10: {
            // A platform call starts or stops failing.
            fake::Step step = kSteps[byte(r) % kStepCount];
            bool fails = (byte(r) & 1) != 0;
            fake::setFail(step, fails);
            model.failuresInjected += fails ? 1 : 0;
            break;
        }
        case 11: {
            // The screen changes size (for the next switch to full screen), 0 and 1 included.
            int w = static_cast<int>(bytes(r, 2) % 5000);
            int h = static_cast<int>(bytes(r, 2) % 5000);
            fake::screenWidth = w;
            fake::screenHeight = h;
            break;
        }
    }
    ++model.steps;
}

// Puts the layer, the application and the fakes back to their start state.
void resetAll() {
    fake::reset();
    glrec::reset();
    // No context is current for the recorder: frames cost nothing and nothing piles up in its log.
    glrec::contextCurrent = false;
    resetWindowLayer();
    yaw = kStartYaw;
    pitch = kStartPitch;
    eyeX = kStartEyeX;
    eyeY = kStartEyeY;
    eyeZ = kStartEyeZ;
    jump = kStartJump;
    doneInit = 0;
    sceneId = 0;
    quitFlag = 0;
    memset(&model, 0, sizeof model);
    layerProc = nullptr;
}

// What the inputs run so far in this process did.
struct Totals {
    long inputs;
    long steps;
    long messages;
    long toggles;
    long failuresInjected;
};
Totals totals;

}  // namespace

// Prints the totals when the process ends (after a libFuzzer run).
static void printTotals() {
    fprintf(stderr, "wndproc fuzz: %ld inputs, %ld steps, %ld messages, %ld toggles, %ld failures injected\n",
            totals.inputs, totals.steps, totals.messages, totals.toggles, totals.failuresInjected);
}

// Once per process: the space bar's lines would only flood the output, so standard output goes
// nowhere; the totals are printed at exit.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        perror("freopen");
    }
    atexit(printTotals);
    return 0;
}

// One input: open, run the steps with checks after each, close.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    resetAll();
    Reader r{data, size, 0};
    uint8_t setup = byte(r);
    // Low bits: which creation step fails, if any (most inputs open the window).
    static const fake::Step createSteps[] = {
        fake::RegisterClass,      fake::CreateWindow,  fake::GetWindowDC, fake::ChoosePixelFormatStep,
        fake::SetPixelFormatStep, fake::CreateContext, fake::MakeCurrent};
    int failAt = (setup & 0x0F) - 8;
    if (failAt >= 0 && failAt < 7) {
        fake::setFail(createSteps[failAt], true);
        ++model.failuresInjected;
    }
    onInit();
    int opened = kvr_createWindow("OpenGL Test", 640, 480, CW_USEDEFAULT, CW_USEDEFAULT, 32);
    if (failAt >= 0 && failAt < 7) {
        if (opened != 0) {
            fail("kvr_createWindow succeeded although a step failed", "create");
        }
        fake::setFail(createSteps[failAt], false);
    } else if (opened != 1) {
        fail("kvr_createWindow failed with nothing failing", "create");
    }
    model.windowOpen = opened == 1;
    layerProc = fake::wndProc;
    if (model.windowOpen) {
        // The WM_SIZE sent by CreateWindowExA carried the window's client size then.
        model.sizeSeen = true;
        model.lastSizeLParam = static_cast<uint32_t>(fake::clientWidth() & 0xFFFF) |
                               (static_cast<uint32_t>(fake::clientHeight()) << 16);
        fake::wndProc = wrapperProc;
        check("create");
        if (setup & 0x10) {
            kvr_toggleFullScreen();
            check("first toggle");
        }
    } else if (layerProc != nullptr) {
        fake::wndProc = wrapperProc;
    }
    while (r.pos < r.size && model.steps < kMaxSteps) {
        runStep(r);
        // The fake's log would only grow; nothing here reads it.
        fake::calls.clear();
    }
    if (model.windowOpen) {
        fake::wndProc = layerProc;
        kvr_destroyWindow();
    }
    totals.inputs += 1;
    totals.steps += model.steps;
    totals.messages += model.messages;
    totals.toggles += model.toggles;
    totals.failuresInjected += model.failuresInjected;
    return 0;
}
