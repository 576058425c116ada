"""The panel with nothing at COM11: readings show as 256, a failed number or
result send ends the program with exit code 3, the maintenance commands fail
quietly."""
import time
import unittest

from harness import PanelTestCase, wait_until
import test_connection as connection


class NoDevice(PanelTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.device.command("detach")

    # The question helpers are those of the connection tests.
    ask = connection.Connection.ask
    notice = connection.Connection.notice
    maintenance_present = connection.Connection.maintenance_present
    displays = connection.Connection.displays

    def test_1_result_without_operation_keeps_running(self):
        self.panel.click("SendResultButton")
        time.sleep(1.0)
        self.assertTrue(self.panel.running())

    def test_2_switch_on_shows_no_reading(self):
        started = time.monotonic()
        box = self.ask("SwitchButton", connection.SWITCH_ON_QUESTION, ["OK", "Cancel"])
        self.panel.answer(box, "OK")
        self.panel.wait_no_box()
        self.assertTrue(self.maintenance_present())
        wait_until(lambda: self.displays() == ("256", "25", "6"), 15,
                   "the no-reading value on the displays (they show %r)" % (self.displays(),))
        self.assertGreaterEqual(time.monotonic() - started, 3.0, "the exchange still waits its three seconds")

    def test_3_failed_commands_are_quiet(self):
        question, _, _ = connection.QUESTIONS["SaveButton"]
        box = self.ask("SaveButton", question, ["Yes", "No"])
        self.panel.answer(box, "Yes")
        self.panel.wait_no_box()
        time.sleep(1.0)
        self.assertEqual(self.panel.boxes(), [], "no completion message after a failed save")
        self.assertTrue(self.panel.running())

        # The reset's command is not checked: it completes all the same.
        box = self.ask("ResetButton", connection.RESET_QUESTION, ["Yes", "No"])
        self.panel.answer(box, "Yes")
        self.notice("System RESET Complete")
        self.assertFalse(self.maintenance_present())
        self.assertTrue(self.panel.running())

    def test_4_number_send_ends_the_program(self):
        self.panel.replace_text("NumberEdit", "12")
        self.panel.click("SendNumberButton")
        self.assertEqual(self.panel.exit_code(10), 3)

    def test_5_result_send_ends_the_program(self):
        panel = self.new_panel("NoDevice-result")
        panel.click("MultiplyRadio")
        panel.click("SendResultButton")
        self.assertEqual(panel.exit_code(10), 3)


if __name__ == "__main__":
    unittest.main()
