// The fleet the simulator starts with when NEXILCONTROL_SIM_CONFIG is not set. Kept as JSON
// so it goes through the same parser as a user's file. It holds one of each kind of channel
// the application has to cope with: linear and rotary positioners, a channel that is not a
// positioner, one without Low Vibration, one holding position, and a narrowed range.

#include "simulator.h"

namespace nexilsim {

const char *const defaultFleetJson = R"json(
{
  "latencyMicroseconds": 0,
  "systems": [
    {
      "locator": "usb:id:31415926",
      "listed": true,
      "channels": [
        {"type": 0, "sensorType": 1, "speed": 2000000, "speedRange": [0, 100000000],
         "acceleration": 1000000, "accelerationRange": [0, 10000000], "lowVibration": "off"},
        {"type": 0, "sensorType": 40, "speed": 500000, "speedRange": [0, 20000000],
         "acceleration": 250000, "accelerationRange": [0, 5000000], "lowVibration": "on"},
        {"type": 0, "sensorType": 2, "speed": 10000000, "speedRange": [0, 100000000],
         "acceleration": 2000000, "accelerationRange": [0, 10000000], "lowVibration": "unsupported"}
      ]
    },
    {
      "locator": "usb:id:27182818",
      "listed": true,
      "channels": [
        {"type": 0, "sensorType": 45, "speed": 3600000, "speedRange": [0, 50000000],
         "acceleration": 720000, "accelerationRange": [0, 10000000], "lowVibration": "off",
         "holding": true},
        {"type": 1, "sensorType": 0, "speed": 0, "speedRange": [0, 0],
         "acceleration": 0, "accelerationRange": [0, 0], "lowVibration": "unsupported"},
        {"type": 0, "sensorType": 1, "speed": 1000000, "speedRange": [1000, 50000000],
         "acceleration": 100000, "accelerationRange": [100, 5000000], "lowVibration": "off"}
      ]
    },
    {
      "locator": "network:192.0.2.10:5000",
      "listed": false,
      "channels": [
        {"type": 0, "sensorType": 40, "speed": 2000000, "speedRange": [0, 100000000],
         "acceleration": 500000, "accelerationRange": [0, 10000000], "lowVibration": "on"},
        {"type": 0, "sensorType": 45, "speed": 5000000, "speedRange": [0, 100000000],
         "acceleration": 1000000, "accelerationRange": [0, 10000000], "lowVibration": "off"}
      ]
    }
  ]
}
)json";

} // namespace nexilsim
