"""Drives the real panel the way a person does, and watches it from outside.

The program runs under Wine on an X display; input is real X input sent with
xdotool; the panel is read back by our own inspector (a Win32 console program
that only asks), by screenshots, and at the device end by the simulator's log.
Everything is found through the environment of the test's lane
(tests/support/in-lane): DISPLAY, WINEPREFIX (the simulator takes orders on
its COM12), KIVO_DEVICE_LOG, and KIVO_EXE, KIVO_INSPECTOR and KIVO_TASKBAR
from the build.
"""
import atexit
import json
import os
import re
import select
import subprocess
import tempfile
import termios
import time
import tty
import unittest

from PIL import ImageGrab

HERE = os.path.dirname(os.path.abspath(__file__))

# The panel's controls by name: class, and rectangle in the main window's
# client area. A control is known by where it stands, which checks the
# layout at the same time.
CONTROLS = {
    "NumberEdit": ("Edit", 75, 127, 100, 20),
    "FirstOperandEdit": ("Edit", 75, 197, 50, 20),
    "SecondOperandEdit": ("Edit", 175, 197, 50, 20),
    "CounterDisplay": ("Edit", 110, 70, 38, 17),
    "AutoCounterWholeDisplay": ("Edit", 262, 70, 21, 17),
    "AutoCounterTenthsDisplay": ("Edit", 291, 70, 12, 17),
    "SwitchButton": ("Button", 240, 45, 60, 18),
    "SendNumberButton": ("Button", 180, 128, 60, 18),
    "SendResultButton": ("Button", 200, 238, 80, 25),
    "CloseButton": ("Button", 305, 7, 15, 15),
    "MinimizeButton": ("Button", 288, 7, 15, 15),
    "AboutButton": ("Button", 165, 299, 25, 25),
    "OperationGroupBox": ("Button", 50, 225, 130, 60),
    "AddRadio": ("Button", 60, 255, 30, 20),
    "SubtractRadio": ("Button", 100, 255, 30, 20),
    "MultiplyRadio": ("Button", 140, 255, 30, 20),
    "EraseButton": ("Button", 110, 45, 50, 18),
    "SaveButton": ("Button", 50, 45, 50, 18),
    "ResetButton": ("Button", 170, 45, 50, 18),
}
PERMANENT = list(CONTROLS)[:16]
MAINTENANCE = ["SaveButton", "EraseButton", "ResetButton"]

# What lies behind the panel, so that its see-through pixels show as this.
BACKDROP_COLOUR = (0, 160, 80)
KEY_COLOUR = (255, 240, 0)


# Whether these tests run under a window manager (scripts/test runs some
# modules both ways); without one, keyboard focus follows the pointer.
MANAGED = bool(os.environ.get("KIVO_E2E_WINDOW_MANAGER"))


class HarnessError(RuntimeError):
    pass


def window_manager_running():
    return subprocess.run(["wmctrl", "-m"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def environment(device=True, prefix=True):
    """The variables the tests need; a clear error when one is missing.
    prefix: the test's panels run in the lane's prefix, not in another's."""
    needed = ["DISPLAY", "KIVO_INSPECTOR", "KIVO_TASKBAR"]
    needed += ["WINEPREFIX", "KIVO_EXE"] if prefix else []
    needed += ["KIVO_DEVICE_LOG"] if device else []
    missing = [name for name in needed if not os.environ.get(name)]
    if missing:
        raise HarnessError("not set: %s (run the end-to-end tests with ctest, which gives each a lane)"
                           % ", ".join(missing))
    for name in needed[1:]:
        if name != "KIVO_DEVICE_LOG" and not os.path.exists(os.environ[name]):
            raise HarnessError("%s does not exist: %s" % (name, os.environ[name]))
    if window_manager_running() != MANAGED:
        raise HarnessError("these tests expect %s window manager on %s" % ("a" if MANAGED else "no",
                                                                            os.environ["DISPLAY"]))
    return dict(os.environ)


def output_dir(*parts):
    path = os.path.join(os.environ.get("KIVO_E2E_OUT") or tempfile.gettempdir(), *parts)
    os.makedirs(path, exist_ok=True)
    return path


def wait_until(check, timeout, what, interval=0.1):
    """Polls check() until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# Wine as everything of ours runs it (scripts/lib/wine), in the prefix of the
# caller's WINEPREFIX.
WINE = [os.path.join(HERE, "..", "..", "scripts", "lib", "wine")]


def run_wine(arguments, env, timeout=30):
    """Runs a Windows program; its exit code, its output and what Wine said
    on stderr (where a program that fails before its main is explained)."""
    # Output goes through files, not pipes: a Wine service started on the
    # side would inherit a pipe and keep it open long after we are done.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as said:
        result = subprocess.run(WINE + arguments, stdout=out, stderr=said, env=env, timeout=timeout)
        out.seek(0)
        said.seek(0)
        return result.returncode, out.read().decode("latin-1"), said.read().decode("latin-1")


# ---------------------------------------------------------------- X input

def xdotool(*arguments):
    subprocess.run(["xdotool"] + [str(a) for a in arguments], check=True)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True, capture_output=True,
                         text=True).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"])


def x_viewable(title):
    """Whether an X window with exactly this title is mapped and viewable."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def move_to(x, y):
    # --sync waits for the pointer to arrive, and for a very long time when
    # it is there already.
    if pointer() != (x, y):
        xdotool("mousemove", "--sync", x, y)


def centre(box):
    """The middle of a rectangle as the inspector gives it."""
    return (box["left"] + box["right"]) // 2, (box["top"] + box["bottom"]) // 2


def click_at(x, y):
    move_to(x, y)
    xdotool("click", "1")


def press_keys(*keys):
    for key in keys:
        xdotool("key", key)
        time.sleep(0.08)


def type_text(text):
    xdotool("type", "--delay", "60", "--", text)


def drag(start, moves, step_pause=0.05):
    """Presses the left button at start, moves through each point, releases."""
    move_to(*start)
    xdotool("mousedown", "1")
    time.sleep(0.1)
    for point in moves:
        move_to(*point)
        time.sleep(step_pause)
    time.sleep(0.1)
    xdotool("mouseup", "1")
    time.sleep(0.2)


# ---------------------------------------------------------------- screen

def screenshot(name=None):
    """The whole display as an RGB image; kept under the output folder by name."""
    image = ImageGrab.grab(xdisplay=os.environ["DISPLAY"])
    image.save(os.path.join(output_dir("screenshots"), (name or "last") + ".png"))
    return image


def near(pixel, colour, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def count_pixels(image, box, predicate, exclude=None):
    """How many pixels of box, less those of the box exclude, satisfy predicate."""
    left, top, right, bottom = box
    pixels = image.load()
    count = 0
    for y in range(top, bottom):
        for x in range(left, right):
            if exclude and exclude[0] <= x < exclude[2] and exclude[1] <= y < exclude[3]:
                continue
            count += 1 if predicate(pixels[x, y]) else 0
    return count


def region_difference(first, second, box, offset=(0, 0)):
    """Share of the pixels of box in first that differ by more than a small
    tolerance from second at box moved by offset."""
    left, top, right, bottom = box
    a, b = first.load(), second.load()
    dx, dy = offset
    differing = 0
    for y in range(top, bottom):
        for x in range(left, right):
            if not near(a[x, y], b[x + dx, y + dy], 40):
                differing += 1
    return differing / float((right - left) * (bottom - top))


def repainted(before, box, name, offset=(0, 0), timeout=5):
    """The share of box that still differs from before (at box moved by
    offset) once the screen has caught up: screenshots until it matches, as a
    loaded machine repaints late, or until timeout, which a panel that does
    not repaint never passes."""
    deadline = time.monotonic() + timeout
    while True:
        difference = region_difference(before, screenshot(name), box, offset)
        if difference < 0.01 or time.monotonic() > deadline:
            return difference
        time.sleep(0.2)


class Backdrop:
    """A window of BACKDROP_COLOUR beneath everything; records the presses it gets."""

    def __init__(self, x=0, y=0, width=700, height=600, colour=BACKDROP_COLOUR, env=None, above=False):
        hex_colour = "%02x%02x%02x" % colour
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "backdrop.py"),
                                         str(x), str(y), str(width), str(height), hex_colour]
                                        + (["above"] if above else []),
                                        stdin=subprocess.PIPE, stdout=self.log, env=env)
        wait_until(lambda: b"mapped" in self._read(), 10, "the backdrop window")

    def _read(self):
        self.log.seek(0)
        return self.log.read()

    def presses(self):
        found = []
        for line in self._read().decode().splitlines():
            if line.startswith("press "):
                found.append(tuple(int(v) for v in line.split()[1:3]))
        return found

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


# ---------------------------------------------------------------- device

class Device:
    """The simulator: orders through its control port, traffic from its log."""

    def __init__(self, prefix, log_path):
        self.control_path = os.path.join(prefix, "dosdevices", "com12")
        self.log_path = log_path
        self.fd = os.open(self.control_path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd, termios.TCSANOW)

    def close(self):
        os.close(self.fd)

    def command(self, line, timeout=5):
        os.write(self.fd, (line + "\n").encode())
        answer = b""
        deadline = time.monotonic() + timeout
        while not answer.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise AssertionError("the simulator did not answer %r (got %r)" % (line, answer))
            answer += os.read(self.fd, 256)
        if answer.strip() != b"ok":
            raise AssertionError("the simulator answered %r to %r" % (answer, line))

    def mark(self):
        """A point in the log; events() after it are the newer ones."""
        self.command("sync")
        try:
            return os.path.getsize(self.log_path)
        except FileNotFoundError:
            return 0

    def events(self, since, kinds=("message", "empty", "answer")):
        self.command("sync")
        with open(self.log_path, "rb") as log:
            log.seek(since)
            lines = log.read().decode("utf-8", "replace").splitlines()
        found = []
        for line in lines:
            if not line.strip():
                continue
            event = json.loads(line)
            if event.get("event") in kinds:
                found.append(event)
        return found

    def transfers(self, since):
        """Every opening of the port by the panel: the bytes written, b"" when none
        (a read, or a write of no bytes)."""
        return [bytes.fromhex(e.get("hex", "")) for e in self.events(since, ("message", "empty"))]

    def messages(self, since):
        """The bytes the panel wrote, message by message."""
        return [bytes.fromhex(e["hex"]) for e in self.events(since, ("message",))]

    def answers(self, since):
        return [e["value"] for e in self.events(since, ("answer",))]

    def wait_messages(self, since, count, timeout=10):
        wait_until(lambda: len(self.messages(since)) >= count, timeout, "%d message(s) at the device" % count)
        return self.messages(since)

    def reset(self, counter=None, auto_counter=None):
        self.command("attach")
        self.command("reset")
        if counter is not None:
            self.command("readings %d %d" % (counter, auto_counter))


# ---------------------------------------------------------------- panel

# One inspector a prefix, kept for the test's process; a new one where the
# last ended with its prefix's Wine server.
inspectors = {}


def inspector_for(env):
    key = (env["WINEPREFIX"], env["KIVO_INSPECTOR"])
    inspector = inspectors.get(key)
    if inspector is None or inspector.poll() is not None:
        if inspector is not None:
            close_inspector(inspector)
        # What Wine says goes to a file: a Wine service started on the side
        # would inherit a pipe and hold it.
        said = tempfile.TemporaryFile()
        inspector = subprocess.Popen(WINE + [env["KIVO_INSPECTOR"]], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=said, env=env)
        inspector.said = said
        inspectors[key] = inspector
    return inspector


def look(inspector, point):
    """The inspector's answer to one look; b"" if it ended, None after 30 s."""
    try:
        inspector.stdin.write(b"%d %d\n" % point if point else b"\n")
        inspector.stdin.flush()
    except BrokenPipeError:
        return b""
    deadline = time.monotonic() + 30
    # Not by the pipe's end: a Wine service started on the side may hold it.
    while not select.select([inspector.stdout], [], [], 0.1)[0]:
        if inspector.poll() is not None:
            return b""
        if time.monotonic() > deadline:
            return None
    return inspector.stdout.readline()


def inspect(env, point=None):
    started = time.monotonic()
    for _ in range(2):
        inspector = inspector_for(env)
        out = look(inspector, point)
        # One that ended went with its prefix's Wine server: a new one looks.
        if out != b"":
            break
        inspector.wait()
    if os.environ.get("KIVO_E2E_TRACE"):
        print("%.1f inspect %.3f s %s" % (started % 1000, time.monotonic() - started, (out or b"")[-20:].strip()), flush=True)
    if not out:
        inspector.kill()
        inspector.wait()
        inspector.said.seek(0)
        said = inspector.said.read().decode("latin-1")
        raise AssertionError("the inspector gave no answer (code %s); Wine said: %s" % (inspector.returncode, said[-2000:].strip()))
    return json.loads(out)


def close_inspector(inspector):
    inspector.kill()
    inspector.wait()
    for stream in (inspector.stdin, inspector.stdout, inspector.said):
        stream.close()


atexit.register(lambda: [close_inspector(inspector) for inspector in inspectors.values()])


def name_of(control):
    rect = control["rect"]
    place = (rect["left"], rect["top"], rect["right"] - rect["left"], rect["bottom"] - rect["top"])
    for name, (class_name, *expected) in CONTROLS.items():
        if tuple(expected) == place and control["class"].lower() == class_name.lower():
            return name
    return None


class Panel:
    """One run of the program."""

    def __init__(self, env, name="panel", minimised=False):
        self.env = env
        self.name = name
        if inspect(env)["panels"]:
            raise AssertionError("a panel is already open: another run was left behind")
        self.out = open(os.path.join(output_dir(), name + ".out"), "wb")
        command = WINE + [env["KIVO_EXE"]]
        if minimised:
            # start.exe hands the program a minimising show command and
            # waits for it, passing its exit code on.
            command = WINE + ["start", "/wait", "/min", "/unix", env["KIVO_EXE"]]
        self.process = subprocess.Popen(command, stdout=self.out, stderr=subprocess.STDOUT, env=env)
        self.state = wait_until(self._shown, 30, "the panel's window")

    def _shown(self):
        state = self.inspect(settle=False)
        if self.process and self.process.poll() is not None:
            raise AssertionError("the program ended at start with code %d" % self.process.returncode)
        panels = [p for p in state["panels"] if p["visible"]]
        if len(panels) > 1:
            raise AssertionError("more than one panel is open: another run was left behind")
        if not panels or len(panels[0]["controls"]) < 16:
            return None
        panel = panels[0]
        if panel["iconic"]:
            return state
        # A click reaches what lies beneath until X maps the window, and under
        # Wine 10 also until each control is drawn: the window's shape follows
        # its colour key, and a control not yet drawn is no part of it.
        if not (panel["text"] and x_viewable(panel["text"])):
            return None
        screen = screenshot("shown")
        if any(near(screen.getpixel(centre(c["screen"])), BACKDROP_COLOUR) for c in panel["controls"]):
            return None
        return state

    def inspect(self, point=None, settle=True):
        """What the inspector sees. A busy panel (a transfer, the switch-on wait,
        or Wine's wait for a closed box's window, which lasts up to two seconds
        without a window manager) answers no questions; settle waits for it,
        otherwise the window layout comes back with unknown texts."""
        deadline = time.monotonic() + 15
        while True:
            self.state = inspect(self.env, point)
            if not settle or self.state["complete"] or time.monotonic() > deadline:
                return self.state

    # What the inspector saw, by name.
    def window(self, state=None):
        state = state or self.inspect()
        panels = state["panels"]
        if len(panels) != 1:
            raise AssertionError("expected one panel, found %d" % len(panels))
        return panels[0]

    def controls(self, state=None):
        window = self.window(state)
        named = {}
        for control in window["controls"]:
            name = name_of(control)
            if name is None:
                raise AssertionError("a control stands where none belongs: %r" % control)
            if name in named:
                raise AssertionError("two controls stand at the place of %s" % name)
            named[name] = control
        return named

    def control(self, name):
        controls = self.controls()
        if name not in controls:
            raise AssertionError("%s is not on the panel" % name)
        return controls[name]

    def texts(self, *names):
        controls = self.controls()
        return tuple(controls[name]["text"] for name in names)

    def origin(self):
        rect = self.window()["rect"]
        return rect["left"], rect["top"]

    def screen_point(self, x, y):
        """A point of the client area on the screen."""
        left, top = self.origin()
        return left + x, top + y

    # Input.
    def click(self, name):
        click_at(*centre(self.control(name)["screen"]))
        time.sleep(0.15)

    def replace_text(self, name, text):
        """Clicks into a field, empties it with real keys and types text."""
        self.click(name)
        current = self.control(name)["text"] or ""
        press_keys("End")
        if current:
            xdotool("key", "--delay", "40", *(["BackSpace"] * len(current)))
        if text:
            type_text(text)
        time.sleep(0.1)

    # Boxes.
    def boxes(self):
        return self.inspect()["boxes"]

    def wait_box(self, timeout=10):
        def one_box():
            boxes = self.boxes()
            if len(boxes) > 1:
                raise AssertionError("more than one box is open: %r" % [b["text"] for b in boxes])
            return boxes[0] if boxes and boxes[0]["controls"] else None
        return wait_until(one_box, timeout, "a box of the panel")

    def wait_no_box(self, timeout=5):
        wait_until(lambda: not self.inspect(settle=False)["boxes"], timeout, "the box to close")

    @staticmethod
    def box_message(box):
        """The text of a message box: its static item 0xFFFF."""
        for control in box["controls"]:
            if control["class"].lower() == "static" and control["id"] in (0xFFFF, -1):
                return control["text"]
        return None

    @staticmethod
    def box_buttons(box):
        return [c for c in box["controls"] if c["class"].lower() == "button"]

    def answer(self, box, button_text):
        """Answers a box with real keys: Tab to the button, then Enter."""
        rect = box["rect"]
        # Keys go where the pointer is; put it on the box.
        move_to((rect["left"] + rect["right"]) // 2, rect["bottom"] - 8)
        time.sleep(0.1)
        for _ in range(4):
            focused = [b for b in self.box_buttons(self._current(box)) if b["focused"]]
            if focused and focused[0]["text"].replace("&", "") == button_text:
                break
            press_keys("Tab")
        else:
            raise AssertionError("could not move the focus to %r" % button_text)
        press_keys("Return")

    def press_on_box(self, box, key):
        rect = box["rect"]
        move_to((rect["left"] + rect["right"]) // 2, rect["bottom"] - 8)
        time.sleep(0.1)
        press_keys(key)

    def _current(self, box):
        for candidate in self.boxes():
            if candidate["hwnd"] == box["hwnd"]:
                return candidate
        raise AssertionError("the box has gone")

    def restore(self):
        """Restores the minimised panel as a press on its taskbar button would:
        through the window manager where one runs, else through our stand-in."""
        if MANAGED:
            subprocess.run(["wmctrl", "-a", self.window()["text"]], check=True)
        else:
            code, out, _ = run_wine([self.env["KIVO_TASKBAR"]], self.env)
            if code != 0:
                raise AssertionError("could not restore the panel: %s" % out)
        return wait_until(lambda: not self.window()["iconic"], 5, "the panel to be restored")

    def x_state(self):
        """The window manager's state of the panel's X window: Normal, Iconic or Withdrawn."""
        out = subprocess.run(["xprop", "-name", self.window()["text"], "WM_STATE"], capture_output=True,
                             text=True).stdout
        for line in out.splitlines():
            if "window state:" in line:
                return line.split(":", 1)[1].strip()
        return None

    # The end.
    def exit_code(self, timeout=10):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.out:
            self.out.close()
        # The window goes with the process, but Wine takes a moment.
        wait_until(lambda: not inspect(self.env)["panels"], 10, "the panel to go")


class AttachedPanel(Panel):
    """The panel of a program that another started (the kivo command),
    watched and driven as one of ours; process, if given, is that program."""

    def __init__(self, env, name, process=None):
        self.env, self.name, self.process, self.out = env, name, process, None
        self.state = wait_until(self._shown, 30, "the panel's window")


# ---------------------------------------------------------------- test base

class PanelTestCase(unittest.TestCase):
    """One panel for the whole class, on a backdrop, with the simulator reset."""

    uses_device = True
    counter, auto_counter = 42, 123

    @classmethod
    def setUpClass(cls):
        cls.env = environment(cls.uses_device)
        cls.device = None
        cls.backdrop = Backdrop(env=cls.env)
        try:
            if cls.uses_device:
                cls.device = Device(cls.env["WINEPREFIX"], cls.env["KIVO_DEVICE_LOG"])
                cls.device.reset(cls.counter, cls.auto_counter)
            cls.panel = Panel(cls.env, cls.__name__)
        except BaseException:
            cls._clean_up()
            raise

    @classmethod
    def tearDownClass(cls):
        cls._clean_up()

    @classmethod
    def _clean_up(cls):
        panel = getattr(cls, "panel", None)
        if panel:
            panel.stop()
            cls.panel = None
        if cls.device:
            cls.device.reset()
            cls.device.close()
        cls.backdrop.close()

    def run(self, result=None):
        """Runs one test; after one that failed, the next starts from a known
        state rather than from whatever it left (a question open, the
        connection on): a new panel, the device reset."""
        if result is None:
            return super().run(result)
        failed_before = len(result.failures) + len(result.errors)
        super().run(result)
        if len(result.failures) + len(result.errors) > failed_before and getattr(type(self), "panel", None):
            cls = type(self)
            cls.panel.stop()
            if cls.device:
                cls.device.reset(cls.counter, cls.auto_counter)
            cls.panel = Panel(cls.env, "%s-after-%s" % (cls.__name__, self._testMethodName))
        return result

    def new_panel(self, name, minimised=False):
        """Ends the class's panel and starts another."""
        self.panel.stop()
        type(self).panel = Panel(self.env, name, minimised)
        return self.panel
