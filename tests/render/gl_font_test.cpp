// gl_font_test.cpp - the bitmap font drawn by real OpenGL (Mesa under Xvfb) over a lit,
// depth-tested scene; every cell is read back and compared with its glyph pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "glx_window.h"
#include "kvr_platform.h"
#include "kvr_window.h"

namespace {

// Wide enough for the 95 printable characters on one line.
const int kWidth = 1160;
const int kHeight = 64;

// The frame buffer, bottom row first, RGBA.
struct Frame {
    std::vector<unsigned char> rgba;
    // The pixel at window position (x, y) as 0xRRGGBB.
    unsigned at(int x, int y) const {
        const unsigned char* p = &rgba[(std::size_t(y) * kWidth + std::size_t(x)) * 4];
        return unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | unsigned(p[2]);
    }
};

Frame readFrame() {
    return {glxwin::readPixels(0, 0, kWidth, kHeight)};
}

// True when the glyph of code has the pixel at row (0 = bottom) and column set.
bool glyphBit(int code, int row, int col) {
    const unsigned char* g = code == 32 ? bitmap_font_space : bitmap_font_data + 32 * (code - 33);
    return (g[row * 2 + col / 8] & (0x80 >> (col % 8))) != 0;
}

// Compares the cell whose lower-left corner is (x0, y0) with the glyph of code: set pixels pure
// green, clear pixels the background. Returns a description of the first mismatch, or "".
std::string cellMismatch(const Frame& f, int x0, int y0, int code, unsigned background) {
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 12; ++col) {
            unsigned want = glyphBit(code, row, col) ? 0x00FF00u : background;
            unsigned got = f.at(x0 + col, y0 + row);
            if (got != want) {
                char buf[160];
                std::snprintf(buf, sizeof buf,
                              "code %d at cell (%d, %d): pixel row %d column %d is %06X, not %06X", code, x0,
                              y0, row, col, got, want);
                return buf;
            }
        }
    }
    return "";
}

class FontRenderTest : public ::testing::Test {
protected:
    // One window for the whole suite. A busy Xvfb now and then refuses a new connection
    // (EAGAIN on its socket), so opening is tried a few times.
    static void SetUpTestSuite() {
        for (int attempt = 0; attempt < 3 && !open; ++attempt) {
            open = glxwin::open(kWidth, kHeight);
        }
    }
    static void TearDownTestSuite() {
        glxwin::close();
        open = false;
    }
    void SetUp() override {
        if (!open) {
            if (glxwin::displayRequired()) {
                FAIL() << "no X display or no GLX window, and KVR_REQUIRE_DISPLAY=1";
            }
            GTEST_SKIP() << glxwin::displayMissing();
        }
        kvr_screenWidth = kWidth;
        kvr_screenHeight = kHeight;
        bitmap_font_offset = 0;
        bitmap_font_init();
        ASSERT_NE(bitmap_font_offset, 0u);
    }
    void TearDown() override {
        kvr_screenWidth = 0;
        kvr_screenHeight = 0;
        bitmap_font_offset = 0;
    }

    static bool open;

    // A lit, depth-tested wall just in front of the eye over the whole window, drawn with the
    // model-view matrix current and a non-trivial matrix on both stacks, as a frame leaves them.
    void drawLitScene() {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-2, 2, -2, 2, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glScalef(2, 2, 1);
        glColor3f(1, 0, 0);  // ignored while lit: the wall shows the lit default material
        glBegin(GL_QUADS);
        glNormal3f(0, 0, 1);
        glVertex3f(-1, -1, 0.9f);
        glVertex3f(1, -1, 0.9f);
        glVertex3f(1, 1, 0.9f);
        glVertex3f(-1, 1, 0.9f);
        glEnd();
    }
};

bool FontRenderTest::open = false;

TEST_F(FontRenderTest, EveryPrintableCharacterDrawsItsGlyphInGreenUnlitAndInFrontAtItsCell) {
    drawLitScene();
    std::string text;
    for (int c = 32; c <= 126; ++c) {
        text += char(c);
    }
    GLdouble modelview[16], projection[16], modelviewAfter[16], projectionAfter[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    bitmap_font_print(text.c_str());

    Frame f = readFrame();
    unsigned background = f.at(kWidth - 2, kHeight - 2);
    ASSERT_NE(background, 0xFF0000u) << "the wall must be lit";
    ASSERT_NE(background, 0u) << "the wall must cover the window";
    for (int n = 0; n < int(text.size()); ++n) {
        std::string bad = cellMismatch(f, 4 + 12 * n, 4, 32 + n, background);
        EXPECT_EQ(bad, "") << "character " << n;
    }
    for (int x = 0; x < kWidth; ++x) {
        for (int y : {0, 1, 2, 3, 20}) {
            ASSERT_EQ(f.at(x, y), background) << "stray pixel at " << x << ", " << y;
        }
    }
    for (int y = 0; y < kHeight; ++y) {
        for (int x : {0, 1, 2, 3, 4 + 12 * 95}) {
            ASSERT_EQ(f.at(x, y), background) << "stray pixel at " << x << ", " << y;
        }
    }

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelviewAfter);
    glGetDoublev(GL_PROJECTION_MATRIX, projectionAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(modelviewAfter[i], modelview[i]) << "model-view element " << i;
        EXPECT_EQ(projectionAfter[i], projection[i]) << "projection element " << i;
    }
    GLfloat colour[4], raster[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 0.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 0.0f);
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    EXPECT_EQ(raster[0], 4.0f + 12.0f * 95.0f) << "raster position after the last character";
    EXPECT_EQ(raster[1], 4.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Control codes call empty lists, so a tab or a newline joins its neighbours; a space advances
// one cell and draws nothing; bytes 128 to 255 are left out; an empty string draws nothing.
TEST_F(FontRenderTest, ControlCodesJoinTheirNeighboursAndSpacesAdvanceWithoutDrawing) {
    struct Case {
        const char* text;
        const char* cells;  // what each cell from the first shows
    };
    const Case cases[] = {
        {"A\tB\nC", "ABC "},       {"A B", "A B "}, {"x\x01\x1f\x7fy", "xy  "},
        {"\xc3\xa9t\xff", "t   "}, {"", "    "},
    };
    for (const Case& k : cases) {
        drawLitScene();
        bitmap_font_print(k.text);
        Frame f = readFrame();
        unsigned background = f.at(kWidth - 2, kHeight - 2);
        std::string cells = k.cells;
        for (int n = 0; n < int(cells.size()); ++n) {
            EXPECT_EQ(cellMismatch(f, 4 + 12 * n, 4, cells[n], background), "")
                << "text \"" << k.text << "\"";
        }
        GLfloat raster[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
        EXPECT_EQ(raster[0], 4.0f + 12.0f * float(cells.find_last_not_of(' ') + 1))
            << "text \"" << k.text << "\"";
    }
}

// Prints the glyph set six lines of sixteen, checks each line, and when KVR_FONT_SHEET names a
// file writes the lines enlarged four times into it (a portable pixmap) for people to look at.
TEST_F(FontRenderTest, FontSheetShowsEveryGlyph) {
    const int kScale = 4;
    const int kLineWidth = 8 + 16 * 12;
    const int kLineHeight = 24;
    std::vector<unsigned char> sheet(std::size_t(kLineWidth) * kLineHeight * 6 * 4);
    for (int line = 0; line < 6; ++line) {
        std::string text;
        for (int c = 32 + 16 * line; c < 48 + 16 * line && c <= 126; ++c) {
            text += char(c);
        }
        glClearColor(0.1f, 0.1f, 0.1f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        bitmap_font_print(text.c_str());
        Frame f = readFrame();
        for (int n = 0; n < int(text.size()); ++n) {
            EXPECT_EQ(cellMismatch(f, 4 + 12 * n, 4, text[n], f.at(0, 0)), "");
        }
        // The sheet is stored bottom row first like the frame: the first line goes on top.
        std::vector<unsigned char> part = glxwin::readPixels(0, 0, kLineWidth, kLineHeight);
        int base = (5 - line) * kLineHeight;
        std::copy(part.begin(), part.end(), sheet.begin() + std::ptrdiff_t(base) * kLineWidth * 4);
    }
    const char* path = std::getenv("KVR_FONT_SHEET");
    if (path == nullptr || path[0] == '\0') {
        return;
    }
    int w = kLineWidth * kScale;
    int h = kLineHeight * 6 * kScale;
    std::vector<unsigned char> big(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int k = 0; k < 4; ++k) {
                big[(std::size_t(y) * w + x) * 4 + k] =
                    sheet[(std::size_t(y / kScale) * kLineWidth + x / kScale) * 4 + k];
            }
        }
    }
    EXPECT_TRUE(glxwin::writePpm(path, big, w, h));
}

}  // namespace
