#!/usr/bin/env python3
"""Writes pump.csv: six seconds of a pump's vibration, two accelerometers sampled at 2 kHz, with
time stamps to the microsecond.

The shaft turns at 25 Hz (1500 rpm), so one turn takes 80 samples. Locked to the rotation:
  25 Hz  (1 x)  amplitude 1.0 at the drive end, 0.6 at the fan end;
  50 Hz  (2 x)  amplitude 0.6 and 0.4;
  75 Hz  (3 x)  amplitude 0.3 and 0.3.
Not locked to it: a bearing tone at 163.7 Hz (amplitude 0.3 at the drive end), and Gaussian
noise of standard deviation 0.8 in each channel. The level drifts up by 0.2 over the six
seconds (the machine warming). The seed is fixed, so every run writes the same file. Python 3
standard library only.
"""
import math
import random

RATE = 2000        # samples per second
SECONDS = 6
SEED = 19650612

rng = random.Random(SEED)
rows = ["time,drive_end,fan_end"]
for i in range(RATE * SECONDS):
    t = i / RATE
    turn = 2 * math.pi * 25 * t
    drift = 0.2 * t / SECONDS
    drive = (1.0 * math.sin(turn) + 0.6 * math.sin(2 * turn + 0.4) + 0.3 * math.sin(3 * turn + 1.9)
             + 0.3 * math.sin(2 * math.pi * 163.7 * t) + drift + rng.gauss(0.0, 0.8))
    fan = (0.6 * math.sin(turn + 0.8) + 0.4 * math.sin(2 * turn + 2.2) + 0.3 * math.sin(3 * turn + 0.3)
           + drift + rng.gauss(0.0, 0.8))
    microseconds = i * 500
    stamp = "2024-05-01 10:00:%02d.%06d" % (microseconds // 1000000, microseconds % 1000000)
    rows.append("%s,%.4f,%.4f" % (stamp, drive, fan))
with open("pump.csv", "w") as out:
    out.write("\n".join(rows) + "\n")
