// bitmap_font.cpp - a 12 by 16 pixel bitmap font for printable ASCII, one display list per character,
// and printing in green at the lower-left corner of the window.
#include "bitmap_font.h"

#include <stddef.h>

#include <type_traits>

#include "kvr_platform.h"
#include "kvr_window.h"

namespace {

// Width and height of a glyph cell in pixels.
const int kCellWidth = 12;
const int kCellHeight = 16;
// The font owns one list for each 7-bit code.
const int kListCount = 128;

// Stops the compilation: a glyph row is evaluated at compile time, so reaching this call
// (a row that is not exactly 12 characters of '#' and '.') is not a constant expression.
unsigned char malformedGlyphRow() {
    return 0;
}

// One byte of a glyph row drawn as text: half 0 holds columns 0 to 7, half 1 columns 8 to 11
// in its high four bits; the leftmost column goes to the most significant bit.
constexpr unsigned char glyphRowByte(const char* row, int half) {
    unsigned bits = 0;
    for (int col = 0; col < kCellWidth; ++col) {
        if (row[col] == '#') {
            bits |= 0x8000u >> col;
        } else if (row[col] != '.') {
            return malformedGlyphRow();
        }
    }
    if (row[kCellWidth] != '\0') {
        return malformedGlyphRow();
    }
    return static_cast<unsigned char>(half == 0 ? bits >> 8 : bits & 0xFFu);
}

// Calls the font's lists for the string, skipping bytes 128 to 255: their lists are not the font's.
// A string of 7-bit bytes, the empty string included, costs exactly one glCallLists.
void callFontLists(const char* str) {
    size_t runStart = 0;
    int called = 0;
    for (size_t i = 0;; ++i) {
        unsigned char b = static_cast<unsigned char>(str[i]);
        if (b != 0 && b < kListCount) {
            continue;
        }
        if (i > runStart || (b == 0 && !called)) {
            glCallLists(static_cast<GLsizei>(i - runStart), GL_UNSIGNED_BYTE, str + runStart);
            called = 1;
        }
        if (b == 0) {
            return;
        }
        runStart = i + 1;
    }
}

}  // namespace

// The two stored bytes of a row, forced to be computed while compiling.
#define BITMAP_FONT_ROW(row)                                            \
    std::integral_constant<unsigned char, glyphRowByte(row, 0)>::value, \
        std::integral_constant<unsigned char, glyphRowByte(row, 1)>::value

// A glyph drawn top row first, stored bottom row first.
#define BITMAP_FONT_GLYPH(r15, r14, r13, r12, r11, r10, r9, r8, r7, r6, r5, r4, r3, r2, r1, r0)              \
    BITMAP_FONT_ROW(r0), BITMAP_FONT_ROW(r1), BITMAP_FONT_ROW(r2), BITMAP_FONT_ROW(r3), BITMAP_FONT_ROW(r4), \
        BITMAP_FONT_ROW(r5), BITMAP_FONT_ROW(r6), BITMAP_FONT_ROW(r7), BITMAP_FONT_ROW(r8),                  \
        BITMAP_FONT_ROW(r9), BITMAP_FONT_ROW(r10), BITMAP_FONT_ROW(r11), BITMAP_FONT_ROW(r12),               \
        BITMAP_FONT_ROW(r13), BITMAP_FONT_ROW(r14), BITMAP_FONT_ROW(r15)

const unsigned char bitmap_font_data[94 * 32] = {
#include "bitmap_font_glyphs.inc"
};

#undef BITMAP_FONT_GLYPH
#undef BITMAP_FONT_ROW

const unsigned char bitmap_font_space[32] = {0};

uint32_t bitmap_font_offset = 0;

// Builds one display list per printable character; codes 0 to 31 and 127 keep empty lists.
void bitmap_font_init() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    bitmap_font_offset = glGenLists(kListCount);
    if (bitmap_font_offset == 0) {
        // No lists to be had: build nothing, and printing will draw nothing.
        return;
    }
    for (int c = 33; c <= 126; ++c) {
        glNewList(bitmap_font_offset + static_cast<GLuint>(c), GL_COMPILE);
        glBitmap(kCellWidth, kCellHeight, 0, 0, static_cast<GLfloat>(kCellWidth), 0,
                 bitmap_font_data + 32 * (c - 33));
        glEndList();
    }
    glNewList(bitmap_font_offset + 32, GL_COMPILE);
    glBitmap(kCellWidth, kCellHeight, 0, 0, static_cast<GLfloat>(kCellWidth), 0, bitmap_font_space);
    glEndList();
}

// Prints str in green on one line from the lower-left corner of the window, in window pixels.
void bitmap_font_print(const char* str) {
    if (bitmap_font_offset == 0 || str == NULL) {
        // The font has no lists (never built, or none were available): nothing to draw with.
        return;
    }
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, kvr_getScreenWidth(), 0, kvr_getScreenHeight());
    glPushAttrib(GL_ENABLE_BIT | GL_LIST_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3f(0, 1, 0);
    glRasterPos2i(4, 4);
    glListBase(bitmap_font_offset);
    callFontLists(str);
    glPopAttrib();
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
