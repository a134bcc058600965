// bench_driver.cpp - the benchmark run: frame cost, initialisation, start-up, idle cost,
// input burst and memory of the viewer, each against a baseline measured in the same run,
// printed as a table of medians with their spread. Needs an X display ($DISPLAY, 1920x1080
// for the figures to mean what they say). Prints figures only; asserts nothing.
//
//   kvr_bench [--quick] [--viewer <Kelvor>] [--minimal <kvr_bench_minimal>]
//             [--inproc <kvr_bench_inproc>] [--counter <libkvr_swap_counter.so>]
#include "swap_log.h"
#include "x_driver.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef KVR_BENCH_VIEWER
#define KVR_BENCH_VIEWER ""
#endif
#ifndef KVR_BENCH_MINIMAL
#define KVR_BENCH_MINIMAL ""
#endif
#ifndef KVR_BENCH_INPROC
#define KVR_BENCH_INPROC ""
#endif
#ifndef KVR_BENCH_COUNTER
#define KVR_BENCH_COUNTER ""
#endif
#ifndef KVR_BENCH_GLFW
#define KVR_BENCH_GLFW ""
#endif
#ifndef KVR_BENCH_SDL
#define KVR_BENCH_SDL ""
#endif

namespace {

using xdrv::msBetween;
using xdrv::nowNs;
using xdrv::readFile;
using xdrv::sleepMs;

// Paths of the programs under test, the scratch folder and the repetition counts.
std::string viewerPath = KVR_BENCH_VIEWER;
std::string minimalPath = KVR_BENCH_MINIMAL;
std::string inprocPath = KVR_BENCH_INPROC;
std::string counterPath = KVR_BENCH_COUNTER;
std::string glfwPath = KVR_BENCH_GLFW;
std::string sdlPath = KVR_BENCH_SDL;
std::string scratch;
int framesPerRound = 20;
int frameRounds = 5;
int initRuns = 7;
int startRuns = 7;
int idleSeconds = 10;
int latencyRuns = 10;
int burstRuns = 10;
const int burstMotions = 1000;

// The driver's own display connection, the screen size and the black backdrop window.
Display* display = nullptr;
Window root = 0;
Window backdrop = 0;
int screenWidth = 0;
int screenHeight = 0;

// Samples by name, and facts reported by the helpers.
std::map<std::string, std::vector<double>> samples;
std::map<std::string, std::string> infos;

// Median and spread of a series of samples.
struct Summary {
    int n;
    double median;
    double low;   // minimum
    double high;  // maximum
};

// Median of a sorted series.
double sortedMedian(const std::vector<double>& v) {
    size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Median, minimum and maximum of the samples under a name (all zero when there are none).
Summary summarise(const std::string& name) {
    Summary s = {0, 0.0, 0.0, 0.0};
    auto it = samples.find(name);
    if (it == samples.end() || it->second.empty()) {
        return s;
    }
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    s.n = (int)v.size();
    s.median = sortedMedian(v);
    s.low = v.front();
    s.high = v.back();
    return s;
}

// Adds one sample.
void addSample(const std::string& name, double value) {
    samples[name].push_back(value);
}

// The number after a "Key:" line of a /proc status file, or -1.
long long statusField(const std::string& text, const char* key) {
    size_t at = text.find(key);
    if (at == std::string::npos) {
        return -1;
    }
    return std::atoll(text.c_str() + at + std::strlen(key));
}

// Runs a helper program and collects its "sample" and "info" lines; false when it fails.
bool runHelper(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        line[std::strcspn(line, "\n")] = '\0';
        char name[256];
        double value = 0.0;
        if (std::sscanf(line, "sample %255s %lf", name, &value) == 2) {
            addSample(name, value);
        } else if (std::strncmp(line, "info ", 5) == 0) {
            const char* rest = line + 5;
            const char* space = std::strchr(rest, ' ');
            if (space != nullptr) {
                infos[std::string(rest, space)] = space + 1;
            }
        }
    }
    return pclose(pipe) == 0;
}

// Starts a program with its output in a log file, optionally preloading the swap counter
// with its log at logPath; the process id, or -1.
pid_t spawn(const std::vector<std::string>& args, const std::string& name, const std::string& logPath) {
    std::string out = scratch + "/" + name + ".log";
    if (logPath.empty()) {
        return xdrv::spawn(args, out, out, true);
    }
    return xdrv::spawn(args, out, out, true, {{"LD_PRELOAD", counterPath}, {KVR_SWAP_LOG_ENV, logPath}});
}

// Creates a zeroed swap log file and maps it; null on failure.
SwapLog* createSwapLog(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    if (ftruncate(fd, (off_t)sizeof(SwapLog)) != 0) {
        close(fd);
        return nullptr;
    }
    void* p = mmap(nullptr, sizeof(SwapLog), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<SwapLog*>(p);
}

// Number of swaps the logged process has completed.
uint64_t swapCount(const SwapLog* log) {
    return __atomic_load_n(&log->count, __ATOMIC_ACQUIRE);
}

// Waits until the logged process has drawn no frame for quietMs (bounded by limitMs);
// the swap count then.
uint64_t waitForQuiet(const SwapLog* log, double quietMs, double limitMs) {
    uint64_t start = nowNs();
    uint64_t count = swapCount(log);
    uint64_t since = nowNs();
    while (msBetween(start, nowNs()) < limitMs) {
        sleepMs(1);
        uint64_t c = swapCount(log);
        if (c != count) {
            count = c;
            since = nowNs();
        } else if (msBetween(since, nowNs()) >= quietMs) {
            break;
        }
    }
    return count;
}

// Opens the driver's display connection and puts a black window behind everything, so that
// whatever the root looks like, a program's first visible frame shows as non-black pixels.
bool openDisplay() {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    int screen = DefaultScreen(display);
    root = RootWindow(display, screen);
    screenWidth = DisplayWidth(display, screen);
    screenHeight = DisplayHeight(display, screen);
    XSetWindowAttributes swa;
    std::memset(&swa, 0, sizeof swa);
    swa.background_pixel = BlackPixel(display, screen);
    swa.override_redirect = True;
    backdrop =
        XCreateWindow(display, root, 0, 0, (unsigned)screenWidth, (unsigned)screenHeight, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect, &swa);
    XMapWindow(display, backdrop);
    XLowerWindow(display, backdrop);
    XSync(display, False);
    return true;
}

// True when any pixel of five thin bands across the screen is not black.
bool screenShowsSomething() {
    for (int band = 1; band <= 5; band++) {
        int y = screenHeight * band / 6;
        XImage* image = XGetImage(display, root, 0, y, (unsigned)screenWidth, 2, AllPlanes, ZPixmap);
        if (image == nullptr) {
            continue;
        }
        bool found = false;
        for (int row = 0; row < 2 && !found; row++) {
            for (int x = 0; x < screenWidth; x++) {
                if ((XGetPixel(image, x, row) & 0xFFFFFFul) != 0) {
                    found = true;
                    break;
                }
            }
        }
        XDestroyImage(image);
        if (found) {
            return true;
        }
    }
    return false;
}

// A checksum of the whole screen's pixels.
unsigned long long screenChecksum() {
    XImage* image =
        XGetImage(display, root, 0, 0, (unsigned)screenWidth, (unsigned)screenHeight, AllPlanes, ZPixmap);
    unsigned long long sum = 1469598103934665603ull;
    if (image == nullptr) {
        return 0;
    }
    for (int y = 0; y < screenHeight; y++) {
        for (int x = 0; x < screenWidth; x++) {
            sum = (sum ^ (XGetPixel(image, x, y) & 0xFFFFFFul)) * 1099511628211ull;
        }
    }
    XDestroyImage(image);
    return sum;
}

// Waits until the screen shows nothing but black (a previous program's window has gone).
bool waitForBlack(double limitMs) {
    uint64_t start = nowNs();
    while (screenShowsSomething()) {
        if (msBetween(start, nowNs()) > limitMs) {
            return false;
        }
        sleepMs(5);
    }
    return true;
}

// Starts a program and returns the milliseconds until its first non-black pixels are on
// screen, or -1 when none appear within the limit. The program is stopped afterwards.
double timeToFirstPicture(const std::vector<std::string>& args, const std::string& name) {
    if (!waitForBlack(3000)) {
        std::fprintf(stderr, "kvr_bench: the screen does not go black; start-up not measured\n");
        return -1.0;
    }
    uint64_t start = nowNs();
    pid_t pid = spawn(args, name, "");
    double result = -1.0;
    while (msBetween(start, nowNs()) < 10000.0 && !xdrv::exited(pid)) {
        if (screenShowsSomething()) {
            result = msBetween(start, nowNs());
            break;
        }
        sleepMs(1);
    }
    xdrv::stop(pid);
    return result;
}

// CPU time (ns, all threads, from schedstat), voluntary and involuntary context switches of
// all threads and of the main thread, and utime + stime in clock ticks, of a process.
struct CpuUse {
    double cpuNs;
    double voluntary;
    double involuntary;
    double mainVoluntary;
    double ticks;
    int threads;
};

// Reads a process's CPU use from /proc.
CpuUse readCpuUse(pid_t pid) {
    CpuUse use = {0, 0, 0, 0, 0, 0};
    std::string base = "/proc/" + std::to_string(pid);
    DIR* dir = opendir((base + "/task").c_str());
    if (dir != nullptr) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') {
                continue;
            }
            std::string task = base + "/task/" + entry->d_name;
            use.cpuNs += std::atof(readFile(task + "/schedstat").c_str());
            std::string status = readFile(task + "/status");
            use.voluntary += (double)statusField(status, "voluntary_ctxt_switches:");
            use.involuntary += (double)statusField(status, "nonvoluntary_ctxt_switches:");
            use.threads++;
        }
        closedir(dir);
    }
    use.mainVoluntary = (double)statusField(readFile(base + "/status"), "\nvoluntary_ctxt_switches:");
    std::string stat = readFile(base + "/stat");
    size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        // Fields after the command name start with field 3 (state); utime and stime are 14 and 15.
        const char* p = stat.c_str() + close + 2;
        for (int field = 3; field < 14 && p != nullptr; field++) {
            p = std::strchr(p, ' ');
            p = p != nullptr ? p + 1 : nullptr;
        }
        if (p != nullptr) {
            char* end = nullptr;
            double utime = std::strtod(p, &end);
            double stime = std::strtod(end, nullptr);
            use.ticks = utime + stime;
        }
    }
    return use;
}

// Peak resident size of a process in MiB, or -1.
double peakResidentMiB(pid_t pid) {
    long long kb = statusField(readFile("/proc/" + std::to_string(pid) + "/status"), "VmHWM:");
    return kb < 0 ? -1.0 : (double)kb / 1024.0;
}

// 1. and 2.: frame cost and initialisation, measured inside helper processes.
void benchFramesAndInit() {
    std::printf("[frames] %d x %d frames of each kind\n", frameRounds, framesPerRound);
    std::fflush(stdout);
    if (!runHelper(inprocPath + " frames " + std::to_string(framesPerRound) + " " +
                   std::to_string(frameRounds))) {
        std::fprintf(stderr, "kvr_bench: the frame benchmark failed\n");
    }
    std::printf("[init] %d fresh processes\n", initRuns);
    std::fflush(stdout);
    for (int i = 0; i < initRuns; i++) {
        if (!runHelper(inprocPath + " init")) {
            std::fprintf(stderr, "kvr_bench: an initialisation run failed\n");
        }
    }
}

// 3.: start-up to the first picture, the viewer and the minimal program taking turns.
void benchStartUp() {
    std::printf("[start-up] %d runs each\n", startRuns);
    std::fflush(stdout);
    for (int i = 0; i < startRuns; i++) {
        double viewer = timeToFirstPicture({viewerPath}, "startup-viewer");
        double minimal = timeToFirstPicture({minimalPath, "--hold", "200"}, "startup-minimal");
        if (viewer >= 0) {
            addSample("startup_viewer_ms", viewer);
        }
        if (minimal >= 0) {
            addSample("startup_minimal_ms", minimal);
        }
    }
}

// 4. and 6.: idle CPU, wake-ups and peak memory of the viewer and the minimal program side by side.
void benchIdle(pid_t viewer, const SwapLog* log, pid_t minimal) {
    std::printf("[idle] %d s without input\n", idleSeconds);
    std::fflush(stdout);
    uint64_t framesBefore = swapCount(log);
    CpuUse v0 = readCpuUse(viewer), m0 = readCpuUse(minimal);
    CpuUse vFirst = v0, mFirst = m0;
    uint64_t t0 = nowNs(), tFirst = t0;
    for (int s = 0; s < idleSeconds; s++) {
        sleepMs(std::max(0.0, 1000.0 - msBetween(t0, nowNs())));
        uint64_t t1 = nowNs();
        CpuUse v1 = readCpuUse(viewer), m1 = readCpuUse(minimal);
        double seconds = msBetween(t0, t1) / 1000.0;
        addSample("idle_viewer_cpu_pct", (v1.cpuNs - v0.cpuNs) / 1.0e7 / seconds);
        addSample("idle_minimal_cpu_pct", (m1.cpuNs - m0.cpuNs) / 1.0e7 / seconds);
        addSample("idle_viewer_wakeups", (v1.voluntary - v0.voluntary) / seconds);
        addSample("idle_minimal_wakeups", (m1.voluntary - m0.voluntary) / seconds);
        addSample("idle_viewer_main_wakeups", (v1.mainVoluntary - v0.mainVoluntary) / seconds);
        v0 = v1;
        m0 = m1;
        t0 = t1;
    }
    double total = msBetween(tFirst, t0) / 1000.0;
    double tick = (double)sysconf(_SC_CLK_TCK);
    infos["idle_viewer_ticks_pct"] = std::to_string((v0.ticks - vFirst.ticks) / tick / total * 100.0);
    infos["idle_minimal_ticks_pct"] = std::to_string((m0.ticks - mFirst.ticks) / tick / total * 100.0);
    infos["idle_viewer_threads"] = std::to_string(v0.threads);
    infos["idle_minimal_threads"] = std::to_string(m0.threads);
    infos["idle_viewer_involuntary_per_s"] = std::to_string((v0.involuntary - vFirst.involuntary) / total);
    infos["idle_frames_drawn"] = std::to_string(swapCount(log) - framesBefore);
    addSample("memory_viewer_mib", peakResidentMiB(viewer));
    addSample("memory_minimal_mib", peakResidentMiB(minimal));
}

// Moves the pointer through XTest without waiting.
void movePointer(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
}

// Adds the drawing time of the viewer's frames from..to-1 (first clear to the swap's return).
void addViewerFrames(const SwapLog* log, uint64_t from, uint64_t to) {
    for (uint64_t n = from; n < to; n++) {
        addSample("viewer_frame_ms",
                  msBetween(log->startNs[n % KVR_SWAP_LOG_RING], log->endNs[n % KVR_SWAP_LOG_RING]));
    }
}

// 5.: single pointer moves and bursts of 1,000 moves sent to the running viewer.
void benchInput(const SwapLog* log) {
    std::printf("[input] %d single moves, %d bursts of %d moves\n", latencyRuns, burstRuns, burstMotions);
    std::fflush(stdout);
    int cx = screenWidth / 2, cy = screenHeight / 2;
    movePointer(cx, cy);
    XFlush(display);
    waitForQuiet(log, 200, 3000);
    // One move at a time: the latency of a single frame, the loop's sleep included.
    for (int i = 0; i < latencyRuns; i++) {
        uint64_t before = swapCount(log);
        int x = cx + (i % 2 == 0 ? 200 : -200) + i;
        uint64_t sent = nowNs();
        movePointer(x, cy + 50);
        XFlush(display);
        while (swapCount(log) == before && msBetween(sent, nowNs()) < 2000.0) {
            sleepMs(0.2);
        }
        if (swapCount(log) > before) {
            addSample("input_single_ms", msBetween(sent, log->endNs[before % KVR_SWAP_LOG_RING]));
            addSample("input_single_wait_ms", msBetween(sent, log->startNs[before % KVR_SWAP_LOG_RING]));
        }
        addViewerFrames(log, before, waitForQuiet(log, 120, 2000));
        sleepMs((double)(i * 7 % 50));  // sends land at different points of the loop's sleep
    }
    // Bursts: a sweep across the middle of the screen, clear of the edges where the pointer wraps.
    int left = screenWidth / 6, width = screenWidth * 2 / 3;
    int top = screenHeight / 4, height = screenHeight / 2;
    int finalX = 0, finalY = 0;
    for (int b = 0; b < burstRuns; b++) {
        waitForQuiet(log, 200, 3000);
        // The viewer's 50 ms sleeps keep in step with its last frame, and so would the bursts:
        // spread them over the sleep, as a user's moves would be.
        sleepMs(5.0 + 40.0 * b / std::max(1, burstRuns - 1));
        uint64_t before = swapCount(log);
        uint64_t sent = nowNs();
        for (int i = 0; i < burstMotions; i++) {
            finalX = left + (i * 7 + b * 13) % width;
            finalY = top + (i * 3 + b * 5) % height;
            movePointer(finalX, finalY);
        }
        XFlush(display);
        uint64_t flushed = nowNs();
        // The round trip returns once the server has handled every move.
        XSync(display, False);
        addSample("burst_server_done_ms", msBetween(sent, nowNs()));
        uint64_t after = waitForQuiet(log, 300, 10000);
        uint64_t frames = after - before;
        addSample("burst_send_ms", msBetween(sent, flushed));
        addSample("burst_frames", (double)frames);
        if (frames > 0) {
            addSample("burst_catch_up_ms", msBetween(sent, log->endNs[(after - 1) % KVR_SWAP_LOG_RING]));
            addSample("burst_first_frame_ms", msBetween(sent, log->endNs[before % KVR_SWAP_LOG_RING]));
        }
        std::string times;
        for (uint64_t n = before; n < after && n < before + 20; n++) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%.0f-%.0f", times.empty() ? "" : ", ",
                          msBetween(sent, log->startNs[n % KVR_SWAP_LOG_RING]),
                          msBetween(sent, log->endNs[n % KVR_SWAP_LOG_RING]));
            times += text;
        }
        addViewerFrames(log, before, after);
        infos["burst_frame_times"] += (b == 0 ? "" : "; ") + times;
    }
    // The last burst's final view, against the same position reached again by one move.
    unsigned long long afterBurst = screenChecksum();
    movePointer(cx, cy);
    XFlush(display);
    waitForQuiet(log, 200, 3000);
    movePointer(finalX, finalY);
    XFlush(display);
    waitForQuiet(log, 200, 3000);
    infos["burst_final_view_matches"] = screenChecksum() == afterBurst ? "yes" : "no";
}

// 4. to 6.: the viewer running with the swap counter, beside the minimal program idling.
void benchRunningViewer() {
    std::string logPath = scratch + "/swaps";
    SwapLog* log = createSwapLog(logPath);
    if (log == nullptr) {
        std::fprintf(stderr, "kvr_bench: cannot create %s\n", logPath.c_str());
        return;
    }
    waitForBlack(3000);
    pid_t minimal = spawn({minimalPath, "--idle"}, "idle-minimal", "");
    uint64_t start = nowNs();
    while (!screenShowsSomething() && msBetween(start, nowNs()) < 10000.0) {
        sleepMs(5);
    }
    uint64_t spawned = nowNs();
    pid_t viewer = spawn({viewerPath}, "viewer", logPath);
    start = nowNs();
    while (swapCount(log) == 0 && msBetween(start, nowNs()) < 10000.0) {
        sleepMs(5);
    }
    waitForQuiet(log, 1000, 10000);
    if (xdrv::exited(viewer) || xdrv::exited(minimal) || swapCount(log) == 0) {
        std::fprintf(stderr, "kvr_bench: the viewer or the minimal program did not start (see %s)\n",
                     scratch.c_str());
    } else {
        infos["startup_frames_drawn"] = std::to_string(swapCount(log));
        std::string times;
        for (uint64_t n = 0; n < swapCount(log) && n < 10; n++) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%.0f", n == 0 ? "" : ", ", msBetween(spawned, log->endNs[n]));
            times += text;
        }
        infos["startup_swap_times"] = times;
        benchIdle(viewer, log, minimal);
        xdrv::stop(minimal);
        minimal = -1;
        benchInput(log);
        addSample("memory_viewer_after_input_mib", peakResidentMiB(viewer));
    }
    xdrv::stop(minimal);
    xdrv::stop(viewer);
    munmap(log, sizeof(SwapLog));
}

// Peers: the same scene drawn by the viewer's own code on GLFW and on SDL2, run beside the viewer.
struct PeerProgram {
    std::string label;              // as shown in the table
    std::string key;                // in sample names
    std::vector<std::string> args;  // command line
};
std::vector<PeerProgram> peerPrograms;
int peerStartRuns = 9;
double peerQuietMs = 800.0;  // no frame for this long: a program has finished starting
bool peerOwnVisual = true;   // also look at SDL's own choice of visual
int peerRounds = 3;
int peerSingles = 5;
int peerBurstMotions = 1000;
int peerBurstRuns = 1;
double peerBurstLimitMs = 90000.0;

// The viewer's first frame (the reference) and facts about its window.
std::vector<uint32_t> referencePicture;
unsigned long viewerVisualId = 0;

// The whole screen's pixels (RGB), empty when it cannot be read.
std::vector<uint32_t> screenPixels() {
    std::vector<uint32_t> pixels;
    XImage* image =
        XGetImage(display, root, 0, 0, (unsigned)screenWidth, (unsigned)screenHeight, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return pixels;
    }
    pixels.resize((size_t)screenWidth * (size_t)screenHeight);
    for (int y = 0; y < screenHeight; y++) {
        for (int x = 0; x < screenWidth; x++) {
            pixels[(size_t)y * (size_t)screenWidth + (size_t)x] =
                (uint32_t)(XGetPixel(image, x, y) & 0xFFFFFFul);
        }
    }
    XDestroyImage(image);
    return pixels;
}

// "equal" or the number of differing pixels, the largest difference of a channel and their box.
std::string comparePictures(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.empty() || a.size() != b.size()) {
        return "not compared (no picture)";
    }
    long differing = 0;
    int largest = 0;
    int box[4] = {screenWidth, screenHeight, -1, -1};
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i] == b[i]) {
            continue;
        }
        differing++;
        for (int shift = 0; shift < 24; shift += 8) {
            largest =
                std::max(largest, std::abs((int)((a[i] >> shift) & 0xFF) - (int)((b[i] >> shift) & 0xFF)));
        }
        int x = (int)(i % (size_t)screenWidth), y = (int)(i / (size_t)screenWidth);
        box[0] = std::min(box[0], x);
        box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x);
        box[3] = std::max(box[3], y);
    }
    if (differing == 0) {
        return "equal pixel for pixel";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%ld pixels differ, by up to %d levels, within %d,%d to %d,%d",
                  differing, largest, box[0], box[1], box[2], box[3]);
    return text;
}

// Clears a swap log for a new process.
void resetSwapLog(SwapLog* log) {
    std::memset(log, 0, sizeof(SwapLog));
}

// Waits for the first swap of a starting program and then for it to be quiet; false when it
// drew nothing or ended.
bool waitForStarted(SwapLog* log, pid_t& pid) {
    uint64_t start = nowNs();
    while (swapCount(log) == 0 && msBetween(start, nowNs()) < 10000.0 && !xdrv::exited(pid)) {
        sleepMs(2);
    }
    if (swapCount(log) == 0 || pid <= 0) {
        return false;
    }
    waitForQuiet(log, peerQuietMs, 8000);
    return !xdrv::exited(pid);
}

// Ends a program with SIGTERM and describes how it ended and how soon.
std::string stopAndDescribe(pid_t& pid) {
    if (pid <= 0) {
        return "had already ended";
    }
    uint64_t start = nowNs();
    kill(pid, SIGTERM);
    int status = xdrv::waitExit(pid, 3000.0);
    double ms = msBetween(start, nowNs());
    char text[96];
    if (status == -1) {
        std::snprintf(text, sizeof text, "still running after 3 s (killed)");
    } else if (WIFSIGNALED(status)) {
        std::snprintf(text, sizeof text, "ended by the signal (%d) after %.0f ms", WTERMSIG(status), ms);
    } else {
        std::snprintf(text, sizeof text, "exited with status %d after %.0f ms", WEXITSTATUS(status), ms);
    }
    return text;
}

// The pointer's position on the root.
void pointerPosition(int* x, int* y) {
    Window rootReturn = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned mask = 0;
    *x = -1;
    *y = -1;
    XQueryPointer(display, root, &rootReturn, &child, x, y, &wx, &wy, &mask);
}

// Moves the pointer to the right edge and reports where it ended: "yes" when it went round to the
// left side, as the viewer's wrap does.
std::string checkWrap(const SwapLog* log) {
    int cx = screenWidth / 2, cy = screenHeight / 2;
    movePointer(cx - 100, cy);
    XFlush(display);
    waitForQuiet(log, 200, 3000);
    uint64_t before = swapCount(log);
    movePointer(screenWidth - 1, cy);
    XFlush(display);
    waitForQuiet(log, 600, 3000);
    int x = 0, y = 0;
    pointerPosition(&x, &y);
    char text[96];
    std::snprintf(text, sizeof text, "%s (pointer at x=%d, %d frame%s)", x == 1 ? "yes" : "no", x,
                  (int)(swapCount(log) - before), swapCount(log) - before == 1 ? "" : "s");
    return text;
}

void peerInputSession(const PeerProgram& p, SwapLog* log, int round);

// One program's first session: its first frame against the viewer's, its window and focus, the
// first round of input (unless only the picture is wanted), the wrap at the edge with and without
// the focus, and how it takes SIGTERM.
void peerFirstSession(const PeerProgram& p, SwapLog* log, const std::string& logPath, bool pictureOnly) {
    movePointer(screenWidth / 2, screenHeight / 2);
    XSync(display, False);
    waitForBlack(3000);
    resetSwapLog(log);
    pid_t pid = spawn(p.args, "peer-" + p.key, logPath);
    if (!waitForStarted(log, pid)) {
        infos["peer_problem_" + p.key] = "did not start (see " + scratch + "/peer-" + p.key + ".log)";
        xdrv::stop(pid);
        return;
    }
    std::vector<uint32_t> picture = screenPixels();
    if (p.key == "kelvor") {
        referencePicture = picture;
    }
    infos["peer_picture_" + p.key] = comparePictures(referencePicture, picture);
    infos["peer_startup_frames_" + p.key] = std::to_string(swapCount(log));
    Window w = xdrv::findWindow(display, "OpenGL Test");
    XWindowAttributes a;
    if (w != 0 && XGetWindowAttributes(display, w, &a) != 0) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, w, root, 0, 0, &x, &y, &child);
        unsigned long id = XVisualIDFromVisual(a.visual);
        if (p.key == "kelvor") {
            viewerVisualId = id;
        }
        int cls = a.visual->c_class;
        // The depth buffer that GLX gives the window's visual.
        XVisualInfo wanted;
        std::memset(&wanted, 0, sizeof wanted);
        wanted.visualid = id;
        int count = 0;
        int depthBits = -1;
        XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
        if (info != nullptr) {
            glXGetConfig(display, info, GLX_DEPTH_SIZE, &depthBits);
            XFree(info);
        }
        char text[200];
        std::snprintf(
            text, sizeof text,
            "%dx%d+%d+%d, override-redirect %s, visual 0x%lx %s of depth %d with a %d-bit depth buffer",
            a.width, a.height, x, y, a.override_redirect ? "yes" : "no", id,
            cls == TrueColor     ? "TrueColor"
            : cls == DirectColor ? "DirectColor"
                                 : "other",
            a.depth, depthBits);
        infos["peer_window_" + p.key] = text;
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        infos["peer_focus_" + p.key] = focus == w ? "yes" : "no";
    } else {
        infos["peer_window_" + p.key] = "not found by its title";
    }
    if (pictureOnly) {
        xdrv::stop(pid);
        return;
    }
    peerInputSession(p, log, 0);
    infos["peer_wrap_" + p.key] = checkWrap(log);
    // The same with the focus taken away, as when another window has it.
    XSetInputFocus(display, backdrop, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    infos["peer_wrap_unfocused_" + p.key] = checkWrap(log);
    infos["peer_sigterm_" + p.key] = stopAndDescribe(pid);
}

// Start-up of every program in turn, each run in a different order: the first picture on screen
// and the first clear of the frame that draws the scene, both from fork.
void peerStartUp(SwapLog* log, const std::string& logPath) {
    std::printf("[peers: start-up] %d runs of each of %d programs\n", peerStartRuns,
                (int)peerPrograms.size());
    std::fflush(stdout);
    for (int run = 0; run < peerStartRuns; run++) {
        for (size_t k = 0; k < peerPrograms.size(); k++) {
            const PeerProgram& p = peerPrograms[(k + (size_t)run) % peerPrograms.size()];
            if (!waitForBlack(3000)) {
                continue;
            }
            resetSwapLog(log);
            std::string output = scratch + "/startup-" + p.key + ".log";
            unlink(output.c_str());
            uint64_t start = nowNs();
            pid_t pid = xdrv::spawn(
                p.args, output, output, false,
                {{"LD_PRELOAD", counterPath}, {KVR_SWAP_LOG_ENV, logPath}, {"KVR_PEER_TIMES", "1"}});
            double picture = -1.0;
            while (msBetween(start, nowNs()) < 10000.0 && !xdrv::exited(pid)) {
                if (screenShowsSomething()) {
                    picture = msBetween(start, nowNs());
                    // CPU time is what a loaded machine does not stretch.
                    addSample("peer_startup_cpu_ms/" + p.key, readCpuUse(pid).cpuNs / 1.0e6);
                    break;
                }
                sleepMs(1);
            }
            uint64_t limit = nowNs();
            while (__atomic_load_n(&log->firstSceneClearNs, __ATOMIC_ACQUIRE) == 0 &&
                   msBetween(limit, nowNs()) < 3000.0 && !xdrv::exited(pid)) {
                sleepMs(1);
            }
            uint64_t sceneClear = __atomic_load_n(&log->firstSceneClearNs, __ATOMIC_ACQUIRE);
            if (picture >= 0) {
                addSample("peer_startup_ms/" + p.key, picture);
            }
            if (sceneClear != 0) {
                addSample("peer_scene_clear_ms/" + p.key, msBetween(start, sceneClear));
            }
            if (swapCount(log) > 0) {
                addSample("peer_step_first-swap/" + p.key, msBetween(start, log->endNs[0]));
            }
            xdrv::stop(pid);
            // The peers' own account of their start-up steps.
            std::string text = readFile(output);
            for (size_t at = text.find("peer time "); at != std::string::npos;
                 at = text.find("peer time ", at + 1)) {
                char step[64];
                double ms = 0.0;
                if (std::sscanf(text.c_str() + at, "peer time %63s %lf", step, &ms) == 2) {
                    addSample(std::string("peer_step_") + step + "/" + p.key, ms - (double)start / 1.0e6);
                }
            }
        }
    }
}

std::string cell(const std::string& name, int decimals);
std::string ratioText(double value, double base);

// True when more than a quarter of the screen's bottom rows is not black: the full-screen first
// frame (the floor reaches the bottom edge), which a 640x480 window or its frame never reach.
bool fullScreenFrameShown() {
    XImage* image =
        XGetImage(display, root, 0, screenHeight - 3, (unsigned)screenWidth, 2, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    int lit = 0;
    for (int x = 0; x < screenWidth; x++) {
        lit += (XGetPixel(image, x, 1) & 0xFFFFFFul) != 0;
    }
    XDestroyImage(image);
    return lit > screenWidth / 4;
}

// True while an EWMH window manager runs on the display: its check window names itself.
bool windowManagerRuns() {
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    auto named = [&](Window w) {
        Atom type;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        Window result = 0;
        if (XGetWindowProperty(display, w, check, 0, 1, False, XA_WINDOW, &type, &format, &n, &after,
                               &data) == Success &&
            data != nullptr && n == 1 && format == 32) {
            result = (Window)((long*)data)[0];
        }
        if (data != nullptr) {
            XFree(data);
        }
        return result;
    };
    Window w = named(root);
    return w != 0 && named(w) == w;
}

// Start-up to the full-screen first frame of every program, on the bare server and under a
// window manager, taking turns round by round so that both see the same machine.
void benchDesktopStartUp(const std::string& manager, int runs) {
    std::printf("[start-up on a desktop] %d rounds of each of %d programs, bare and under %s\n", runs,
                (int)peerPrograms.size(), manager.c_str());
    std::fflush(stdout);
    for (int run = 0; run < runs; run++) {
        for (int managed = 0; managed < 2; managed++) {
            pid_t wm = -1;
            if (managed) {
                wm = xdrv::spawn({manager}, "/dev/null", "/dev/null", true);
                uint64_t since = nowNs();
                while (!windowManagerRuns() && msBetween(since, nowNs()) < 10000.0) {
                    sleepMs(10);
                }
                sleepMs(300);
            }
            for (size_t k = 0; k < peerPrograms.size(); k++) {
                const PeerProgram& p = peerPrograms[(k + (size_t)run) % peerPrograms.size()];
                if (!waitForBlack(3000)) {
                    continue;
                }
                uint64_t start = nowNs();
                pid_t pid = xdrv::spawn(p.args, "/dev/null", "/dev/null", true);
                while (msBetween(start, nowNs()) < 10000.0 && !xdrv::exited(pid)) {
                    if (fullScreenFrameShown()) {
                        addSample(std::string(managed ? "desk_wm_ms/" : "desk_bare_ms/") + p.key,
                                  msBetween(start, nowNs()));
                        addSample(std::string(managed ? "desk_wm_cpu_ms/" : "desk_bare_cpu_ms/") + p.key,
                                  readCpuUse(pid).cpuNs / 1.0e6);
                        break;
                    }
                    sleepMs(1);
                }
                xdrv::stop(pid);
            }
            if (managed) {
                xdrv::stop(wm, 3000.0);
                sleepMs(300);
            }
        }
    }
    std::printf(
        "\n| Start-up to the full-screen first frame | bare server, ms | under %s, ms | %s / bare | CPU "
        "bare, ms | CPU under %s, ms |\n|---|---|---|---|---|---|\n",
        manager.c_str(), manager.c_str(), manager.c_str());
    for (const PeerProgram& p : peerPrograms) {
        Summary bare = summarise("desk_bare_ms/" + p.key), wm = summarise("desk_wm_ms/" + p.key);
        std::printf("| %s | %s | %s | %s | %s | %s |\n", p.label.c_str(),
                    cell("desk_bare_ms/" + p.key, 0).c_str(), cell("desk_wm_ms/" + p.key, 0).c_str(),
                    bare.n > 0 && wm.n > 0 ? ratioText(wm.median, bare.median).c_str() : "-",
                    cell("desk_bare_cpu_ms/" + p.key, 0).c_str(), cell("desk_wm_cpu_ms/" + p.key, 0).c_str());
    }
    std::fflush(stdout);
}

// Idle: all programs running at once, untouched; CPU time and wake-ups of each, every second,
// and their peak resident size at the end.
void peerIdle(const std::string& logPath) {
    std::printf("[peers: idle] %d s, all %d programs at once\n", idleSeconds, (int)peerPrograms.size());
    std::fflush(stdout);
    std::vector<pid_t> pids;
    std::vector<SwapLog*> logs;
    for (size_t k = 0; k < peerPrograms.size(); k++) {
        std::string path = logPath + "-idle-" + std::to_string(k);
        SwapLog* log = createSwapLog(path);
        logs.push_back(log);
        pids.push_back(log != nullptr ? spawn(peerPrograms[k].args, "idle-" + peerPrograms[k].key, path)
                                      : -1);
    }
    for (size_t k = 0; k < peerPrograms.size(); k++) {
        if (logs[k] != nullptr && !waitForStarted(logs[k], pids[k])) {
            infos["peer_problem_" + peerPrograms[k].key] = "did not start for the idle test";
        }
    }
    std::vector<CpuUse> before;
    std::vector<uint64_t> framesBefore;
    for (size_t k = 0; k < pids.size(); k++) {
        before.push_back(readCpuUse(pids[k]));
        framesBefore.push_back(logs[k] != nullptr ? swapCount(logs[k]) : 0);
    }
    uint64_t t0 = nowNs();
    for (int s = 0; s < idleSeconds; s++) {
        sleepMs(std::max(0.0, 1000.0 - msBetween(t0, nowNs())));
        uint64_t t1 = nowNs();
        double seconds = msBetween(t0, t1) / 1000.0;
        for (size_t k = 0; k < pids.size(); k++) {
            if (pids[k] <= 0) {
                continue;
            }
            CpuUse now = readCpuUse(pids[k]);
            addSample("peer_idle_cpu_pct/" + peerPrograms[k].key,
                      (now.cpuNs - before[k].cpuNs) / 1.0e7 / seconds);
            addSample("peer_idle_wakeups/" + peerPrograms[k].key,
                      (now.voluntary - before[k].voluntary) / seconds);
            before[k] = now;
        }
        t0 = t1;
    }
    for (size_t k = 0; k < pids.size(); k++) {
        const std::string& key = peerPrograms[k].key;
        if (pids[k] > 0) {
            addSample("peer_memory_mib/" + key, peakResidentMiB(pids[k]));
            infos["peer_threads_" + key] = std::to_string(before[k].threads);
            infos["peer_idle_frames_" + key] =
                std::to_string(logs[k] != nullptr ? swapCount(logs[k]) - framesBefore[k] : 0);
        }
        xdrv::stop(pids[k]);
        if (logs[k] != nullptr) {
            munmap(logs[k], sizeof(SwapLog));
        }
    }
}

// Single pointer moves sent to a running program, and in round 0 a burst: the time from a move
// to its frame, each frame's drawing time, and the frames a burst makes and when the last ends.
void peerInputSession(const PeerProgram& p, SwapLog* log, int round) {
    int cx = screenWidth / 2, cy = screenHeight / 2;
    for (int i = 0; i < peerSingles; i++) {
        uint64_t before = swapCount(log);
        uint64_t sent = nowNs();
        movePointer(cx + (i % 2 == 0 ? 150 : -150) + i + round, cy + 40);
        XFlush(display);
        while (swapCount(log) == before && msBetween(sent, nowNs()) < 2000.0) {
            sleepMs(0.2);
        }
        uint64_t after = waitForQuiet(log, 150, 3000);
        if (after > before) {
            addSample("peer_move_ms/" + p.key, msBetween(sent, log->endNs[before % KVR_SWAP_LOG_RING]));
        }
        for (uint64_t n = before; n < after; n++) {
            addSample("peer_frame_ms/" + p.key,
                      msBetween(log->startNs[n % KVR_SWAP_LOG_RING], log->endNs[n % KVR_SWAP_LOG_RING]));
        }
        sleepMs((double)((i * 11 + round * 17) % 50));  // at different points of a 50 ms sleep
    }
    // A burst makes the peers draw a frame for every move: one round of them is enough.
    int left = screenWidth / 6, width = screenWidth * 2 / 3;
    int top = screenHeight / 4, height = screenHeight / 2;
    for (int b = 0; round == 0 && b < peerBurstRuns; b++) {
        uint64_t before = swapCount(log);
        uint64_t sent = nowNs();
        for (int i = 0; i < peerBurstMotions; i++) {
            movePointer(left + (i * 7 + b * 29) % width, top + (i * 3 + b * 5) % height);
        }
        XFlush(display);
        // The peers draw a frame for every move; a loaded machine can hold one back for a while.
        uint64_t after = waitForQuiet(log, 1500, peerBurstLimitMs);
        addSample("peer_burst_frames/" + p.key, (double)(after - before));
        if (after > before) {
            if (msBetween(sent, nowNs()) >= peerBurstLimitMs) {
                infos["peer_burst_cut_" + p.key] = "yes";
            }
            addSample("peer_burst_ms/" + p.key, msBetween(sent, log->endNs[(after - 1) % KVR_SWAP_LOG_RING]));
        }
    }
}

// Input rounds after the first (which the first sessions hold), each program in turn, each round in
// a different order.
void peerInput(SwapLog* log, const std::string& logPath) {
    if (peerRounds < 2) {
        return;
    }
    std::printf("[peers: input] %d more rounds of %d single moves per program\n", peerRounds - 1,
                peerSingles);
    std::fflush(stdout);
    for (int round = 1; round < peerRounds; round++) {
        for (size_t k = 0; k < peerPrograms.size(); k++) {
            const PeerProgram& p = peerPrograms[(k + (size_t)round) % peerPrograms.size()];
            movePointer(screenWidth / 2, screenHeight / 2);
            XSync(display, False);
            waitForBlack(3000);
            resetSwapLog(log);
            pid_t pid = spawn(p.args, "peer-" + p.key, logPath);
            if (waitForStarted(log, pid)) {
                peerInputSession(p, log, round);
                addSample("peer_memory_mib/" + p.key, peakResidentMiB(pid));
            }
            xdrv::stop(pid);
        }
    }
}

// Runs the peers beside the viewer: first sessions (pictures and behaviour), start-up, idle, input.
void benchPeers() {
    if (peerPrograms.size() < 2) {
        std::printf("[peers] not built (bench/run.sh builds them; see bench/README.md)\n");
        return;
    }
    std::string logPath = scratch + "/peer-swaps";
    SwapLog* log = createSwapLog(logPath);
    if (log == nullptr) {
        return;
    }
    std::printf("[peers: first frames, behaviour, %d single moves and %d burst(s) of %d moves] %d programs\n",
                peerSingles, peerBurstRuns, peerBurstMotions, (int)peerPrograms.size());
    std::fflush(stdout);
    peerFirstSession(peerPrograms[0], log, logPath, false);
    // SDL's own choice of visual, before it is given the viewer's.
    for (const PeerProgram& p : std::vector<PeerProgram>(peerPrograms)) {
        if (peerOwnVisual && p.key.compare(0, 3, "sdl") == 0 && p.key.find("wait") != std::string::npos) {
            peerFirstSession({p.label + ", its own visual", "sdl_own_visual", {p.args[0], "--wait"}}, log,
                             logPath, true);
        }
    }
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", viewerVisualId);
    for (PeerProgram& p : peerPrograms) {
        if (p.key.compare(0, 3, "sdl") == 0 && viewerVisualId != 0) {
            p.args.push_back("--visual");
            p.args.push_back(id);
        }
    }
    for (size_t k = 1; k < peerPrograms.size(); k++) {
        peerFirstSession(peerPrograms[k], log, logPath, false);
    }
    peerStartUp(log, logPath);
    peerIdle(logPath);
    peerInput(log, logPath);
    munmap(log, sizeof(SwapLog));
}

// Formats "median [min-max]" of a series, with the given number of decimals.
std::string cell(const std::string& name, int decimals) {
    Summary s = summarise(name);
    if (s.n == 0) {
        return "n/a";
    }
    char text[128];
    std::snprintf(text, sizeof text, "%.*f [%.*f-%.*f]", decimals, s.median, decimals, s.low, decimals,
                  s.high);
    return text;
}

// The ratio of two medians as text ("n/a" when either is missing).
std::string ratioText(double value, double base) {
    if (!(base > 0.0) || value < 0.0) {
        return "n/a";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2fx", value / base);
    return text;
}

// "yes" or "no" for a goal, "n/a" without data.
const char* verdict(bool haveData, bool met) {
    return !haveData ? "n/a" : met ? "yes" : "no";
}

// One row of the results table.
void row(const std::string& figure, const std::string& value, const std::string& base,
         const std::string& ratio, const std::string& goal, const char* met) {
    std::printf("| %s | %s | %s | %s | %s | %s |\n", figure.c_str(), value.c_str(), base.c_str(),
                ratio.c_str(), goal.c_str(), met);
}

// Prints the results as a Markdown table, medians with [min-max] and the number of samples.
void printTable() {
    Summary floor = summarise("frame_floor_ms"), scene = summarise("frame_scene_ms");
    Summary immediate = summarise("frame_immediate_ms");
    Summary onInit = summarise("init_oninit_ms"), windowOnly = summarise("init_window_only_ms");
    Summary startViewer = summarise("startup_viewer_ms"), startMinimal = summarise("startup_minimal_ms");
    Summary idleViewer = summarise("idle_viewer_cpu_pct"), idleMinimal = summarise("idle_minimal_cpu_pct");
    Summary wakeViewer = summarise("idle_viewer_wakeups"), wakeMinimal = summarise("idle_minimal_wakeups");
    Summary single = summarise("input_single_ms"), viewerFrame = summarise("viewer_frame_ms");
    Summary burstFrames = summarise("burst_frames"), catchUp = summarise("burst_catch_up_ms");
    Summary memViewer = summarise("memory_viewer_mib"), memMinimal = summarise("memory_minimal_mib");

    std::printf("\n| Figure | Kelvor | Baseline | Ratio | Goal | Met |\n|---|---|---|---|---|---|\n");
    row("1. Frame at " + infos["frame_width"] + "x" + infos["frame_height"] +
            ", ms (n=" + std::to_string(scene.n) + "): scene list vs clear+swap",
        cell("frame_scene_ms", 2), cell("frame_floor_ms", 2), ratioText(scene.median, floor.median), "<= 3x",
        verdict(scene.n > 0 && floor.n > 0, scene.median <= 3.0 * floor.median));
    row("1. Frame, ms: immediate mode vs scene list (speed-up of the list)", cell("frame_immediate_ms", 2),
        cell("frame_scene_ms", 2), ratioText(immediate.median, scene.median), ">= 1.5x",
        verdict(scene.n > 0 && immediate.n > 0, immediate.median >= 1.5 * scene.median));
    row("2. onInit, cold, ms (n=" + std::to_string(onInit.n) + ") vs window + context alone",
        cell("init_oninit_ms", 1), cell("init_window_only_ms", 1),
        ratioText(onInit.median, windowOnly.median), "-", "-");
    row("3. Start-up to first picture, ms (n=" + std::to_string(startViewer.n) + ") vs minimal GLX program",
        cell("startup_viewer_ms", 1), cell("startup_minimal_ms", 1),
        ratioText(startViewer.median, startMinimal.median), "<= 1.5x",
        verdict(startViewer.n > 0 && startMinimal.n > 0, startViewer.median <= 1.5 * startMinimal.median));
    row("4. Idle CPU, % of a core per second (n=" + std::to_string(idleViewer.n) + ") vs minimal idle loop",
        cell("idle_viewer_cpu_pct", 3), cell("idle_minimal_cpu_pct", 3),
        ratioText(idleViewer.median, idleMinimal.median), "< 0.5%",
        verdict(idleViewer.n > 0, idleViewer.median < 0.5));
    row("4. Idle wake-ups per second, all threads, vs minimal idle loop", cell("idle_viewer_wakeups", 1),
        cell("idle_minimal_wakeups", 1), ratioText(wakeViewer.median, wakeMinimal.median),
        "~20 (50 ms sleep)", verdict(wakeViewer.n > 0, wakeViewer.median <= 25.0));
    row("5. Frames drawn for a burst of " + std::to_string(burstMotions) +
            " moves (n=" + std::to_string(burstFrames.n) + ") vs moves sent",
        cell("burst_frames", 0), std::to_string(burstMotions), ratioText(burstFrames.median, burstMotions),
        "far fewer", verdict(burstFrames.n > 0, burstFrames.median <= burstMotions / 10.0));
    row("5. Burst caught up (send to last frame), ms, vs one frame of the viewer (first clear to swap, n=" +
            std::to_string(viewerFrame.n) + ")",
        cell("burst_catch_up_ms", 1), cell("viewer_frame_ms", 1),
        ratioText(catchUp.median, viewerFrame.median), "<= 3x",
        verdict(catchUp.n > 0 && viewerFrame.n > 0, catchUp.median <= 3.0 * viewerFrame.median));
    row("5. Burst caught up, ms, vs one scene frame of 1. (in-process, warm)", cell("burst_catch_up_ms", 1),
        cell("frame_scene_ms", 2), ratioText(catchUp.median, scene.median), "-", "-");
    row("5. Burst caught up, ms, vs one single move (send to its frame, loop sleep included, n=" +
            std::to_string(single.n) + ")",
        cell("burst_catch_up_ms", 1), cell("input_single_ms", 1), ratioText(catchUp.median, single.median),
        "-", "-");
    row("6. Peak resident size (VmHWM), MiB, vs minimal GLX program", cell("memory_viewer_mib", 1),
        cell("memory_minimal_mib", 1), ratioText(memViewer.median, memMinimal.median), "-", "-");

    std::printf("\nOther figures (median [min-max]):\n\n");
    std::printf(
        "- window layer's kvr_createWindow in all, ms: %s; first full-screen scene frame, ms: %s; "
        "warm onInit, ms: %s\n",
        cell("init_create_window_ms", 1).c_str(), cell("init_first_scene_frame_ms", 1).c_str(),
        cell("init_oninit_warm_ms", 1).c_str());
    std::printf(
        "- burst: first frame after sending, ms: %s; sending 1,000 moves took, ms: %s; frames of each "
        "burst, ms after sending (first clear-swap): %s; the server had handled all moves after, ms: %s; a "
        "single move waited before its frame began, ms: %s\n",
        cell("burst_first_frame_ms", 1).c_str(), cell("burst_send_ms", 1).c_str(),
        infos["burst_frame_times"].c_str(), cell("burst_server_done_ms", 1).c_str(),
        cell("input_single_wait_ms", 1).c_str());
    std::printf(
        "- idle: viewer's main thread wake-ups/s %s; CPU by utime+stime %s%% (viewer), %s%% (minimal); "
        "threads %s (viewer), %s (minimal); frames drawn while idle %s\n",
        cell("idle_viewer_main_wakeups", 1).c_str(), infos["idle_viewer_ticks_pct"].c_str(),
        infos["idle_minimal_ticks_pct"].c_str(), infos["idle_viewer_threads"].c_str(),
        infos["idle_minimal_threads"].c_str(), infos["idle_frames_drawn"].c_str());
    std::printf(
        "- swaps from process start to the first idle moment: %s, at ms after the start: %s; peak resident "
        "size after the "
        "input tests, MiB: %s\n",
        infos["startup_frames_drawn"].c_str(), infos["startup_swap_times"].c_str(),
        cell("memory_viewer_after_input_mib", 1).c_str());
    std::printf(
        "- checks: the scene frame has %s non-black pixels; immediate mode differs from the list in %s "
        "pixels, "
        "by at most %s levels; the last burst's final view equals that position drawn alone: %s\n",
        infos["scene_nonblack_pixels"].c_str(), infos["immediate_differing_pixels"].c_str(),
        infos["immediate_largest_difference"].c_str(), infos["burst_final_view_matches"].c_str());
    std::printf("- renderer: %s, OpenGL %s\n", infos["gl_renderer"].c_str(), infos["gl_version"].c_str());

    // Where the frame's time goes: culling shows the share of hidden faces, a small viewport the
    // cost of issuing the scene without filling pixels.
    Summary culled = summarise("diag_culled_scene_ms");
    Summary smallFloor = summarise("diag_small_floor_ms"), smallScene = summarise("diag_small_scene_ms");
    Summary smallImmediate = summarise("diag_small_immediate_ms"),
            smallTeapot = summarise("diag_small_teapot_ms");
    Summary firstFrame = summarise("init_first_scene_frame_ms"),
            secondFrame = summarise("init_second_scene_frame_ms");
    std::printf("\nDiagnosis (median [min-max], ms):\n\n");
    std::printf(
        "- full size, scene list with back faces culled (not what the viewer draws): %s, %s of the scene "
        "frame\n",
        cell("diag_culled_scene_ms", 2).c_str(), ratioText(culled.median, scene.median).c_str());
    std::printf(
        "- viewport cut to a tenth of width and height: clear+swap %s, scene list %s, immediate %s, "
        "the teapot's list alone %s; issuing the scene costs %.2f from the list and %.2f in immediate "
        "mode (%s), of which the teapot %.2f\n",
        cell("diag_small_floor_ms", 2).c_str(), cell("diag_small_scene_ms", 2).c_str(),
        cell("diag_small_immediate_ms", 2).c_str(), cell("diag_small_teapot_ms", 2).c_str(),
        smallScene.median - smallFloor.median, smallImmediate.median - smallFloor.median,
        ratioText(smallImmediate.median - smallFloor.median, smallScene.median - smallFloor.median).c_str(),
        smallTeapot.median - smallFloor.median);
    std::printf(
        "- first full-screen scene frame %s against the second %s: %.1f of rasteriser shader "
        "compilation at start-up\n",
        cell("init_first_scene_frame_ms", 1).c_str(), cell("init_second_scene_frame_ms", 1).c_str(),
        firstFrame.median - secondFrame.median);
}

// "median [min-max]" of a program's samples and its ratio to the viewer's median.
std::string peerCell(const std::string& figure, const PeerProgram& p, int decimals) {
    std::string text = cell(figure + "/" + p.key, decimals);
    if (p.key != "kelvor" && text != "n/a") {
        Summary own = summarise(figure + "/" + p.key), viewer = summarise(figure + "/kelvor");
        text += ", " + ratioText(own.median, viewer.median);
    }
    return text;
}

// One row of the peer table.
void peerRow(const std::string& label, const std::string& figure, int decimals) {
    Summary viewer = summarise(figure + "/kelvor");
    std::printf("| %s (n=%d) |", label.c_str(), viewer.n);
    for (const PeerProgram& p : peerPrograms) {
        std::printf(" %s |", peerCell(figure, p, decimals).c_str());
    }
    std::printf("\n");
}

// Where the viewer stands against every peer on a figure where less is better: ahead when a
// peer's median is above 1.1 times the viewer's, behind below 0.9 times, level in between.
std::string peerStanding(const std::string& figure) {
    Summary viewer = summarise(figure + "/kelvor");
    std::string text;
    for (size_t k = 1; k < peerPrograms.size(); k++) {
        Summary own = summarise(figure + "/" + peerPrograms[k].key);
        if (viewer.n == 0 || own.n == 0 || !(viewer.median > 0.0)) {
            continue;
        }
        double ratio = own.median / viewer.median;
        const char* word = ratio > 1.1 ? "ahead of" : ratio < 0.9 ? "behind" : "level with";
        char part[128];
        std::snprintf(part, sizeof part, "%s%s %s (%.2fx)", text.empty() ? "" : ", ", word,
                      peerPrograms[k].label.c_str(), ratio);
        text += part;
    }
    return text.empty() ? "no data" : text;
}

// The peer table, the standing of the viewer on each figure and the checks of the peers.
void printPeerTable() {
    if (peerPrograms.size() < 2) {
        return;
    }
    std::printf(
        "\nPeers: the viewer's own code on GLFW and on SDL2 beside Kelvor, median [min-max] and the "
        "peer's median over Kelvor's (less is better everywhere; above 1x Kelvor needs less):\n\n| Figure "
        "| ");
    for (size_t k = 0; k < peerPrograms.size(); k++) {
        std::printf("%s |", peerPrograms[k].label.c_str());
    }
    std::printf("\n|---|");
    for (size_t k = 0; k < peerPrograms.size(); k++) {
        std::printf("---|");
    }
    std::printf("\n");
    peerRow("Start-up to first picture, ms", "peer_startup_ms", 1);
    peerRow("CPU time to first picture, all threads, ms", "peer_startup_cpu_ms", 1);
    peerRow("Fork to first scene clear, ms", "peer_scene_clear_ms", 1);
    peerRow("Idle CPU, % of a core", "peer_idle_cpu_pct", 3);
    peerRow("Idle wake-ups per second, all threads", "peer_idle_wakeups", 1);
    peerRow("Peak resident size (VmHWM) after start-up and idling or a few moves, MiB", "peer_memory_mib", 1);
    peerRow("Frame time per view (first clear to swap), ms", "peer_frame_ms", 1);
    peerRow("Pointer move to its frame, ms", "peer_move_ms", 1);
    peerRow("Frames per " + std::to_string(peerBurstMotions) + "-move burst", "peer_burst_frames", 0);
    peerRow("Burst sent to its last frame, ms", "peer_burst_ms", 0);

    std::printf("\nStanding of Kelvor:\n\n");
    std::printf("- start-up to first picture: %s\n", peerStanding("peer_startup_ms").c_str());
    std::printf("- CPU time to first picture: %s\n", peerStanding("peer_startup_cpu_ms").c_str());
    std::printf("- fork to first scene clear: %s\n", peerStanding("peer_scene_clear_ms").c_str());
    std::printf("- idle CPU: %s\n", peerStanding("peer_idle_cpu_pct").c_str());
    std::printf("- idle wake-ups: %s\n", peerStanding("peer_idle_wakeups").c_str());
    std::printf("- peak memory: %s\n", peerStanding("peer_memory_mib").c_str());
    std::printf("- frame time per view: %s\n", peerStanding("peer_frame_ms").c_str());
    std::printf("- pointer move to frame: %s\n", peerStanding("peer_move_ms").c_str());
    std::printf("- frames per burst: %s\n", peerStanding("peer_burst_frames").c_str());
    std::printf("- burst to its last frame: %s\n", peerStanding("peer_burst_ms").c_str());

    std::printf(
        "\nStart-up steps, ms after the fork (median [min-max]; the peers' steps as they report them):\n\n");
    for (const PeerProgram& p : peerPrograms) {
        std::string line;
        for (const char* step :
             {"main", "library-init", "window", "window-and-context", "onInit", "first-swap"}) {
            std::string name = std::string("peer_step_") + step + "/" + p.key;
            if (summarise(name).n > 0) {
                line += (line.empty() ? "" : "; ") + std::string(step) + " " + cell(name, 1);
            }
        }
        line += (line.empty() ? "" : "; ") + std::string("first scene clear ") +
                cell("peer_scene_clear_ms/" + p.key, 1);
        std::printf("- %s: %s\n", p.label.c_str(), line.c_str());
    }

    std::printf("\nPeer checks:\n\n");
    for (const PeerProgram& p : peerPrograms) {
        const std::string& k = p.key;
        std::printf(
            "- %s: first frame against Kelvor's: %s; window %s; focused %s; frames to the first idle "
            "moment %s; wrap at the right edge %s, unfocused %s; SIGTERM: %s; threads %s; frames while idle "
            "%s%s%s%s\n",
            p.label.c_str(), infos["peer_picture_" + k].c_str(), infos["peer_window_" + k].c_str(),
            infos["peer_focus_" + k].c_str(), infos["peer_startup_frames_" + k].c_str(),
            infos["peer_wrap_" + k].c_str(), infos["peer_wrap_unfocused_" + k].c_str(),
            infos["peer_sigterm_" + k].c_str(), infos["peer_threads_" + k].c_str(),
            infos["peer_idle_frames_" + k].c_str(),
            infos.count("peer_burst_cut_" + k) ? "; a burst was cut off at the time limit" : "",
            infos.count("peer_problem_" + k) ? "; PROBLEM: " : "",
            infos.count("peer_problem_" + k) ? infos["peer_problem_" + k].c_str() : "");
    }
    if (infos.count("peer_picture_sdl_own_visual")) {
        std::printf("- SDL with the visual it picks itself: first frame against Kelvor's: %s; window %s\n",
                    infos["peer_picture_sdl_own_visual"].c_str(),
                    infos["peer_window_sdl_own_visual"].c_str());
    }
}

// True when the file exists and can be executed or read.
bool usable(const std::string& path) {
    return !path.empty() && access(path.c_str(), R_OK) == 0;
}

}  // namespace

// Parses the options, runs every benchmark and prints the table.
int main(int argc, char** argv) {
    bool peersOnly = false;
    std::string desktopManager;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        std::string next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--quick") {
            framesPerRound = 5;
            frameRounds = 2;
            initRuns = 2;
            startRuns = 2;
            idleSeconds = 3;
            latencyRuns = 3;
            burstRuns = 4;
            peerStartRuns = 1;
            peerQuietMs = 400.0;
            peerOwnVisual = false;
            peerRounds = 1;
            peerSingles = 2;
            peerBurstMotions = 20;
            peerBurstLimitMs = 5000.0;
        } else if (a == "--viewer") {
            viewerPath = next, i++;
        } else if (a == "--minimal") {
            minimalPath = next, i++;
        } else if (a == "--inproc") {
            inprocPath = next, i++;
        } else if (a == "--counter") {
            counterPath = next, i++;
        } else if (a == "--glfw") {
            glfwPath = next, i++;
        } else if (a == "--sdl") {
            sdlPath = next, i++;
        } else if (a == "--peers-only") {
            peersOnly = true;
        } else if (a == "--desktop") {
            desktopManager = next, i++;
        } else {
            std::fprintf(stderr,
                         "usage: kvr_bench [--quick] [--peers-only] [--desktop WM] [--viewer P] [--minimal "
                         "P] [--inproc P] "
                         "[--counter P] [--glfw P] [--sdl P]\n");
            return 2;
        }
    }
    for (const std::string& p : {viewerPath, minimalPath, inprocPath, counterPath}) {
        if (!usable(p)) {
            std::fprintf(stderr, "kvr_bench: missing program or library '%s'\n", p.c_str());
            return 1;
        }
    }
    if (!openDisplay()) {
        std::fprintf(stderr, "kvr_bench: cannot open the display (set DISPLAY)\n");
        return 1;
    }
    char folder[] = "/tmp/kvr_bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    scratch = folder;
    std::printf("kvr_bench on a %dx%d screen; program logs in %s\n", screenWidth, screenHeight, folder);
    peerPrograms.push_back({"Kelvor", "kelvor", {viewerPath}});
    if (usable(glfwPath)) {
        peerPrograms.push_back({"GLFW wait", "glfw_wait", {glfwPath, "--wait"}});
        peerPrograms.push_back({"GLFW poll", "glfw_poll", {glfwPath, "--poll"}});
    }
    if (usable(sdlPath)) {
        peerPrograms.push_back({"SDL wait", "sdl_wait", {sdlPath, "--wait"}});
        peerPrograms.push_back({"SDL poll", "sdl_poll", {sdlPath, "--poll"}});
    }
    uint64_t start = nowNs();
    if (!desktopManager.empty()) {
        benchDesktopStartUp(desktopManager, startRuns);
        XDestroyWindow(display, backdrop);
        XCloseDisplay(display);
        return 0;
    }
    if (!peersOnly) {
        benchFramesAndInit();
        benchStartUp();
        benchRunningViewer();
    }
    benchPeers();
    if (!peersOnly) {
        printTable();
    }
    printPeerTable();
    std::printf("\nThe run took %.0f s.\n", msBetween(start, nowNs()) / 1000.0);
    XDestroyWindow(display, backdrop);
    XCloseDisplay(display);
    return 0;
}
