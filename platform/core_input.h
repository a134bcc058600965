// core_input.h - pure translators from key input to Win32 message values, shared by the
// window-system backends.
//
// No display is needed: they map keysyms (X11's values, which xkbcommon shares), keycodes
// (evdev codes plus 8) and XKB key names to virtual-key codes, message identifiers and lParam
// bit fields, and pointer positions to lParam.
#ifndef KVR_CORE_INPUT_H
#define KVR_CORE_INPUT_H

#include "kvr_platform.h"

// The virtual-key code of an unshifted keysym, 0 when the key has none.
UINT kvr_coreKeysymToVk(unsigned long keysym);
// The virtual-key code of a key of the main block by its place on a US keyboard (the letters,
// the digits, the VK_OEM_ punctuation codes and VK_OEM_102 for the ISO key beside the left
// Shift), as Win32 gives the keys of non-Latin layouts: by the XKB key name (four characters,
// such as "AD02" for W; need not end in a null) or, when the name is empty, by the evdev
// keycode. 0 for the other keys.
UINT kvr_corePositionVk(const char* keyName, unsigned keycode);
// True when a keysym belongs to a Latin script (ASCII, the Latin sets, Latin Unicode, dead accents).
bool kvr_coreIsLatinKeysym(unsigned long keysym);
// The virtual-key code of a key whose symbol has none: its US position (kvr_corePositionVk) for
// the symbols of non-Latin layouts; for a Latin symbol the same unless that is a letter, which
// belongs to another key (or the key is off the main block): VK_OEM_8 then. A key without a
// symbol keeps only a letter or digit of its position.
UINT kvr_coreFallbackVk(unsigned long keysym, const char* keyName, unsigned keycode);
// The virtual-key code of a key that carries a keysym whose own code is symbolVk (that of
// kvr_coreKeysymToVk, 0 for none): symbolVk, else kvr_coreFallbackVk; but a digit key and the
// ISO key beside the left Shift keep their US place's code whatever other symbol they carry, and
// in a non-Latin layout (nonLatinLayout: its A key carries no Latin symbol) every key of the main
// block that carries a symbol has its US place's code, as on Win32.
UINT kvr_coreKeyVk(UINT symbolVk, unsigned long keysym, const char* keyName, unsigned keycode,
                   bool nonLatinLayout);
// The keypad digit or decimal keysym of the NumLock level, or the keysym itself when it has none.
unsigned long kvr_coreNumLockKeysym(unsigned long level0, unsigned long level1, bool numLock);
// The PC scan code of a keycode (evdev keycodes are scan code + 8); sets *extended for E0 keys.
unsigned kvr_coreScanCode(unsigned keycode, bool* extended);
// lParam of a key message: repeat count 1, scan code, extended bit, Alt context bit,
// previous-state bit (set on repeats and on every release) and transition bit (releases).
LPARAM kvr_coreKeyLParam(unsigned scanCode, bool extended, bool altHeld, bool wasDown, bool release);
// WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP or WM_SYSKEYUP for a key event.
// Alt held without Control, or F10, makes the system variant.
UINT kvr_coreKeyMessage(UINT vk, bool altHeld, bool controlHeld, bool release);
// lParam of a pointer position: x in the low word, y in the high word, each as signed 16 bits.
LPARAM kvr_corePointLParam(int x, int y);

#endif  // KVR_CORE_INPUT_H
