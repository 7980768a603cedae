#!/usr/bin/env python3
"""Writes load.dat: a synthetic hourly electricity load, 60 days (1440 hours) from a Monday, in MW.

Every day has the same two-wave shape about its level: a daily wave (one cycle a day, highest at
14 h) of amplitude 150 MW and a half-daily wave (two cycles a day, highest at 8 h and 20 h) of
amplitude 80 MW, which together give a night low at 2 h and two equal peaks, at 10 h and 18 h.
A frame of 24 hours therefore holds a whole number of cycles of both waves (bins 1 and 2).

The week:
  Monday to Friday  level 1000 MW, the shape above;
  Saturday          level  900 MW, the shape plus a daily wave of 50 MW highest at 20 h and a
                    half-daily wave of 25 MW highest at 11 h and 23 h;
  Sunday            level  850 MW, the shape plus the same waves at 70 and 35 MW.
The two weekend additions lower the morning (the day starts later; the low moves to 3 h) and
raise the evening (the peak at 19 h stands above the morning one), so each weekend day has a
shape of its own, not just a lower level.

From week to week the whole daily swing (everything but the level) is multiplied by 1 + x,
where x wanders as a first-order autoregression across weeks: x = 0.7 x + e at each Monday,
e Gaussian with standard deviation 0.1. Every hour gets Gaussian noise of standard deviation
30 MW. The seed is fixed, so every run writes the same file. Python 3 standard library only.
"""
import math
import random

DAYS = 60
SEED = 1
NOISE_MW = 30.0
# Per day of the week (Monday first): level, then (amplitude, hour of the maximum) of each
# added wave, the daily ones with a 24 h period, the half-daily ones with 12 h.
WEEKDAY = (1000.0, [])
WEEK = [WEEKDAY] * 5 + [
    (900.0, [(50.0, 20.0, 24.0), (25.0, 11.0, 12.0)]),  # Saturday
    (850.0, [(70.0, 20.0, 24.0), (35.0, 11.0, 12.0)]),  # Sunday
]
BASE_WAVES = [(150.0, 14.0, 24.0), (80.0, 8.0, 12.0)]


def wave(amplitude, peak_hour, period, hour):
    return amplitude * math.cos(2.0 * math.pi * (hour - peak_hour) / period)


rng = random.Random(SEED)
values = []
x = 0.0  # the week's deviation of the daily swing from its usual size
for day in range(DAYS):
    weekday = day % 7
    if weekday == 0:
        x = 0.7 * x + rng.gauss(0.0, 0.1)
    level, extra = WEEK[weekday]
    for hour in range(24):
        swing = sum(wave(a, p, t, hour) for a, p, t in BASE_WAVES + extra)
        values.append(level + (1.0 + x) * swing + rng.gauss(0.0, NOISE_MW))

with open("load.dat", "w") as out:
    out.write("Synthetic hourly electricity load, MW, 60 days from a Monday (make_data.py)\n")
    out.write(f"{len(values)} 1.0 (8f8.1)    hourly; three records of eight values a day\n")
    for i in range(0, len(values), 8):
        out.write("".join(f"{v:8.1f}" for v in values[i:i + 8]) + "\n")
