"""The kivo command as a user meets it, run from the sources with a home
folder of its own: its refusals (nothing mapped, the adapter missing, not a
port, held, forbidden; a second panel), the adapter remembered in the prefix,
errors in a dialog box from the menu, and, on the display that scripts/test
starts, the panel opened with the simulator or an adapter and everything
stopped by Ctrl-C or by closing it; a silent device, an unplug, a failed send."""
import fcntl
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import errno
import tempfile
import time
import unittest

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402  (found through the path set just above)
from test_connection import seconds  # noqa: E402

KIVO = os.path.join(SOURCE, "scripts", "kivo")


def environment(home, **more):
    # The Wine of a Debian root (scripts/test's second run) comes through PATH.
    env = {"PATH": os.environ["PATH"], "HOME": home}
    env.update(more)
    return env


def new_home(test, owner=None):
    home = tempfile.mkdtemp(prefix="kivo-home-")
    test.addCleanup(shutil.rmtree, home, True)
    if owner is not None:
        os.chown(home, owner.pw_uid, owner.pw_gid)
    return home


def reachable_copy(test):
    """The kivo command and its pieces copied where any user may run them: the
    sources may be where another user cannot go (under /root, a private home)."""
    folder = tempfile.mkdtemp(prefix="kivo-command-")
    test.addCleanup(shutil.rmtree, folder, True)
    os.chmod(folder, 0o755)
    shutil.copytree(os.path.join(SOURCE, "scripts", "lib"), os.path.join(folder, "lib"))
    shutil.copy2(KIVO, folder)
    return os.path.join(folder, "kivo")


def open_pty(test):
    """A pty whose master we hold, as an adapter nobody else has open: its slave's path."""
    master, slave = os.openpty()
    path = os.ttyname(slave)
    os.close(slave)
    test.addCleanup(os.close, master)
    return path


def processes_of(name, value):
    """PIDs of live processes whose environment has name=value."""
    wanted = ("%s=%s" % (name, value)).encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(int(pid))
        except OSError:
            pass
    return found


def session_gone(home):
    """Nothing of kivo's left under HOME: no process, and the panel's lock
    free, as a process past its environment may still hold it for a moment."""
    if processes_of("HOME", home):
        return False
    try:
        with open(os.path.join(home, ".local", "share", "kivo", "lock"), "rb") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except FileNotFoundError:
        pass
    except BlockingIOError:
        return False
    return True


def controlling_terminal(pid):
    """The device number of a process's controlling terminal, 0 for none."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return int(f.read().rsplit(")", 1)[1].split()[4])
    except OSError:
        return 0


def wire_until(master, end):
    """Reads an adapter's far end until what came ends with end. EIO: the
    port is closed between transfers, and nothing waits."""
    os.set_blocking(master, False)
    wire = [b""]
    for _ in range(200):
        try:
            wire.append(os.read(master, 64))
        except OSError as error:
            assert error.errno in (errno.EAGAIN, errno.EIO), error
        if b"".join(wire).endswith(end):
            return
        time.sleep(0.05)
    raise AssertionError("%r never came, only %r" % (end, b"".join(wire)))


def fixed_addresses_possible():
    return subprocess.run(["setarch", "-R", "true"], stderr=subprocess.DEVNULL).returncode == 0


def windows_programs_with_random_addresses(pids):
    """Those of pids that are Windows programs run with address randomisation on."""
    found = []
    for pid in pids:
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                windows = b".exe" in f.read().lower()
            with open("/proc/%d/personality" % pid) as f:
                fixed = int(f.read(), 16) & 0x0040000   # ADDR_NO_RANDOMIZE
        except OSError:
            continue
        if windows and not fixed:
            found.append(pid)
    return found


class Refusals(unittest.TestCase):
    """Each refusal is one line on stderr, exit status 1, and nothing made or left running."""

    def setUp(self):
        self.home = new_home(self)
        self.prefix = os.path.join(self.home, ".local", "share", "kivo", "prefix")

    def kivo(self, *args, env=None, user=None):
        command, folder = [KIVO] + list(args), None
        if user:
            kivo = reachable_copy(self)
            command = ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups",
                       kivo] + list(args)
            folder = os.path.dirname(kivo)
        return subprocess.run(command, capture_output=True, text=True, timeout=60,
                              env=env or environment(self.home), cwd=folder)

    def assertRefused(self, result, pattern, home=None):
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(result.stdout, "")
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertRegex(lines[0], "^kivo: error: " + pattern)
        self.assertEqual(processes_of("HOME", home or self.home), [], "a refusal leaves nothing running")

    def test_unmapped_com11_says_how_and_starts_nothing(self):
        self.assertRefused(self.kivo(), r"COM11 is not mapped to a serial adapter yet: start 'kivo --device "
                                        r"/dev/ttyUSB0' once .*, or try 'kivo --simulator'$")
        self.assertFalse(os.path.exists(self.prefix), "no prefix for a refusal")

    def test_adapter_checks(self):
        pty = open_pty(self)
        with self.subTest("missing"):
            self.assertRefused(self.kivo("--device", "/dev/ttyKIVOGONE"),
                               r"the device /dev/ttyKIVOGONE does not exist: is the adapter plugged in\?")
        with self.subTest("not a serial port"):
            self.assertRefused(self.kivo("--device", "/dev/null"), r"/dev/null is not a serial port")
        with self.subTest("held by another process"):
            with open(pty, "r+b", buffering=0) as port:
                holder = subprocess.Popen(["sleep", "60"], stdin=port)
            try:
                self.assertRefused(self.kivo("--device", pty),
                                   r"the device %s is held by sleep \(PID %d\): close it and try again$"
                                   % (re.escape(pty), holder.pid))
            finally:
                holder.kill()
                holder.wait()
        with self.subTest("no permission"):
            if os.geteuid() == 0:
                # Root may do anything: ask as nobody, of a port of group dialout.
                user, group = pwd.getpwnam("nobody"), "dialout"
                shutil.chown(pty, "root", group)
                os.chmod(pty, 0o660)
                home = new_home(self, user)
                result = self.kivo("--device", pty, env=environment(home), user=user)
            else:
                # Our own pty with our own access taken away; its group keeps its.
                user, home = pwd.getpwuid(os.getuid()), self.home
                os.chmod(pty, 0o060)
                group = subprocess.run(["stat", "-c", "%G", pty], capture_output=True, text=True).stdout.strip()
                if group in subprocess.run(["id", "-Gn"], capture_output=True, text=True).stdout.split():
                    self.skipTest("we are in the pty's group %s" % group)
                result = self.kivo("--device", pty)
            self.assertRefused(result, r"no permission to use %s: join its group %s \('sudo adduser %s %s'\), "
                                       r"then log out and in again$" % (re.escape(pty), group, user.pw_name, group),
                               home)
        self.assertFalse(os.path.exists(self.prefix), "no prefix for a refusal")

    def test_remembered_adapter_and_one_cut_short_by_the_simulator(self):
        dosdevices = os.path.join(self.prefix, "dosdevices")
        os.makedirs(dosdevices)
        com11 = os.path.join(dosdevices, "com11")
        # Mapped before; the adapter has been unplugged since.
        os.symlink("/dev/ttyKIVOUNPLUGGED", com11)
        self.assertRefused(self.kivo(), r"the device /dev/ttyKIVOUNPLUGGED does not exist")
        self.assertEqual(os.readlink(com11), "/dev/ttyKIVOUNPLUGGED")

        # A simulated session killed before it could tidy up: its link is
        # still there, and the adapter it set aside comes back.
        os.remove(com11)
        os.symlink("/dev/pts/999", com11)
        with open(os.path.join(self.prefix, ".kivo-com11-displaced"), "w") as saved:
            saved.write("/dev/ttyKIVOUNPLUGGED\n")
        self.assertRefused(self.kivo(), r"the device /dev/ttyKIVOUNPLUGGED does not exist")
        self.assertEqual(os.readlink(com11), "/dev/ttyKIVOUNPLUGGED")
        self.assertFalse(os.path.exists(os.path.join(self.prefix, ".kivo-com11-displaced")))

        # The same with nothing mapped before it: nothing is mapped after.
        os.remove(com11)
        os.symlink("/dev/pts/999", com11)
        with open(os.path.join(self.prefix, ".kivo-com11-displaced"), "w") as saved:
            saved.write("\n")
        self.assertRefused(self.kivo(), r"COM11 is not mapped")
        self.assertFalse(os.path.lexists(com11))

    def test_one_panel_at_a_time(self):
        lock = os.path.join(self.home, ".local", "share", "kivo", "lock")
        os.makedirs(os.path.dirname(lock))
        # We hold the lock as a running kivo would.
        with open(lock, "a") as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            self.assertRefused(self.kivo("--simulator"),
                               r"the panel is already open, by python3[.0-9]* \(PID %d\): close it first$" % os.getpid())

    def test_wrong_options_are_refused_with_2_in_one_line(self):
        for args, pattern in ((["--simulator", "--monitor"], r"--monitor watches a real device"),
                              (["--simulator", "--counter", "300"], r"--counter takes a whole number from 0 to 255"),
                              (["--device", "/dev/ttyKIVOGONE", "--log", "wire.jsonl"], r"--log FILE is the monitor's log")):
            with self.subTest(args):
                result = self.kivo(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertRegex(result.stderr, "^kivo: error: " + pattern)
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertFalse(os.path.exists(self.prefix), "no prefix for a refusal")

    def test_errors_in_a_dialog_box_from_the_menu(self):
        bin_dir = tempfile.mkdtemp(prefix="kivo-bin-")
        self.addCleanup(shutil.rmtree, bin_dir, True)
        said = os.path.join(bin_dir, "said")
        with open(os.path.join(bin_dir, "zenity"), "w") as fake:
            fake.write('#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' % said)
        os.chmod(os.path.join(bin_dir, "zenity"), 0o755)
        env = environment(self.home, PATH=bin_dir + ":/usr/bin:/bin", DISPLAY=":99")

        self.assertRefused(self.kivo(env=env), "COM11 is not mapped")
        self.assertFalse(os.path.exists(said), "no box from a terminal")
        self.assertRefused(self.kivo("--dialogs", env=env), "COM11 is not mapped")
        with open(said) as f:
            arguments = f.read().splitlines()
        self.assertEqual(arguments[:3], ["--error", "--title=Kivo", "--no-markup"])
        self.assertRegex(arguments[3], r"^--text=COM11 is not mapped .*'kivo --simulator'$")


class Stopping(unittest.TestCase):
    def test_what_wine_leaves_running_is_ended_and_named(self):
        """A Wine process of the prefix that outlives its server is ended at the
        session's end, and said; one that ends by itself moments later (a Wine
        process that found no server) is not."""
        home = new_home(self)
        fake_wine = os.path.join(home, "wine-leftover")
        shutil.copy("/bin/sleep", fake_wine)
        script = ('. "$1/session.sh"; kivo_session_begin kivo "$2/run"; export WINEPREFIX=$2/prefix; '
                  'kivo_start_server; "$3" 0.5 & "$3" 300 & echo $!; kivo_session_end')
        result = subprocess.run(["bash", "-c", script, "bash", os.path.join(SOURCE, "scripts", "lib"), home, fake_wine],
                                capture_output=True, text=True, timeout=30)
        leftover = int(result.stdout)
        self.assertEqual(result.stderr, "kivo: ended %s 300 (PID %d), left running by Wine\n" % (fake_wine, leftover))
        self.assertEqual(processes_of("WINEPREFIX", os.path.join(home, "prefix")), [])


class KivoPanel(harness.Panel):
    """The panel that a kivo command opened, watched with the e2e harness."""

    def __init__(self, env, process):
        self.env, self.name, self.process, self.out = env, "kivo", process, None
        self.state = harness.wait_until(self._shown, 30, "the panel's window")


@unittest.skipUnless(os.environ.get("DISPLAY") and os.environ.get("KIVO_INSPECTOR"),
                     "needs the display and the inspector that scripts/test provides")
class Panel(unittest.TestCase):
    """The panels kivo opens, each test alone: in a home whose prefix the
    launcher's own steps made once for them all, with the adapter remembered
    there as --device leaves it; first use in a home of its own."""

    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="kivo-home-")
        cls.prefix = os.path.join(cls.home, ".local", "share", "kivo", "prefix")
        cls.com11 = os.path.join(cls.prefix, "dosdevices", "com11")
        master, slave = os.openpty()
        cls.adapter, cls.adapter_master = os.ttyname(slave), master
        os.close(slave)
        cls.env = environment(cls.home, DISPLAY=os.environ["DISPLAY"])
        # An X server left without clients resets itself and turns new ones
        # away meanwhile; between two panels there might be none.
        cls.x_client = subprocess.Popen(["xprop", "-root", "-spy"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        subprocess.run(["bash", "-c", '. "$1/session.sh"; kivo_session_begin kivo "$2"; kivo_open_prefix "$3"', "bash",
                        os.path.join(SOURCE, "scripts", "lib"), os.path.join(cls.home, "state"), cls.prefix],
                       env=cls.env, check=True, stdout=subprocess.DEVNULL, timeout=120)

    @classmethod
    def tearDownClass(cls):
        for pid in processes_of("HOME", cls.home):
            os.kill(pid, signal.SIGKILL)
        os.close(cls.adapter_master)
        shutil.rmtree(cls.home, ignore_errors=True)
        cls.x_client.kill()
        cls.x_client.wait()

    def setUp(self):
        if os.path.lexists(self.com11):
            os.remove(self.com11)
        os.symlink(self.adapter, self.com11)

    def start(self, *args, home=None, script=False):
        """kivo in a session of its own, as a terminal runs it, or as the
        background job of a script run so; returns it with its panel, once
        the panel shows."""
        home = home or self.home
        self.output = tempfile.TemporaryFile()
        command = [KIVO] + list(args)
        if script:
            # The job starts with SIGINT ignored, as a script's background job does.
            command = ["sh", "-c", '"$@" & wait $!', "sh"] + command
        # A test run in the background would pass on an ignored Ctrl-C; from
        # a terminal kivo gets the default.
        process = subprocess.Popen(command, env=dict(self.env, HOME=home), stdout=self.output,
                                   stderr=subprocess.STDOUT, start_new_session=True,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        self.addCleanup(self.output.close)
        # A test that failed half way must not leave the next one a panel already open.
        self.addCleanup(lambda: process.poll() is None and (os.killpg(process.pid, signal.SIGKILL), process.wait(30)))
        # The inspector may look only once the prefix is made: kivo says so.
        harness.wait_until(lambda: "COM11 is" in self.said() or process.poll() is not None, 60,
                           "kivo to map COM11")
        self.assertIsNone(process.poll(), self.said())
        prefix = os.path.join(home, ".local", "share", "kivo", "prefix")
        return process, KivoPanel(dict(os.environ, WINEPREFIX=prefix), process)

    def said(self):
        self.output.seek(0)
        return self.output.read().decode("utf-8", "replace")

    def assertStopped(self, process, code, home=None):
        """kivo ended with CODE, and all it started with it; None: the
        script that started it was interrupted too."""
        try:
            self.assertEqual(process.wait(30), -signal.SIGINT if code is None else code, self.said())
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            self.fail("kivo did not end")
        harness.wait_until(lambda: session_gone(home or self.home), 30, "everything kivo started to stop")
        self.assertNotIn("left running", self.said(), "Wine left nothing to end")

    def test_first_use_with_the_simulator_then_ctrl_c(self):
        home = new_home(self)
        prefix = os.path.join(home, ".local", "share", "kivo", "prefix")
        process, panel = self.start("--simulator", "--counter", "7", home=home)
        self.assertIn("kivo: preparing Wine for first use, about 10 s\n", self.said())
        self.assertTrue(any(name.endswith(".fon") for name in os.listdir(os.path.join(prefix, "drive_c", "windows", "Fonts"))),
                        "Wine's own fonts are in the new prefix")
        self.assertEqual(len(panel.controls()), 16)
        with self.subTest("fixed addresses"):
            if not fixed_addresses_possible():
                self.skipTest("setarch -R is refused here (a container's filter, say): Wine runs as it would anyway")
            self.assertEqual(windows_programs_with_random_addresses(processes_of("WINEPREFIX", prefix)), [],
                             "every Wine program kivo started has fixed addresses")
        # The simulator is at COM11: switching on brings its Counter.
        self.switch_on(panel)
        harness.wait_until(lambda: panel.texts("CounterDisplay") == ("7",), 20, "the Counter 7")
        self.assertIn("-> 7 (Counter)", self.said(), "the simulator's lines show in the terminal")
        os.killpg(process.pid, signal.SIGINT)
        self.assertStopped(process, 130, home)
        self.assertFalse(os.path.lexists(os.path.join(prefix, "dosdevices", "com11")), "no adapter was mapped, so none is after")

    def test_adapter_remembered_and_the_panel_closed(self):
        os.remove(self.com11)
        process, panel = self.start("--device", self.adapter)
        self.assertNotIn("preparing Wine", self.said(), "the prefix is kept")
        self.assertIn("kivo: COM11 is %s\n" % self.adapter, self.said())
        panel.click("CloseButton")
        self.assertStopped(process, 0)
        self.assertEqual(os.readlink(self.com11), self.adapter)

    def test_simulator_gives_the_adapter_back_and_plain_kivo_uses_it(self):
        process, panel = self.start("--simulator")
        self.assertTrue(os.readlink(self.com11).startswith("/dev/pts/"))
        self.assertNotEqual(os.readlink(self.com11), self.adapter)
        os.killpg(process.pid, signal.SIGINT)
        self.assertStopped(process, 130)
        self.assertEqual(os.readlink(self.com11), self.adapter)

        process, panel = self.start()
        self.assertIn("kivo: COM11 is %s\n" % self.adapter, self.said())
        panel.click("CloseButton")
        self.assertStopped(process, 0)

    def test_a_session_killed_at_any_stage_leaves_nothing(self):
        """kivo killed outright, so that no trap of its own runs: while it
        starts (a first use), while the panel runs, and while the panel waits
        on a silent device. Whatever it started goes with it."""
        def killed(process, home):
            process.kill()
            process.wait(10)
            try:
                harness.wait_until(lambda: session_gone(home), 15, "nothing of kivo's left running")
            except AssertionError as error:
                left = [open("/proc/%d/cmdline" % pid).read().replace("\0", " ") for pid in processes_of("HOME", home)]
                raise AssertionError("%s; left: %s" % (error, left or "the lock, held"))

        with self.subTest("starting"):
            home = new_home(self)
            process = subprocess.Popen([KIVO, "--simulator"], env=dict(self.env, HOME=home), stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, start_new_session=True)
            self.assertEqual(process.stdout.readline(), b"kivo: preparing Wine for first use, about 10 s\n")
            time.sleep(1)
            killed(process, home)
        with self.subTest("running"):
            process, panel = self.start("--simulator")
            killed(process, self.home)
        with self.subTest("waiting on a silent device"):
            process, panel = self.start("--simulator")
            device = self.device()
            device.command("mute on")
            since = device.mark()
            self.switch_on(panel)
            device.wait_messages(since, 2)
            killed(process, self.home)

    def device(self):
        """The simulator's control port, as kivo --simulator started it."""
        device = harness.Device(self.prefix, os.path.join(self.home, ".local", "state", "kivo", "device.jsonl"))
        self.addCleanup(device.close)
        return device

    def switch_on(self, panel):
        panel.click("SwitchButton")
        panel.answer(panel.wait_box(), "OK")

    def dialog(self):
        """kivo's dialog showing now: its X window and its text; None for none."""
        for pid in processes_of("HOME", self.home):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    arguments = f.read().decode().split("\0")
            except OSError:   # it has just ended
                continue
            windows = arguments[0] == "zenity" and subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--pid", str(pid)], capture_output=True, text=True).stdout.split()
            if windows:
                return windows[0], [a[7:] for a in arguments if a.startswith("--text=")][0]

    def test_monitor_on_the_remembered_adapter(self):
        log = os.path.join(self.home, "wire.jsonl")
        process, panel = self.start("--monitor", "--log", log)
        self.assertIn("kivo: COM11 is %s through the monitor; its log is %s\n" % (self.adapter, log), self.said())
        self.assertNotEqual(os.readlink(self.com11), self.adapter, "the monitor stands in front of the adapter")
        panel.replace_text("NumberEdit", "12")
        panel.click("SendNumberButton")
        harness.wait_until(lambda: '<- "12"  number' in self.said(), 10, "the monitor's line for the number")
        self.assertEqual(os.read(self.adapter_master, 16), b"12", "the number reached the adapter")
        panel.click("CloseButton")
        self.assertStopped(process, 0)
        self.assertEqual(os.readlink(self.com11), self.adapter, "the adapter is remembered as before")
        with open(log) as f:
            self.assertIn('"event":"message","hex":"3132"', f.read())

    def test_a_silent_device_is_named_its_late_answer_goes_on_and_return_ends_it_all(self):
        # Started as a script's background job, whose SIGINT is ignored.
        process, panel = self.start("--simulator", "--dialogs", script=True)
        device = self.device()
        device.command("mute on")
        since = device.mark()
        self.switch_on(panel)
        device.wait_messages(since, 2)
        request = seconds(device.events(since, ("message",))[1])
        silent = ("kivo: the device simulator has not answered for 10 s: check that it is not muted ('mute off' "
                  "on its control port); the panel waits for it (Ctrl-C closes the panel)\n")
        harness.wait_until(lambda: silent in self.said(), 15, "the silence named")
        self.assertLess(time.time() - request, 12, "named within 12 s of the request")
        _, text = harness.wait_until(self.dialog, 5, "the dialog")
        self.assertTrue(text.startswith("The device simulator has not answered for 10 s.\n\nCheck that it is not "
                                        "muted ('mute off' on its control port)."), text)
        # The Counter comes late, the Auto Counter at once.
        device.command("mute off")
        device.command("answer 42")
        harness.wait_until(lambda: panel.texts("CounterDisplay", "AutoCounterWholeDisplay") == ("42", "12"), 10,
                           "the readings")
        self.assertIn("kivo: the device simulator answered; the panel goes on\n", self.said())
        harness.wait_until(lambda: self.dialog() is None, 5, "the dialog to go by itself")
        # Silent again, at the next switch-on.
        device.command("mute on")
        panel.click("SwitchButton")
        panel.answer(panel.wait_box(), "Yes")
        self.switch_on(panel)
        harness.wait_until(lambda: self.said().count(silent) == 2, 20, "the second silence named")
        self.press_return_in_the_dialog()
        self.assertStopped(process, 130)

    def press_return_in_the_dialog(self):
        window, _ = harness.wait_until(self.dialog, 5, "the dialog")
        # With no window manager the keys go where the pointer is.
        harness.xdotool("mousemove", "--window", window, 20, 20)
        time.sleep(0.3)
        harness.xdotool("key", "Return")

    def unpluggable_adapter(self):
        """An adapter that can be pulled out: a pty found through a link of
        its own, as /dev/serial/by-id links to /dev/ttyUSB0, so that its name
        cannot come back with another pty while the test looks."""
        master, slave = os.openpty()
        adapter = os.path.join(tempfile.mkdtemp(prefix="kivo-adapter-", dir=self.home), "ttyKIVO")
        os.symlink(os.ttyname(slave), adapter)
        os.close(slave)
        # Pulled out, the link and the master are gone; else the master goes here.
        self.addCleanup(lambda: os.path.lexists(adapter) and os.close(master))
        return adapter, master, lambda: (os.remove(adapter), os.close(master))

    def test_an_adapter_unplugged_during_the_wait_is_named_and_ctrl_c_or_the_dialog_ends_it_all(self):
        for options, script in (([], True), (["--monitor", "--dialogs"], False)):
            with self.subTest(options=options, script=script):
                adapter, master, pull_out = self.unpluggable_adapter()
                process, panel = self.start("--device", adapter, *options, script=script)
                self.switch_on(panel)
                wire_until(master, b"5")
                # Pulled out between the send's opening and the wait's, the
                # adapter would fail an opening and not a wait.
                harness.wait_until(lambda: "has not answered for 10 s" in self.said(), 30, "the wait for the device")
                terminal = os.stat(adapter).st_rdev
                wine = processes_of("WINEPREFIX", self.prefix)
                pull_out()
                said = ("kivo: error: the adapter %s went away while the panel waited for the device; Wine keeps that "
                        "wait, so the panel cannot go on: Ctrl-C closes it, then plug the adapter in and start kivo again\n")
                harness.wait_until(lambda: said % adapter in self.said(), 5, "the unplug named")
                self.assertEqual([pid for pid in wine if controlling_terminal(pid) == terminal], [],
                                 "no Wine process has the adapter as its terminal")
                if options:   # in the dialog, else by Ctrl-C
                    self.press_return_in_the_dialog()
                else:
                    os.killpg(process.pid, signal.SIGINT)
                self.assertStopped(process, None if script else 130)
                with open(os.path.join(self.home, ".local", "state", "kivo", "wineserver.log")) as log:
                    self.assertEqual(log.read(), "", "the Wine server dumped nothing")

    def test_after_the_adapter_went_a_close_is_a_close_and_a_failed_send_is_explained(self):
        for monitor in ([], ["--monitor"]):
            with self.subTest(monitor=bool(monitor), then="switch on, close"):
                adapter, _, pull_out = self.unpluggable_adapter()
                process, panel = self.start("--device", adapter, *monitor)
                pull_out()
                self.switch_on(panel)
                harness.wait_until(lambda: panel.texts("CounterDisplay", "AutoCounterWholeDisplay",
                                                       "AutoCounterTenthsDisplay") == ("256", "25", "6"), 20,
                                   "the no-reading value on the displays")
                panel.click("CloseButton")
                self.assertStopped(process, 0)
                self.assertNotIn("error", self.said())
            with self.subTest(monitor=bool(monitor), then="send"):
                adapter, _, pull_out = self.unpluggable_adapter()
                process, panel = self.start("--device", adapter, *monitor)
                pull_out()
                panel.replace_text("NumberEdit", "12")
                panel.click("SendNumberButton")
                self.assertStopped(process, 1)
                self.assertIn("\nkivo: error: the panel closed because it could not send to the adapter: the device %s "
                              "does not exist: is the adapter plugged in? " % adapter, self.said())


if __name__ == "__main__":
    unittest.main()
