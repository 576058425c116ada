"""Typing into the panel's fields with the real keyboard."""
import time
import unittest

from harness import PanelTestCase, count_pixels, near, press_keys, screenshot, type_text


class Typing(PanelTestCase):
    uses_device = False

    def test_fields_refuse_letters_and_take_digits(self):
        cases = [
            ("NumberEdit", "12ab34", "1234"),
            ("FirstOperandEdit", "7x8", "78"),
            ("SecondOperandEdit", "-5+", "5"),
            ("NumberEdit", "Z", ""),
        ]
        for name, typed, shown in cases:
            with self.subTest(name=name, typed=typed):
                self.panel.replace_text(name, typed)
                self.assertEqual(self.panel.control(name)["text"], shown)

    def test_field_takes_digits_only_while_they_fit(self):
        typed = "12345678901234567890"
        self.panel.replace_text("FirstOperandEdit", typed)
        text = self.panel.control("FirstOperandEdit")["text"]
        # No length limit is set; the 50-pixel field stops taking digits when full.
        self.assertTrue(typed.startswith(text), text)
        self.assertTrue(4 <= len(text) < len(typed), "took %d digits" % len(text))

    def test_tab_and_enter_stay_in_the_field(self):
        # The panel has no dialog navigation: Tab and Enter do not move on.
        self.panel.replace_text("SecondOperandEdit", "1")
        press_keys("Tab", "Return")
        type_text("2")
        time.sleep(0.1)
        controls = self.panel.controls()
        self.assertEqual(controls["SecondOperandEdit"]["text"], "12")
        self.assertTrue(controls["SecondOperandEdit"]["focused"])

    def test_displays_take_neither_focus_nor_typing(self):
        for name in ("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay"):
            with self.subTest(name):
                self.panel.click(name)
                type_text("77")
                time.sleep(0.1)
                control = self.panel.control(name)
                self.assertEqual(control["text"], "")
                self.assertFalse(control["focused"])

    def test_digits_are_red_on_white(self):
        self.panel.replace_text("NumberEdit", "8888")
        press_keys("Home")
        time.sleep(0.3)
        image = screenshot("typing-red-on-white")
        rect = self.panel.control("NumberEdit")["screen"]
        inner = (rect["left"] + 3, rect["top"] + 3, rect["right"] - 3, rect["bottom"] - 3)
        area = (inner[2] - inner[0]) * (inner[3] - inner[1])
        white = count_pixels(image, inner, lambda p: near(p, (255, 255, 255), 10))
        red = count_pixels(image, inner, lambda p: p[0] > 150 and p[1] < 110 and p[2] < 110)
        self.assertGreater(white, area * 0.6, "the field is white")
        self.assertGreater(red, 15, "the digits are red")


if __name__ == "__main__":
    unittest.main()
