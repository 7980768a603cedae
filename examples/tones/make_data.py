#!/usr/bin/env python3
"""Writes tones.dat: three tones locked to a 50 ms frame plus white noise, sampled at 8 kHz.

At 8 kHz a 50 ms frame holds 400 samples, so a tone of a whole number of cycles per frame
repeats in every frame:
  500 Hz  (bin 25)  amplitude 1.0, steady;
  1200 Hz (bin 60)  amplitude 0.5, steady;
  2000 Hz (bin 100) amplitude 0.8 on average, its amplitude and phase wandering from frame
                    to frame as a first-order autoregression across frames (coefficient 0.9),
                    which the VAR fit can follow and forecast.
The noise is Gaussian with standard deviation 1.0. The seed is fixed, so every run writes the
same file. Python 3 standard library only.
"""
import math
import random

RATE_KHZ = 8.0
FRAME = 400        # samples per frame (50 ms)
FRAMES = 100       # 5 seconds of signal
SEED = 20021014

rng = random.Random(SEED)
values = []
wander = complex(0.0, 0.0)  # the 2000 Hz tone's deviation from its mean amplitude 0.8
for f in range(FRAMES):
    wander = 0.9 * wander + complex(rng.gauss(0.0, 0.2), rng.gauss(0.0, 0.2))
    c = 0.8 + wander
    for j in range(FRAME):
        t = j / FRAME  # time within the frame, in frames
        values.append(1.0 * math.sin(2 * math.pi * 25 * t)
                      + 0.5 * math.cos(2 * math.pi * 60 * t)
                      + abs(c) * math.cos(2 * math.pi * 100 * t + math.atan2(c.imag, c.real))
                      + rng.gauss(0.0, 1.0))

with open("tones.dat", "w") as out:
    out.write("Synthetic: 500, 1200, 2000 Hz tones locked to a 50 ms frame, noise sd 1.0\n")
    out.write(f"{len(values)} {RATE_KHZ:.1f} (5f9.4)    five values per record\n")
    for i in range(0, len(values), 5):
        out.write("".join(f"{v:9.4f}" for v in values[i:i + 5]) + "\n")
