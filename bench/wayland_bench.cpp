// wayland_bench.cpp - start-up and idle figures of the viewer and its peers on a Wayland compositor
// that offers wlroots screencopy (headless sway): every program given is started in turn, and the
// time from fork until its full-screen first frame is on the output is taken, with its CPU time
// then; afterwards each runs alone and untouched for a while, its CPU time and wake-ups taken every
// second. The first program is the baseline: every median is also shown over the baseline's.
// Prints a Markdown table; asserts nothing. bench/run.sh --wayland starts the compositor.
//
//   kvr_bench_wayland [--quick] --program "LABEL|KEY|[VAR=VALUE ...] PROGRAM ARGS[|IDLE ARGS]" ...
//
// A program's words before its path set its environment. The idle run uses IDLE ARGS instead of
// ARGS when they are given (the baseline idles with --idle, as on X11).
#include "x_driver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "wlr-screencopy-unstable-v1-client.h"

namespace {

using xdrv::msBetween;
using xdrv::nowNs;
using xdrv::readFile;
using xdrv::sleepMs;

// A program under test: its label, the key of its samples, its environment and command lines.
struct Program {
    std::string label;
    std::string key;
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::string> startArgs;
    std::vector<std::string> idleArgs;
};
std::vector<Program> programs;
int startRuns = 7;
int idleSeconds = 10;
std::string scratch;
bool verbose = std::getenv("KVR_BENCH_VERBOSE") != nullptr;
std::map<std::string, std::vector<double>> samples;
std::map<std::string, std::string> infos;
std::map<std::string, std::vector<uint32_t>> bandPictures;

// ---------------------------------------------------------------------------------------------
// The output, seen through screencopy: five bands of two rows across it.

wl_display* display = nullptr;
wl_shm* shm = nullptr;
wl_output* output = nullptr;
zwlr_screencopy_manager_v1* screencopy = nullptr;
int outputWidth = 0;
int outputHeight = 0;
const int bandCount = 5;
const int bandRows = 2;

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {}
void outputMode(void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        outputWidth = width;
        outputHeight = height;
    }
}
void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, int32_t) {}
const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                           outputScale,    nullptr,    nullptr};

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && output == nullptr) {
        output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
        wl_output_add_listener(output, &outputListener, nullptr);
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        screencopy = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

// One band's capture and the shared-memory buffer it is copied into (kept from poll to poll).
struct Band {
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool offered = false, ready = false, failed = false;
    wl_buffer* buffer = nullptr;
    void* pixels = nullptr;
    size_t size = 0;
};
Band bands[bandCount];
// Polls of the output made, and the time they took: one poll waits for the output's next frame.
int pollCount = 0;
double pollMs = 0.0;
// The bands' pixels (colour bytes only) of the latest poll, row after row, band after band.
std::vector<uint32_t> lastBands;

void frameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
    Band* b = static_cast<Band*>(data);
    b->format = format, b->width = width, b->height = height, b->stride = stride;
    b->offered = true;
}
void frameFlags(void*, zwlr_screencopy_frame_v1*, uint32_t) {}
void frameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<Band*>(data)->ready = true;
}
void frameFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Band*>(data)->failed = true;
}
const zwlr_screencopy_frame_v1_listener frameListener = {frameBuffer, frameFlags, frameReady, frameFailed,
                                                         nullptr,     nullptr,    nullptr};

// Makes (or keeps) the band's buffer at the size and format the compositor offered.
bool bandBuffer(Band* b) {
    size_t size = (size_t)b->stride * b->height;
    if (b->buffer != nullptr && b->size == size) {
        return true;
    }
    if (b->buffer != nullptr) {
        wl_buffer_destroy(b->buffer);
        munmap(b->pixels, b->size);
        b->buffer = nullptr;
    }
    char name[] = "/tmp/kvr-bench-band-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        return false;
    }
    unlink(name);
    if (ftruncate(fd, (off_t)size) != 0) {
        close(fd);
        return false;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, (int32_t)size);
    b->buffer = wl_shm_pool_create_buffer(pool, 0, (int32_t)b->width, (int32_t)b->height, (int32_t)b->stride,
                                          b->format);
    wl_shm_pool_destroy(pool);
    close(fd);
    b->pixels = pixels;
    b->size = size;
    return true;
}

// Copies the five bands out of the output's next frame; for each, the share of its pixels that
// are not black (negative when the copy failed).
std::vector<double> litShares() {
    uint64_t started = nowNs();
    std::vector<double> shares(bandCount, -1.0);
    lastBands.clear();
    for (int i = 0; i < bandCount; i++) {
        Band& b = bands[i];
        b.offered = b.ready = b.failed = false;
        int y = outputHeight * (i + 1) / (bandCount + 1);
        b.frame = zwlr_screencopy_manager_v1_capture_output_region(screencopy, 0, output, 0, y, outputWidth,
                                                                   bandRows);
        zwlr_screencopy_frame_v1_add_listener(b.frame, &frameListener, &b);
    }
    // Version 1 offers one shared-memory buffer and then waits for the copy request.
    auto allOffered = [] {
        for (const Band& b : bands) {
            if (!b.offered && !b.failed) {
                return false;
            }
        }
        return true;
    };
    while (!allOffered() && wl_display_dispatch(display) >= 0) {
    }
    for (Band& b : bands) {
        if (b.offered && !b.failed && bandBuffer(&b)) {
            zwlr_screencopy_frame_v1_copy(b.frame, b.buffer);
        } else {
            b.failed = true;
        }
    }
    auto allDone = [] {
        for (const Band& b : bands) {
            if (!b.ready && !b.failed) {
                return false;
            }
        }
        return true;
    };
    while (!allDone() && wl_display_dispatch(display) >= 0) {
    }
    for (int i = 0; i < bandCount; i++) {
        Band& b = bands[i];
        if (b.ready) {
            // 32-bit pixels whatever the order of their channels: any of the three colour bytes lit.
            size_t lit = 0;
            for (uint32_t y = 0; y < b.height; y++) {
                const uint32_t* row = (const uint32_t*)((const char*)b.pixels + (size_t)y * b.stride);
                for (uint32_t x = 0; x < b.width; x++) {
                    lit += (row[x] & 0xFFFFFFu) != 0;
                    lastBands.push_back(row[x] & 0xFFFFFFu);
                }
            }
            shares[i] = (double)lit / ((double)b.width * b.height);
        }
        zwlr_screencopy_frame_v1_destroy(b.frame);
        b.frame = nullptr;
    }
    pollCount++;
    pollMs += msBetween(started, nowNs());
    return shares;
}

// What the bands show: anything lit at all (the first picture, as figure 3 on X11 takes it), and
// the full-screen frame: the lowest band, at five sixths of the height, more than a quarter lit
// (the scene's floor reaches across it; a window smaller than the output, such as the viewer's
// first 640x480 one, floating in the middle, does not reach it).
void lookAtOutput(bool* anything, bool* fullScreen) {
    std::vector<double> shares = litShares();
    *anything = false;
    for (double share : shares) {
        *anything = *anything || share > 0.0;
    }
    *fullScreen = shares[bandCount - 1] > 0.25;
}

// Nothing lit in any band: the previous program's window has gone.
bool outputBlack() {
    for (double share : litShares()) {
        if (share != 0.0) {
            return false;
        }
    }
    return true;
}

bool waitForBlack(double limitMs) {
    uint64_t start = nowNs();
    while (!outputBlack()) {
        if (msBetween(start, nowNs()) > limitMs) {
            return false;
        }
        sleepMs(5);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Processes.

// CPU time (ns, all threads, from schedstat), voluntary context switches of all threads, threads.
struct CpuUse {
    double cpuNs = 0;
    double voluntary = 0;
    int threads = 0;
};

CpuUse readCpuUse(pid_t pid) {
    CpuUse use;
    std::string base = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr) {
        return use;
    }
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::string task = base + "/" + entry->d_name;
        use.cpuNs += std::atof(readFile(task + "/schedstat").c_str());
        std::string status = readFile(task + "/status");
        size_t at = status.find("\nvoluntary_ctxt_switches:");
        if (at != std::string::npos) {
            use.voluntary += std::atof(status.c_str() + at + std::strlen("\nvoluntary_ctxt_switches:"));
        }
        use.threads++;
    }
    closedir(dir);
    return use;
}

// Shows the sway workspace a program asks for with KVR_BENCH_WORKSPACE (1 when it names none):
// the X server of the X11 programs, a full-screen Wayland window itself, waits on a workspace of
// its own, so that the other programs' full-screen windows do not take its place.
void showWorkspace(const Program& p) {
    static std::string shown;
    std::string wanted = "1";
    for (const auto& entry : p.env) {
        if (entry.first == "KVR_BENCH_WORKSPACE") {
            wanted = entry.second;
        }
    }
    if (wanted != shown && std::getenv("SWAYSOCK") != nullptr) {
        std::string command = "swaymsg workspace " + wanted + " >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "kvr_bench_wayland: %s failed\n", command.c_str());
        }
        shown = wanted;
    }
}

pid_t spawn(const Program& p, const std::vector<std::string>& args, const std::string& what) {
    return xdrv::spawn(args, scratch + "/" + p.key + "-" + what + ".log",
                       scratch + "/" + p.key + "-" + what + ".log", true, p.env);
}

void addSample(const std::string& name, double value) {
    samples[name].push_back(value);
}

// Start-up: every program in turn, each run in another order; fork to the first non-black pixels,
// fork to the full-screen first frame and the CPU time of all the program's threads at that moment.
void benchStartUp() {
    std::printf("[wayland start-up] %d runs of each of %d programs\n", startRuns, (int)programs.size());
    std::fflush(stdout);
    for (int run = 0; run < startRuns; run++) {
        for (size_t k = 0; k < programs.size(); k++) {
            const Program& p = programs[(k + (size_t)run) % programs.size()];
            showWorkspace(p);
            if (!waitForBlack(5000)) {
                infos["problem_" + p.key] = "the output did not go black before a start";
                continue;
            }
            uint64_t start = nowNs();
            pid_t pid = spawn(p, p.startArgs, "start");
            bool shown = false, anything = false, fullScreen = false, seen = false;
            while (msBetween(start, nowNs()) < 15000.0 && !xdrv::exited(pid)) {
                lookAtOutput(&anything, &fullScreen);
                if (anything && !seen) {
                    addSample("first_picture_ms/" + p.key, msBetween(start, nowNs()));
                    seen = true;
                }
                if (fullScreen) {
                    if (verbose) {
                        std::fprintf(stderr, "%s: %.0f ms\n", p.key.c_str(), msBetween(start, nowNs()));
                    }
                    addSample("startup_ms/" + p.key, msBetween(start, nowNs()));
                    addSample("startup_cpu_ms/" + p.key, readCpuUse(pid).cpuNs / 1.0e6);
                    shown = true;
                    break;
                }
            }
            if (!shown) {
                infos["problem_" + p.key] = "no full-screen frame within 15 s (or it ended)";
            }
            xdrv::stop(pid, 2000.0);
        }
    }
}

// Idle: each program alone, untouched, once its full-screen frame is shown and a second has
// passed; CPU time and wake-ups every second.
void benchIdle() {
    std::printf("[wayland idle] %d s for each program, one at a time\n", idleSeconds);
    std::fflush(stdout);
    for (const Program& p : programs) {
        showWorkspace(p);
        if (!waitForBlack(5000)) {
            infos["problem_" + p.key] = "the output did not go black before the idle run";
            continue;
        }
        pid_t pid = spawn(p, p.idleArgs, "idle");
        uint64_t start = nowNs();
        bool anything = false, fullScreen = false;
        while (msBetween(start, nowNs()) < 15000.0 && !xdrv::exited(pid) && !fullScreen) {
            lookAtOutput(&anything, &fullScreen);
        }
        sleepMs(1000);
        if (xdrv::exited(pid)) {
            infos["problem_" + p.key] = "ended before the idle run";
            continue;
        }
        // The settled picture in the bands, against the first program after the baseline.
        litShares();
        bandPictures[p.key] = lastBands;
        CpuUse before = readCpuUse(pid);
        uint64_t t0 = nowNs();
        for (int s = 0; s < idleSeconds; s++) {
            sleepMs(std::max(0.0, 1000.0 - msBetween(t0, nowNs())));
            uint64_t t1 = nowNs();
            CpuUse now = readCpuUse(pid);
            double seconds = msBetween(t0, t1) / 1000.0;
            addSample("idle_cpu_pct/" + p.key, (now.cpuNs - before.cpuNs) / 1.0e7 / seconds);
            addSample("idle_wakeups/" + p.key, (now.voluntary - before.voluntary) / seconds);
            before = now;
            t0 = t1;
        }
        infos["threads_" + p.key] = std::to_string(before.threads);
        xdrv::stop(pid, 2000.0);
    }
}

// ---------------------------------------------------------------------------------------------
// The table.

struct Summary {
    int n = 0;
    double median = 0, low = 0, high = 0;
};

Summary summarise(const std::string& name) {
    Summary s;
    auto it = samples.find(name);
    if (it == samples.end() || it->second.empty()) {
        return s;
    }
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    s.n = (int)v.size();
    s.median = v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
    s.low = v.front();
    s.high = v.back();
    return s;
}

// "median [min-max]", and the ratio to the baseline's median unless this is the baseline.
std::string cell(const std::string& figure, const Program& p, int decimals) {
    Summary s = summarise(figure + "/" + p.key);
    if (s.n == 0) {
        return "n/a";
    }
    char text[160];
    std::snprintf(text, sizeof text, "%.*f [%.*f-%.*f]", decimals, s.median, decimals, s.low, decimals,
                  s.high);
    std::string out = text;
    Summary base = summarise(figure + "/" + programs[0].key);
    if (&p != &programs[0] && base.n > 0 && base.median > 0.0) {
        std::snprintf(text, sizeof text, ", %.2fx", s.median / base.median);
        out += text;
    }
    return out;
}

void printRow(const std::string& label, const std::string& figure, int decimals) {
    std::printf("| %s |", label.c_str());
    for (const Program& p : programs) {
        std::printf(" %s |", cell(figure, p, decimals).c_str());
    }
    std::printf("\n");
}

// Where the program named by ours stands against each other program except the baseline: ahead
// when the other's median is above 1.1 times ours, behind below 0.9 times, level in between. Figures
// whose medians are both below floor are level whatever their ratio (idle CPU below half a per cent
// of a core, fewer than one wake-up a second: noise on a shared machine).
std::string standing(const std::string& figure, const std::string& ours, double floor) {
    Summary own = summarise(figure + "/" + ours);
    std::string text;
    for (size_t k = 1; k < programs.size(); k++) {
        if (programs[k].key == ours) {
            continue;
        }
        Summary other = summarise(figure + "/" + programs[k].key);
        if (own.n == 0 || other.n == 0) {
            continue;
        }
        const char* word = "level with";
        char ratio[32] = "-";
        if (own.median > 0.0) {
            double r = other.median / own.median;
            std::snprintf(ratio, sizeof ratio, "%.2fx", r);
            if (own.median >= floor || other.median >= floor) {
                word = r > 1.1 ? "ahead of" : r < 0.9 ? "behind" : "level with";
            }
        } else if (other.median >= floor) {
            word = "ahead of";
        }
        char part[200];
        std::snprintf(part, sizeof part, "%s%s %s (%s)", text.empty() ? "" : ", ", word,
                      programs[k].label.c_str(), ratio);
        text += part;
    }
    return text.empty() ? "no data" : text;
}

void printTable() {
    std::printf("\n| Wayland (headless sway) | ");
    for (const Program& p : programs) {
        std::printf("%s |", p.label.c_str());
    }
    std::printf("\n|---|");
    for (size_t k = 0; k < programs.size(); k++) {
        std::printf("---|");
    }
    std::printf("\n");
    Summary any = summarise("startup_ms/" + programs[0].key);
    printRow("Fork to first non-black pixels, ms (n=" + std::to_string(any.n) + ")", "first_picture_ms", 0);
    printRow("Fork to full-screen first frame, ms", "startup_ms", 0);
    printRow("CPU time to that frame, all threads, ms", "startup_cpu_ms", 0);
    printRow("Idle CPU, % of a core (per second, n=" + std::to_string(idleSeconds) + ")", "idle_cpu_pct", 3);
    printRow("Idle wake-ups per second, all threads", "idle_wakeups", 1);
    std::printf("| Threads while idle |");
    for (const Program& p : programs) {
        std::printf(" %s |", infos.count("threads_" + p.key) ? infos["threads_" + p.key].c_str() : "n/a");
    }
    std::printf(
        "\n\nStanding of %s against the others (their median over its own; above 1x it needs less):\n\n",
        programs.size() > 1 ? programs[1].label.c_str() : "-");
    if (programs.size() > 1) {
        const std::string& ours = programs[1].key;
        std::printf("- start-up: %s\n", standing("startup_ms", ours, 0.0).c_str());
        std::printf("- CPU time to the first frame: %s\n", standing("startup_cpu_ms", ours, 0.0).c_str());
        std::printf("- idle CPU: %s\n", standing("idle_cpu_pct", ours, 0.5).c_str());
        std::printf("- idle wake-ups: %s\n", standing("idle_wakeups", ours, 1.0).c_str());
    }
    if (programs.size() > 1) {
        std::printf(
            "\nThe bands (five rows of two pixels across the output) of each program's settled full-screen "
            "frame against %s's:\n\n",
            programs[1].label.c_str());
        const std::vector<uint32_t>& ours = bandPictures[programs[1].key];
        for (size_t k = 2; k < programs.size(); k++) {
            const std::vector<uint32_t>& other = bandPictures[programs[k].key];
            size_t differ = 0;
            int most = 0;
            for (size_t i = 0; i < ours.size() && i < other.size(); i++) {
                if (ours[i] != other[i]) {
                    differ++;
                    for (int shift = 0; shift < 24; shift += 8) {
                        most = std::max(most, std::abs((int)((ours[i] >> shift) & 0xFF) -
                                                       (int)((other[i] >> shift) & 0xFF)));
                    }
                }
            }
            if (ours.empty() || other.size() != ours.size()) {
                std::printf("- %s: not compared (no picture)\n", programs[k].label.c_str());
            } else if (differ == 0) {
                std::printf("- %s: equal\n", programs[k].label.c_str());
            } else {
                std::printf("- %s: %zu of %zu pixels differ, by up to %d levels\n", programs[k].label.c_str(),
                            differ, ours.size(), most);
            }
        }
        std::printf(
            "\nOne look at the output (five two-row bands through screencopy) took %.1f ms on average "
            "(%d looks): the resolution of the start-up figures.\n",
            pollCount > 0 ? pollMs / pollCount : 0.0, pollCount);
    }
    for (const Program& p : programs) {
        if (infos.count("problem_" + p.key)) {
            std::printf("- PROBLEM with %s: %s\n", p.label.c_str(), infos["problem_" + p.key].c_str());
        }
    }
}

// Splits a word list; words with '=' before the program's path set its environment.
void parseCommand(const std::string& words, Program* p, std::vector<std::string>* args) {
    std::istringstream in(words);
    std::string w;
    while (in >> w) {
        size_t eq = w.find('=');
        if (args->empty() && eq != std::string::npos && w[0] != '/') {
            p->env.emplace_back(w.substr(0, eq), w.substr(eq + 1));
        } else {
            args->push_back(w);
        }
    }
}

bool parseProgram(const std::string& line, Program* p) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '|')) {
        fields.push_back(field);
    }
    if (fields.size() < 3) {
        return false;
    }
    p->label = fields[0];
    p->key = fields[1];
    parseCommand(fields[2], p, &p->startArgs);
    p->idleArgs = p->startArgs;
    if (fields.size() > 3) {
        std::vector<std::string> extra;
        std::vector<std::pair<std::string, std::string>> env = p->env;
        parseCommand(fields[3], p, &extra);
        p->env = env;
        p->idleArgs = {p->startArgs[0]};
        p->idleArgs.insert(p->idleArgs.end(), extra.begin(), extra.end());
    }
    return !p->startArgs.empty();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--quick") {
            startRuns = 2;
            idleSeconds = 3;
        } else if (a == "--program" && i + 1 < argc) {
            Program p;
            if (!parseProgram(argv[++i], &p)) {
                std::fprintf(stderr, "kvr_bench_wayland: cannot read the program '%s'\n", argv[i]);
                return 2;
            }
            programs.push_back(p);
        } else {
            std::fprintf(
                stderr,
                "usage: kvr_bench_wayland [--quick] --program \"LABEL|KEY|COMMAND[|IDLE ARGS]\" ...\n");
            return 2;
        }
    }
    if (programs.empty()) {
        std::fprintf(stderr, "kvr_bench_wayland: no programs given\n");
        return 2;
    }
    display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "kvr_bench_wayland: cannot connect to the compositor (WAYLAND_DISPLAY)\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (shm == nullptr || output == nullptr || screencopy == nullptr || outputWidth <= 0) {
        std::fprintf(stderr,
                     "kvr_bench_wayland: the compositor offers no output, shm or wlroots screencopy\n");
        return 1;
    }
    char folder[] = "/tmp/kvr_bench_wl.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    scratch = folder;
    std::printf("kvr_bench_wayland on a %dx%d output; program logs in %s\n", outputWidth, outputHeight,
                folder);
    uint64_t start = nowNs();
    benchStartUp();
    benchIdle();
    printTable();
    std::printf("\nThe Wayland run took %.0f s.\n", msBetween(start, nowNs()) / 1000.0);
    wl_display_disconnect(display);
    return 0;
}
