// core_classes.cpp - the window-class table: RegisterClassA, UnregisterClassA and the lookup
// of a class by name (without regard to case) or by atom.
#include "core.h"

#include <cctype>
#include <cstring>
#include <string>

// Module state: the class table and the next class atom.
static KvrCoreClass classes[KVR_CORE_MAX_CLASSES];
static ATOM nextAtom = 0xC000;

// Compares two class names without regard to case, as Win32 does.
static bool sameName(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; i++) {
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) {
            return false;
        }
    }
    return true;
}

// The slot of a class given by name or by atom (MAKEINTATOM), -1 when unknown.
int kvr_coreFindClass(LPCSTR name) {
    if (name == nullptr) {
        return -1;
    }
    for (int i = 0; i < KVR_CORE_MAX_CLASSES; i++) {
        if (!classes[i].used) {
            continue;
        }
        if (IS_INTRESOURCE(name) ? classes[i].atom == (ATOM)(UINT_PTR)name
                                 : sameName(classes[i].name, name)) {
            return i;
        }
    }
    return -1;
}

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr ||
        IS_INTRESOURCE(wc->lpszClassName) || wc->lpszClassName[0] == '\0' ||
        kvr_coreFindClass(wc->lpszClassName) >= 0) {
        return 0;
    }
    for (KvrCoreClass& c : classes) {
        if (!c.used) {
            c.used = true;
            c.name = wc->lpszClassName;
            c.atom = nextAtom;
            nextAtom = nextAtom == 0xFFFF ? 0xC000 : (ATOM)(nextAtom + 1);
            c.proc = wc->lpfnWndProc;
            c.arrowCursor = wc->hCursor != nullptr;
            return c.atom;
        }
    }
    return 0;
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    int slot = kvr_coreFindClass(name);
    if (slot < 0) {
        return FALSE;
    }
    if (kvr_ws()->classInUse(slot)) {
        return FALSE;
    }
    classes[slot].used = false;
    classes[slot].name.clear();
    return TRUE;
}

const KvrCoreClass* kvr_coreClass(int slot) {
    return slot >= 0 && slot < KVR_CORE_MAX_CLASSES ? &classes[slot] : nullptr;
}
