// font_test.cpp - the bitmap font: glyph metrics over every glyph, the stored format,
// the display lists it builds and the state a print leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "fake_platform.h"
#include "gl_recorder.h"
#include "kvr_window.h"

namespace {

// The stored glyph of a printable code, the space included.
const unsigned char* fontGlyph(int code) {
    return code == 32 ? bitmap_font_space : bitmap_font_data + 32 * (code - 33);
}

// True when the pixel at row (0 = bottom) and column (0 = left) is set.
bool fontPixel(const unsigned char* glyph, int row, int col) {
    if (row < 0 || row > 15 || col < 0 || col > 15) {
        return false;
    }
    return (glyph[row * 2 + col / 8] & (0x80 >> (col % 8))) != 0;
}

// Lowest and highest rows and leftmost and rightmost columns holding a set pixel.
struct FontInk {
    int bottom = 16;
    int top = -1;
    int left = 16;
    int right = -1;
};

FontInk fontInk(const unsigned char* glyph) {
    FontInk ink;
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col) {
            if (fontPixel(glyph, row, col)) {
                ink.bottom = row < ink.bottom ? row : ink.bottom;
                ink.top = row > ink.top ? row : ink.top;
                ink.left = col < ink.left ? col : ink.left;
                ink.right = col > ink.right ? col : ink.right;
            }
        }
    }
    return ink;
}

// The glyph as text, top row first, for failure messages.
std::string fontPicture(const unsigned char* glyph) {
    std::string s;
    for (int row = 15; row >= 0; --row) {
        for (int col = 0; col < 12; ++col) {
            s += fontPixel(glyph, row, col) ? '#' : '.';
        }
        s += '\n';
    }
    return s;
}

// A glyph label for failure messages.
std::string fontLabel(int code) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "'%c' (%d)\n", code, code);
    return buf;
}

bool isDescender(int c) {
    return std::strchr(",;_gjpqy", c) != nullptr;
}

bool isLower(int c) {
    return c >= 'a' && c <= 'z';
}

bool isUpper(int c) {
    return c >= 'A' && c <= 'Z';
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

TEST(FontGlyphTest, ColumnZeroIsBlankAndNothingLiesBeyondColumnElevenInAnyGlyph) {
    for (int c = 32; c <= 126; ++c) {
        const unsigned char* g = fontGlyph(c);
        for (int row = 0; row < 16; ++row) {
            EXPECT_FALSE(fontPixel(g, row, 0)) << fontLabel(c) << "row " << row << "\n" << fontPicture(g);
            EXPECT_EQ(g[row * 2 + 1] & 0x0F, 0) << fontLabel(c) << "row " << row;
        }
    }
}

TEST(FontGlyphTest, SpaceIsBlankAndEveryOtherGlyphHasInkOfItsOwn) {
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(bitmap_font_space[i], 0) << "byte " << i;
    }
    for (int c = 33; c <= 126; ++c) {
        EXPECT_GE(fontInk(fontGlyph(c)).top, 0) << fontLabel(c) << "has no pixels";
        for (int d = 33; d < c; ++d) {
            EXPECT_NE(std::memcmp(fontGlyph(c), fontGlyph(d), 32), 0)
                << fontLabel(c) << "equals " << fontLabel(d);
        }
    }
}

TEST(FontGlyphTest, OnlyDescendersAndBracesReachBelowTheBaseline) {
    for (int c = 33; c <= 126; ++c) {
        const unsigned char* g = fontGlyph(c);
        FontInk ink = fontInk(g);
        if (isDescender(c)) {
            EXPECT_EQ(ink.bottom, 0) << fontLabel(c) << fontPicture(g);
        } else if (c == '{' || c == '}') {
            EXPECT_EQ(ink.bottom, 1) << fontLabel(c) << fontPicture(g);
        } else if (isUpper(c) || isLower(c) || isDigit(c)) {
            EXPECT_EQ(ink.bottom, 2) << fontLabel(c) << "does not sit on the baseline\n" << fontPicture(g);
        } else {
            EXPECT_GE(ink.bottom, 2) << fontLabel(c) << fontPicture(g);
        }
    }
}

TEST(FontGlyphTest, CapitalsDigitsAndAscendersReachTheTopAndLowercaseTheXHeight) {
    for (int c = 33; c <= 126; ++c) {
        const unsigned char* g = fontGlyph(c);
        FontInk ink = fontInk(g);
        if (isUpper(c) || isDigit(c) || std::strchr("bdfhkl", c) != nullptr) {
            EXPECT_EQ(ink.top, 15) << fontLabel(c) << fontPicture(g);
        } else if (c == 'i' || c == 'j') {
            EXPECT_EQ(ink.top, 13) << fontLabel(c) << "dot\n" << fontPicture(g);
        } else if (c == 't') {
            EXPECT_EQ(ink.top, 14) << fontLabel(c) << fontPicture(g);
        } else if (isLower(c)) {
            EXPECT_EQ(ink.top, 10) << fontLabel(c) << fontPicture(g);
        }
        if (isUpper(c) || isLower(c)) {
            EXPECT_GE(ink.left, 1) << fontLabel(c) << fontPicture(g);
            EXPECT_LE(ink.right, 10) << fontLabel(c) << "letters lie within columns 1 to 10\n"
                                     << fontPicture(g);
        }
    }
}

// Every set pixel has a set neighbour on its row (no stroke is one pixel wide), and no three
// neighbouring pixels of a row lack a set pixel both above and below (no one-row hairline).
TEST(FontGlyphTest, StrokesAreTwoPixelsThickInEveryGlyph) {
    for (int c = 33; c <= 126; ++c) {
        const unsigned char* g = fontGlyph(c);
        for (int row = 0; row < 16; ++row) {
            int thinRun = 0;
            for (int col = 0; col < 12; ++col) {
                bool on = fontPixel(g, row, col);
                if (on) {
                    EXPECT_TRUE(fontPixel(g, row, col - 1) || fontPixel(g, row, col + 1))
                        << fontLabel(c) << "one pixel wide at row " << row << " column " << col << "\n"
                        << fontPicture(g);
                }
                bool thin = on && !fontPixel(g, row - 1, col) && !fontPixel(g, row + 1, col);
                thinRun = thin ? thinRun + 1 : 0;
                EXPECT_LT(thinRun, 3)
                    << fontLabel(c) << "one row thick at row " << row << " column " << col << "\n"
                    << fontPicture(g);
            }
        }
    }
}

// Rows as four hex digits (first byte, then second), bottom row first.
void expectFontGlyph(int code, const std::vector<unsigned> rows) {
    const unsigned char* g = fontGlyph(code);
    ASSERT_EQ(rows.size(), 16u);
    for (int row = 0; row < 16; ++row) {
        EXPECT_EQ(g[row * 2], rows[row] >> 8) << fontLabel(code) << "row " << row << "\n" << fontPicture(g);
        EXPECT_EQ(g[row * 2 + 1], rows[row] & 0xFF) << fontLabel(code) << "row " << row << "\n"
                                                    << fontPicture(g);
    }
}

TEST(FontGlyphTest, CapitalASmallGAndSlashedZeroAreTheGivenBitmaps) {
    expectFontGlyph('A', {0x0000, 0x0000, 0x6060, 0x6060, 0x6060, 0x3fc0, 0x3fc0, 0x30c0, 0x1980, 0x1980,
                          0x1980, 0x0f00, 0x0f00, 0x0f00, 0x0600, 0x0600});
    expectFontGlyph('g', {0x3f80, 0x3fc0, 0x00e0, 0x0060, 0x1f60, 0x3fe0, 0x70e0, 0x6060, 0x7060, 0x3fe0,
                          0x1fe0, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000});
    expectFontGlyph('0', {0x0000, 0x0000, 0x0f80, 0x3fe0, 0x3060, 0x7030, 0x7830, 0x6c30, 0x6630, 0x6330,
                          0x61b0, 0x60f0, 0x6070, 0x3060, 0x3fe0, 0x0f80});
}

// The rows are stored bottom row first and the leftmost column is the top bit of the first byte:
// the underscore lives in the first four bytes, the caret in the last ones, and the slash rises
// from the left of its bottom row to the right of its top row.
TEST(FontGlyphTest, GlyphsAreStoredBottomRowFirstWithTheLeftColumnInTheTopBit) {
    const unsigned char* underscore = fontGlyph('_');
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(underscore[i] != 0, i < 4) << "underscore byte " << i << "\n" << fontPicture(underscore);
    }
    EXPECT_EQ(underscore[0], 0x7F);
    EXPECT_EQ(underscore[1], 0xF0);
    const unsigned char* caret = fontGlyph('^');
    EXPECT_EQ(fontInk(caret).bottom, 11) << fontPicture(caret);
    EXPECT_EQ(caret[30], 0x06) << "apex in columns 5 and 6 of the top row";
    const unsigned char* slash = fontGlyph('/');
    EXPECT_EQ(slash[4], 0x60) << "bottom ink row, columns 1 and 2";
    EXPECT_EQ(slash[5], 0x00);
    EXPECT_EQ(slash[30], 0x00) << "top row, columns 9 and 10";
    EXPECT_EQ(slash[31], 0x60);
}

// The font's list base as the program finds it, taken while the test program loads.
const uint32_t kOffsetAtLoad = bitmap_font_offset;

class FontListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        glrec::reset();
        fake::reset();
        bitmap_font_offset = 0;
        kvr_screenWidth = 800;
        kvr_screenHeight = 600;
    }
    void TearDown() override {
        glrec::reset();
        bitmap_font_offset = 0;
        kvr_screenWidth = 0;
        kvr_screenHeight = 0;
    }
};

TEST_F(FontListsTest, InitReservesOneHundredTwentyEightListsAndGivesEachPrintableCodeOneBitmap) {
    glGenLists(5);  // lists someone took before the font
    glrec::calls.clear();
    bitmap_font_init();

    ASSERT_EQ(glrec::count("glGenLists"), 1u);
    EXPECT_EQ(glrec::named("glGenLists")[0]->args[0], 128);
    ASSERT_EQ(bitmap_font_offset, 6u) << "the font's lists are the ones glGenLists answered";
    std::size_t align = glrec::find("glPixelStorei");
    ASSERT_LT(align, glrec::calls.size());
    EXPECT_EQ(glrec::calls[align].args, (std::vector<double>{GL_UNPACK_ALIGNMENT, 1}));
    EXPECT_LT(align, glrec::find("glBitmap")) << "glyph rows are 2 bytes back to back only with alignment 1";

    std::map<unsigned, int> compiled;  // list -> code
    for (const glrec::Call* c : glrec::named("glNewList")) {
        unsigned list = static_cast<unsigned>(c->args[0]);
        EXPECT_EQ(c->args[1], GL_COMPILE);
        EXPECT_EQ(compiled.count(list), 0u) << "list " << list << " compiled twice";
        compiled[list] = static_cast<int>(list - bitmap_font_offset);
    }
    EXPECT_EQ(glrec::count("glEndList"), compiled.size());
    ASSERT_EQ(compiled.size(), 95u) << glrec::dump(0, 40);
    for (int code = 32; code <= 126; ++code) {
        unsigned list = bitmap_font_offset + static_cast<unsigned>(code);
        ASSERT_EQ(compiled.count(list), 1u) << "no list for code " << code;
        std::vector<const glrec::Call*> inside;
        for (const glrec::Call& c : glrec::calls) {
            if (c.list == list) {
                inside.push_back(&c);
            }
        }
        ASSERT_EQ(inside.size(), 1u) << "list of code " << code;
        EXPECT_EQ(inside[0]->name, "glBitmap");
        EXPECT_EQ(inside[0]->args, (std::vector<double>{12, 16, 0, 0, 12, 0})) << "code " << code;
        ASSERT_EQ(inside[0]->bytes.size(), 32u);
        EXPECT_EQ(std::memcmp(inside[0]->bytes.data(), fontGlyph(code), 32), 0) << "code " << code;
    }
}

TEST_F(FontListsTest, WithoutListsInitBuildsNothingAndPrintDrawsNothing) {
    // Before its set-up the font has no lists either.
    EXPECT_EQ(kOffsetAtLoad, 0u);

    glrec::genListsFails = true;
    bitmap_font_init();
    EXPECT_EQ(bitmap_font_offset, 0u);
    EXPECT_EQ(glrec::count("glNewList"), 0u) << "list 0 + c is not the font's";
    EXPECT_EQ(glrec::count("glBitmap"), 0u);

    glrec::calls.clear();
    bitmap_font_print("text");
    EXPECT_TRUE(glrec::calls.empty()) << glrec::dump();
}

// Replays a print and checks what it leaves: both matrices and the matrix mode restored, every
// enable and the list base changed only inside the attribute push, the text drawn unlit, undepth-
// tested, from (4, 4) in window pixels, and the colour left green.
TEST_F(FontListsTest, PrintRestoresMatricesModeEnablesAndListBaseAndLeavesTheColourGreen) {
    bitmap_font_init();
    glrec::calls.clear();
    bitmap_font_print("Hi 42");

    GLenum mode = GL_MODELVIEW;
    std::map<GLenum, int> depth;
    int attrib = 0;
    bool lightingOff = false;
    bool depthTestOff = false;
    bool ortho = false;
    std::vector<double> colour;
    double listBase = -1;
    int drawn = 0;
    for (const glrec::Call& c : glrec::calls) {
        const std::string& n = c.name;
        if (n == "glMatrixMode") {
            mode = static_cast<GLenum>(c.args[0]);
        } else if (n == "glPushMatrix") {
            ++depth[mode];
        } else if (n == "glPopMatrix") {
            EXPECT_GT(depth[mode], 0) << "pop without push, mode " << mode;
            --depth[mode];
        } else if (n == "glLoadIdentity") {
            EXPECT_GT(depth[mode], 0) << "the caller's matrix is overwritten, mode " << mode;
        } else if (n == "gluOrtho2D") {
            EXPECT_EQ(mode, static_cast<GLenum>(GL_PROJECTION));
            EXPECT_EQ(c.args, (std::vector<double>{0, 800, 0, 600})) << "one unit per client pixel";
            ortho = true;
        } else if (n == "glPushAttrib") {
            ++attrib;
            EXPECT_EQ(static_cast<unsigned>(c.args[0]) & (GL_ENABLE_BIT | GL_LIST_BIT),
                      static_cast<unsigned>(GL_ENABLE_BIT | GL_LIST_BIT));
        } else if (n == "glPopAttrib") {
            --attrib;
        } else if (n == "glEnable" || n == "glDisable" || n == "glListBase") {
            EXPECT_GT(attrib, 0) << n << " outside the attribute push is never undone";
            lightingOff |= n == "glDisable" && c.args[0] == GL_LIGHTING;
            depthTestOff |= n == "glDisable" && c.args[0] == GL_DEPTH_TEST;
            listBase = n == "glListBase" ? c.args[0] : listBase;
        } else if (n == "glColor3f") {
            colour = c.args;
        } else if (n == "glRasterPos2i") {
            EXPECT_EQ(c.args, (std::vector<double>{4, 4}));
            EXPECT_TRUE(ortho);
            EXPECT_TRUE(lightingOff) << "a lit raster colour is not plain green";
            EXPECT_EQ(colour, (std::vector<double>{0, 1, 0})) << "raster colour is taken here";
        } else if (n == "glCallLists") {
            ++drawn;
            EXPECT_TRUE(lightingOff && depthTestOff);
            EXPECT_EQ(listBase, bitmap_font_offset);
            EXPECT_EQ(c.args, (std::vector<double>{5, GL_UNSIGNED_BYTE}));
            EXPECT_EQ(std::string(c.bytes.begin(), c.bytes.end()), "Hi 42");
        }
    }
    EXPECT_EQ(drawn, 1) << "one list call for the whole string";
    EXPECT_EQ(mode, static_cast<GLenum>(GL_MODELVIEW));
    EXPECT_EQ(depth[GL_MODELVIEW], 0);
    EXPECT_EQ(depth[GL_PROJECTION], 0);
    EXPECT_EQ(attrib, 0);
    EXPECT_EQ(colour, (std::vector<double>{0, 1, 0})) << "the colour stays green";
    EXPECT_EQ(glrec::count("glPushMatrix"), 2u) << glrec::dump();
}

// Bytes 128 to 255 would call lists beyond the font's 128: they are left out, while a string of
// 7-bit bytes (control codes and the empty string included) is still one glCallLists.
TEST_F(FontListsTest, BytesBeyondTheFontsListsAreSkippedAndSevenBitStringsTakeOneCall) {
    bitmap_font_init();
    struct Case {
        const char* text;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"tab\there\n", {"tab\there\n"}},
        {"", {""}},
        {"caf\xc3\xa9 ok", {"caf", " ok"}},
        {"\x80"
         "A\xff"
         "B",
         {"A", "B"}},
        {"\xc3\xa9", {""}},
    };
    for (const Case& k : cases) {
        glrec::calls.clear();
        bitmap_font_print(k.text);
        std::vector<std::string> got;
        for (const glrec::Call* c : glrec::named("glCallLists")) {
            got.push_back(std::string(c->bytes.begin(), c->bytes.end()));
            EXPECT_EQ(c->args[0], static_cast<double>(c->bytes.size()));
            EXPECT_EQ(c->args[1], GL_UNSIGNED_BYTE);
        }
        EXPECT_EQ(got, k.calls) << "text \"" << k.text << "\"";
        EXPECT_EQ(glrec::count("glPopAttrib"), 1u);
        EXPECT_EQ(glrec::count("glPopMatrix"), 2u);
    }
}

}  // namespace
