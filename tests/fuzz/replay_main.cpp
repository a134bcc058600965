// replay_main.cpp - runs the window-procedure fuzz target without libFuzzer, with any compiler:
// every file of the given corpus folders (or the given files), then optionally a number of
// pseudo-random inputs from a fixed seed.
//
// Usage: wndproc_fuzz_replay [--random N] [--seed S] [--max-len L] PATH...
// A broken invariant or a sanitizer report ends the process with a failure; otherwise it prints
// the totals and exits 0. With no input at all it fails, so a missing corpus is noticed.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "wndproc_fuzz.h"

namespace {

// The bytes of a file.
std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The regular files of a folder, sorted, or the path itself when it is a file.
std::vector<std::string> inputFiles(const std::string& path) {
    std::vector<std::string> files;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return files;
    }
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return files;
    }
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return files;
    }
    while (dirent* entry = readdir(dir)) {
        std::string file = path + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            files.push_back(file);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    long randomInputs = 0;
    unsigned seed = 1;
    size_t maxLen = 2048;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--random" && i + 1 < argc) {
            randomInputs = atol(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--max-len" && i + 1 < argc) {
            maxLen = static_cast<size_t>(atol(argv[++i]));
        } else {
            std::vector<std::string> found = inputFiles(arg);
            if (found.empty()) {
                fprintf(stderr, "replay: no input files at %s\n", arg.c_str());
                return 1;
            }
            files.insert(files.end(), found.begin(), found.end());
        }
    }
    if (files.empty() && randomInputs == 0) {
        fprintf(stderr, "usage: %s [--random N] [--seed S] [--max-len L] PATH...\n", argv[0]);
        return 1;
    }
    // The summary goes to standard error: standard output is closed off like under libFuzzer.
    LLVMFuzzerInitialize(&argc, &argv);
    for (const std::string& file : files) {
        std::vector<uint8_t> data = readBytes(file);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::mt19937 rng(seed);
    for (long n = 0; n < randomInputs; ++n) {
        size_t len = std::uniform_int_distribution<size_t>(0, maxLen)(rng);
        std::vector<uint8_t> data(len);
        for (uint8_t& b : data) {
            b = static_cast<uint8_t>(rng());
        }
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    fprintf(stderr, "replay: %zu corpus files and %ld random inputs; every invariant held\n", files.size(),
            randomInputs);
    return 0;
}
