// swap_log.h - the record the swap counter keeps in a shared file: how many buffer swaps
// a process made, when, when each frame began (its first glClear) and when the first frame
// that draws the scene (calls a display list) began, readable by another process while the
// first one runs.
#ifndef KVR_BENCH_SWAP_LOG_H
#define KVR_BENCH_SWAP_LOG_H

#include <stdint.h>

// Environment variable naming the file the swap counter maps.
#define KVR_SWAP_LOG_ENV "KVR_SWAP_LOG"
// Number of swap times kept, the latest ones.
#define KVR_SWAP_LOG_RING 4096

// Times are CLOCK_MONOTONIC nanoseconds, comparable between processes. The writer stores
// the ring entry and the last time first, then publishes by incrementing count (release);
// a reader loads count (acquire) and then reads entries below it.
struct SwapLog {
    uint64_t count;                       // swaps completed so far
    uint64_t lastStartNs;                 // when the latest swap call began
    uint64_t lastEndNs;                   // when the latest swap call returned
    uint64_t firstSceneClearNs;           // the first glClear of the first frame that calls a list
    uint64_t endNs[KVR_SWAP_LOG_RING];    // return time of swap n at endNs[n % KVR_SWAP_LOG_RING]
    uint64_t startNs[KVR_SWAP_LOG_RING];  // the latest glClear before swap n: when its frame began
};

#endif  // KVR_BENCH_SWAP_LOG_H
