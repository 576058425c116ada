"""The monitor between the panel and a device, as `scripts/run --device PATH
--monitor` puts it: the simulator plays the real device behind the adapter
(its pty), the monitor is COM11. The switch-on exchange passes through
unchanged, the panel shows the device's readings, and the monitor shows and
logs each transfer decoded."""
import json
import os
import subprocess
import unittest

from harness import PanelTestCase, output_dir, wait_until

SWITCH_ON_LINE = "4800 8N1"


class Monitor(PanelTestCase):
    counter, auto_counter = 200, 7

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.monitor = None
        try:
            cls.com11 = os.path.join(cls.env["WINEPREFIX"], "dosdevices", "com11")
            adapter = os.readlink(cls.com11)   # the simulator's own pty
            cls.device.command("detach")
            cls.log_path = os.path.join(output_dir(), "monitor.jsonl")
            cls.out_path = os.path.join(output_dir(), "monitor.out")
            for path in (cls.log_path, cls.out_path):
                if os.path.exists(path):
                    os.remove(path)
            cls.out = open(cls.out_path, "wb")
            cls.monitor = subprocess.Popen([os.environ["KIVO_SIMULATOR"], "--link", cls.com11,
                                            "--adapter", adapter, "--log", cls.log_path],
                                           stdout=cls.out, stderr=subprocess.STDOUT)
            wait_until(lambda: os.path.exists(cls.com11), 5, "the monitor's COM11")
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.monitor:
            cls.monitor.terminate()
            cls.monitor.wait(10)
            cls.out.close()
        # The simulator's reset puts its own COM11 back.
        super().tearDownClass()

    def monitor_events(self, kinds):
        with open(self.log_path) as log:
            events = [json.loads(line) for line in log if line.strip()]
        return [e for e in events if e["event"] in kinds]

    def test_switch_on_exchange_passes_through(self):
        since = self.device.mark()
        self.panel.click("SwitchButton")
        self.panel.answer(self.panel.wait_box(), "OK")
        self.panel.wait_no_box()
        wait_until(lambda: self.panel.texts("CounterDisplay", "AutoCounterWholeDisplay",
                                            "AutoCounterTenthsDisplay") == ("200", "0", "7"),
                   20, "the device's readings on the panel")

        # The device saw each transfer as with a direct mapping, each with the
        # panel's line settings (between transfers the simulator sets others).
        self.assertEqual(self.device.transfers(since), [b"1", b"5", b"", b"1", b""])
        self.assertEqual(self.device.answers(since), [200, 7])
        for event in self.device.events(since, ("message", "empty")):
            self.assertEqual((event["line"]["baud"], event["line"]["stop_bits"]), (4800, 1))

        events = self.monitor_events(("message", "empty", "device"))
        self.assertEqual([(e["event"], e["hex"], e.get("meaning"), e.get("reason")) for e in events],
                         [("message", "31", "wake", None),
                          ("message", "35", "counter-request", None),
                          ("device", "c8", None, "counter"),
                          ("empty", "", None, None),
                          ("message", "31", "auto-counter-request", None),
                          ("device", "07", None, "auto-counter"),
                          ("empty", "", None, None)])
        for event in events:
            if event["event"] != "device":
                self.assertEqual(event["line"], {"baud": 4800, "data_bits": 8, "parity": "none", "stop_bits": 1})
        with open(self.out_path) as out:
            shown = out.read()
        for line in ('<- "1"  wake  (%s)' % SWITCH_ON_LINE, '<- "5"  counter-request  (%s)' % SWITCH_ON_LINE,
                     "-> 200 (Counter)", '<- "1"  auto-counter-request', "-> 7 (Auto Counter)"):
            self.assertIn(line, shown)


if __name__ == "__main__":
    unittest.main()
