"""A short session with the panel that the kivo command opens, played with
real input: switch on and confirm, read the displays, send a number, send a
sum, close. `scripts/run --headless` plays it, and the end-to-end test
e2e_session keeps it working. Screenshots go to KIVO_E2E_OUT; prints what it
did and where everything is.

usage: session.py KIVO [OPTION...]    KIVO, the kivo command, with its options
Where kivo keeps things is what kivo says and does: the device's log is the
one it names, the prefix the one its panel runs in."""
import json
import os
import re
import signal
import subprocess
import sys
import time

import harness
from harness import AttachedPanel, Backdrop, output_dir, screenshot, wait_until

# What the session sends, as the device must receive it: the number, then
# the sum 42 with the count of the longer operand plus one.
SENT = [b"1234", b"42\0"]


def step(text):
    print("session: " + text, flush=True)


def device_messages(log_path, since):
    """The messages the device received after since."""
    with open(log_path, "rb") as log:
        log.seek(since)
        lines = log.read().decode("utf-8", "replace").splitlines()
    events = [json.loads(line) for line in lines if line.startswith("{")]
    return [bytes.fromhex(event.get("hex", "")) for event in events if event.get("event") in ("message", "empty")]


def log_size(log_path):
    return os.path.getsize(log_path) if os.path.exists(log_path) else 0


# A failed send ends the program, so a send that went out leaves it running.
def press_send(panel, button, what):
    panel.click(button)
    time.sleep(0.5)
    if not panel.running():
        raise AssertionError("the program ended on the %s send: the device could not be written" % what)


def said_by(said, pattern):
    found = re.search(pattern, open(said, errors="replace").read())
    return found.group(1) if found else None


def wait_for_com11(kivo, said):
    """Until kivo has put a device on COM11, the prefix made by then; the
    device's log, where kivo names one."""
    read = lambda: open(said, errors="replace").read()  # noqa: E731
    wait_until(lambda: "COM11 is" in read() or kivo.poll() is not None, 60, "kivo to put a device on COM11")
    if kivo.poll() is not None:
        raise AssertionError("kivo ended with %d: %s" % (kivo.returncode, read().strip()))
    return said_by(said, r"COM11 is .*; its log is (.*)\n")


def panel_prefix(kivo):
    """The Wine prefix of the panel that kivo started, from the panel's own environment."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                name, rest = f.read().rsplit(")", 1)
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = dict(item.split(b"=", 1) for item in f.read().split(b"\0") if b"=" in item)
        except OSError:
            continue
        if name.endswith("(Kivo.exe") and int(rest.split()[1]) == kivo.pid:
            return environ[b"WINEPREFIX"].decode()
    return None


def run(command):
    env = harness.environment(device=False, prefix=False)
    shots = output_dir("screenshots")
    backdrop = Backdrop(env=env)
    said = os.path.join(output_dir(), "kivo.out")
    with open(said, "wb") as out:
        kivo = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env)
    log_path = None
    try:
        log_path = wait_for_com11(kivo, said)
        env = dict(env, WINEPREFIX=wait_until(lambda: panel_prefix(kivo), 30, "the panel's process"))
        panel = AttachedPanel(env, "session", kivo)
        screenshot("1-start")
        step("the panel is open")

        panel.click("SwitchButton")
        box = panel.wait_box()
        step("asked: %r" % panel.box_message(box))
        screenshot("2-switch-on-question")
        panel.answer(box, "OK")
        panel.wait_no_box()
        step("confirmed; the exchange takes about three seconds")
        wait_until(lambda: all(panel.texts("CounterDisplay", "AutoCounterWholeDisplay",
                                           "AutoCounterTenthsDisplay")), 30,
                   "the readings (does the device answer?)")
        counter, whole, tenths = panel.texts("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay")
        step("Counter %s, Auto Counter %s.%s" % (counter, whole, tenths))
        screenshot("3-readings")

        since = log_size(log_path) if log_path else 0
        panel.replace_text("NumberEdit", "1234")
        press_send(panel, "SendNumberButton", "number")
        step("sent the number 1234")

        panel.click("AddRadio")
        panel.replace_text("FirstOperandEdit", "15")
        panel.replace_text("SecondOperandEdit", "27")
        press_send(panel, "SendResultButton", "result")
        step("sent the sum of 15 and 27")
        screenshot("4-sent")
        if log_path:
            received = device_messages(log_path, since)
            step("the device received: " + ", ".join(map(repr, received)))
            if received != SENT:
                raise AssertionError("the device should have received %r" % SENT)

        panel.click("CloseButton")
        code = kivo.wait(30)
        step("closed the panel; kivo ended with %s" % code)
        if code != 0:
            raise AssertionError("kivo's exit code was %s" % code)
    finally:
        if kivo.poll() is None:
            screenshot("failed")
            # As a terminal's Ctrl-C would, but a signal that a shell run in the
            # background cannot have had ignored from the start.
            kivo.send_signal(signal.SIGTERM)
            kivo.wait(30)
        backdrop.close()
    step("screenshots: %s" % shots)
    step("what kivo said: %s" % said)
    if log_path:
        step("device log: %s" % log_path)


def main():
    if len(sys.argv) < 2:
        print(__doc__.split("usage: ")[1].splitlines()[0], file=sys.stderr)
        return 2
    try:
        run(sys.argv[1:])
    except Exception as error:  # whatever went wrong, say it in one line
        print("session: failed: %s" % error, file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
