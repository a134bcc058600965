// swap_counter.cpp - a preloadable library that counts a program's buffer swaps and records
// their times, and the time of the first glClear before each (the frame's start), in the
// shared file named by $KVR_SWAP_LOG, so that a benchmark can see how many frames a program
// draws, and how long each takes, without touching the program itself. A swap is a call of
// glXSwapBuffers, or of glfwSwapBuffers or SDL_GL_SwapWindow: those libraries call GLX through
// pointers they looked up themselves, which no preloaded library can intercept.
#include "swap_log.h"

#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

namespace {

typedef void (*SwapFunction)(Display*, GLXDrawable);
typedef void (*ClearFunction)(GLbitfield);
typedef void (*CallListFunction)(GLuint);
typedef void (*LibrarySwapFunction)(void*);

// The real functions and the mapped log; looked up and mapped on first use.
SwapFunction realSwap = nullptr;
ClearFunction realClear = nullptr;
CallListFunction realCallList = nullptr;
LibrarySwapFunction realGlfwSwap = nullptr;
LibrarySwapFunction realSdlSwap = nullptr;
uint64_t frameStartNs = 0;  // the first glClear since the latest swap
SwapLog* swapLog = nullptr;
bool triedMap = false;
bool insideLibrarySwap = false;  // a library's swap is being recorded: its GLX swap is not another

// Monotonic time in nanoseconds.
uint64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

// Maps the log file named in the environment; without one, swaps are passed on uncounted.
void mapLog() {
    triedMap = true;
    const char* path = std::getenv(KVR_SWAP_LOG_ENV);
    if (path == nullptr || path[0] == '\0') {
        return;
    }
    int fd = open(path, O_RDWR);
    if (fd < 0) {
        return;
    }
    void* p = mmap(nullptr, sizeof(SwapLog), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED) {
        swapLog = static_cast<SwapLog*>(p);
    }
}

// Records one swap that began at startNs and has just returned.
void recordSwap(uint64_t startNs) {
    if (swapLog != nullptr) {
        uint64_t n = __atomic_load_n(&swapLog->count, __ATOMIC_RELAXED);
        uint64_t end = nowNs();
        __atomic_store_n(&swapLog->endNs[n % KVR_SWAP_LOG_RING], end, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->startNs[n % KVR_SWAP_LOG_RING], frameStartNs != 0 ? frameStartNs : startNs,
                         __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->lastStartNs, startNs, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->lastEndNs, end, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->count, n + 1, __ATOMIC_RELEASE);
    }
    frameStartNs = 0;
}

// Swaps through a library's real function, found by name, and records the call as one swap.
void librarySwap(LibrarySwapFunction* real, const char* name, void* window) {
    if (*real == nullptr) {
        *real = reinterpret_cast<LibrarySwapFunction>(dlsym(RTLD_NEXT, name));
    }
    if (!triedMap) {
        mapLog();
    }
    uint64_t start = nowNs();
    insideLibrarySwap = true;
    if (*real != nullptr) {
        (*real)(window);
    }
    insideLibrarySwap = false;
    recordSwap(start);
}

}  // namespace

// Clears through the real function and notes the first clear after a swap as a frame's start.
extern "C" __attribute__((visibility("default"))) void glClear(GLbitfield mask) {
    if (realClear == nullptr) {
        realClear = reinterpret_cast<ClearFunction>(dlsym(RTLD_NEXT, "glClear"));
    }
    if (frameStartNs == 0) {
        frameStartNs = nowNs();
    }
    if (realClear != nullptr) {
        realClear(mask);
    }
}

// Calls a list through the real function; the first frame that calls one (list 0 is no list)
// is the first that draws the scene, and its first clear is noted.
extern "C" __attribute__((visibility("default"))) void glCallList(GLuint list) {
    if (realCallList == nullptr) {
        realCallList = reinterpret_cast<CallListFunction>(dlsym(RTLD_NEXT, "glCallList"));
    }
    if (!triedMap) {
        mapLog();
    }
    if (list != 0 && swapLog != nullptr &&
        __atomic_load_n(&swapLog->firstSceneClearNs, __ATOMIC_RELAXED) == 0) {
        __atomic_store_n(&swapLog->firstSceneClearNs, frameStartNs != 0 ? frameStartNs : nowNs(),
                         __ATOMIC_RELEASE);
    }
    if (realCallList != nullptr) {
        realCallList(list);
    }
}

// Presents the buffer through the real function and records the call.
extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* display,
                                                                      GLXDrawable drawable) {
    if (realSwap == nullptr) {
        realSwap = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    }
    if (!triedMap) {
        mapLog();
    }
    uint64_t start = nowNs();
    if (realSwap != nullptr) {
        realSwap(display, drawable);
    }
    if (!insideLibrarySwap) {
        recordSwap(start);
    }
}

// GLFW's swap of a window's buffers, recorded as one swap.
extern "C" __attribute__((visibility("default"))) void glfwSwapBuffers(void* window) {
    librarySwap(&realGlfwSwap, "glfwSwapBuffers", window);
}

// SDL's swap of a window's buffers, recorded as one swap.
extern "C" __attribute__((visibility("default"))) void SDL_GL_SwapWindow(void* window) {
    librarySwap(&realSdlSwap, "SDL_GL_SwapWindow", window);
}
