// x11_input.h - pure translators from X buttons and modifier masks to Win32 message values.
//
// No display is needed: they map X button numbers and modifier masks to message identifiers,
// key-state flags and wParam values. The key translators are in core_input.h.
#ifndef KVR_X11_INPUT_H
#define KVR_X11_INPUT_H

#include "core_input.h"

// MK_ key-state flags of an X modifier and button mask.
WPARAM kvr_x11MouseKeyFlags(unsigned state);
// MK_ flags as they stand after a button event (X reports the state before it).
WPARAM kvr_x11FlagsAfterButton(unsigned state, unsigned button, bool press);
// The button message of X button 1, 2 or 3; 0 for the wheel and other buttons.
UINT kvr_x11ButtonMessage(unsigned button, bool press);
// wParam of WM_MOUSEWHEEL for X button 4 (away, +120) or 5 (towards, -120); 0 for other buttons.
WPARAM kvr_x11WheelWParam(unsigned button, unsigned state);

#endif  // KVR_X11_INPUT_H
