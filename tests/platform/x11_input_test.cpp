// x11_input_test.cpp - real X input (XTest) into a window made through the Win32 calls:
// key codes, Alt, held-key repeats, buttons, the wheel, motion coalescing and pointer warps.
#include <gtest/gtest.h>

#include "x11_test_support.h"
#include "x11_state.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

using x11test::keyMessages;
using x11test::messagesOf;
using x11test::received;
using x11test::waitKeys;

class X11Input : public x11test::InputWindowTest {
protected:
    // Presses and releases a key, then dispatches what arrives.
    void tap(unsigned long keysym) {
        x11test::key(keysym, true);
        x11test::key(keysym, false);
    }
};

TEST_F(X11Input, KeysArriveAsVirtualKeyCodesWithScanCodes) {
    // clang-format off
    const struct { unsigned long keysym; UINT vk; } keys[] = {
        {XK_a, 'A'}, {XK_w, 'W'}, {XK_7, '7'}, {XK_space, VK_SPACE}, {XK_Return, VK_RETURN},
        {XK_Escape, VK_ESCAPE}, {XK_Tab, VK_TAB}, {XK_BackSpace, VK_BACK}, {XK_Left, VK_LEFT},
        {XK_Down, VK_DOWN}, {XK_F1, VK_F1}, {XK_F12, VK_F12}, {XK_KP_Add, VK_ADD},
        {XK_KP_Subtract, VK_SUBTRACT}, {XK_Shift_L, VK_SHIFT}, {XK_Control_L, VK_CONTROL},
    };
    // clang-format on
    for (const auto& k : keys) {
        tap(k.keysym);
    }
    const size_t count = 2 * (sizeof keys / sizeof keys[0]);
    ASSERT_TRUE(waitKeys(count));
    auto got = keyMessages();
    ASSERT_EQ(got.size(), count);
    for (size_t i = 0; i < count; i += 2) {
        const auto& k = keys[i / 2];
        EXPECT_EQ(got[i].message, (UINT)WM_KEYDOWN) << k.vk;
        EXPECT_EQ(got[i].wParam, (WPARAM)k.vk);
        EXPECT_EQ(got[i].lParam & 0xFFFF, 1) << "repeat count";
        EXPECT_EQ(got[i].lParam & 0x60000000, 0) << "no Alt, not a repeat";
        unsigned scan = XKeysymToKeycode(x11test::input(), (KeySym)k.keysym) - 8;
        if (scan <= 88) {
            EXPECT_EQ((unsigned)((got[i].lParam >> 16) & 0xFF), scan) << k.vk;
        }
        EXPECT_EQ(got[i + 1].message, (UINT)WM_KEYUP) << k.vk;
        EXPECT_EQ(got[i + 1].wParam, (WPARAM)k.vk);
        EXPECT_EQ((DWORD)got[i + 1].lParam & 0xC0000000u, 0xC0000000u) << "release bits";
    }
    // Arrow keys are extended keys.
    EXPECT_NE(got[16].lParam & 0x01000000, 0);
}

TEST_F(X11Input, AltMakesSystemKeysAndAltF4ClosesThroughTheDefault) {
    x11test::key(XK_Alt_L, true);
    tap(XK_Return);
    x11test::key(XK_Alt_L, false);
    ASSERT_TRUE(waitKeys(4));
    auto got = keyMessages();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(got[0].wParam, (WPARAM)VK_MENU);
    EXPECT_EQ(got[1].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(got[1].wParam, (WPARAM)VK_RETURN);
    EXPECT_NE(got[1].lParam & 0x20000000, 0) << "context code: Alt held";
    EXPECT_EQ(got[2].message, (UINT)WM_SYSKEYUP);
    EXPECT_EQ(got[3].message, (UINT)WM_SYSKEYUP);
    EXPECT_EQ(got[3].wParam, (WPARAM)VK_MENU);

    // Released Alt is no longer held: Enter is an ordinary key again; F10 alone is a system key.
    received.clear();
    tap(XK_Return);
    tap(XK_F10);
    ASSERT_TRUE(waitKeys(4));
    got = keyMessages();
    EXPECT_EQ(got[0].message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(got[0].lParam & 0x20000000, 0);
    EXPECT_EQ(got[2].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(got[2].wParam, (WPARAM)VK_F10);
    EXPECT_EQ(got[2].lParam & 0x20000000, 0);

    received.clear();
    x11test::key(XK_Alt_L, true);
    tap(XK_F4);
    x11test::key(XK_Alt_L, false);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_CLOSE).empty(); }, 2000))
        << "WM_SYSKEYDOWN VK_F4 with Alt, given to DefWindowProcA, sends WM_CLOSE";
    // A window manager may bind Alt+F4 itself (openbox does) and close through WM_DELETE_WINDOW:
    // then the key never reaches the window. When it does, the default path closes.
    bool f4Arrived = false;
    for (const auto& r : keyMessages()) {
        f4Arrived = f4Arrived || (r.message == WM_SYSKEYDOWN && r.wParam == VK_F4);
    }
    EXPECT_EQ(messagesOf(WM_CLOSE).size(), 1u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].wParam, 0u);
    EXPECT_EQ(messagesOf(WM_CLOSE)[0].lParam, 0);
    if (f4Arrived) {
        ASSERT_EQ(messagesOf(WM_SYSCOMMAND).size(), 1u);
        EXPECT_EQ(messagesOf(WM_SYSCOMMAND)[0].wParam, (WPARAM)SC_CLOSE);
        // The close command follows the key's press, not its release.
        size_t command = 0;
        while (command < received.size() && received[command].message != WM_SYSCOMMAND) {
            command++;
        }
        ASSERT_GT(command, 0u);
        EXPECT_EQ(received[command - 1].message, (UINT)WM_SYSKEYDOWN);
        EXPECT_EQ(received[command - 1].wParam, (WPARAM)VK_F4);
    }
}

TEST_F(X11Input, PeekMessageTakesTheFirstMessageInsideItsRangeBoundsIncluded) {
    tap(XK_a);
    XSync(x11test::input(), False);
    XSync(kvr_x11.display, False);
    // Both messages are still X events: the press is translated and kept while the release,
    // the lower bound of the range, is taken.
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_KEYUP, WM_SYSKEYDOWN, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYUP);
    EXPECT_EQ(msg.wParam, (WPARAM)'A');
    // The press waits in the queue, and is taken by a range that ends with it.
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_KEYDOWN - 1, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, (WPARAM)'A');
    EXPECT_FALSE(PeekMessageA(&msg, NULL, WM_KEYDOWN, WM_SYSKEYUP, PM_REMOVE)) << "each was taken once";
}

TEST_F(X11Input, HeldKeyRepeatsKeyDownWithoutReleases) {
    x11test::key(XK_w, true);
    // The server's auto-repeat starts after its delay (660 ms by default).
    x11test::pumpFor(1300);
    x11test::key(XK_w, false);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_KEYUP).empty(); }, 2000));
    auto got = keyMessages();
    ASSERT_GE(got.size(), 3u) << "at least one repeat";
    for (size_t i = 0; i + 1 < got.size(); i++) {
        EXPECT_EQ(got[i].message, (UINT)WM_KEYDOWN) << "no WM_KEYUP between repeats, at " << i;
        EXPECT_EQ(got[i].wParam, (WPARAM)'W');
        EXPECT_EQ((got[i].lParam & 0x40000000) != 0, i > 0) << "previous-state bit marks repeats, at " << i;
    }
    EXPECT_EQ(got.back().message, (UINT)WM_KEYUP);
}

TEST_F(X11Input, ButtonsAndWheelCarryPositionsFlagsAndDeltas) {
    x11test::moveTo(rect.left + 10, rect.top + 20);
    x11test::button(1, true);
    x11test::button(1, false);
    x11test::button(3, true);
    x11test::button(3, false);
    x11test::button(4, true);
    x11test::button(4, false);
    // A window manager's click-to-focus grab (openbox's) freezes the pointer and replays the
    // buttons later, with the keyboard state of that moment: Shift goes down only after the
    // first notch has arrived and up only after the second, as a user's finger does.
    x11test::pumpUntil([] { return messagesOf(WM_MOUSEWHEEL).size() >= 1; }, 2000);
    x11test::key(XK_Shift_L, true);
    x11test::button(5, true);
    x11test::button(5, false);
    x11test::pumpUntil([] { return messagesOf(WM_MOUSEWHEEL).size() >= 2; }, 2000);
    x11test::key(XK_Shift_L, false);
    x11test::settle();
    ASSERT_TRUE(x11test::pumpUntil([] { return messagesOf(WM_MOUSEWHEEL).size() >= 2; }, 2000));
    auto down = messagesOf(WM_LBUTTONDOWN);
    auto up = messagesOf(WM_LBUTTONUP);
    ASSERT_EQ(down.size(), 1u);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(LOWORD(down[0].lParam), 10) << "client coordinates";
    EXPECT_EQ(HIWORD(down[0].lParam), 20);
    EXPECT_EQ(down[0].wParam, (WPARAM)MK_LBUTTON);
    EXPECT_EQ(up[0].wParam, 0u);
    ASSERT_EQ(messagesOf(WM_RBUTTONDOWN).size(), 1u);
    ASSERT_EQ(messagesOf(WM_RBUTTONUP).size(), 1u);
    EXPECT_EQ(messagesOf(WM_RBUTTONDOWN)[0].wParam, (WPARAM)MK_RBUTTON);
    auto wheel = messagesOf(WM_MOUSEWHEEL);
    ASSERT_EQ(wheel.size(), 2u) << "one message per notch, none for the releases";
    EXPECT_EQ((short)HIWORD(wheel[0].wParam), 120);
    EXPECT_EQ(LOWORD(wheel[0].wParam), 0);
    EXPECT_EQ((short)HIWORD(wheel[1].wParam), -120);
    EXPECT_EQ(LOWORD(wheel[1].wParam), MK_SHIFT);
    EXPECT_EQ(LOWORD(wheel[0].lParam), rect.left + 10) << "screen coordinates";
    EXPECT_TRUE(messagesOf(WM_MBUTTONDOWN).empty());
}

TEST_F(X11Input, MotionBurstBecomesOneMoveWithTheLatestPosition) {
    // 1,000 moves are more than the connection's socket buffer holds at once: the part still
    // on its way is merged too.
    for (int i = 0; i < 1000; i++) {
        XTestFakeMotionEvent(x11test::input(), DefaultScreen(x11test::input()), rect.left + 200 + i % 300,
                             rect.top + 150 + i / 10, CurrentTime);
    }
    x11test::settle();
    x11test::pumpFor(100);
    auto moves = messagesOf(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(LOWORD(moves[0].lParam), 299);
    EXPECT_EQ(HIWORD(moves[0].lParam), 249);

    // Moves are not merged across a button event.
    received.clear();
    x11test::moveTo(rect.left + 30, rect.top + 30);
    x11test::button(1, true);
    x11test::moveTo(rect.left + 40, rect.top + 40);
    x11test::button(1, false);
    x11test::settle();
    x11test::pumpFor(100);
    moves = messagesOf(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(LOWORD(moves[0].lParam), 30);
    EXPECT_EQ(LOWORD(moves[1].lParam), 40);
    EXPECT_EQ(moves[1].wParam, (WPARAM)MK_LBUTTON) << "the button is held during the second move";
}

TEST_F(X11Input, PointerWarpArrivesAsItsOwnMove) {
    ASSERT_TRUE(SetCursorPos(rect.left + 300, rect.top + 200));
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_MOUSEMOVE).empty(); }, 2000));
    auto moves = messagesOf(WM_MOUSEMOVE);
    EXPECT_EQ(LOWORD(moves.back().lParam), 300);
    EXPECT_EQ(HIWORD(moves.back().lParam), 200);

    // Motion queued before a warp is not merged with the warp's move, also after more warps
    // than the layer remembers.
    for (int i = 0; i < 12; i++) {
        ASSERT_TRUE(SetCursorPos(rect.left + 300 + i, rect.top + 200));
        x11test::settle();
        x11test::pumpFor(10);
    }
    received.clear();
    for (int i = 0; i < 10; i++) {
        x11test::moveTo(rect.left + 5 + i, rect.top + 5);
    }
    ASSERT_TRUE(SetCursorPos(rect.left + 50, rect.top + 60));
    x11test::settle();
    x11test::pumpFor(100);
    moves = messagesOf(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(LOWORD(moves[0].lParam), 14);
    EXPECT_EQ(LOWORD(moves[1].lParam), 50);
    EXPECT_EQ(HIWORD(moves[1].lParam), 60);
}

TEST_F(X11Input, FullScreenMovesOntoOtherClientsWindowsOverItsEdgesArriveOnce) {
    SetWindowLongA(hwnd, GWL_EXSTYLE, 0x40000);
    SetWindowLongA(hwnd, GWL_STYLE, (LONG)WS_POPUP);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, sw, sh, 0x44));
    x11test::EdgeWindows edges({0, 0, sw, sh});
    // Onto the right edge's window, which takes the motion itself; back; onto the top one, which
    // does not, and along it into the corner: each position once. Then a burst along it: one move.
    const POINT path[] = {{sw / 2, 300}, {sw - 1, 300}, {sw / 2, 300}, {sw / 2, 0}, {sw - 1, 0}, {399, 0}};
    for (const POINT& p : path) {
        for (int x = &p == &path[5] ? 100 : p.x; x <= p.x; x++) {
            XTestFakeMotionEvent(x11test::input(), DefaultScreen(x11test::input()), x, p.y, CurrentTime);
        }
        x11test::settle();
        x11test::pumpFor(20);
    }
    auto moves = messagesOf(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 6u);
    for (size_t i = 0; i < 6; i++) {
        EXPECT_EQ(moves[i].lParam, MAKELPARAM(path[i].x, path[i].y)) << "move " << i;
    }
}

TEST_F(X11Input, DragOutOfTheWindowSendsNoMovesFromOutside) {
    // From the centre, with the right button held, out past each edge and back in.
    const POINT path[] = {{320, 240}, {500, 300},   {700, 300}, {900, 600}, {320, 700},
                          {-50, 240}, {-200, -100}, {320, -30}, {400, 200}};
    x11test::moveTo(rect.left + 320, rect.top + 240);
    x11test::button(3, true);
    for (const POINT& p : path) {
        x11test::moveTo(rect.left + p.x, rect.top + p.y);
        x11test::settle();
        x11test::pumpFor(20);
    }
    x11test::button(3, false);
    x11test::settle();
    x11test::pumpFor(100);
    auto moves = messagesOf(WM_MOUSEMOVE);
    ASSERT_FALSE(moves.empty());
    for (const auto& m : moves) {
        int x = (short)LOWORD(m.lParam), y = (short)HIWORD(m.lParam);
        EXPECT_TRUE(x >= 0 && x < 640 && y >= 0 && y < 480) << "a move from outside: " << x << ", " << y;
    }
    // Moves resume when the pointer comes back in.
    EXPECT_EQ(LOWORD(moves.back().lParam), 400);
    EXPECT_EQ(HIWORD(moves.back().lParam), 200);
    EXPECT_EQ(moves.back().wParam, (WPARAM)MK_RBUTTON);
    ASSERT_EQ(messagesOf(WM_RBUTTONUP).size(), 1u);
}

TEST_F(X11Input, AltPressedWhileAnotherWindowHadTheFocusCountsAsHeld) {
    // Another window takes the focus: an unmanaged one, so that a window manager neither
    // frames it nor hands the focus straight back as it does when the focus goes to None.
    Display* d = x11test::input();
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    Window other = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(d, other);
    XSync(d, False);
    XSetInputFocus(d, other, RevertToNone, CurrentTime);
    XSync(d, False);
    x11test::key(XK_Alt_L, true);
    x11test::pumpFor(100);
    received.clear();
    SetFocus(hwnd);
    ASSERT_TRUE(x11test::pumpUntil([] { return !messagesOf(WM_ACTIVATE).empty(); }, 2000));
    tap(XK_Return);
    x11test::key(XK_Alt_L, false);
    ASSERT_TRUE(waitKeys(3));
    auto got = keyMessages();
    EXPECT_EQ(got[0].message, (UINT)WM_SYSKEYDOWN) << "no key-down was seen for Alt, yet it is held";
    EXPECT_EQ(got[0].wParam, (WPARAM)VK_RETURN);
    EXPECT_NE(got[0].lParam & 0x20000000, 0);
    XDestroyWindow(d, other);
    XSync(d, False);
}

TEST_F(X11Input, AltReleasedUnderAGrabAndPressedAgainBeforeTheQueueIsReadIsAFirstPress) {
    x11test::key(XK_Alt_L, true);
    ASSERT_TRUE(waitKeys(1));
    received.clear();
    // A busy program: another client grabs the keyboard, Alt goes up there, the grab ends and Alt
    // goes down again, all before the queue is read. The keyboard as it was when the focus came
    // back says Alt was up; the keyboard as it is when the focus gain is read says it is down.
    ASSERT_TRUE(x11test::releaseUnderGrab(XK_Alt_L));
    x11test::key(XK_Alt_L, true);
    x11test::settle();
    ASSERT_TRUE(waitKeys(1));
    EXPECT_EQ(keyMessages()[0].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(keyMessages()[0].wParam, (WPARAM)VK_MENU);
    EXPECT_EQ(keyMessages()[0].lParam & 0x40000000, 0)
        << "a first press, not a repeat of the one before the grab";
    x11test::key(XK_Alt_L, false);
}
