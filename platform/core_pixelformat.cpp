// core_pixelformat.cpp - the ranking of pixel formats against a PIXELFORMATDESCRIPTOR, as
// ChoosePixelFormat picks one: the backend describes each of its formats (KvrCoreFormat), the
// first with the smallest keys wins.
#include "core.h"

// The distance of a number from a wanted one.
static int distance(int value, int wanted) {
    return value > wanted ? value - wanted : wanted - value;
}

bool kvr_coreRankFormat(const KvrCoreFormat& f, const PIXELFORMATDESCRIPTOR* pfd,
                        int key[KVR_CORE_FORMAT_KEYS]) {
    bool rgba = pfd->iPixelType == PFD_TYPE_RGBA;
    if (!(rgba ? f.rgba : f.colourIndex)) {
        return false;
    }
    if ((pfd->dwFlags & PFD_DRAW_TO_WINDOW) != 0 && !f.window) {
        return false;
    }
    if ((pfd->dwFlags & PFD_DOUBLEBUFFER) != 0 && !f.doubleBuffer) {
        return false;
    }
    if (f.stereo != ((pfd->dwFlags & PFD_STEREO) != 0)) {
        return false;
    }
    if (f.depthBits < pfd->cDepthBits || f.level != 0) {
        return false;
    }
    // Only TrueColor, as on Win32.
    if (!f.trueColour) {
        return false;
    }
    // 32 colour bits on Win32 is 8 bits a channel and padding; 0 asks for the usual 24.
    int wanted = pfd->cColorBits == 0 || pfd->cColorBits > 24 ? 24 : pfd->cColorBits;
    // Translucent formats come last.
    key[0] = f.translucent ? 1 : 0;
    key[1] = f.slow ? 1 : 0;
    key[2] = f.colourBits < wanted ? wanted - f.colourBits : 0;
    key[3] = f.colourBits > wanted ? f.colourBits - wanted : 0;
    key[4] = f.depthBits - pfd->cDepthBits;
    key[5] = distance(f.alphaBits, pfd->cAlphaBits);
    key[6] = distance(f.stencilBits, pfd->cStencilBits);
    key[7] = distance(f.accumBits, pfd->cAccumBits) + distance(f.auxBuffers, pfd->cAuxBuffers);
    key[8] = f.samples;
    key[9] = f.doubleBuffer == ((pfd->dwFlags & PFD_DOUBLEBUFFER) != 0) ? 0 : 1;
    return true;
}

bool kvr_coreRanksBefore(const int key[KVR_CORE_FORMAT_KEYS], const int best[KVR_CORE_FORMAT_KEYS]) {
    for (int k = 0; k < KVR_CORE_FORMAT_KEYS; k++) {
        if (key[k] != best[k]) {
            return key[k] < best[k];
        }
    }
    return false;
}
