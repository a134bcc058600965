// key_expectations.h - what every backend's keyboard must give, shared by the X11 and the Wayland
// keyboard tests: the same layouts, typed key by key, give the same virtual-key codes.
#ifndef KVR_KEY_EXPECTATIONS_H
#define KVR_KEY_EXPECTATIONS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvr_platform.h"

namespace keytest {

// The keycodes (evdev + 8) of the main block: the space bar, the ISO key, the four rows.
inline const std::vector<unsigned>& mainBlock() {
    static const std::vector<unsigned> keys = {
        65, 94, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
        35, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61};
    return keys;
}

// The layouts (setxkbmap's arguments) the main block is typed in.
inline const std::vector<std::string>& layouts() {
    static const std::vector<std::string> all = {
        "us", "us -variant intl", "tr", "tr -variant f", "ru", "il", "de", "fr"};
    return all;
}

// Every key of the main block gave a message in the layout, and no two keys share a letter or
// digit (but Turkish i and dotless i) nor lacks one. `keys`: the key messages received while
// the main block was typed once (anything with a message's wParam and lParam).
template <class Message>
void expectMainBlock(const std::vector<Message>& keys, const std::string& layout) {
    WPARAM codes[256] = {};  // by scan code, keycode - 8
    for (const Message& k : keys) {
        codes[(k.lParam >> 16) & 0xFF] = k.wParam;
    }
    int uses[256] = {};
    for (unsigned c : mainBlock()) {
        EXPECT_NE(codes[c - 8], 0u) << "no message from keycode " << c;
        uses[codes[c - 8] & 0xFF]++;
    }
    for (char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ")) {
        EXPECT_EQ(uses[(int)c], c == 'I' && layout[0] == 't' ? 2 : 1) << "keys of " << c;
    }
}

}  // namespace keytest

#endif  // KVR_KEY_EXPECTATIONS_H
