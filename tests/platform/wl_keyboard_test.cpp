// wl_keyboard_test.cpp - the Wayland backend's keyboard on a private headless sway, typed through
// kvr_wl_seat's virtual keyboard: the same layouts give the same codes as on X11, a held key
// repeats at the compositor's rate with the previous-state bit, and Alt makes the system keys.
// The window is made through the Win32 calls, as on X11 (x11_test_support.cpp), in a process
// that speaks Wayland only (KVR_PLATFORM=wayland, no DISPLAY).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "key_expectations.h"
#include "x11_test_support.h"

using x11test::keyMessages;
using x11test::received;

namespace {

std::string runtimeDir, swayDir;
pid_t swayPid = -1;
FILE* seatIn = nullptr;
FILE* seatOut = nullptr;
pid_t seatPid = -1;
HWND window = nullptr;
bool activated = false;  // the window had the keyboard once shown

// One command to the seat tool and its answer line.
std::string seat(const std::string& command) {
    std::fprintf(seatIn, "%s\n", command.c_str());
    std::fflush(seatIn);
    char line[512] = {0};
    if (std::fgets(line, sizeof line, seatOut) == nullptr) {
        return "error no answer";
    }
    return line;
}

// Starts the seat tool with pipes to and from it.
bool startSeat() {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) {
        return false;
    }
    seatPid = fork();
    if (seatPid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execl(KVR_WL_SEAT_PATH, KVR_WL_SEAT_PATH, (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    seatIn = fdopen(in[1], "w");
    seatOut = fdopen(out[0], "r");
    return seatPid > 0 && seat("size").rfind("ok", 0) == 0;
}

// Starts headless sway (tests/wayland/start.sh) and takes its display; "" or why not.
std::string startSway() {
    char dir[] = "/tmp/kvr-wltest.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return "mkdtemp failed";
    }
    swayDir = dir;
    chmod(dir, 0755);  // sway runs as nobody and reads its configuration here
    std::string command = std::string(KVR_SOURCE_DIR "/tests/wayland/start.sh sway ") + swayDir + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    char line[1024];
    std::string output;
    while (p != nullptr && std::fgets(line, sizeof line, p) != nullptr) {
        std::string l = line;
        output += l;
        l.erase(l.find_last_not_of("\n") + 1);
        size_t eq = l.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = l.substr(0, eq), value = l.substr(eq + 1);
        if (key == "WAYLAND_DISPLAY" || key == "XDG_RUNTIME_DIR" || key == "SWAYSOCK") {
            setenv(key.c_str(), value.c_str(), 1);
        } else if (key == "PID") {
            swayPid = (pid_t)std::atoi(value.c_str());
        }
    }
    int status = p != nullptr ? pclose(p) : -1;
    if (status != 0 || swayPid <= 0) {
        return "sway did not start: " + output;
    }
    return "";
}

class WaylandKeyboard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string why = access(KVR_WL_SEAT_PATH, X_OK) == 0 ? startSway() : "kvr_wl_seat is not built";
        if (!why.empty()) {
            skipReason() = why;
            return;
        }
        unsetenv("DISPLAY");
        setenv("KVR_PLATFORM", "wayland", 1);
        if (!startSeat()) {
            skipReason() = "kvr_wl_seat did not answer";
            return;
        }
        window = x11test::openWindow();
        if (window == nullptr) {
            return;
        }
        // A Wayland window is shown with its first frame; the keyboard comes after that.
        glClear(GL_COLOR_BUFFER_BIT);
        SwapBuffers(x11test::windowDc());
        activated = x11test::pumpUntil([] { return !x11test::messagesOf(WM_ACTIVATE).empty(); }, 5000);
    }

    static void TearDownTestSuite() {
        x11test::closeWindow();
        if (seatIn != nullptr) {
            std::fclose(seatIn);
        }
        if (seatPid > 0) {
            waitpid(seatPid, nullptr, 0);
        }
        if (swayPid > 0) {
            std::string command = std::string(KVR_SOURCE_DIR "/tests/wayland/start.sh stop ") + swayDir;
            if (std::system(command.c_str()) != 0) {
                kill(swayPid, SIGTERM);
            }
        }
    }

    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }

    void SetUp() override {
        if (!skipReason().empty()) {
            if (std::getenv("CI") != nullptr) {
                FAIL() << skipReason();
            }
            GTEST_SKIP() << skipReason();
        }
        ASSERT_NE(window, nullptr) << "no window on sway";
        ASSERT_TRUE(activated) << "the window never had the keyboard";
        received.clear();
    }
};

TEST_F(WaylandKeyboard, EveryKeyOfTheMainBlockGivesItsMessagesAsOnX11) {
    for (const std::string& layout : keytest::layouts()) {
        SCOPED_TRACE(layout);
        std::string name = layout.substr(0, layout.find(' '));
        std::string variant =
            layout.find("-variant ") != std::string::npos ? layout.substr(layout.rfind(' ') + 1) : "";
        ASSERT_EQ(seat("layout " + name + " " + variant).rfind("ok", 0), 0u);
        received.clear();
        for (unsigned c : keytest::mainBlock()) {
            seat("code " + std::to_string(c) + " tap");
        }
        ASSERT_TRUE(x11test::waitKeys(2 * keytest::mainBlock().size()));
        keytest::expectMainBlock(keyMessages(), layout);
    }
    seat("layout us");
}

TEST_F(WaylandKeyboard, HeldKeyRepeatsWithThePreviousStateBitAndAltMakesSystemKeys) {
    // sway repeats 25 times a second after 600 ms: a key held for 1 s repeats about 10 times.
    seat("key w down");
    x11test::pumpFor(1000);
    seat("key w up");
    ASSERT_TRUE(x11test::pumpUntil([] { return !x11test::messagesOf(WM_KEYUP).empty(); }, 2000));
    auto keys = keyMessages();
    ASSERT_GE(keys.size(), 4u);
    EXPECT_EQ(keys[0].message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, (WPARAM)'W');
    EXPECT_EQ(keys[0].lParam & 0x40000000, 0) << "the first press has no previous state";
    size_t repeats = 0;
    for (size_t i = 1; i + 1 < keys.size(); i++) {
        EXPECT_EQ(keys[i].message, (UINT)WM_KEYDOWN);
        EXPECT_EQ(keys[i].lParam & 0xFFFF, 1) << "each repeat counts one";
        EXPECT_NE(keys[i].lParam & 0x40000000, 0) << "a repeat has the previous-state bit";
        repeats++;
    }
    EXPECT_GE(repeats, 5u);
    EXPECT_LE(repeats, 14u);
    EXPECT_EQ(keys.back().message, (UINT)WM_KEYUP);
    EXPECT_NE(keys.back().lParam & 0xC0000000, 0);
    // Released, it repeats no more.
    received.clear();
    x11test::pumpFor(300);
    EXPECT_TRUE(keyMessages().empty());

    // Alt+Return: the system key messages with the context bit, as the toggle needs.
    seat("key Alt_L down");
    seat("tap Return");
    seat("key Alt_L up");
    ASSERT_TRUE(x11test::waitKeys(4));
    keys = keyMessages();
    EXPECT_EQ(keys[1].message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(keys[1].wParam, (WPARAM)VK_RETURN);
    EXPECT_NE(keys[1].lParam & 0x20000000, 0) << "Alt's context bit";
}

}  // namespace
