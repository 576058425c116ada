"""What the panel shows while it waits on the device: after OK to the
switch-on question, the panel must show its new state during the wait
before the Counter request, not only once the device has answered."""
import time
import unittest

from harness import CONTROLS, MAINTENANCE, PanelTestCase, drag, near, region_difference, screenshot, wait_until
from test_connection import SWITCH_ON_QUESTION, seconds

# The colour that only each new face shows, among the faces of the panel.
FACE_COLOURS = {
    "SwitchButton": (187, 0, 0),
    "SaveButton": (0, 132, 187),
    "EraseButton": (185, 0, 155),
    "ResetButton": (2, 185, 3),
}
DISPLAYS = ("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay")


def box_of(name, origin):
    _, x, y, width, height = CONTROLS[name]
    return origin[0] + x, origin[1] + y, origin[0] + x + width, origin[1] + y + height


class SwitchOnWait(PanelTestCase):
    counter, auto_counter = 42, 123

    def shows_face(self, image, name, origin):
        left, top, right, bottom = box_of(name, origin)
        pixels = image.load()
        hits = sum(near(pixels[x, y], FACE_COLOURS[name], 30)
                   for y in range(top, bottom) for x in range(left, right))
        return hits >= 10

    def test_new_state_shows_during_the_wait(self):
        # Message boxes open in the middle of the screen: put the panel there,
        # so that the question covers it and must leave no trace.
        left, top = self.panel.origin()
        drag((left + 200, top + 165), [(left + 400, top + 250), (left + 537, top + 374)])
        origin = self.panel.origin()
        self.assertEqual(origin, (left + 337, top + 209))
        since = self.device.mark()
        self.panel.click("SwitchButton")
        box = self.panel.wait_box()
        self.assertEqual(self.panel.box_message(box), SWITCH_ON_QUESTION)
        covered = box["rect"]
        self.assertTrue(covered["left"] < origin[0] + 311 and covered["top"] < origin[1] + 304,
                        "the question box lies over the panel's field")
        self.panel.answer(box, "OK")
        # One second after the wake command, two before the Counter request.
        wake = self.device.wait_messages(since, 1)[0]
        self.assertEqual(wake, b"1")
        woken = seconds(self.device.events(since, ("message",))[0])
        time.sleep(max(0.0, woken + 1.0 - time.time()))
        during = screenshot("switch-wait-during")
        self.assertEqual(len(self.device.messages(since)), 1, "the shot was taken within the wait")

        self.device.wait_messages(since, 3, timeout=10)
        wait_until(lambda: self.panel.texts(*DISPLAYS) == ("42", "12", "3"), 10, "the readings")
        time.sleep(0.5)
        after = screenshot("switch-wait-after")

        for name in ["SwitchButton"] + MAINTENANCE:
            with self.subTest(name):
                self.assertTrue(self.shows_face(during, name, origin), "%s shows its face during the wait" % name)
        # Nothing else differs from the panel once the exchange is over: no
        # remnant of the question box, no hole in the window's shape. Only
        # the displays, which the device's answers fill, are left out.
        panel = (origin[0], origin[1], origin[0] + 350, origin[1] + 350)
        after_pixels, during_pixels = after.load(), during.load()
        for name in DISPLAYS:
            left, top, right, bottom = box_of(name, origin)
            for y in range(top, bottom):
                for x in range(left, right):
                    during_pixels[x, y] = after_pixels[x, y]
        self.assertLess(region_difference(during, after, panel), 0.002,
                        "the panel during the wait differs from the panel after it")


if __name__ == "__main__":
    unittest.main()
