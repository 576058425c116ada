"""A plain X window of one known colour to put behind the panel.

The bare X root always reads black, so the panel's see-through margin only
shows as something when a window of a known colour lies beneath it. The
backdrop also reports every button press it receives on stdout ("press X Y"),
which is how a test sees that a click on the margin went through the panel.

Run as a program: backdrop.py X Y WIDTH HEIGHT RRGGBB [above]
With "above" the window stays on top instead: a cover to lay over another.
The window is override-redirect, so that a window manager, where one runs,
neither moves nor decorates it.
"""
import ctypes
import ctypes.util
import select
import sys

ButtonPress = 4
ButtonPressMask = 1 << 2
StructureNotifyMask = 1 << 17
MapNotify = 19
CWOverrideRedirect = 1 << 9


class XButtonEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong),
        ("root", ctypes.c_ulong),
        ("subwindow", ctypes.c_ulong),
        ("time", ctypes.c_ulong),
        ("x", ctypes.c_int),
        ("y", ctypes.c_int),
        ("x_root", ctypes.c_int),
        ("y_root", ctypes.c_int),
        ("state", ctypes.c_uint),
        ("button", ctypes.c_uint),
        ("same_screen", ctypes.c_int),
    ]


class XSetWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("background_pixmap", ctypes.c_ulong),
        ("background_pixel", ctypes.c_ulong),
        ("border_pixmap", ctypes.c_ulong),
        ("border_pixel", ctypes.c_ulong),
        ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int),
        ("event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int),
        ("colormap", ctypes.c_ulong),
        ("cursor", ctypes.c_ulong),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xbutton", XButtonEvent), ("pad", ctypes.c_long * 24)]


def main():
    x, y, width, height = (int(v) for v in sys.argv[1:5])
    colour = int(sys.argv[5], 16)
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XCreateSimpleWindow.restype = ctypes.c_ulong
    xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                         ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                         ctypes.c_ulong]
    xlib.XChangeWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                             ctypes.POINTER(XSetWindowAttributes)]
    for name in ("XChangeWindowAttributes", "XSelectInput", "XMapWindow", "XLowerWindow", "XFlush", "XPending", "XNextEvent",
                 "XConnectionNumber", "XStoreName"):
        getattr(xlib, name).restype = ctypes.c_int
    xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    xlib.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xlib.XLowerWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xlib.XStoreName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_char_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XPending.argtypes = [ctypes.c_void_p]
    xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    xlib.XConnectionNumber.argtypes = [ctypes.c_void_p]

    display = xlib.XOpenDisplay(None)
    if not display:
        print("error: cannot open the X display", flush=True)
        return 1
    window = xlib.XCreateSimpleWindow(display, xlib.XDefaultRootWindow(display), x, y, width, height,
                                      0, 0, colour)
    xlib.XStoreName(display, window, b"kivo-backdrop")
    attributes = XSetWindowAttributes(override_redirect=1)
    xlib.XChangeWindowAttributes(display, window, CWOverrideRedirect, ctypes.byref(attributes))
    xlib.XSelectInput(display, window, ButtonPressMask | StructureNotifyMask)
    xlib.XMapWindow(display, window)
    if sys.argv[6:] != ["above"]:
        # Beneath everything, whatever was mapped before it.
        xlib.XLowerWindow(display, window)
    xlib.XFlush(display)

    event = XEvent()
    connection = xlib.XConnectionNumber(display)
    while True:
        while xlib.XPending(display):
            xlib.XNextEvent(display, ctypes.byref(event))
            if event.type == MapNotify:
                print("mapped", flush=True)
            elif event.type == ButtonPress:
                print("press %d %d" % (event.xbutton.x_root, event.xbutton.y_root), flush=True)
        readable, _, _ = select.select([connection, sys.stdin], [], [], 1.0)
        if sys.stdin in readable and not sys.stdin.readline():
            return 0


if __name__ == "__main__":
    sys.exit(main())
