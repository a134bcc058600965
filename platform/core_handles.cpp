// core_handles.cpp - the handle encoding shared by the handle tables of every kind.
#include "core.h"

#include <cstdint>

// Handle layout: generation above bit 12, kind in bits 8-11, slot + 1 in bits 0-7.
void* kvr_coreMakeHandle(unsigned kind, int slot, unsigned generation) {
    uintptr_t value =
        ((uintptr_t)(generation & 0xFFFFFu) << 12) | ((uintptr_t)kind << 8) | (uintptr_t)(slot + 1);
    return reinterpret_cast<void*>(value);
}

bool kvr_coreSplitHandle(const void* handle, unsigned kind, int* slot, unsigned* generation) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || ((value >> 8) & 0xFu) != kind || (value & 0xFFu) == 0) {
        return false;
    }
    *slot = (int)(value & 0xFFu) - 1;
    *generation = (unsigned)(value >> 12);
    return true;
}
