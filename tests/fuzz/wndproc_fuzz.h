// wndproc_fuzz.h - the window-procedure fuzz target, shared by libFuzzer and the replay driver.
#ifndef KVR_WNDPROC_FUZZ_H
#define KVR_WNDPROC_FUZZ_H

#include <cstddef>
#include <cstdint>

// Once per process before the first input: sends standard output to /dev/null and has the
// totals of the inputs run printed at exit.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
// Runs one input: opens the window through the fake, runs its steps with checks, closes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#endif  // KVR_WNDPROC_FUZZ_H
