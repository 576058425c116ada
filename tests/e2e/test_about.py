"""The About box: opened from the gem, closed only by its OK button."""
import time
import unittest

from harness import Backdrop, PanelTestCase, centre, click_at, count_pixels, near, region_difference, repainted, screenshot

WS_EX_TOPMOST = 0x00000008
BS_DEFPUSHBUTTON = 0x00000001
FACE = (240, 240, 240)

# What one paint draws, in the box's client coordinates: the band each text
# stands in and its colour. Fonts differ between systems, so the bands are
# generous and only the colour's presence is counted.
TEXTS = [
    ("long name", (100, 85, 320, 102), (255, 144, 0)),
    ("rights notice", (10, 135, 400, 152), (7, 128, 242)),
    ("version line", (10, 155, 160, 172), (196, 9, 9)),
]
LOGO = (150, 3, 230, 83)


class AboutBox(PanelTestCase):
    uses_device = False

    def open_box(self):
        self.panel.click("AboutButton")
        box = self.panel.wait_box()
        self.assertEqual(box["text"], "About Kivo")
        return box

    def client_box(self, box, area):
        x, y = box["client_origin"]
        return (x + area[0], y + area[1], x + area[2], y + area[3])

    def check_painting(self, box, image):
        for what, band, colour in TEXTS:
            with self.subTest(what):
                coloured = count_pixels(image, self.client_box(box, band), lambda p: near(p, colour, 40))
                self.assertGreater(coloured, 15, "%s drawn in its colour" % what)
        logo = self.client_box(box, LOGO)
        drawn = count_pixels(image, logo, lambda p: not near(p, FACE, 6))
        self.assertGreater(drawn, 0.2 * 80 * 80, "the logo is drawn")
        # No cell background behind the letters: the face shows between them.
        band = self.client_box(box, TEXTS[0][1])
        self.assertGreater(count_pixels(image, band, lambda p: near(p, FACE, 6)),
                           0.3 * (band[2] - band[0]) * (band[3] - band[1]))

    def test_opens_paints_and_closes_only_on_ok(self):
        box = self.open_box()
        buttons = self.panel.box_buttons(box)
        self.assertEqual([(b["text"], b["id"]) for b in buttons], [("OK", 1)])
        self.assertTrue(buttons[0]["style"] & BS_DEFPUSHBUTTON)
        self.assertTrue(buttons[0]["focused"], "OK has the keyboard focus")
        self.assertTrue(box["exstyle"] & WS_EX_TOPMOST)
        self.assertFalse(self.panel.window()["enabled"], "the panel takes no input while the box is open")
        time.sleep(0.3)
        before = screenshot("about-open")
        self.check_painting(box, before)

        # A press on the panel does nothing while the box is open.
        self.panel.click("AddRadio")
        self.assertEqual(self.panel.control("AddRadio")["check"], 0)

        # Esc is ignored.
        self.panel.press_on_box(box, "Escape")
        time.sleep(0.4)
        self.assertEqual(len(self.panel.boxes()), 1, "Esc leaves the box open")

        # Covered by another window and uncovered, the box paints itself again.
        rect = box["rect"]
        cover = Backdrop(rect["left"] - 10, rect["top"] - 10, rect["right"] - rect["left"] + 20,
                         rect["bottom"] - rect["top"] + 20, (90, 20, 160), self.env, above=True)
        time.sleep(0.3)
        covered = screenshot("about-covered")
        cover.close()
        client = self.client_box(box, (0, 0) + tuple(box["client_size"]))
        self.assertGreater(region_difference(before, covered, client), 0.5, "the cover did cover the box")
        self.assertLess(repainted(before, client, "about-repainted"), 0.01)

        # The panel behind the box is still painted while the box is open.
        panel_rect = self.panel.window()["rect"]
        field = (panel_rect["left"] + 39, panel_rect["top"] + 32, panel_rect["left"] + 180,
                 panel_rect["top"] + 160)
        cover = Backdrop(field[0], field[1], field[2] - field[0], field[3] - field[1], (90, 20, 160), self.env,
                         above=True)
        time.sleep(0.3)
        self.assertGreater(region_difference(before, screenshot("about-panel-covered"), field), 0.5)
        cover.close()
        self.assertLess(repainted(before, field, "about-panel-repainted"), 0.01)

        # Enter presses OK; the panel responds again.
        self.panel.press_on_box(box, "Return")
        self.panel.wait_no_box()
        self.assertTrue(self.panel.window()["enabled"])
        self.panel.click("AddRadio")
        self.assertEqual(self.panel.control("AddRadio")["check"], 1)

    def test_ok_by_mouse_and_by_space(self):
        for how in ("mouse", "space"):
            with self.subTest(how):
                box = self.open_box()
                if how == "mouse":
                    ok = self.panel.box_buttons(box)[0]["screen"]
                    click_at(*centre(ok))
                else:
                    self.panel.press_on_box(box, "space")
                self.panel.wait_no_box()
        self.assertTrue(self.panel.running())


if __name__ == "__main__":
    unittest.main()
