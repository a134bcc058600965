// bitmap_font.h - a 12 by 16 pixel bitmap font for printable ASCII, drawn from display lists.
#ifndef BITMAP_FONT_H
#define BITMAP_FONT_H

#include <stdint.h>

// Glyphs of codes 33 to 126, 32 bytes each, bottom row first, most significant bit leftmost.
extern const unsigned char bitmap_font_data[94 * 32];
// The blank glyph of the space.
extern const unsigned char bitmap_font_space[32];
// First of the font's 128 display lists; 0 until bitmap_font_init has run.
extern uint32_t bitmap_font_offset;

// Builds the 128 lists; needs a current rendering context.
void bitmap_font_init();
// Prints str in green on one line from the lower-left corner of the window.
void bitmap_font_print(const char* str);

#endif  // BITMAP_FONT_H
