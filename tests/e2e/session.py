"""A short session with the panel that the kivo command opens, played with
real input: switch on and confirm, read the displays, send a number, send a
sum, close. `scripts/run --headless` plays it, and the end-to-end test
e2e_session keeps it working. Screenshots go to KIVO_E2E_OUT; prints what it
did and where everything is.

usage: session.py KIVO [OPTION...]    KIVO, the kivo command, with its options
kivo keeps its prefix and logs under XDG_DATA_HOME and XDG_STATE_HOME."""
import json
import os
import signal
import subprocess
import sys
import time

import harness
from harness import AttachedPanel, Backdrop, output_dir, screenshot, wait_until

DATA = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
STATE = os.environ.get("XDG_STATE_HOME") or os.path.expanduser("~/.local/state")


def step(text):
    print("session: " + text, flush=True)


def device_messages(log_path, since):
    """The messages the device received after since, as readable text."""
    if not log_path or not os.path.exists(log_path):
        return []
    with open(log_path, "rb") as log:
        log.seek(since)
        lines = log.read().decode("utf-8", "replace").splitlines()
    found = []
    for line in lines:
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if event.get("event") in ("message", "empty"):
            found.append(repr(bytes.fromhex(event.get("hex", ""))))
    return found


def log_size(log_path):
    return os.path.getsize(log_path) if log_path and os.path.exists(log_path) else 0


# A failed send ends the program, so a send that went out leaves it running.
def press_send(panel, button, what):
    panel.click(button)
    time.sleep(0.5)
    if not panel.running():
        raise AssertionError("the program ended on the %s send: the device could not be written" % what)


def device_log(options):
    """Where the device's stand-in logs what the panel sends, if anywhere."""
    if "--log" in options:
        return options[options.index("--log") + 1]
    return os.path.join(STATE, "kivo", "device.jsonl") if "--simulator" in options else None


def wait_for_com11(kivo, said):
    """Until kivo has put a device on COM11, the prefix made by then."""
    read = lambda: open(said, errors="replace").read()  # noqa: E731
    wait_until(lambda: "COM11 is" in read() or kivo.poll() is not None, 60, "kivo to put a device on COM11")
    if kivo.poll() is not None:
        raise AssertionError("kivo ended with %d: %s" % (kivo.returncode, read().strip()))


def run(command):
    os.environ["WINEPREFIX"] = os.path.join(DATA, "kivo", "prefix")
    env = harness.environment(device=False)
    log_path = device_log(command[1:])
    shots = output_dir("screenshots")
    backdrop = Backdrop(env=env)
    said = os.path.join(output_dir(), "kivo.out")
    with open(said, "wb") as out:
        kivo = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env)
    try:
        wait_for_com11(kivo, said)
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

        since = log_size(log_path)
        panel.replace_text("NumberEdit", "1234")
        press_send(panel, "SendNumberButton", "number")
        step("sent the number 1234")

        panel.click("AddRadio")
        panel.replace_text("FirstOperandEdit", "15")
        panel.replace_text("SecondOperandEdit", "27")
        press_send(panel, "SendResultButton", "result")
        step("sent the sum of 15 and 27")
        screenshot("4-sent")
        received = device_messages(log_path, since)
        if received:
            step("the device received: " + ", ".join(received))

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
