// glx_window.h - a plain GLX window for rendering tests, and pixel read-back.
#ifndef KVR_GLX_WINDOW_H
#define KVR_GLX_WINDOW_H

#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace glxwin {

// Opens a connection to $DISPLAY, retrying for a moment when a busy server refuses it; null
// when there is none, or when it is a server a test may not use: only one this process started,
// or any when KVR_REQUIRE_DISPLAY=1 says that it is a throwaway one. A test never runs on (and so
// never changes) a developer's desktop.
Display* openDisplay();
// True when openDisplay() gives a connection.
bool displayAvailable();
// True when KVR_REQUIRE_DISPLAY=1: $DISPLAY is a throwaway server, and a missing one is a
// failure, not a skip.
bool displayRequired();
// Notes the name (":N") of the X server this process started for itself.
void setOwnDisplay(const std::string& name);
// True when $DISPLAY is the X server this process started.
bool onOwnDisplay();
// Why displayAvailable() is false, for the skip or failure message.
std::string displayMissing();
// Opens a mapped, double-buffered RGBA window of w by h with a depth buffer and makes
// its context current. False (and nothing open) when there is no display or visual.
bool open(int width, int height);
// Releases context, window and display connection.
void close();
// Presents the back buffer.
void swap();
// RGBA pixels of the rectangle, bottom row first, read from the back (or front) buffer.
std::vector<unsigned char> readPixels(int x, int y, int width, int height, bool front = false);
// Writes RGBA pixels (bottom row first) to a PNG-less portable pixmap file for people to look at.
bool writePpm(const std::string& path, const std::vector<unsigned char>& rgba, int width, int height);

}  // namespace glxwin

#endif  // KVR_GLX_WINDOW_H
