"""The peer of the CSV reader: pandas.read_csv with its C engine, on the same file.

    pandas_read.py CSV REPEATS

Reads the file REPEATS times into single-precision columns, and prints the median processor
time and wall time of one read (seconds), as "processor P wall W"."""
import sys
import time

import numpy as np
import pandas as pd


def main():
    path, repeats = sys.argv[1], max(1, int(sys.argv[2]))
    cpu, wall = [], []
    for _ in range(repeats):
        c0, w0 = time.process_time(), time.perf_counter()
        frame = pd.read_csv(path, engine="c", dtype=np.float32)
        cpu.append(time.process_time() - c0)
        wall.append(time.perf_counter() - w0)
        del frame
    cpu.sort()
    wall.sort()
    print(f"processor {cpu[len(cpu) // 2]:.4f} wall {wall[len(wall) // 2]:.4f}")


if __name__ == "__main__":
    main()
