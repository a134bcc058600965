// bitmap_font.cpp - placeholder until the font lands.
#include "bitmap_font.h"
