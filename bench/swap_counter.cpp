// swap_counter.cpp - a preloadable library that counts a program's glXSwapBuffers calls
// and records their times in the shared file named by $KVR_SWAP_LOG, so that a benchmark
// can see how many frames a program draws without touching the program itself.
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

// The real glXSwapBuffers and the mapped log; looked up and mapped on the first swap.
SwapFunction realSwap = nullptr;
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
        __atomic_store_n(&swapLog->lastStartNs, start, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->lastEndNs, end, __ATOMIC_RELAXED);
        __atomic_store_n(&swapLog->count, n + 1, __ATOMIC_RELEASE);
    }
}
