"""A short session with the panel, played with real input, for `scripts/run --headless`:
switch on and confirm, read the displays, send a number, send a sum, close.
Screenshots go to KIVO_E2E_OUT; prints what it did and where everything is."""
import json
import os
import sys
import time

import harness
from harness import Backdrop, Panel, output_dir, screenshot, wait_until


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


def run():
    env = harness.environment(device=False)
    log_path = env.get("KIVO_DEVICE_LOG")
    shots = output_dir("screenshots")
    backdrop = Backdrop(env=env)
    panel = None
    try:
        panel = Panel(env, "session")
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
        code = panel.exit_code(10)
        step("closed the panel; exit code %s" % code)
        if code != 0:
            raise AssertionError("the program's exit code was %s" % code)
        panel.stop()
        panel = None
    finally:
        if panel:
            screenshot("failed")
            panel.stop()
        backdrop.close()
    step("screenshots: %s" % shots)
    if log_path:
        step("device log: %s" % log_path)


def main():
    try:
        run()
    except Exception as error:  # whatever went wrong, say it in one line
        print("session: failed: %s" % error, file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
