"""The installed package's panel, as scripts/check-package sees it: waits for
the panel that kivo opened (no Wine window of its own may show meanwhile),
keeps a screenshot, and switches on or closes it with real input.

usage: package_session.py [--screenshot FILE] [--switch-on COUNTER] [--close]
The inspector runs as KIVO_E2E_WINE says, from KIVO_INSPECTOR."""
import argparse
import os
import subprocess
import sys

import harness


def wine_window_shown():
    """Wine's window of its own ("Wine"), shown while it updates a prefix."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Wine$"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


class PackagedPanel(harness.Panel):
    """The panel of a kivo that the caller started and stops."""

    def __init__(self, env):
        self.env, self.name, self.process, self.out = env, "package", None, None
        self.state = harness.wait_until(self._shown_alone, 30, "the panel's window")

    def _shown_alone(self):
        if wine_window_shown():
            raise AssertionError("Wine showed a window of its own before the panel")
        return self._shown()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--screenshot")
    parser.add_argument("--switch-on", type=int)
    parser.add_argument("--close", action="store_true")
    options = parser.parse_args()
    panel = PackagedPanel(dict(os.environ))
    if options.screenshot:
        subprocess.run(["import", "-window", "root", "-depth", "8", options.screenshot], check=True)
    if options.switch_on is not None:
        panel.click("SwitchButton")
        panel.answer(panel.wait_box(), "OK")
        harness.wait_until(lambda: panel.texts("CounterDisplay") == (str(options.switch_on),), 20,
                           "the Counter %d" % options.switch_on)
    if options.close:
        panel.click("CloseButton")


if __name__ == "__main__":
    try:
        main()
    except (AssertionError, harness.HarnessError) as error:
        sys.exit("package_session: %s" % error)
