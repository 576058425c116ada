"""The borderless window: dragging it by the mouse, minimising, restoring, closing."""
import time
import unittest

from harness import MANAGED, PanelTestCase, centre, drag, move_to, repainted, screenshot, wait_until, xdotool

# A point of bare skin on the panel, clear of every control and label.
BACKGROUND = (200, 165)
# The panel's field, where the labels, rectangle and controls are.
FIELD = (39, 32, 311, 304)


def moved(box, dx, dy):
    return (box[0] + dx, box[1] + dy, box[2] + dx, box[3] + dy)


class Dragging(PanelTestCase):
    uses_device = False

    def place(self):
        rect = self.panel.window()["rect"]
        return rect["left"], rect["top"]

    def test_drag_keeps_the_point_under_the_cursor(self):
        left, top = self.place()
        before = screenshot("drag-before")
        start = (left + BACKGROUND[0], top + BACKGROUND[1])

        move_to(*start)
        xdotool("mousedown", "1")
        time.sleep(0.1)
        # Small steps, then far off and partly beyond the screen's edge: the
        # window follows every move while the button is held.
        for dx, dy in [(10, -3), (20, -7), (30, -10), (700, 450)]:
            move_to(start[0] + dx, start[1] + dy)
            time.sleep(0.15)
            window = self.panel.window()
            self.assertEqual(self.place(), (left + dx, top + dy), "while held at %+d,%+d" % (dx, dy))
            self.assertEqual(window["capture"], window["hwnd"], "the panel holds the mouse while dragging")
        move_to(start[0] + 30, start[1] - 10)
        time.sleep(0.15)
        xdotool("mouseup", "1")
        time.sleep(0.3)
        self.assertEqual(self.place(), (left + 30, top - 10))
        self.assertEqual(self.panel.window()["capture"], 0)

        # The same panel, shifted by exactly the mouse's way, repainted in full.
        self.assertLess(repainted(before, moved(FIELD, left, top), "drag-after", (30, -10)), 0.01)

        # Released: the mouse moves on alone.
        move_to(start[0] + 100, start[1] + 80)
        time.sleep(0.2)
        self.assertEqual(self.place(), (left + 30, top - 10))

    def test_presses_on_controls_never_drag(self):
        for name in ("NumberEdit", "SendNumberButton", "AddRadio", "MinimizeButton"):
            with self.subTest(name):
                left, top = self.place()
                rect = self.panel.control(name)["screen"]
                start = centre(rect)
                # Released away from the control, so that no button fires.
                drag(start, [(start[0] + 20, start[1] + 60), (start[0] + 40, start[1] + 120)])
                self.assertEqual(self.place(), (left, top))
                self.assertTrue(self.panel.running())
        self.assertFalse(self.panel.window()["iconic"])

    def test_press_on_a_disabled_display_drags(self):
        # The displays take no mouse input, so the press is the panel's.
        left, top = self.place()
        rect = self.panel.control("CounterDisplay")["screen"]
        start = centre(rect)
        drag(start, [(start[0] + 15, start[1] + 5), (start[0] + 25, start[1] + 12)])
        self.assertEqual(self.place(), (left + 25, top + 12))

    def test_other_buttons_do_not_drag(self):
        left, top = self.place()
        start = (left + BACKGROUND[0], top + BACKGROUND[1])
        for button in ("3", "2"):
            move_to(*start)
            xdotool("mousedown", button)
            move_to(start[0] + 40, start[1] + 20)
            time.sleep(0.1)
            xdotool("mouseup", button)
            time.sleep(0.2)
            self.assertEqual(self.place(), (left, top), "button %s" % button)

    def test_moves_without_a_press_do_nothing(self):
        where = self.place()
        for point in [(100, 100), (400, 300), (20, 20)]:
            move_to(*point)
            time.sleep(0.1)
        self.assertEqual(self.place(), where)

    def test_repaints_after_being_off_screen(self):
        left, top = self.place()
        before = screenshot("offscreen-before")
        start = (left + BACKGROUND[0], top + BACKGROUND[1])
        # Most of the panel beyond the left and top edges, then back.
        drag(start, [(start[0] - 150, start[1] - 100), (5, 5), start])
        self.assertEqual(self.place(), (left, top))
        self.assertLess(repainted(before, moved(FIELD, left, top), "offscreen-after"), 0.01)


class Minimising(PanelTestCase):
    uses_device = False

    def test_minimise_and_restore(self):
        rect = self.panel.window()["rect"]
        before = screenshot("minimise-before")
        self.panel.click("MinimizeButton")
        # A desktop minimises the window as it gets round to it.
        wait_until(lambda: self.panel.window()["iconic"], 5, "the panel to be minimised")
        self.assertTrue(self.panel.running())
        if MANAGED:
            # The desktop knows it as minimised, so its taskbar can bring it back.
            wait_until(lambda: self.panel.x_state() == "Iconic", 5, "the X window to be iconic")

        self.panel.restore()
        self.assertEqual(self.panel.window()["rect"], rect)
        if MANAGED:
            wait_until(lambda: self.panel.x_state() == "Normal", 5, "the X window to be shown again")
        self.assertLess(repainted(before, moved(FIELD, rect["left"], rect["top"]), "minimise-restored"), 0.01)

    def test_starts_minimised_when_asked(self):
        panel = self.new_panel("Minimising-started-minimised", minimised=True)
        self.assertTrue(panel.window()["iconic"])
        panel.restore()
        rect = panel.window()["rect"]
        self.assertEqual((rect["right"] - rect["left"], rect["bottom"] - rect["top"]), (350, 350))
        if not MANAGED:
            # A window manager places a window first shown from its icon where it likes.
            self.assertEqual((rect["left"], rect["top"]), (0, 0))
        self.assertEqual(len(panel.controls()), 16)


class Closing(PanelTestCase):
    def test_close_button_ends_the_program_quietly(self):
        since = self.device.mark()
        self.panel.click("CloseButton")
        self.assertEqual(self.panel.exit_code(10), 0)
        time.sleep(0.3)
        self.assertEqual(self.device.transfers(since), [], "closing sends nothing")


if __name__ == "__main__":
    unittest.main()
