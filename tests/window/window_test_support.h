// window_test_support.h - recording application callbacks and a fixture that
// resets the window layer and the fake platform before each test.
#ifndef KVR_WINDOW_TEST_SUPPORT_H
#define KVR_WINDOW_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "window_layer_reset.h"
#include "kvr_window.h"

namespace cb {

// One callback call, e.g. "onResize(640, 480)" or "onMouseMove(-1, 0)".
extern std::vector<std::string> events;
// What onInit answers (default 1).
extern int initResult;
// Run inside the callbacks when set (after the call is recorded).
extern std::function<void(int key)> keyHook;
extern std::function<void(int width, int height)> resizeHook;
// Arguments of the latest onMouseMove, exactly as received.
extern double lastX;
extern double lastY;

// Clears the events and the settings above.
void reset();
// Number of events that start with the given text.
std::size_t count(const std::string& prefix);

}  // namespace cb

// Resets the fake platform, the window layer and the recorded callbacks.
class WindowLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        resetWindowLayer();
        cb::reset();
    }
};

#endif  // KVR_WINDOW_TEST_SUPPORT_H
