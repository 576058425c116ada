// Serial transfers under Wine against the device simulator.
