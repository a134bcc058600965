// swap_counter.cpp - a preloadable library that counts a program's glXSwapBuffers calls
// and records their times, and the time of the first glClear before each (the frame's start),
// in the shared file named by $KVR_SWAP_LOG, so that a benchmark can see how many frames a
// program draws, and how long each takes, without touching the program itself.
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

// The real glXSwapBuffers and glClear and the mapped log; looked up and mapped on first use.
SwapFunction realSwap = nullptr;
ClearFunction realClear = nullptr;
uint64_t frameStartNs = 0;  // the first glClear since the latest swap
SwapLog* swapLog = nullptr;
bool triedMap = false;

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
    if (swapLog != nullptr) {
        uint64_t n = __atomic_load_n(&swapLog->count, __ATOMIC_RELAXED);
        uint64_t end = nowNs();
        __atomic_store_n(&swapLog->endNs[n % KVR_SWAP_LOG_RING], end, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->startNs[n % KVR_SWAP_LOG_RING], frameStartNs != 0 ? frameStartNs : start,
                         __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->lastStartNs, start, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->lastEndNs, end, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->count, n + 1, __ATOMIC_RELEASE);
    }
    frameStartNs = 0;
}
