// inproc_bench.cpp - in-process timings of the viewer's own code on the real window layer
// and platform: the cost of one frame at full-screen size, and the cost of the render
// initialisation against the rest of opening the window. Prints one "sample <name> <value>"
// line per measurement and "info <name> <value>" lines for facts; asserts nothing.
//
//   kvr_bench_inproc frames <frames per round> <rounds>
//   kvr_bench_inproc init
#include "kelvor.h"
#include "kvr_window.h"
#include "shapes.h"

#include <GL/glx.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

// The real onInit, reached through the linker's --wrap, and the time of its latest call.
extern "C" int __real__Z6onInitv();
static double lastOnInitMs = 0.0;
static int onInitCalls = 0;

namespace {

// Monotonic time in milliseconds.
double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1.0e6;
}

// Waits until the GL work and the X requests of the frame are done, so the frame is on screen.
void finishFrame() {
    glFinish();
    Display* display = glXGetCurrentDisplay();
    if (display != nullptr) {
        XSync(display, False);
    }
}

// Dispatches whatever messages the window has waiting.
void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The lower bound of any frame: clear and swap, nothing drawn.
void drawEmptyFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    kvr_swapBuffers();
}

// Loads the camera transform the viewer's frame loads.
void loadCamera() {
    glLoadIdentity();
    glRotated(pitch, 1.0, 0.0, 0.0);
    glRotated(yaw, 0.0, 1.0, 0.0);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}

// The viewer's frame with the scene issued command by command instead of from its display list.
void drawImmediateFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadCamera();
    drawScene();
    kvr_swapBuffers();
}

// Opens the viewer's window the way its entry does: initialisation without a context first.
bool openWindow() {
    onInit();
    HDC desktop = GetDC(NULL);
    int depth = GetDeviceCaps(desktop, BITSPIXEL);
    ReleaseDC(NULL, desktop);
    return kvr_createWindow(APP_TITLE, initialWindowWidth, initialWindowHeight, CW_USEDEFAULT, CW_USEDEFAULT,
                            depth) != 0;
}

// The back buffer's pixels, RGBA, bottom row first.
std::vector<unsigned char> readBackBuffer() {
    int w = kvr_getScreenWidth();
    int h = kvr_getScreenHeight();
    std::vector<unsigned char> pixels((size_t)w * (size_t)h * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Checks once that both ways of issuing the scene draw the same, non-empty picture: counts the
// scene's non-black pixels and the pixels where the two pictures differ, and by how much at most.
void reportPictures() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadCamera();
    glCallList(sceneId);
    std::vector<unsigned char> list = readBackBuffer();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadCamera();
    drawScene();
    std::vector<unsigned char> immediate = readBackBuffer();
    long nonBlack = 0, differing = 0;
    int largest = 0;
    int box[4] = {1 << 30, 1 << 30, -1, -1};
    for (size_t i = 0; i < list.size(); i += 4) {
        bool differs = false;
        for (size_t k = 0; k < 3; k++) {
            int d = std::abs((int)list[i + k] - (int)immediate[i + k]);
            largest = std::max(largest, d);
            differs = differs || d != 0;
        }
        nonBlack += (list[i] != 0 || list[i + 1] != 0 || list[i + 2] != 0) ? 1 : 0;
        differing += differs ? 1 : 0;
        if (differs) {
            int x = (int)((i / 4) % (size_t)kvr_getScreenWidth()),
                y = (int)((i / 4) / (size_t)kvr_getScreenWidth());
            box[0] = std::min(box[0], x);
            box[1] = std::min(box[1], y);
            box[2] = std::max(box[2], x);
            box[3] = std::max(box[3], y);
        }
    }
    std::printf("info immediate_difference_box %d,%d to %d,%d\n", box[0], box[1], box[2], box[3]);
    if (std::getenv("KVR_BENCH_DUMP") != nullptr) {
        FILE* f = std::fopen(std::getenv("KVR_BENCH_DUMP"), "wb");
        if (f != nullptr) {
            std::fprintf(f, "P6 %d %d 255\n", kvr_getScreenWidth(), kvr_getScreenHeight() * 2);
            for (const std::vector<unsigned char>* image : {&list, &immediate}) {
                for (int y = kvr_getScreenHeight() - 1; y >= 0; y--) {
                    for (int x = 0; x < kvr_getScreenWidth(); x++) {
                        std::fwrite(&(*image)[((size_t)y * (size_t)kvr_getScreenWidth() + (size_t)x) * 4], 1,
                                    3, f);
                    }
                }
            }
            std::fclose(f);
        }
    }
    std::printf("info scene_nonblack_pixels %ld\n", nonBlack);
    std::printf("info immediate_differing_pixels %ld\n", differing);
    std::printf("info immediate_largest_difference %d\n", largest);
}

// Times one frame of a kind, drawn and finished, as a sample under the given name.
void timeFrame(const char* name, void (*draw)()) {
    double start = nowMs();
    draw();
    finishFrame();
    std::printf("sample %s %.4f\n", name, nowMs() - start);
}

// The viewer's frame with back faces culled: how much of the frame is spent on hidden faces.
void drawCulledFrame() {
    glEnable(GL_CULL_FACE);
    onDraw();
    glDisable(GL_CULL_FACE);
}

// The viewer's frame through the display list.
void drawSceneFrame() {
    onDraw();
}

// A display list holding the teapot alone, as the scene places it, made on first use.
GLuint teapotList = 0;

// Clears and swaps around the teapot's list, with the camera of the viewer's frame.
void drawTeapotFrame() {
    if (teapotList == 0) {
        teapotList = glGenLists(1);
        glNewList(teapotList, GL_COMPILE);
        glPushMatrix();
        glTranslated(-1.0, 2.45, 1.0);
        glScaled(0.5, 0.5, 0.5);
        glutSolidTeapot(1.0);
        glPopMatrix();
        glEndList();
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadCamera();
    glCallList(teapotList);
    kvr_swapBuffers();
}

// Where the time of a frame goes: the scene with back faces culled, and the three kinds of frame
// with the viewport cut to a hundredth of the pixels, which leaves the cost of issuing the scene.
void benchDiagnosis(int frames) {
    for (int i = 0; i < frames; i++) {
        timeFrame("diag_culled_scene_ms", drawCulledFrame);
    }
    glViewport(0, 0, kvr_getScreenWidth() / 10, kvr_getScreenHeight() / 10);
    for (int i = 0; i < frames; i++) {
        timeFrame("diag_small_floor_ms", drawEmptyFrame);
        timeFrame("diag_small_scene_ms", drawSceneFrame);
        timeFrame("diag_small_immediate_ms", drawImmediateFrame);
        timeFrame("diag_small_teapot_ms", drawTeapotFrame);
    }
    glViewport(0, 0, kvr_getScreenWidth(), kvr_getScreenHeight());
}

// Times frames of the three kinds, interleaved by rounds so that load from elsewhere hits all alike.
int benchFrames(int perRound, int rounds) {
    if (!openWindow()) {
        std::fprintf(stderr, "kvr_bench_inproc: the window could not be opened\n");
        return 1;
    }
    kvr_toggleFullScreen();
    pumpMessages();
    std::printf("info frame_width %d\ninfo frame_height %d\n", kvr_getScreenWidth(), kvr_getScreenHeight());
    std::printf("info gl_renderer %s\n", (const char*)glGetString(GL_RENDERER));
    std::printf("info gl_version %s\n", (const char*)glGetString(GL_VERSION));
    reportPictures();
    // Warm-up: the first frames of each kind compile the rasteriser's shaders.
    for (int i = 0; i < 3; i++) {
        drawEmptyFrame();
        onDraw();
        drawImmediateFrame();
    }
    finishFrame();
    for (int r = 0; r < rounds; r++) {
        for (int kind = 0; kind < 3; kind++) {
            for (int i = 0; i < perRound; i++) {
                double start = nowMs();
                if (kind == 0) {
                    drawEmptyFrame();
                } else if (kind == 1) {
                    onDraw();
                } else {
                    drawImmediateFrame();
                }
                finishFrame();
                static const char* names[3] = {"frame_floor_ms", "frame_scene_ms", "frame_immediate_ms"};
                std::printf("sample %s %.4f\n", names[kind], nowMs() - start);
            }
        }
    }
    benchDiagnosis(perRound);
    kvr_destroyWindow();
    return 0;
}

// Times opening the window, the real initialisation inside it, the first full-screen scene frame,
// and a second, warm initialisation.
int benchInit() {
    double start = nowMs();
    if (!openWindow()) {
        std::fprintf(stderr, "kvr_bench_inproc: the window could not be opened\n");
        return 1;
    }
    finishFrame();
    double created = nowMs() - start;
    double cold = lastOnInitMs;
    std::printf("sample init_create_window_ms %.4f\n", created);
    std::printf("sample init_oninit_ms %.4f\n", cold);
    std::printf("sample init_window_only_ms %.4f\n", created - cold);
    start = nowMs();
    kvr_toggleFullScreen();
    finishFrame();
    std::printf("sample init_first_scene_frame_ms %.4f\n", nowMs() - start);
    // The second frame draws the same again with the rasteriser's shaders already compiled.
    timeFrame("init_second_scene_frame_ms", drawSceneFrame);
    onInit();
    std::printf("sample init_oninit_warm_ms %.4f\n", lastOnInitMs);
    std::printf("info oninit_calls %d\n", onInitCalls);
    kvr_destroyWindow();
    return 0;
}

}  // namespace

// Every call of onInit, from the entry, the window layer or a frame, passes here and is timed.
extern "C" int __wrap__Z6onInitv() {
    double start = nowMs();
    int result = __real__Z6onInitv();
    glFinish();
    lastOnInitMs = nowMs() - start;
    onInitCalls++;
    return result;
}

// Runs the benchmark named on the command line.
int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc >= 2 && std::strcmp(argv[1], "init") == 0) {
        return benchInit();
    }
    if (argc >= 4 && std::strcmp(argv[1], "frames") == 0) {
        return benchFrames(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    std::fprintf(stderr, "usage: kvr_bench_inproc frames <per round> <rounds> | init\n");
    return 2;
}
