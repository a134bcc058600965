// x11_msgbox.cpp - MessageBoxA's dialog (core_msgbox.cpp writes standard error first): when a
// display can be opened, a small modal X11 dialog with the caption as title, the text and an
// OK button, on a connection of its own.
//
// The dialog closes on its button, Enter, Escape or the close button.
#include "x11_state.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <string>
#include <vector>

// Geometry of the open dialog.
struct KvrX11Dialog {
    Display* display;
    Window window;
    GC gc;
    XFontStruct* font;
    std::vector<std::string> lines;
    int width;
    int height;
    int lineHeight;
    int buttonX, buttonY, buttonWidth, buttonHeight;
};

// Splits the text at its line breaks.
static std::vector<std::string> splitLines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (*p != '\r') {
            line += *p;
        }
    }
    lines.push_back(line);
    return lines;
}

// Draws the text and the OK button.
static void drawDialog(KvrX11Dialog& dialog) {
    Display* d = dialog.display;
    int screen = DefaultScreen(d);
    XSetForeground(d, dialog.gc, WhitePixel(d, screen));
    XFillRectangle(d, dialog.window, dialog.gc, 0, 0, (unsigned)dialog.width, (unsigned)dialog.height);
    XSetForeground(d, dialog.gc, BlackPixel(d, screen));
    int y = 20 + dialog.font->ascent;
    for (const std::string& line : dialog.lines) {
        XDrawString(d, dialog.window, dialog.gc, 20, y, line.c_str(), (int)line.size());
        y += dialog.lineHeight;
    }
    XDrawRectangle(d, dialog.window, dialog.gc, dialog.buttonX, dialog.buttonY, (unsigned)dialog.buttonWidth,
                   (unsigned)dialog.buttonHeight);
    int textWidth = XTextWidth(dialog.font, "OK", 2);
    XDrawString(d, dialog.window, dialog.gc, dialog.buttonX + (dialog.buttonWidth - textWidth) / 2,
                dialog.buttonY + (dialog.buttonHeight + dialog.font->ascent - dialog.font->descent) / 2, "OK",
                2);
    XFlush(d);
}

// True when a point lies on the OK button.
static bool onButton(const KvrX11Dialog& dialog, int x, int y) {
    return x >= dialog.buttonX && x < dialog.buttonX + dialog.buttonWidth && y >= dialog.buttonY &&
           y < dialog.buttonY + dialog.buttonHeight;
}

// The dialog's font: "fixed" where the server has it, else another common one, else the font
// of the default graphics context, which the server always has; null only when none answers.
static XFontStruct* loadFont(Display* d, bool* ownFont) {
    static const char* const names[] = {"fixed", "-*-*-medium-r-normal--*-120-*-*-*-*-iso8859-1",
                                        "-*-*-*-r-*--*-*-*-*-*-*-*-*", "*"};
    *ownFont = true;
    for (const char* name : names) {
        XFontStruct* font = XLoadQueryFont(d, name);
        if (font != nullptr) {
            return font;
        }
    }
    *ownFont = false;
    return XQueryFont(d, XGContextFromGC(DefaultGC(d, DefaultScreen(d))));
}

// Shows the dialog on its own display connection and waits until it is dismissed.
static void showDialog(Display* d, const char* text, const char* caption) {
    KvrX11Dialog dialog;
    dialog.display = d;
    bool ownFont = false;
    dialog.font = loadFont(d, &ownFont);
    if (dialog.font == nullptr) {
        return;
    }
    dialog.lines = splitLines(text);
    dialog.lineHeight = dialog.font->ascent + dialog.font->descent + 2;
    int textWidth = 0;
    for (const std::string& line : dialog.lines) {
        int w = XTextWidth(dialog.font, line.c_str(), (int)line.size());
        textWidth = w > textWidth ? w : textWidth;
    }
    dialog.width = textWidth + 40 < 240 ? 240 : textWidth + 40;
    dialog.buttonWidth = 80;
    dialog.buttonHeight = dialog.lineHeight + 10;
    dialog.buttonX = (dialog.width - dialog.buttonWidth) / 2;
    dialog.buttonY = 20 + (int)dialog.lines.size() * dialog.lineHeight + 16;
    dialog.height = dialog.buttonY + dialog.buttonHeight + 16;
    int screen = DefaultScreen(d);
    Window root = RootWindow(d, screen);
    int x = (DisplayWidth(d, screen) - dialog.width) / 2;
    int y = (DisplayHeight(d, screen) - dialog.height) / 2;
    dialog.window = XCreateSimpleWindow(d, root, x, y, (unsigned)dialog.width, (unsigned)dialog.height, 1,
                                        BlackPixel(d, screen), WhitePixel(d, screen));
    XSelectInput(d, dialog.window,
                 ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
    XStoreName(d, dialog.window, caption);
    // The window manager keeps the centred place (the dialog itself where asked) and the fixed size.
    XSizeHints* hints = XAllocSizeHints();
    if (hints != nullptr) {
        hints->flags = PPosition | PSize | PMinSize | PMaxSize | PWinGravity;
        hints->x = x;
        hints->y = y;
        hints->width = hints->min_width = hints->max_width = dialog.width;
        hints->height = hints->min_height = hints->max_height = dialog.height;
        hints->win_gravity = StaticGravity;
        XSetWMNormalHints(d, dialog.window, hints);
        XFree(hints);
    }
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, dialog.window, &deleteWindow, 1);
    Atom windowType = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom dialogType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(d, dialog.window, windowType, XA_ATOM, 32, PropModeReplace, (unsigned char*)&dialogType,
                    1);
    dialog.gc = XCreateGC(d, dialog.window, 0, nullptr);
    if (ownFont) {
        XSetFont(d, dialog.gc, dialog.font->fid);
    }
    XMapRaised(d, dialog.window);
    bool done = false;
    bool pressedOnButton = false;
    while (!done) {
        XEvent event;
        XNextEvent(d, &event);
        switch (event.type) {
            case MapNotify:
                XSetInputFocus(d, dialog.window, RevertToParent, CurrentTime);
                break;
            case Expose:
                if (event.xexpose.count == 0) {
                    drawDialog(dialog);
                }
                break;
            case KeyPress: {
                KeySym key = XLookupKeysym(&event.xkey, 0);
                done = key == XK_Return || key == XK_KP_Enter || key == XK_Escape;
                break;
            }
            case ButtonPress:
                pressedOnButton =
                    event.xbutton.button == 1 && onButton(dialog, event.xbutton.x, event.xbutton.y);
                break;
            case ButtonRelease:
                done = pressedOnButton && event.xbutton.button == 1 &&
                       onButton(dialog, event.xbutton.x, event.xbutton.y);
                break;
            case ClientMessage:
                done = (Atom)event.xclient.data.l[0] == deleteWindow;
                break;
            case DestroyNotify:
                done = true;
                break;
            default:
                break;
        }
    }
    XFreeGC(d, dialog.gc);
    XDestroyWindow(d, dialog.window);
    if (ownFont) {
        XFreeFont(d, dialog.font);
    } else {
        XFreeFontInfo(nullptr, dialog.font, 1);
    }
    XSync(d, False);
}

void kvr_x11ShowMessageDialog(const char* text, const char* caption) {
    const char* displayName = std::getenv("DISPLAY");
    if (displayName == nullptr || displayName[0] == '\0') {
        return;
    }
    Display* d = kvr_x11Connect();
    if (d == nullptr) {
        return;
    }
    showDialog(d, text, caption);
    XCloseDisplay(d);
}
