"""Sending a number and an arithmetic result, and the bytes that reach the device."""
import time
import unittest

from harness import PanelTestCase, wait_until

RADIOS = {"+": "AddRadio", "-": "SubtractRadio", "*": "MultiplyRadio"}


class Sending(PanelTestCase):

    def send(self, button):
        """Presses a send button; the one transfer that it made."""
        since = self.device.mark()
        self.panel.click(button)
        wait_until(lambda: self.device.transfers(since), 10, "a transfer at the device")
        time.sleep(0.2)
        self.assertTrue(self.panel.running(), "the program keeps running after a good send")
        return since, self.device.transfers(since)

    def test_number_goes_out_as_typed(self):
        self.panel.replace_text("NumberEdit", "1234")
        since, traffic = self.send("SendNumberButton")
        self.assertEqual(traffic, [b"1234"])
        # Every transfer sets the line again: 4800 baud, 8 data bits, no parity, one stop bit.
        line = self.device.events(since, ("message",))[0]["line"]
        self.assertEqual((line["baud"], line["data_bits"], line["stop_bits"]), (4800, 8, 1))

        # An empty field is a write of no bytes, which succeeds on a working port.
        self.panel.replace_text("NumberEdit", "")
        since, traffic = self.send("SendNumberButton")
        self.assertEqual(traffic, [b""])
        self.assertEqual(self.device.messages(since), [])

    def test_result_with_each_operation(self):
        # In a fresh panel no operation is chosen: nothing goes out.
        panel = self.new_panel("Sending-results")
        since = self.device.mark()
        panel.click("SendResultButton")
        time.sleep(1.0)
        self.assertEqual(self.device.transfers(since), [], "the port is not even opened")
        self.assertTrue(panel.running())

        # The start-up operands "1st" and "2nd" count as 1 and 2; the count is
        # one more than the longer text, so the sum goes out in four bytes.
        panel.click("AddRadio")
        self.assertEqual(self.send("SendResultButton")[1], [b"3\x00\x00\x00"])

        cases = [
            ("+", "15", "5", b"20\x00"),
            ("*", "99", "99", b"980"),          # "9801" cut to the count
            ("+", "9999", "9999", b"19998"),
            ("-", "1", "9999", b"-9998"),
            ("-", "5", "12", b"-7\x00"),        # first operand minus second
        ]
        for operation, first, second, expected in cases:
            with self.subTest(operation=operation, first=first, second=second):
                panel.click(RADIOS[operation])
                panel.replace_text("FirstOperandEdit", first)
                panel.replace_text("SecondOperandEdit", second)
                self.assertEqual(self.send("SendResultButton")[1], [expected])

    def test_radio_buttons_form_one_group(self):
        for chosen in ("AddRadio", "SubtractRadio", "MultiplyRadio", "AddRadio"):
            self.panel.click(chosen)
            controls = self.panel.controls()
            checks = {name: controls[name]["check"] for name in RADIOS.values()}
            self.assertEqual(checks, {name: int(name == chosen) for name in RADIOS.values()})


if __name__ == "__main__":
    unittest.main()
