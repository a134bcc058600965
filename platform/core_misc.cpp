// core_misc.cpp - the monotonic clock, Sleep, the module handle and the stock icon and cursor tokens.
#include "core.h"

#include <sched.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

// Module state: the program's one module token.
static int moduleToken;

long long kvr_coreNowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void kvr_coreSleepMs(long ms) {
    timespec wait;
    wait.tv_sec = ms / 1000;
    wait.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

extern "C" void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    kvr_coreSleepMs((long)milliseconds);
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    // Only the program's own module exists.
    return moduleName == nullptr ? reinterpret_cast<HMODULE>(&moduleToken) : nullptr;
}

// A token for a stock resource: its identifier in the high bits, never null. Nothing is loaded:
// the window layer only passes the icon and cursor on to RegisterClassA, which treats any
// cursor as the arrow (the one stock cursor the program asks for) and uses no icon. The low
// 12 bits tell the two kinds apart: 0x1CF for icons, 0xC5F for cursors. They are arbitrary
// tags, odd so that a token never looks like an aligned pointer; read as a handle of
// core_handles.cpp's layout their slot field (0xCF, 0x5F) lies beyond every table, so no
// handle lookup accepts one.
static void* stockToken(LPCSTR name, uintptr_t kind) {
    if (!IS_INTRESOURCE(name)) {
        return nullptr;  // the program has no named resources
    }
    return reinterpret_cast<void*>(((uintptr_t)(UINT_PTR)name << 16) | kind);
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr ? static_cast<HICON>(stockToken(name, 0x1CF)) : nullptr;
}

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr ? static_cast<HCURSOR>(stockToken(name, 0xC5F)) : nullptr;
}
