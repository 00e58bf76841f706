#!/usr/bin/env python3
"""A private X display for Windows programs under Wine: an Xvfb server on a free display
number, and a stand-in for a window manager that only keeps the ICCCM state marks.

Without a window manager, Wine waits up to 2 s for a shown window's WM_STATE mark before
it hides the window ("wait_for_withdrawn_state ... timed out"), so each close of the
splash would cost 2 s that neither Windows nor a Linux desktop has. The stand-in marks
each top-level window that is mapped as shown (NormalState) and each that is unmapped as
withdrawn, as a window manager does. It decorates nothing and moves a window only when
asked to maximise it (_NET_WM_STATE): the window then fills the screen until it is asked
to restore it, as without that the display would keep showing the old frame's extent.

usage: x_session.py [--bare] [--screen WxHxD] -- COMMAND [ARGS...]
runs COMMAND with DISPLAY set to a display of its own, with the marks (--bare: without),
and exits with COMMAND's exit status. The display ends with COMMAND.

benchmarks/startup_benchmark.py imports Display, load_xlib and WindowStates from here.
"""
import argparse
import ctypes
import ctypes.util
import os
import select
import signal
import subprocess
import sys
import time

MAP_NOTIFY = 19
UNMAP_NOTIFY = 18
CLIENT_MESSAGE = 33
XA_ATOM = 4
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
NORMAL_STATE = 1
WITHDRAWN_STATE = 0
EVENT_SIZE = 192  # sizeof(XEvent) on 64-bit

_xlib = None


@ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
def _ignore_error(_display, _event):
    # A window may be gone before its mark is set (BadWindow); Xlib's default handler
    # would end the whole process for that.
    return 0


def load_xlib():
    """libX11 with the signatures used here; X errors are ignored, not fatal."""
    global _xlib
    if _xlib is not None:
        return _xlib
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                  ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_void_p, ctypes.c_int]
    x.XMoveResizeWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                    ctypes.c_uint, ctypes.c_uint]
    x.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
    x.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XSetErrorHandler.restype = ctypes.c_void_p
    x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
    x.XSetErrorHandler(ctypes.cast(_ignore_error, ctypes.c_void_p))
    _xlib = x
    return x


class WindowStates:
    """Keeps the WM_STATE marks of one display's top-level windows, as a window manager
    would. Either owns a connection (serve) or answers the events of a connection whose
    owner reads them itself (answer), with SubstructureNotify selected on its root."""

    def __init__(self, display_name=None, connection=None):
        self.x = load_xlib()
        self.own = connection is None
        self.display = self.x.XOpenDisplay(display_name.encode()) if self.own else connection
        if not self.display:
            raise RuntimeError("cannot open display %s" % display_name)
        self.wm_state = self.x.XInternAtom(self.display, b"WM_STATE", 0)
        self.net_wm_state = self.x.XInternAtom(self.display, b"_NET_WM_STATE", 0)
        self.maximized = [self.x.XInternAtom(self.display, name, 0)
                          for name in (b"_NET_WM_STATE_MAXIMIZED_VERT", b"_NET_WM_STATE_MAXIMIZED_HORZ")]
        self.restore = {}  # maximised window -> its geometry before
        if self.own:
            self.x.XSelectInput(self.display, self.x.XDefaultRootWindow(self.display),
                                SUBSTRUCTURE_NOTIFY_MASK)
            self.x.XFlush(self.display)
        self.event = ctypes.create_string_buffer(EVENT_SIZE)

    def answer(self, event):
        """Marks the window of a MapNotify or UnmapNotify event held in `event`."""
        # XMapEvent and XUnmapEvent: type, serial, send_event, display, event, window, then
        # override_redirect (map) or from_configure (unmap).
        kind = ctypes.c_int.from_buffer(event, 0).value
        if kind == CLIENT_MESSAGE:
            self.answer_state_request(event)
            return
        window = ctypes.c_ulong.from_buffer(event, 40).value
        if kind == MAP_NOTIFY and not ctypes.c_int.from_buffer(event, 48).value:
            self.mark(window, NORMAL_STATE)
        elif kind == UNMAP_NOTIFY:
            self.mark(window, WITHDRAWN_STATE)

    def answer_state_request(self, event):
        """Maximises or restores the window of a _NET_WM_STATE request held in `event`."""
        # XClientMessageEvent: type, serial, send_event, display, window, message_type,
        # format, then the data as longs: action (0 remove, 1 add, 2 toggle), two states.
        window = ctypes.c_ulong.from_buffer(event, 32).value
        if ctypes.c_ulong.from_buffer(event, 40).value != self.net_wm_state:
            return
        action, first, second = (ctypes.c_long.from_buffer(event, 56 + 8 * i).value for i in range(3))
        if first not in self.maximized and second not in self.maximized:
            return
        maximise = action == 1 or (action == 2 and window not in self.restore)
        if maximise and window not in self.restore:
            values = [ctypes.c_ulong(), ctypes.c_int(), ctypes.c_int(), ctypes.c_uint(), ctypes.c_uint(),
                      ctypes.c_uint(), ctypes.c_uint()]
            self.x.XGetGeometry(self.display, window, *[ctypes.byref(v) for v in values])
            self.restore[window] = [v.value for v in values[1:5]]
            self.x.XMoveResizeWindow(self.display, window, 0, 0, self.x.XDisplayWidth(self.display, 0),
                                     self.x.XDisplayHeight(self.display, 0))
            states = (ctypes.c_long * 2)(*self.maximized)
            self.x.XChangeProperty(self.display, window, self.net_wm_state, XA_ATOM, 32, 0, states, 2)
        elif not maximise and window in self.restore:
            self.x.XMoveResizeWindow(self.display, window, *self.restore.pop(window))
            self.x.XChangeProperty(self.display, window, self.net_wm_state, XA_ATOM, 32, 0, None, 0)
        self.x.XFlush(self.display)

    def mark(self, window, state):
        data = (ctypes.c_long * 2)(state, 0)  # no icon window
        self.x.XChangeProperty(self.display, window, self.wm_state, self.wm_state, 32, 0, data, 2)
        self.x.XFlush(self.display)

    def serve(self, timeout_s):
        """Answers the events that arrive within timeout_s (own connection only)."""
        fd = self.x.XConnectionNumber(self.display)
        if not self.x.XPending(self.display):
            select.select([fd], [], [], timeout_s)
        while self.x.XPending(self.display):
            self.x.XNextEvent(self.display, self.event)
            self.answer(self.event)

    def close(self):
        if self.own and self.display:
            self.x.XCloseDisplay(self.display)
            self.display = None


def _end_with_parent():
    # The server must not outlive a session that is killed outright (a test time-out).
    libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Display:
    """A private Xvfb server on the first free display number (no race with other servers
    starting at the same time: Xvfb itself takes the number and reports it)."""

    def __init__(self, screen="1280x1024x24"):
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_end_with_parent)
        os.close(write)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            if select.select([read], [], [], 1)[0]:
                chunk = os.read(read, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read)
        if not number.strip():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def close(self):
        if self.server.poll() is None:
            self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait(timeout=10)


def main():
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[2])
    parser.add_argument("--bare", action="store_true", help="no WM_STATE marks")
    parser.add_argument("--screen", default="1280x1024x24")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    def stop(signum, _frame):
        raise SystemExit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)
    display = Display(args.screen)
    states = child = None
    try:
        states = None if args.bare else WindowStates(display.name)
        child = subprocess.Popen(command, env=dict(os.environ, DISPLAY=display.name))
        while child.poll() is None:
            if states:
                states.serve(0.5)
            else:
                try:
                    child.wait(timeout=60)
                except subprocess.TimeoutExpired:
                    pass
        return child.returncode if child.returncode >= 0 else 128 - child.returncode
    finally:
        if child is not None and child.poll() is None:
            child.terminate()
            try:
                child.wait(timeout=30)
            except subprocess.TimeoutExpired:
                child.kill()
        if states:
            states.close()
        display.close()


if __name__ == "__main__":
    sys.exit(main())
