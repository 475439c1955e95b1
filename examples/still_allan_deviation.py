#!/usr/bin/env python3
"""Logs a still record from the simulated sensor and plots the Allan deviation of its gyros.

    PYTHONPATH=build python3 examples/still_allan_deviation.py [OUT.png]

The simulation runs on virtual time, so twenty minutes of samples at the sensor's 52.8 Hz take
seconds. With a sensor on the bench, open it with interface=... instead and leave it still.
"""

import sys

import matplotlib.pyplot as plt  # without a display it draws with Agg, into the file only

import vexa

GYROS = ["XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"]
out = sys.argv[1] if len(sys.argv) > 1 else "still_allan_deviation.png"

with vexa.open(interface="usb", still=True, virtual_time=True) as sensor:
    # Waiting for each new sample keeps one line per sensor sample.
    record = sensor.log(GYROS, 52 * 1200, sync=True,
                        progress=lambda taken, total: print(f"\r{taken}/{total}", end=""))
print(f"\n{len(record)} samples at {record.rate:.1f} Hz")

fig, ax = plt.subplots(figsize=(8, 5))
for gyro in GYROS:
    taus, devs, bounds = vexa.adev(record[gyro], record.rate, record[gyro + "_new"])
    ax.loglog(taus, devs * 3600, label=gyro)
    ax.fill_between(taus, bounds[0] * 3600, bounds[1] * 3600, alpha=0.2)
    figures = vexa.read_offs(record[gyro], record.rate, record[gyro + "_new"], "deg/sec")
    print(f"{gyro}: {figures['random_walk_name']} {figures['random_walk']:.3g} "
          f"{figures['random_walk_units']}, bias instability {figures['bias_instability']:.3g} "
          f"{figures['bias_units']}")
ax.set_xlabel("cluster time (s)")
ax.set_ylabel("Allan deviation (deg/h)")
ax.grid(True, which="both", alpha=0.3)
ax.legend()
fig.savefig(out, dpi=100)
print(f"wrote {out}")
