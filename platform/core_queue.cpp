// core_queue.cpp - the posted-message queue: PeekMessageA's window and range filters, the
// quit message and the paints that follow, PostQuitMessage and TranslateMessage. The backend
// turns its pending events into queued messages when PeekMessageA finds none that passes
// (the backend's translatePending), and keeps which windows were exposed (takePaint).
//
// TranslateMessage makes no WM_CHAR messages: the program handles none.
#include "core.h"

#include <cstring>
#include <deque>

// Module state: queued messages, the pending quit and the pointer's latest position.
static std::deque<MSG> queue;
static bool quitPending = false;
static int quitCode = 0;
static POINT lastPoint = {0, 0};

void kvr_corePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD time) {
    MSG msg;
    std::memset(&msg, 0, sizeof msg);
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = time;
    msg.pt = lastPoint;
    queue.push_back(msg);
}

void kvr_coreDropMessages(HWND hwnd) {
    for (auto it = queue.begin(); it != queue.end();) {
        it = it->hwnd == hwnd ? queue.erase(it) : it + 1;
    }
}

POINT kvr_coreLastPoint() {
    return lastPoint;
}

void kvr_coreSetLastPoint(POINT point) {
    lastPoint = point;
}

// True when a queued message passes PeekMessageA's window and range filters.
static bool matches(const MSG& msg, HWND hwnd, UINT low, UINT high) {
    if (hwnd != nullptr && msg.hwnd != hwnd) {
        return false;
    }
    return (low == 0 && high == 0) || (msg.message >= low && msg.message <= high);
}

// Takes (or copies) the first queued message that passes the filters.
static bool takeQueued(LPMSG msg, HWND hwnd, UINT low, UINT high, UINT remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (matches(*it, hwnd, low, high)) {
            *msg = *it;
            if (remove & PM_REMOVE) {
                queue.erase(it);
            }
            return true;
        }
    }
    return false;
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT low, UINT high, UINT remove) {
    if (msg == nullptr) {
        return FALSE;
    }
    if (takeQueued(msg, hwnd, low, high, remove)) {
        return TRUE;
    }
    if (!quitPending) {
        while (kvr_ws()->translatePending()) {
            if (takeQueued(msg, hwnd, low, high, remove)) {
                return TRUE;
            }
        }
    }
    // The quit message comes once nothing else is queued, whatever the filters.
    if (quitPending) {
        std::memset(msg, 0, sizeof *msg);
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)(LONG_PTR)quitCode;
        msg->pt = lastPoint;
        if (remove & PM_REMOVE) {
            quitPending = false;
        }
        return TRUE;
    }
    // Then WM_PAINT for a window exposed since its latest paint, as Win32 makes it once no
    // other message is waiting; taking it validates the window.
    if ((low == 0 && high == 0) || (low <= WM_PAINT && WM_PAINT <= high)) {
        return kvr_ws()->takePaint(msg, hwnd, remove) ? TRUE : FALSE;
    }
    return FALSE;
}

extern "C" void WINAPI PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (msg == nullptr) {
        return FALSE;
    }
    UINT m = msg->message;
    return (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP) ? TRUE : FALSE;
}
