// core_placement.cpp - the placement rules of top-level windows: the rectangle of a new
// window and of a SetWindowPos request, and Win32's full screen, a window without caption or
// frame that covers the primary monitor. Rectangles are on the backend's whole desktop (the
// root under X), whose primary monitor's corner is the origin of screen coordinates.
#include "core.h"

bool kvr_coreStyleDecorated(DWORD style) {
    return (style & WS_POPUP) == 0 || (style & WS_CAPTION) != 0;
}

void kvr_coreCreationPlace(int* x, int* y, int* width, int* height, const RECT& primary) {
    if (*width == CW_USEDEFAULT || *height == CW_USEDEFAULT) {
        *width = 640;
        *height = 480;
    }
    *width = *width < 1 ? 1 : *width;
    *height = *height < 1 ? 1 : *height;
    if (*x == CW_USEDEFAULT || *y == CW_USEDEFAULT) {
        // The default position centres the window on the primary monitor.
        int screenWidth = primary.right - primary.left, screenHeight = primary.bottom - primary.top;
        *x = screenWidth > *width ? (screenWidth - *width) / 2 : 0;
        *y = screenHeight > *height ? (screenHeight - *height) / 2 : 0;
    }
    *x += primary.left;
    *y += primary.top;
}

RECT kvr_coreRequestedRect(const RECT& current, int x, int y, int cx, int cy, UINT flags,
                           const RECT& primary) {
    int left = (flags & SWP_NOMOVE) != 0 ? current.left : primary.left + x;
    int top = (flags & SWP_NOMOVE) != 0 ? current.top : primary.top + y;
    int width = (flags & SWP_NOSIZE) != 0 ? current.right - current.left : cx;
    int height = (flags & SWP_NOSIZE) != 0 ? current.bottom - current.top : cy;
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    return RECT{left, top, left + width, top + height};
}

bool kvr_coreCoversMonitor(DWORD style, const RECT& rect, const RECT& monitor) {
    return !kvr_coreStyleDecorated(style) && rect.left <= monitor.left && rect.top <= monitor.top &&
           rect.right >= monitor.right && rect.bottom >= monitor.bottom;
}

LONG kvr_coreSetStyle(DWORD* style, DWORD* exStyle, int index, LONG value) {
    DWORD* slot = index == GWL_STYLE ? style : index == GWL_EXSTYLE ? exStyle : nullptr;
    if (slot == nullptr) {
        return 0;
    }
    LONG previous = (LONG)*slot;
    *slot = (DWORD)value;
    return previous;
}
