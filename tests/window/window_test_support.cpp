// window_test_support.cpp - the application callbacks of the window tests.
#include "window_test_support.h"

#include <cstdio>
#include <cstring>

namespace cb {

std::vector<std::string> events;
int initResult = 1;
std::function<void(int key)> keyHook;
std::function<void(int width, int height)> resizeHook;
double lastX = 0;
double lastY = 0;

// Clears the events and the settings.
void reset() {
    events.clear();
    initResult = 1;
    keyHook = nullptr;
    resizeHook = nullptr;
    lastX = 0;
    lastY = 0;
}

// Number of events that start with the given text.
std::size_t count(const std::string& prefix) {
    std::size_t n = 0;
    for (const std::string& e : events) {
        n += e.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    return n;
}

}  // namespace cb

// Records the call and answers cb::initResult.
int onInit() {
    cb::events.push_back("onInit()");
    return cb::initResult;
}

// Records the call.
int onResize(int width, int height) {
    cb::events.push_back("onResize(" + std::to_string(width) + ", " + std::to_string(height) + ")");
    if (cb::resizeHook) {
        cb::resizeHook(width, height);
    }
    return 1;
}

// Records the call.
int onKeyDown(int key) {
    cb::events.push_back("onKeyDown(" + std::to_string(key) + ")");
    if (cb::keyHook) {
        cb::keyHook(key);
    }
    return 1;
}

// Records the call and keeps its exact arguments.
int onMouseMove(double x, double y) {
    char text[96];
    std::snprintf(text, sizeof text, "onMouseMove(%.17g, %.17g)", x, y);
    cb::events.push_back(text);
    cb::lastX = x;
    cb::lastY = y;
    return 1;
}

// Records the call.
void onMouseClick() {
    cb::events.push_back("onMouseClick()");
}

// Records the call.
int onMouseWheel(int wParam) {
    cb::events.push_back("onMouseWheel(" + std::to_string(wParam) + ")");
    return 1;
}
