#!/usr/bin/env python3
"""Plots the phase diagram of a charge fraction x total sweep of marlinq-batch: the larger
of the two bound fractions and the mass-average aggregation number over the charge
fraction f (x) and the total T = C+ + C- (y, log axis), with the critical concentration T*
of each f (where the larger bound fraction reaches 1/2) drawn over both.

    build/apps/marlinq-batch --quiet --method pb --sweep charge_fraction=0.05:0.95:37 \\
        --sweep total=1e-8:1:41:log -o phase.csv
    python3 docs/plot_phase_diagram.py phase.csv docs/phase-diagram.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def main(source, target):
    with open(source, newline="") as f:
        rows = [r for r in csv.DictReader(line for line in f if not line.startswith("#")) if r["status"] == "ok"]
    fs = sorted({float(r["charge_fraction"]) for r in rows})
    ts = sorted({float(r["total"]) for r in rows})
    bound = np.full((len(ts), len(fs)), np.nan)
    mass = np.full((len(ts), len(fs)), np.nan)
    critical = {}
    for r in rows:
        i, j = ts.index(float(r["total"])), fs.index(float(r["charge_fraction"]))
        bound[i, j] = max(float(r["bound_fraction_plus"]), float(r["bound_fraction_minus"]))
        mass[i, j] = float(r["mass_average_aggregation"]) if r["mass_average_aggregation"] else np.nan
        if r["critical_concentration"]:
            critical[float(r["charge_fraction"])] = float(r["critical_concentration"])
    fig, (left, right) = plt.subplots(1, 2, sharey=True, figsize=(10.0, 4.4), constrained_layout=True)
    panels = ((left, bound, "larger bound fraction", "viridis", (0.0, 1.0)),
              (right, mass, "mass-average aggregation number M+ + M-", "magma", (None, None)))
    for ax, data, title, cmap, (lo, hi) in panels:
        mesh = ax.pcolormesh(fs, ts, data, shading="nearest", cmap=cmap, vmin=lo, vmax=hi)
        fig.colorbar(mesh, ax=ax, label=title)
        ax.set_yscale("log")
        ax.set_xlabel("charge fraction f = q+ C+ / (q+ C+ + q- C-)")
        xs = sorted(critical)
        ax.plot(xs, [critical[x] for x in xs], color="white", linewidth=1.5, linestyle="--",
                label="critical concentration T*")
        ax.legend(loc="lower left", fontsize=8)
    left.set_ylabel("total T = C+ + C- (chains per a^3)")
    fig.suptitle("Start-up polymers (Poisson-Boltzmann, ka 0.2): complexes against composition and total")
    fig.savefig(target, dpi=110)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
