"""The panel as it opens: its controls, its shape, and its see-through margin."""
import time
import unittest

from harness import (BACKDROP_COLOUR, KEY_COLOUR, PERMANENT, PanelTestCase, click_at, count_pixels, drag,
                     name_of, near, screenshot)

WS_VISIBLE, WS_DISABLED, WS_BORDER, WS_POPUP = 0x10000000, 0x08000000, 0x00800000, 0x80000000
ES_CENTER, ES_AUTOHSCROLL, ES_NUMBER = 0x0001, 0x0080, 0x2000
BS_TYPE_MASK, BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_BITMAP = 0x000F, 0x0007, 0x0009, 0x0080


# Wine's themed group box fills itself with the parent's pattern brush from
# its own corner, so a copy of the skin's corner, key pixels and all, shows
# inside it. The shape is judged outside it.
GROUP_BOX = (50, 225, 180, 285)


def see_through(pixel):
    return near(pixel, BACKDROP_COLOUR, 6)


class StartUp(PanelTestCase):
    uses_device = False

    def test_window_and_controls_at_start(self):
        window = self.panel.window()
        self.assertEqual(window["text"], "Kivo")
        self.assertEqual(window["rect"], {"left": 0, "top": 0, "right": 350, "bottom": 350})
        self.assertEqual(window["client_size"], [350, 350])
        self.assertTrue(window["style"] & WS_POPUP and window["style"] & WS_VISIBLE)
        self.assertEqual(window["colour_key"], 0x0000F0FF)
        self.assertEqual(self.panel.boxes(), [])

        controls = self.panel.controls()
        # Siblings stand in their order of creation, which the radio group relies on.
        self.assertEqual([name_of(c) for c in window["controls"]], PERMANENT,
                         "exactly the sixteen permanent controls, in the table's order")
        self.assertEqual(self.panel.texts("NumberEdit", "FirstOperandEdit", "SecondOperandEdit"), ("", "1st", "2nd"))
        self.assertEqual(self.panel.texts("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay"),
                         ("", "", ""))

        for name in ("NumberEdit", "FirstOperandEdit", "SecondOperandEdit"):
            style = controls[name]["style"]
            with self.subTest(name):
                self.assertTrue(controls[name]["enabled"])
                self.assertEqual(style & (ES_NUMBER | ES_CENTER | ES_AUTOHSCROLL), ES_NUMBER | ES_CENTER)
        for name in ("CounterDisplay", "AutoCounterWholeDisplay", "AutoCounterTenthsDisplay"):
            with self.subTest(name):
                self.assertFalse(controls[name]["enabled"])
                self.assertFalse(controls[name]["style"] & ES_NUMBER)

        radios = [controls[name] for name in ("AddRadio", "SubtractRadio", "MultiplyRadio")]
        self.assertEqual([r["text"] for r in radios], ["+", "-", "*"])
        self.assertEqual([r["id"] for r in radios], [3000, 3001, 3002])
        self.assertEqual([r["check"] for r in radios], [0, 0, 0], "no operation is chosen at start")
        self.assertTrue(all(r["style"] & BS_TYPE_MASK == BS_AUTORADIOBUTTON for r in radios))
        self.assertEqual(controls["OperationGroupBox"]["style"] & BS_TYPE_MASK, BS_GROUPBOX)

        for name in ("SwitchButton", "SendNumberButton", "SendResultButton", "CloseButton", "MinimizeButton",
                     "AboutButton"):
            with self.subTest(name):
                self.assertEqual(controls[name]["text"], "")
                self.assertTrue(controls[name]["style"] & BS_BITMAP)
                self.assertNotEqual(controls[name]["image"], 0, "the button shows a picture")
        others = [c for n, c in controls.items() if not n.endswith("Radio")]
        self.assertTrue(all(c["id"] == 0 for c in others), "every other control has identifier 0")

    def test_shape_on_screen(self):
        image = screenshot("startup")
        whole = (0, 0, 350, 350)
        # The key colour itself is never drawn: those pixels show what is below.
        self.assertEqual(count_pixels(image, whole, lambda p: p == KEY_COLOUR, GROUP_BOX), 0)

        # The margin around the outline is wholly see-through.
        for box in [(0, 0, 350, 7), (0, 0, 11, 350), (338, 0, 350, 350), (0, 333, 350, 350),
                    (70, 7, 280, 13)]:
            with self.subTest(margin=box):
                area = (box[2] - box[0]) * (box[3] - box[1])
                self.assertEqual(count_pixels(image, box, see_through), area)

        # The panel field and the frame's outer rim are opaque; inside the
        # frame only the broken hairline lets the backdrop through.
        self.assertEqual(count_pixels(image, (39, 32, 311, 304), see_through, GROUP_BOX), 0)
        self.assertEqual(count_pixels(image, (20, 13, 330, 14), see_through), 0, "frame rim, row 13")
        hairline = count_pixels(image, (20, 13, 330, 323), see_through, GROUP_BOX)
        self.assertTrue(300 <= hairline <= 409, "hairline pixels: %d" % hairline)
        # The bars, the title's first letter and the gem reach out of the frame.
        for point in [(11, 150), (337, 150), (44, 9), (175, 330)]:
            with self.subTest(opaque=point):
                self.assertFalse(see_through(image.getpixel(point)))

        total = count_pixels(image, whole, see_through, GROUP_BOX)
        # 22,020 key pixels, less those that the close and minimise buttons
        # cover above the frame.
        self.assertTrue(21300 <= total <= 22020, "see-through pixels: %d" % total)

    def test_margin_presses_go_below(self):
        # The hairline inside the frame is as see-through as the margin.
        image = screenshot("startup-hairline")
        inner = [(x, 14) for x in range(215, 285)] + [(21, y) for y in range(15, 36)]
        hairline = [p for p in inner if see_through(image.getpixel(p))]
        self.assertTrue(hairline, "no see-through hairline pixel found on row 14 or column 21")

        before = self.panel.window()["rect"]
        targets = [(5, 175), (175, 3), (345, 345), hairline[0]]
        for point in targets:
            click_at(*point)
        drag((5, 200), [(25, 210), (45, 220)])
        time.sleep(0.3)
        presses = self.backdrop.presses()
        for point in targets + [(5, 200)]:
            self.assertIn(point, presses, "the press went to the window below")
        self.assertEqual(self.panel.window()["rect"], before, "a press on the margin never drags")
        self.assertTrue(self.panel.running())


if __name__ == "__main__":
    unittest.main()
