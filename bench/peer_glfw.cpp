// peer_glfw.cpp - the viewer's own code (initialisation, scene, images, view, shapes, font) on
// GLFW 3 instead of the window layer: a borderless window covering the screen from the start,
// double-buffered RGBA with a 16-bit depth buffer, a frame only on input, the viewer's pointer
// mapping and wrap. A benchmark peer, not a product.
//
//   kvr_bench_peer_glfw [--wait | --poll]
//
// --wait idles in glfwWaitEvents; --poll (default) idles as the viewer does: handle what is
// pending, and sleep 50 ms when nothing was.
#include "peer_app.h"

#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdio>

namespace {

GLFWwindow* window = nullptr;
bool eventSeen = false;  // a callback ran during the latest poll

void swapWindow() {
    glfwSwapBuffers(window);
}

void warpPointer(int x, int y) {
    glfwSetCursorPos(window, (double)x, (double)y);
}

// The viewer's virtual-key code of a GLFW key, 0 for keys it does not handle.
int virtualKey(int key) {
    if (key >= GLFW_KEY_A && key <= GLFW_KEY_Z) {
        return 'A' + (key - GLFW_KEY_A);
    }
    switch (key) {
        case GLFW_KEY_ESCAPE:
            return 0x1B;
        case GLFW_KEY_SPACE:
            return 0x20;
        case GLFW_KEY_KP_ADD:
            return 0x6B;
        case GLFW_KEY_KP_SUBTRACT:
            return 0x6D;
        default:
            return 0;
    }
}

void onCursor(GLFWwindow*, double x, double y) {
    eventSeen = true;
    peerPointerMoved((int)std::floor(x), (int)std::floor(y));
}

void onKey(GLFWwindow*, int key, int, int action, int) {
    eventSeen = true;
    if (action != GLFW_RELEASE) {
        peerKeyDown(virtualKey(key));
    }
}

void onButton(GLFWwindow*, int button, int action, int) {
    eventSeen = true;
    if (button == GLFW_MOUSE_BUTTON_RIGHT) {
        peerRightDown = action == GLFW_PRESS ? 1 : 0;
    } else if (button == GLFW_MOUSE_BUTTON_LEFT && action == GLFW_RELEASE) {
        peerLeftButtonUp();
    }
}

void onScroll(GLFWwindow*, double, double y) {
    eventSeen = true;
    peerWheel(y);
}

void onSize(GLFWwindow*, int width, int height) {
    eventSeen = true;
    if (width != peerWidth || height != peerHeight) {
        peerResize(width, height);
    }
}

void onGlfwError(int code, const char* text) {
    std::fprintf(stderr, "kvr_bench_peer_glfw: GLFW error 0x%x: %s\n", code, text);
}

}  // namespace

// Opens the window, draws the first frame, then handles input until the window is closed.
int main(int argc, char** argv) {
    PeerOptions options;
    if (!peerParseOptions(argc, argv, "kvr_bench_peer_glfw", &options)) {
        return 2;
    }
    if (options.visualId != 0) {
        std::fprintf(stderr, "kvr_bench_peer_glfw: GLFW takes no visual; --visual is ignored\n");
    }
    glfwSetErrorCallback(onGlfwError);
    peerMark("main");
    if (!glfwInit()) {
        return 1;
    }
    peerMark("library-init");
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) {
        glfwTerminate();
        return 1;
    }
    // The viewer's pixel format: 8 bits a colour channel, no alpha, a 16-bit depth buffer, no
    // stencil, double-buffered. A full-screen window at the monitor's own mode changes no mode.
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    glfwWindowHint(GLFW_DEPTH_BITS, 16);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);
    // The viewer stays full screen when it loses the focus; GLFW would iconify the window, which
    // without a window manager fails with an error.
    glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_FALSE);
    window = glfwCreateWindow(mode->width, mode->height, "OpenGL Test", monitor, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return 1;
    }
    // As the viewer does: the window takes the focus (GLFW moves the pointer only while it has it).
    glfwFocusWindow(window);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);
    peerSwap = swapWindow;
    peerWarp = warpPointer;
    glfwSetCursorPosCallback(window, onCursor);
    glfwSetKeyCallback(window, onKey);
    glfwSetMouseButtonCallback(window, onButton);
    glfwSetScrollCallback(window, onScroll);
    glfwSetFramebufferSizeCallback(window, onSize);
    double pointerX = 0.0, pointerY = 0.0;
    glfwGetCursorPos(window, &pointerX, &pointerY);
    peerPointerAt((int)std::floor(pointerX), (int)std::floor(pointerY));
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    peerStart(width, height);

    while (!glfwWindowShouldClose(window)) {
        if (options.idle == PEER_IDLE_WAIT) {
            glfwWaitEvents();
        } else {
            eventSeen = false;
            glfwPollEvents();
            if (!eventSeen) {
                peerSleepMs(50);
            }
        }
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
