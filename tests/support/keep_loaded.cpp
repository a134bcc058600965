// keep_loaded.cpp - linked into the tests of a sanitizer build: no library is ever unloaded.
//
// Mesa unloads its GL driver (swrast_dri.so and what it brought in) when the display that loaded
// it closes, as every test on a private X server does. LeakSanitizer runs when the process exits
// and cannot look inside a library that is gone, so memory that only the driver still pointed to
// is then reported as leaked, allocated from an "<unknown module>". With the library kept, its
// pointers stay in view and only real leaks are reported. Our own code is never unloaded (the
// program and the tests load no library of their own), so a leak of ours is still reported.
#include <dlfcn.h>

// Keeps the library loaded and reports success, as dlclose does for a library still in use.
extern "C" int dlclose(void*) {
    return 0;
}
