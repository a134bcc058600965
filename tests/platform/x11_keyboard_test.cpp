// x11_keyboard_test.cpp - the keyboard as the server really has it: Alt after another client's
// keyboard grab, and the virtual-key codes of the letter keys under other layouts (setxkbmap),
// sent as physical keys with XTest.
#include <gtest/gtest.h>

#include "key_expectations.h"
#include "x11_test_support.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

using x11test::keyMessages;
using x11test::received;
using x11test::waitKeys;

namespace {

// Presses and releases a key by keycode.
void tapCode(KeyCode code) {
    XTestFakeKeyEvent(x11test::input(), code, True, CurrentTime);
    XTestFakeKeyEvent(x11test::input(), code, False, CurrentTime);
    XSync(x11test::input(), False);
}

// The keycode of an XKB key name such as "AD02", 0 when the keyboard has none.
KeyCode keycodeNamed(const char* name) {
    KeyCode found = 0;
    XkbDescPtr keyboard = XkbGetMap(x11test::input(), 0, XkbUseCoreKbd);
    if (keyboard == nullptr) {
        return 0;
    }
    if (XkbGetNames(x11test::input(), XkbKeyNamesMask, keyboard) != Success) {
        XkbFreeKeyboard(keyboard, 0, True);
        return 0;
    }
    for (int code = keyboard->min_key_code; code <= keyboard->max_key_code && found == 0; code++) {
        if (keyboard->names != nullptr && keyboard->names->keys != nullptr &&
            std::strncmp(keyboard->names->keys[code].name, name, 4) == 0) {
            found = (KeyCode)code;
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return found;
}

// Runs setxkbmap with the given arguments on the test display; true when it succeeded.
bool setLayout(const std::string& arguments) {
    std::string command = "setxkbmap " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// True when setxkbmap and the layouts it needs are installed.
bool layoutsInstalled() {
    struct stat info;
    return std::system("command -v setxkbmap >/dev/null 2>&1") == 0 &&
           stat("/usr/share/X11/xkb/symbols/ru", &info) == 0 &&
           stat("/usr/share/X11/xkb/symbols/fr", &info) == 0;
}

}  // namespace

// The layout, the locked group and Num Lock are the server's: these tests run on a private one.
class X11Keyboard : public x11test::InputWindowTest {
protected:
    void SetUp() override {
        KVR_NEED_PRIVATE_SERVER();
        InputWindowTest::SetUp();
    }
    void TearDown() override {
        if (x11test::onPrivateServer()) {
            if (numLockOn()) {
                x11test::key(XK_Num_Lock, true);
                x11test::key(XK_Num_Lock, false);
            }
            if (layoutChanged) {
                setLayout("us");
                XkbLockGroup(x11test::input(), XkbUseCoreKbd, 0);
                XSync(x11test::input(), False);
            }
        }
        InputWindowTest::TearDown();
    }
    // Loads a layout, or skips (fails where a display is required) when none can be loaded.
    void useLayout(const std::string& arguments) {
        if (!layoutsInstalled()) {
            if (x11test::displayRequired()) {
                FAIL() << "setxkbmap or xkb-data missing (install x11-xkb-utils and xkb-data)";
            }
            GTEST_SKIP() << "setxkbmap or xkb-data missing (install x11-xkb-utils and xkb-data)";
        }
        layoutChanged = true;
        ASSERT_TRUE(setLayout(arguments)) << "setxkbmap " << arguments;
        // The program's connection learns of the new keyboard before the keys come.
        x11test::settle();
        x11test::pumpFor(100);
    }
    // Locks a layout group, as the layout switcher does.
    void lockGroup(unsigned group) {
        XkbLockGroup(x11test::input(), XkbUseCoreKbd, group);
        x11test::settle();
        x11test::pumpFor(50);
        received.clear();
    }
    // Taps the keys of the given XKB names and expects one down and one up each, with the codes.
    void expectCodes(const std::vector<std::pair<const char*, UINT>>& keys) {
        received.clear();
        for (const auto& k : keys) {
            KeyCode code = keycodeNamed(k.first);
            ASSERT_NE(code, 0) << k.first;
            tapCode(code);
        }
        ASSERT_TRUE(waitKeys(2 * keys.size())) << "every key gives a message";
        auto got = keyMessages();
        ASSERT_EQ(got.size(), 2 * keys.size());
        for (size_t i = 0; i < keys.size(); i++) {
            EXPECT_EQ(got[2 * i].message, (UINT)WM_KEYDOWN) << keys[i].first;
            EXPECT_EQ(got[2 * i].wParam, (WPARAM)keys[i].second) << keys[i].first;
            EXPECT_EQ(got[2 * i + 1].message, (UINT)WM_KEYUP) << keys[i].first;
            EXPECT_EQ(got[2 * i + 1].wParam, (WPARAM)keys[i].second) << keys[i].first;
        }
    }
    // True when Num Lock is locked on.
    static bool numLockOn() {
        XkbStateRec state = {};
        Display* d = x11test::input();
        return XkbGetState(d, XkbUseCoreKbd, &state) == Success &&
               (state.locked_mods & XkbKeysymToModifiers(d, XK_Num_Lock)) != 0;
    }
    // Presses Num Lock until it is on or off as asked.
    static void setNumLock(bool on) {
        if (numLockOn() != on) {
            x11test::key(XK_Num_Lock, true);
            x11test::key(XK_Num_Lock, false);
            x11test::settle();
        }
    }
    bool layoutChanged = false;
};

TEST_F(X11Keyboard, AltReleasedDuringAnotherClientsGrabIsNoLongerHeld) {
    x11test::key(XK_Alt_L, true);
    ASSERT_TRUE(waitKeys(1));
    // A window manager's switcher (or a screen locker) grabs the keyboard; Alt goes up there.
    ASSERT_TRUE(x11test::releaseUnderGrab(XK_Alt_L));
    XSync(x11test::input(), False);
    x11test::pumpFor(100);
    received.clear();

    x11test::key(XK_space, true);
    x11test::key(XK_space, false);
    x11test::key(XK_Return, true);
    x11test::key(XK_Return, false);
    ASSERT_TRUE(waitKeys(4));
    auto got = keyMessages();
    ASSERT_EQ(got.size(), 4u);
    for (const auto& k : got) {
        EXPECT_TRUE(k.message == WM_KEYDOWN || k.message == WM_KEYUP) << "no system keys: " << k.message;
        EXPECT_EQ(k.lParam & 0x20000000, 0) << "no Alt context bit";
    }
    EXPECT_EQ(got[0].wParam, (WPARAM)VK_SPACE);
    EXPECT_EQ(got[2].wParam, (WPARAM)VK_RETURN);

    // The next press of Alt is a first press again, not a repeat of the one before the grab.
    received.clear();
    x11test::key(XK_Alt_L, true);
    ASSERT_TRUE(waitKeys(1));
    EXPECT_EQ(keyMessages()[0].wParam, (WPARAM)VK_MENU);
    EXPECT_EQ(keyMessages()[0].lParam & 0x40000000, 0) << "previous-state bit clear";
    x11test::key(XK_Alt_L, false);
}

TEST_F(X11Keyboard, ShiftAndControlPressedDuringAnotherClientsGrabAreHeld) {
    const std::pair<unsigned long, UINT> modifiers[] = {{XK_Shift_L, VK_SHIFT}, {XK_Control_L, VK_CONTROL}};
    for (const auto& modifier : modifiers) {
        SCOPED_TRACE(modifier.second);
        // The key goes down at the grabbing client; the focus coming back shows it held.
        ASSERT_TRUE(x11test::keyUnderGrab(modifier.first, true));
        x11test::settle();
        x11test::pumpFor(100);
        received.clear();
        // Its next press is a repeat, as the server's auto-repeat delivers it; then it goes up.
        x11test::sendKey(x11test::xwindowOf(hwnd), modifier.first, true, CurrentTime);
        x11test::key(modifier.first, false);
        ASSERT_TRUE(waitKeys(2));
        auto got = keyMessages();
        EXPECT_EQ(got[0].message, (UINT)WM_KEYDOWN);
        EXPECT_EQ(got[0].wParam, (WPARAM)modifier.second);
        EXPECT_NE(got[0].lParam & 0x40000000, 0) << "previous-state bit set: the key was held";
        EXPECT_EQ(got[1].message, (UINT)WM_KEYUP);
    }
}

TEST_F(X11Keyboard, NonLatinLayoutsGiveTheLettersOfTheirUsPositions) {
    const std::vector<std::pair<const char*, UINT>> wasd = {{"AD02", 'W'}, {"AC01", 'A'}, {"AC02", 'S'},
                                                            {"AC03", 'D'}, {"AE01", '1'}, {"SPCE", VK_SPACE}};
    useLayout("ru");
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    {
        SCOPED_TRACE("ru");
        expectCodes(wasd);
    }
    // Two layouts: the letters are the same whichever is active.
    ASSERT_NO_FATAL_FAILURE(useLayout("ru,us"));
    for (unsigned group = 0; group < 2; group++) {
        SCOPED_TRACE("ru,us with group " + std::to_string(group) + " locked");
        lockGroup(group);
        expectCodes(wasd);
    }
}

TEST_F(X11Keyboard, LatinLayoutsMapByTheirLabels) {
    useLayout("fr");
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    // AZERTY: the key labelled A is where US has Q, the one labelled Q where US has A; the digit
    // row types symbols unshifted and still gives the digits' codes; punctuation has the codes of
    // its symbol, wherever it sits (the comma where US has M).
    const std::vector<std::pair<const char*, UINT>> french = {
        {"AD01", 'A'}, {"AC01", 'Q'}, {"AD02", 'Z'},          {"AB01", 'W'},     {"AC10", 'M'},
        {"AE01", '1'}, {"AE10", '0'}, {"AB07", VK_OEM_COMMA}, {"AB08", VK_OEM_1}};
    {
        SCOPED_TRACE("fr");
        expectCodes(french);
    }
    ASSERT_NO_FATAL_FAILURE(useLayout("us -variant dvorak"));
    {
        SCOPED_TRACE("us dvorak");
        expectCodes({{"AD01", VK_OEM_7},
                     {"AD02", VK_OEM_COMMA},
                     {"AD03", VK_OEM_PERIOD},
                     {"AD04", 'P'},
                     {"AC01", 'A'},
                     {"AC10", 'S'},
                     {"AC11", VK_OEM_MINUS},
                     {"AB01", VK_OEM_1},
                     {"AD11", VK_OEM_2},
                     {"AD12", VK_OEM_PLUS},
                     {"AE11", VK_OEM_4},
                     {"AE12", VK_OEM_6},
                     {"TLDE", VK_OEM_3},
                     {"BKSL", VK_OEM_5}});
    }
    // Two Latin layouts: the keys are those of the active one, second as well as first.
    ASSERT_NO_FATAL_FAILURE(useLayout("us,fr"));
    lockGroup(1);
    {
        SCOPED_TRACE("us,fr with fr active");
        expectCodes(french);
    }
    ASSERT_NO_FATAL_FAILURE(useLayout("de,us"));
    lockGroup(0);
    {
        SCOPED_TRACE("de,us with de active");
        expectCodes({{"AD06", 'Z'}, {"AB01", 'Y'}});
    }
    lockGroup(1);
    {
        SCOPED_TRACE("de,us with us active");
        expectCodes({{"AD06", 'Y'}, {"AB01", 'Z'}, {"AE11", VK_OEM_MINUS}});
    }
}

// Every key of the main block (the space bar, the ISO key, the four rows) gives its messages in each
// layout, and no two keys share a letter or digit (but Turkish i and dotless i) nor lack one.
TEST_F(X11Keyboard, EveryKeyOfTheMainBlockGivesItsMessages) {
    for (const std::string& layout : keytest::layouts()) {
        SCOPED_TRACE(layout);
        useLayout(layout);
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        received.clear();
        for (unsigned c : keytest::mainBlock()) {
            tapCode((KeyCode)c);
        }
        waitKeys(2 * keytest::mainBlock().size());
        keytest::expectMainBlock(keyMessages(), layout);
    }
}

TEST_F(X11Keyboard, ReleaseCarriesTheCodeOfItsPressAcrossALayoutChange) {
    useLayout("us,fr");
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    lockGroup(0);
    KeyCode q = keycodeNamed("AD01");
    ASSERT_NE(q, 0);
    XTestFakeKeyEvent(x11test::input(), q, True, CurrentTime);
    XSync(x11test::input(), False);
    ASSERT_TRUE(waitKeys(1));
    // The layout switches while the key is held: the key is still the Q that went down.
    XkbLockGroup(x11test::input(), XkbUseCoreKbd, 1);
    x11test::settle();
    XTestFakeKeyEvent(x11test::input(), q, False, CurrentTime);
    XSync(x11test::input(), False);
    ASSERT_TRUE(waitKeys(2));
    auto got = keyMessages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].wParam, (WPARAM)'Q');
    EXPECT_EQ(got[1].message, (UINT)WM_KEYUP);
    EXPECT_EQ(got[1].wParam, (WPARAM)'Q') << "released as pressed, not as the French A";
    // The next press is by the new layout.
    expectCodes({{"AD01", 'A'}});
}

TEST_F(X11Keyboard, NumLockGivesTheKeypadDigitsWhateverShift) {
    setNumLock(true);
    ASSERT_TRUE(numLockOn());
    expectCodes({{"KP1", VK_NUMPAD1}, {"KPDL", VK_DECIMAL}});
    // Shift held: still the digit's code, as the '1' key is '1' whatever it types.
    received.clear();
    x11test::key(XK_Shift_L, true);
    tapCode(keycodeNamed("KP1"));
    x11test::key(XK_Shift_L, false);
    ASSERT_TRUE(waitKeys(4));
    auto got = keyMessages();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[1].wParam, (WPARAM)VK_NUMPAD1);
    EXPECT_EQ(got[2].wParam, (WPARAM)VK_NUMPAD1);
    // Num Lock off: the keypad's other level.
    setNumLock(false);
    expectCodes({{"KP1", VK_END}, {"KPDL", VK_DELETE}});
}

// A server without detectable auto-repeat (see x11test::refuseDetectableRepeat) reports a held
// key as a release and a press of the same time per repeat. The platform asks for it when it
// opens the display: a fresh process on a private server.
class X11OldStyleRepeat : public ::testing::Test {
protected:
    void SetUp() override {
        KVR_NEED_FRESH_PRIVATE_SERVER();
        x11test::refuseDetectableRepeat = true;
        hwnd = x11test::openWindow();
        ASSERT_NE(hwnd, nullptr);
        x11test::pumpFor(50);
        received.clear();
    }
    void TearDown() override {
        x11test::closeWindow();
        x11test::refuseDetectableRepeat = false;
    }
    HWND hwnd = nullptr;
};

TEST_F(X11OldStyleRepeat, AReleaseAndPressOfOneTimeAreARepeat) {
    // XTest cannot set the times; events sent to the window carry them as given.
    Window w = x11test::xwindowOf(hwnd);
    x11test::sendKey(w, XK_a, true, 1000);
    x11test::sendKey(w, XK_a, false, 1500);
    x11test::sendKey(w, XK_a, true, 1500);
    x11test::sendKey(w, XK_a, false, 2000);
    // Apart in time, a release and a press are the key going up and down again.
    x11test::sendKey(w, XK_a, true, 2040);
    x11test::sendKey(w, XK_a, false, 2100);
    XSync(x11test::input(), False);
    ASSERT_TRUE(waitKeys(5));
    x11test::pumpFor(100);
    auto got = keyMessages();
    ASSERT_EQ(got.size(), 5u) << "down, repeat, up, down, up";
    const UINT messages[5] = {WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYUP};
    const bool wasDown[5] = {false, true, true, false, true};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(got[i].message, messages[i]) << i;
        EXPECT_EQ(got[i].wParam, (WPARAM)'A') << i;
        EXPECT_EQ((got[i].lParam & 0x40000000) != 0, wasDown[i]) << i;
        EXPECT_EQ(got[i].lParam & 0xFFFF, 1) << "repeat count " << i;
    }
}
