// core_msgbox.cpp - MessageBoxA: "Caption: text" on standard error, then the backend's modal
// dialog with the caption as title, the text and an OK button; the answer is always IDOK.
//
// With the environment variable KVR_MESSAGEBOX=stderr only standard error is written: tests
// and unattended runs set it, since nobody is there to press OK.
#include "core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    const char* body = text != nullptr ? text : "";
    const char* title = caption != nullptr ? caption : "Error";
    std::fprintf(stderr, "%s: %s\n", title, body);
    std::fflush(stderr);
    const char* mode = std::getenv("KVR_MESSAGEBOX");
    if (mode == nullptr || std::strcmp(mode, "stderr") != 0) {
        kvr_ws()->showMessageDialog(body, title);
    }
    return IDOK;
}
