// peer_sdl.cpp - the viewer's own code (initialisation, scene, images, view, shapes, font) on
// SDL2 instead of the window layer: a borderless window covering the screen from the start,
// double-buffered RGBA with a 16-bit depth buffer, a frame only on input, the viewer's pointer
// mapping and wrap. A benchmark peer, not a product.
//
//   kvr_bench_peer_sdl [--wait | --poll] [--visual <X visual id>]
//
// --wait idles in SDL_WaitEvent; --poll (default) idles as the viewer does: take one pending
// event, and sleep 50 ms when there is none. SDL picks the X visual with glXChooseVisual, which
// prefers the deepest depth buffer; --visual names the visual to use instead (the driver passes
// the one the viewer's window has), as SDL's SDL_VIDEO_X11_WINDOW_VISUALID hint does.
#include "peer_app.h"

#include <SDL.h>

#include <cstdio>

namespace {

SDL_Window* window = nullptr;

void swapWindow() {
    SDL_GL_SwapWindow(window);
}

void warpPointer(int x, int y) {
    SDL_WarpMouseInWindow(window, x, y);
}

// The viewer's virtual-key code of an SDL key, 0 for keys it does not handle.
int virtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    switch (key) {
        case SDLK_ESCAPE:
            return 0x1B;
        case SDLK_SPACE:
            return 0x20;
        case SDLK_KP_PLUS:
            return 0x6B;
        case SDLK_KP_MINUS:
            return 0x6D;
        default:
            return 0;
    }
}

// Handles one event; false when the program is asked to end.
bool handleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            return false;
        case SDL_MOUSEMOTION:
            peerPointerMoved(event.motion.x, event.motion.y);
            break;
        case SDL_KEYDOWN:
            peerKeyDown(virtualKey(event.key.keysym.sym));
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_RIGHT) {
                peerRightDown = 1;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_RIGHT) {
                peerRightDown = 0;
            } else if (event.button.button == SDL_BUTTON_LEFT) {
                peerLeftButtonUp();
            }
            break;
        case SDL_MOUSEWHEEL:
            peerWheel(event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
                (event.window.data1 != peerWidth || event.window.data2 != peerHeight)) {
                peerResize(event.window.data1, event.window.data2);
            }
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

// Opens the window, draws the first frame, then handles input until asked to end.
int main(int argc, char** argv) {
    PeerOptions options;
    if (!peerParseOptions(argc, argv, "kvr_bench_peer_sdl", &options)) {
        return 2;
    }
    if (options.visualId != 0) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", options.visualId);
        SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
    }
    peerMark("main");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "kvr_bench_peer_sdl: %s\n", SDL_GetError());
        return 1;
    }
    peerMark("library-init");
    // The viewer's pixel format: 8 bits a colour channel, no alpha, a 16-bit depth buffer, no
    // stencil, double-buffered.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        std::fprintf(stderr, "kvr_bench_peer_sdl: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    window = SDL_CreateWindow("OpenGL Test", 0, 0, mode.w, mode.h,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS);
    peerMark("window");
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "kvr_bench_peer_sdl: %s\n", SDL_GetError());
        if (window != nullptr) {
            SDL_DestroyWindow(window);
        }
        SDL_Quit();
        return 1;
    }
    SDL_GL_SetSwapInterval(0);
    peerSwap = swapWindow;
    peerWarp = warpPointer;
    int pointerX = 0, pointerY = 0, windowX = 0, windowY = 0;
    SDL_GetGlobalMouseState(&pointerX, &pointerY);
    SDL_GetWindowPosition(window, &windowX, &windowY);
    peerPointerAt(pointerX - windowX, pointerY - windowY);
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    peerStart(width, height);

    bool running = true;
    while (running) {
        SDL_Event event;
        if (options.idle == PEER_IDLE_WAIT) {
            running = SDL_WaitEvent(&event) != 0 && handleEvent(event);
        } else if (SDL_PollEvent(&event)) {
            running = handleEvent(event);
        } else {
            peerSleepMs(50);
        }
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
