// kvr_platform.h - the platform contract of the window layer and the application.
//
// On Windows this is just the system headers: <windows.h>, <GL/gl.h> and <GL/glu.h>.
// Elsewhere it declares the Win32 subset the program calls, with the real Win32
// types, constants and signatures, and includes the system's OpenGL and GLU headers.
// That subset is implemented on Xlib + GLX in platform/x11_*.cpp, and by the
// scriptable fake in tests/support/ for unit tests.
//
// Provided: window classes, one top-level window and its styles, AdjustWindowRectEx,
// SetWindowLongA (GWL_STYLE and GWL_EXSTYLE only), SetWindowPos, GetWindowRect,
// GetSystemMetrics (SM_CXSCREEN and SM_CYSCREEN), SetCursorPos, the message queue
// (PeekMessageA, TranslateMessage, DispatchMessageA, PostQuitMessage), DefWindowProcA,
// device contexts, pixel formats, WGL contexts, SwapBuffers, MessageBoxA and Sleep.
// Knowingly left out: Unicode (W) entry points, menus, GDI drawing, child windows,
// timers, GetMessage, and every message the program neither sends nor handles.
#ifndef KVR_PLATFORM_H
#define KVR_PLATFORM_H

#if defined(_WIN32)

#undef UNICODE
#undef _UNICODE
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>

#else

#include <stddef.h>
#include <stdint.h>

#include <GL/gl.h>
#include <GL/glu.h>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef int INT;
typedef WORD ATOM;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef void* HANDLE;

// Opaque handle types, distinct as in Win32's STRICT mode.
#define KVR_DECLARE_HANDLE(name) \
    struct name##__ {            \
        int unused;              \
    };                           \
    typedef struct name##__* name
KVR_DECLARE_HANDLE(HWND);
KVR_DECLARE_HANDLE(HDC);
KVR_DECLARE_HANDLE(HGLRC);
KVR_DECLARE_HANDLE(HINSTANCE);
KVR_DECLARE_HANDLE(HICON);
KVR_DECLARE_HANDLE(HBRUSH);
KVR_DECLARE_HANDLE(HMENU);
#undef KVR_DECLARE_HANDLE
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;

#define TRUE 1
#define FALSE 0

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagPIXELFORMATDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits;
    BYTE cRedShift;
    BYTE cGreenBits;
    BYTE cGreenShift;
    BYTE cBlueBits;
    BYTE cBlueShift;
    BYTE cAlphaBits;
    BYTE cAlphaShift;
    BYTE cAccumBits;
    BYTE cAccumRedBits;
    BYTE cAccumGreenBits;
    BYTE cAccumBlueBits;
    BYTE cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerType;
    BYTE bReserved;
    DWORD dwLayerMask;
    DWORD dwVisibleMask;
    DWORD dwDamageMask;
} PIXELFORMATDESCRIPTOR;

#ifdef __cplusplus
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR is 40 bytes");
static_assert(sizeof(RECT) == 16, "RECT holds four 32-bit integers");
#endif

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((UINT_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) \
    ((LONG)(((WORD)(((UINT_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((UINT_PTR)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEA(i) ((LPSTR)((UINT_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((UINT_PTR)(r)) >> 16) == 0)

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_SYSCOMMAND 0x0112
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MOUSEWHEEL 0x020A

// WM_ACTIVATE states, size kinds and system commands.
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SC_CLOSE 0xF060
#define SC_KEYMENU 0xF100

// Window styles.
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_APPWINDOW 0x00040000u

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_OWNDC 0x0020

// SetWindowLongA indices.
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

// SetWindowPos flags and insert-after handles.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define HWND_TOP ((HWND)0)
#define HWND_TOPMOST ((HWND)(LONG_PTR)-1)
#define HWND_NOTOPMOST ((HWND)(LONG_PTR)-2)

// GetSystemMetrics indices.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

// PeekMessageA options.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define CW_USEDEFAULT ((int)0x80000000)

// MessageBoxA styles and results.
#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define IDOK 1

// GetDeviceCaps indices.
#define BITSPIXEL 12

// Pixel format flags.
#define PFD_DOUBLEBUFFER 0x00000001u
#define PFD_STEREO 0x00000002u
#define PFD_DRAW_TO_WINDOW 0x00000004u
#define PFD_DRAW_TO_BITMAP 0x00000008u
#define PFD_SUPPORT_GDI 0x00000010u
#define PFD_SUPPORT_OPENGL 0x00000020u
#define PFD_TYPE_RGBA 0
#define PFD_TYPE_COLORINDEX 1
#define PFD_MAIN_PLANE 0

// Stock icon and cursor.
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDI_WINLOGO MAKEINTRESOURCEA(32517)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// Mouse key-state flags (low word of WM_MOUSEWHEEL's wParam and of mouse wParams).
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
#define WHEEL_DELTA 120

// Virtual-key codes. Letters and digits are their ASCII capitals and digits.
#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#define VK_NUMPAD0 0x60
#define VK_NUMPAD1 0x61
#define VK_NUMPAD2 0x62
#define VK_NUMPAD3 0x63
#define VK_NUMPAD4 0x64
#define VK_NUMPAD5 0x65
#define VK_NUMPAD6 0x66
#define VK_NUMPAD7 0x67
#define VK_NUMPAD8 0x68
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
// The punctuation keys, named by the US symbol they carry.
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE
#define VK_OEM_8 0xDF
// The key beside the left Shift of 102-key (ISO) keyboards.
#define VK_OEM_102 0xE2

#ifdef __cplusplus
extern "C" {
#endif

// Classes, instance, icon and cursor.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);

// Windows.
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam);
BOOL WINAPI DestroyWindow(HWND hWnd);
BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI SetForegroundWindow(HWND hWnd);
HWND WINAPI SetFocus(HWND hWnd);
LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
int WINAPI GetSystemMetrics(int nIndex);
BOOL WINAPI SetCursorPos(int X, int Y);

// Message queue.
void WINAPI PostQuitMessage(int nExitCode);
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
void WINAPI Sleep(DWORD dwMilliseconds);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// Device contexts, pixel formats and WGL.
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
int WINAPI GetDeviceCaps(HDC hdc, int index);
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd);
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd);
HGLRC WINAPI wglCreateContext(HDC hdc);
BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc);
BOOL WINAPI wglDeleteContext(HGLRC hglrc);
BOOL WINAPI SwapBuffers(HDC hdc);

// The program's entry, called by main.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32

#endif  // KVR_PLATFORM_H
