// x11_pixelformat_test.cpp - the pixel format ChoosePixelFormat picks and the bits per pixel
// GetDeviceCaps reports, against frame-buffer configs and pixmap formats this test program
// poses: Xvfb's own configs are too alike to tell the choice's rules apart.
#include <gtest/gtest.h>

#include "x11_test_support.h"
#include "x11_state.h"

#include <GL/glx.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// One posed config: what glXGetFBConfigAttrib and glXGetVisualFromFBConfig answer for it.
struct PosedConfig {
    int window, renderable, visualId, doubleBuffer, stereo;
    int red, green, blue, alpha, depth, stencil;
    int accum;  // bits of each of the four accumulation channels
    int slow, visualDepth;
};

// While not empty, the server seems to have these configs, in this order.
std::vector<PosedConfig> posedConfigs;
// The real configs standing in for the posed ones, once the platform has asked for them.
std::vector<GLXFBConfig> posedHandles;
// While not empty, the server seems to list these pixmap formats.
std::vector<XPixmapFormatValues> posedFormats;

// The posed config behind a real config, or null when it is not posed.
const PosedConfig* posedFor(GLXFBConfig config) {
    auto found = std::find(posedHandles.begin(), posedHandles.end(), config);
    return found == posedHandles.end() ? nullptr : &posedConfigs[found - posedHandles.begin()];
}

// The usual request of a window: RGBA, double-buffered, 32 colour bits, 24 depth, 8 stencil.
PIXELFORMATDESCRIPTOR request() {
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.cStencilBits = 8;
    return pfd;
}

// The format ChoosePixelFormat gives a request on the desktop's device context.
int choose(const PIXELFORMATDESCRIPTOR& pfd) {
    return ChoosePixelFormat(GetDC(nullptr), &pfd);
}

}  // namespace

// The screen's configs as the layer sees them: the first real ones, as many as are posed.
extern "C" GLXFBConfig* glXGetFBConfigs(Display* d, int screen, int* count) {
    using Real = GLXFBConfig* (*)(Display*, int, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glXGetFBConfigs"));
    GLXFBConfig* configs = real(d, screen, count);
    if (configs != nullptr && !posedConfigs.empty() && *count >= (int)posedConfigs.size()) {
        *count = (int)posedConfigs.size();
        posedHandles.assign(configs, configs + *count);
    }
    return configs;
}

// A posed config's attributes; every other config's are the server's.
extern "C" int glXGetFBConfigAttrib(Display* d, GLXFBConfig config, int name, int* value) {
    using Real = int (*)(Display*, GLXFBConfig, int, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glXGetFBConfigAttrib"));
    const PosedConfig* c = posedFor(config);
    if (c == nullptr) {
        return real(d, config, name, value);
    }
    switch (name) {
        case GLX_RENDER_TYPE:
            *value = GLX_RGBA_BIT;
            break;
        case GLX_DRAWABLE_TYPE:
            *value = GLX_PBUFFER_BIT | (c->window ? GLX_WINDOW_BIT : 0);
            break;
        case GLX_X_RENDERABLE:
            *value = c->renderable;
            break;
        case GLX_VISUAL_ID:
            *value = c->visualId;
            break;
        case GLX_DOUBLEBUFFER:
            *value = c->doubleBuffer;
            break;
        case GLX_STEREO:
            *value = c->stereo;
            break;
        case GLX_RED_SIZE:
            *value = c->red;
            break;
        case GLX_GREEN_SIZE:
            *value = c->green;
            break;
        case GLX_BLUE_SIZE:
            *value = c->blue;
            break;
        case GLX_ALPHA_SIZE:
            *value = c->alpha;
            break;
        case GLX_DEPTH_SIZE:
            *value = c->depth;
            break;
        case GLX_STENCIL_SIZE:
            *value = c->stencil;
            break;
        case GLX_ACCUM_RED_SIZE:
        case GLX_ACCUM_GREEN_SIZE:
        case GLX_ACCUM_BLUE_SIZE:
        case GLX_ACCUM_ALPHA_SIZE:
            *value = c->accum;
            break;
        case GLX_CONFIG_CAVEAT:
            *value = c->slow ? GLX_SLOW_CONFIG : GLX_NONE;
            break;
        default:
            *value = 0;
            break;  // level, aux buffers, samples
    }
    return Success;
}

// A posed config's visual: TrueColor of the posed depth, freed with XFree.
extern "C" XVisualInfo* glXGetVisualFromFBConfig(Display* d, GLXFBConfig config) {
    using Real = XVisualInfo* (*)(Display*, GLXFBConfig);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "glXGetVisualFromFBConfig"));
    const PosedConfig* c = posedFor(config);
    if (c == nullptr) {
        return real(d, config);
    }
    XVisualInfo* visual = static_cast<XVisualInfo*>(std::calloc(1, sizeof(XVisualInfo)));
    visual->visualid = (VisualID)c->visualId;
    visual->depth = c->visualDepth;
    visual->c_class = TrueColor;
    return visual;
}

// The pixmap formats as posed, freed with XFree.
extern "C" XPixmapFormatValues* XListPixmapFormats(Display* d, int* count) {
    using Real = XPixmapFormatValues* (*)(Display*, int*);
    static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XListPixmapFormats"));
    if (posedFormats.empty()) {
        return real(d, count);
    }
    size_t size = posedFormats.size() * sizeof(XPixmapFormatValues);
    auto* formats = static_cast<XPixmapFormatValues*>(std::malloc(size));
    std::copy(posedFormats.begin(), posedFormats.end(), formats);
    *count = (int)posedFormats.size();
    return formats;
}

// The layer reads the configs once per connection: each test poses them in a fresh process.
class X11PixelFormat : public ::testing::Test {
protected:
    void TearDown() override {
        posedConfigs.clear();
        posedHandles.clear();
        posedFormats.clear();
    }
};

// Fields: window, renderable, visual id, double, stereo, red, green, blue, alpha, depth, stencil,
// accumulation, slow, visual depth.
const PosedConfig kUsual = {1, 1, 1, 1, 0, 8, 8, 8, 0, 24, 8, 0, 0, 24};

TEST_F(X11PixelFormat, ServerWithOneConfigGetsIt) {
    KVR_NEED_FRESH_PRIVATE_SERVER();
    posedConfigs = {kUsual};
    EXPECT_EQ(choose(request()), 1);
    PIXELFORMATDESCRIPTOR deeper = request();
    deeper.cDepthBits = 32;
    EXPECT_EQ(choose(deeper), 0) << "no config has 32 depth bits";
}

TEST_F(X11PixelFormat, ChoiceFollowsTheRanking) {
    KVR_NEED_FRESH_PRIVATE_SERVER();
    posedConfigs = {
        kUsual,                                            // 1
        {1, 1, 0, 1, 0, 8, 8, 8, 8, 24, 8, 0, 0, 24},      // 2 no visual id
        {1, 0, 3, 1, 0, 8, 8, 8, 8, 24, 8, 0, 0, 24},      // 3 not X-renderable
        {0, 1, 4, 1, 0, 8, 8, 8, 8, 24, 8, 0, 0, 24},      // 4 no window bit
        {1, 1, 5, 1, 0, 8, 8, 8, 8, 24, 0, 0, 0, 24},      // 5 alpha, no stencil
        {1, 1, 6, 0, 0, 8, 8, 8, 0, 16, 8, 0, 0, 24},      // 6 single-buffered, 16 depth
        {1, 1, 7, 1, 0, 10, 10, 10, 2, 24, 8, 0, 0, 30},   // 7 10-10-10
        {1, 1, 8, 1, 0, 8, 8, 8, 0, 24, 8, 16, 0, 24},     // 8 64 accumulation bits
        {1, 1, 9, 1, 0, 8, 8, 8, 0, 24, 8, 8, 0, 24},      // 9 32 accumulation bits
        {1, 1, 10, 1, 0, 5, 6, 5, 0, 24, 0, 0, 0, 16},     // 10 5-6-5, no stencil
        {1, 1, 11, 1, 1, 8, 8, 8, 8, 24, 8, 0, 0, 32},     // 11 stereo ARGB
        {1, 1, 12, 1, 1, 8, 8, 8, 8, 24, 8, 0, 1, 24},     // 12 stereo, slow
        {1, 1, 13, 1, 0, 5, 6, 5, 0, 32, 8, 0, 0, 16},     // 13 5-6-5, 32 depth
        {1, 1, 14, 1, 0, 10, 10, 10, 2, 32, 8, 0, 0, 30},  // 14 10-10-10, 32 depth
    };
    PIXELFORMATDESCRIPTOR pfd = request();
    EXPECT_EQ(choose(pfd), 1) << "the first config fits best";
    ASSERT_EQ(posedHandles.size(), posedConfigs.size()) << "the server has fewer configs than posed";
    pfd.cColorBits = 0;
    EXPECT_EQ(choose(pfd), 1) << "0 colour bits: 8 a channel, before 10-10-10";

    pfd = request();
    pfd.cAlphaBits = 8;
    EXPECT_EQ(choose(pfd), 5) << "configs 2 to 4 have alpha and stencil, but cannot draw to a window";

    pfd = request();
    pfd.cDepthBits = 16;
    EXPECT_EQ(choose(pfd), 1) << "a double-buffer request never gets the single-buffered config";
    pfd.dwFlags &= ~PFD_DOUBLEBUFFER;
    EXPECT_EQ(choose(pfd), 6) << "a single-buffer request gets it";

    pfd = request();
    pfd.cAccumBits = 32;
    EXPECT_EQ(choose(pfd), 9) << "the four accumulation channels together";

    pfd = request();
    pfd.cColorBits = 16;
    EXPECT_EQ(choose(pfd), 10) << "more colour bits than asked weigh more than a missing stencil";

    pfd = request();
    pfd.cColorBits = 24;
    pfd.cDepthBits = 32;
    EXPECT_EQ(choose(pfd), 14) << "fewer colour bits than asked are worse than more";

    pfd = request();
    pfd.dwFlags |= PFD_STEREO;
    pfd.cAlphaBits = 8;
    EXPECT_EQ(choose(pfd), 12) << "an ARGB visual comes after a depth-24 one, even a slow one";
}

TEST_F(X11PixelFormat, BitsPerPixelOfTheScreenDepth) {
    KVR_NEED_DISPLAY();
    HDC desktop = GetDC(nullptr);
    ASSERT_EQ(DefaultDepth(kvr_x11.display, kvr_x11.screen), 24);
    // A server packing depth 24 into 24 bits per pixel, the ARGB depth listed after it.
    posedFormats = {{1, 1, 32}, {8, 8, 32}, {16, 16, 32}, {24, 24, 32}, {32, 32, 32}};
    EXPECT_EQ(GetDeviceCaps(desktop, BITSPIXEL), 24);
    posedFormats = {{1, 1, 32}, {32, 32, 32}};
    EXPECT_EQ(GetDeviceCaps(desktop, BITSPIXEL), 24) << "a depth without a pixmap format: its own bits";
}
