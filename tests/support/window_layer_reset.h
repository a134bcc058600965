// window_layer_reset.h - puts the window layer's globals back to their start values between tests.
#ifndef KVR_WINDOW_LAYER_RESET_H
#define KVR_WINDOW_LAYER_RESET_H

#include <cstring>

#include "kvr_window.h"

// Puts every global of the window layer back to its start value.
inline void resetWindowLayer() {
    kvr_hInstance = NULL;
    kvr_hWnd = NULL;
    kvr_hDC = NULL;
    kvr_hRC = NULL;
    kvr_lastResult = 0;
    std::memset(kvr_lastErrorStepDescription, 0, sizeof kvr_lastErrorStepDescription);
    kvr_active = 1;
    kvr_isFullscreenFlag = 0;
    kvr_rightDown = 0;
    kvr_screenWidth = 0;
    kvr_screenHeight = 0;
    std::memset(kvr_keys, 0, sizeof kvr_keys);
    kvr_winRect = RECT{0, 0, 0, 0};
}

#endif  // KVR_WINDOW_LAYER_RESET_H
