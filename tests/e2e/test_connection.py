"""Switching the connection on and off, and the save, erase and reset commands,
each with its questions answered by real key presses. The steps run in order
on one panel: each starts from where the last one left it."""
import time
import unittest
from datetime import datetime

from harness import MAINTENANCE, PanelTestCase, name_of, repainted, screenshot, wait_until

SWITCH_ON_QUESTION = ("You are Trying to SWITCH ON the Connection of the System,           "
                      "Make sure that the system is ON THE SERIAL MODE, Continue?")
SWITCH_OFF_QUESTION = "You are Trying to SWITCH OFF the Connection of the System,             Are you Sure?"
QUESTIONS = {
    "SaveButton": ("You Are Trying to SAVE the Memory of the system, Are you Sure?", b"77771",
                   "Memory SAVE Complete"),
    "EraseButton": ("You Are Trying to ERASE the Memory of the system, Are you Sure?", b"33331",
                    "Memory ERASE Complete"),
}
RESET_QUESTION = "You are Trying to RESET the System, Are you Sure?"
SS_TYPE_MASK, SS_ICON = 0x1F, 0x03

# Where the maintenance buttons stand while the connection is on.
MAINTENANCE_ROW = (50, 45, 220, 63)


def seconds(event):
    """The simulator's time stamp of an event, in seconds."""
    stamp = event["time"]
    if isinstance(stamp, (int, float)):
        return float(stamp)
    return datetime.fromisoformat(stamp.replace("Z", "+00:00")).timestamp()


class Connection(PanelTestCase):
    counter, auto_counter = 42, 123

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.start_image = cls.panel.control("SwitchButton")["image"]
        cls.start_shot = screenshot("connection-start")

    # Helpers.
    def ask(self, button, text, buttons):
        """Presses a button and checks the question box that it opens."""
        self.panel.click(button)
        box = self.panel.wait_box()
        self.assertEqual(self.panel.box_message(box), text)
        self.assertEqual(box["text"], "", "the caption is empty")
        self.assertEqual(box["owner"], self.panel.window()["hwnd"])
        shown = [b["text"].replace("&", "") for b in self.panel.box_buttons(box)]
        self.assertEqual(shown, buttons)
        focused = [b["text"].replace("&", "") for b in self.panel.box_buttons(box) if b["focused"]]
        self.assertEqual(focused, [buttons[-1]], "the question defaults to its second button")
        icons = [c for c in box["controls"] if c["class"].lower() == "static"
                 and c["style"] & SS_TYPE_MASK == SS_ICON and c["visible"]]
        self.assertEqual(len(icons), 1, "the box shows an icon")
        return box

    def notice(self, text):
        """Checks a completion message and closes it with Enter."""
        box = self.panel.wait_box()
        self.assertEqual(self.panel.box_message(box), text)
        self.assertEqual([b["text"] for b in self.panel.box_buttons(box)], ["OK"])
        self.panel.press_on_box(box, "Return")
        self.panel.wait_no_box()

    def maintenance_present(self, state=None, arriving=False):
        """Whether the maintenance buttons are there; all three or none, once
        the panel has settled. While they arrive (arriving), the panel creates
        them one after another, and a look between two sees only some."""
        controls = self.panel.controls(state)
        present = [name for name in MAINTENANCE if name in controls]
        if arriving and len(present) < len(MAINTENANCE):
            return False
        if present:
            self.assertEqual(sorted(present), sorted(MAINTENANCE), "all three come and go together")
        return bool(present)

    def displays(self):
        return self.panel.texts("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay")

    def switch_on(self, expected_displays):
        since = self.device.mark()
        box = self.ask("SwitchButton", SWITCH_ON_QUESTION, ["OK", "Cancel"])
        self.panel.answer(box, "OK")
        # The panel changes before any serial traffic: the buttons are there
        # while the device has at most the wake command.
        self.panel.wait_no_box()
        wait_until(lambda: self.maintenance_present(self.panel.inspect(settle=False), arriving=True), 10,
                   "the maintenance buttons")
        self.assertLessEqual(len(self.device.messages(since)), 1, "the panel changed before the exchange went on")
        self.device.wait_messages(since, 3, timeout=15)
        wait_until(lambda: self.displays() == expected_displays, 10,
                   "the displays to show %r (they show %r)" % (expected_displays, self.displays()))
        return since

    # The steps.
    def test_1_switch_on_cancelled(self):
        since = self.device.mark()
        box = self.ask("SwitchButton", SWITCH_ON_QUESTION, ["OK", "Cancel"])
        self.panel.press_on_box(box, "Return")   # the default: Cancel
        self.panel.wait_no_box()
        time.sleep(0.5)
        self.assertEqual(self.device.transfers(since), [])
        self.assertFalse(self.maintenance_present())
        self.assertEqual(self.panel.control("SwitchButton")["image"], self.start_image)

    def test_2_switch_on_exchange(self):
        since = self.switch_on(("42", "12", "3"))
        messages = self.device.events(since, ("message",))
        self.assertEqual([bytes.fromhex(m["hex"]) for m in messages], [b"1", b"5", b"1"])
        self.assertEqual(self.device.answers(since), [42, 123])
        # Five openings of the port: three writes and the two reads between them.
        self.assertEqual(self.device.transfers(since), [b"1", b"5", b"", b"1", b""])
        # The device gets three seconds after the wake command before the request.
        wait = seconds(messages[1]) - seconds(messages[0])
        self.assertTrue(2.95 <= wait <= 4.5, "waited %.2f s between the wake command and the request" % wait)
        self.assertNotEqual(self.panel.control("SwitchButton")["image"], self.start_image)
        order = [name_of(c) for c in self.panel.window()["controls"]]
        self.assertEqual(order[16:], ["EraseButton", "SaveButton", "ResetButton"], "created in this order")
        places = {name: self.panel.control(name)["rect"] for name in MAINTENANCE}
        self.assertEqual([(places[n]["left"], places[n]["top"]) for n in ("SaveButton", "EraseButton", "ResetButton")],
                         [(50, 45), (110, 45), (170, 45)])
        screenshot("connection-on")

    def test_3_save_and_erase(self):
        for button, (question, command, done) in QUESTIONS.items():
            with self.subTest(button):
                # No: nothing sent, nothing shown.
                since = self.device.mark()
                box = self.ask(button, question, ["Yes", "No"])
                self.panel.press_on_box(box, "Return")
                self.panel.wait_no_box()
                time.sleep(0.5)
                self.assertEqual(self.device.transfers(since), [])
                self.assertEqual(self.panel.boxes(), [])
                # Yes: the command, then the completion message.
                box = self.ask(button, question, ["Yes", "No"])
                self.panel.answer(box, "Yes")
                self.notice(done)
                self.assertEqual(self.device.transfers(since), [command])
                self.assertTrue(self.maintenance_present())

    def test_4_switch_off(self):
        since = self.device.mark()
        box = self.ask("SwitchButton", SWITCH_OFF_QUESTION, ["Yes", "No"])
        self.panel.press_on_box(box, "Return")   # No
        self.panel.wait_no_box()
        time.sleep(0.3)
        self.assertTrue(self.maintenance_present())
        self.assertEqual(self.device.transfers(since), [])

        box = self.ask("SwitchButton", SWITCH_OFF_QUESTION, ["Yes", "No"])
        self.panel.answer(box, "Yes")
        self.panel.wait_no_box()
        self.assertEqual(self.device.wait_messages(since, 1), [b"99991"])
        self.assertFalse(self.maintenance_present())
        self.assertEqual(self.panel.control("SwitchButton")["image"], self.start_image)
        self.assertEqual(self.displays(), ("42", "12", "3"), "the readings stay on the displays")
        # Where the buttons stood, the skin shows again.
        left, top = self.panel.origin()
        row = (left + MAINTENANCE_ROW[0], top + MAINTENANCE_ROW[1], left + MAINTENANCE_ROW[2],
               top + MAINTENANCE_ROW[3])
        self.assertLess(repainted(self.start_shot, row, "connection-off"), 0.01)

    def test_5_reset(self):
        self.device.command("readings 200 7")
        self.switch_on(("200", "0", "7"))
        for name, text in (("NumberEdit", "55"), ("FirstOperandEdit", "66"), ("SecondOperandEdit", "77")):
            self.panel.replace_text(name, text)

        since = self.device.mark()
        box = self.ask("ResetButton", RESET_QUESTION, ["Yes", "No"])
        self.panel.press_on_box(box, "Return")   # No
        self.panel.wait_no_box()
        time.sleep(0.3)
        self.assertEqual(self.device.transfers(since), [])
        self.assertTrue(self.maintenance_present())

        box = self.ask("ResetButton", RESET_QUESTION, ["Yes", "No"])
        self.panel.answer(box, "Yes")
        self.notice("System RESET Complete")
        self.assertEqual(self.device.transfers(since), [b"88881"])
        self.assertEqual(self.panel.texts("NumberEdit", "FirstOperandEdit", "SecondOperandEdit"), ("", "1st", "2nd"))
        self.assertFalse(self.maintenance_present())
        self.assertEqual(self.panel.control("SwitchButton")["image"], self.start_image)
        self.assertEqual(self.displays(), ("200", "0", "7"), "a reset leaves the displays alone")

        # Off again: the switch asks the switch-on question; Esc cancels it.
        box = self.ask("SwitchButton", SWITCH_ON_QUESTION, ["OK", "Cancel"])
        self.panel.press_on_box(box, "Escape")
        self.panel.wait_no_box()
        time.sleep(0.3)
        self.assertEqual(self.device.transfers(since), [b"88881"])

    def test_6_close_while_on_sends_nothing(self):
        # The device's own reset took its readings back to where they started.
        self.device.command("readings 0 255")
        self.switch_on(("0", "25", "5"))
        since = self.device.mark()
        self.panel.click("CloseButton")
        self.assertEqual(self.panel.exit_code(10), 0)
        time.sleep(0.3)
        self.assertEqual(self.device.transfers(since), [])


if __name__ == "__main__":
    unittest.main()
