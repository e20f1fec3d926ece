#!/usr/bin/env python3
"""Plots a salt sweep of marlinq-batch: the most probable complex (among the complexes, lone
chains left out), the mean aggregation numbers and the bound fractions against ka (log
axis), with the salt in mM on top when the sweep was run with --unit-nm.

    build/apps/marlinq-batch --quiet --method pb --sweep ka=0.2:10:40:log --unit-nm 0.714 -o salt.csv
    python3 docs/plot_salt_sweep.py salt.csv docs/salt-sweep.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def column(rows, name):
    return [float(r[name]) if r[name] != "" else float("nan") for r in rows]


def main(source, target):
    with open(source, newline="") as f:
        # The first line names the sweep's plan and a stopped sweep ends on a note: both are
        # comments, not rows.
        rows = [r for r in csv.DictReader(line for line in f if not line.startswith("#")) if r["status"] == "ok"]
    ka = column(rows, "ka")
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7.0, 6.0))
    # The most probable among the complexes: at high salt the lone chains (0, 1) and (1, 0)
    # of these equal polymers tie, and the whole map's answer would jump to one of them.
    top.step(ka, column(rows, "most_probable_complex_mp"), where="mid", color="tab:red",
             label="most probable complex: M+")
    top.step(ka, column(rows, "most_probable_complex_mm"), where="mid", color="tab:blue", linestyle="--",
             label="most probable complex: M-")
    top.plot(ka, column(rows, "mean_mp"), "o", markersize=3, color="tab:red", label="mean M+ of the complexes")
    top.plot(ka, column(rows, "mass_average_aggregation"), "s", markersize=3, color="tab:gray",
             label="mass-average M+ + M-")
    top.set_ylabel("aggregation number")
    top.legend(fontsize=8)
    top.grid(alpha=0.3)
    bottom.plot(ka, column(rows, "bound_fraction_plus"), "-o", markersize=3, color="tab:red",
                label="bound fraction of '+' chains")
    bottom.plot(ka, column(rows, "bound_fraction_minus"), "--", color="tab:blue", label="bound fraction of '-' chains")
    bottom.set_xscale("log")
    bottom.set_xlabel("ka")
    bottom.set_ylabel("bound fraction")
    bottom.set_ylim(-0.02, 1.02)
    bottom.legend(fontsize=8)
    bottom.grid(alpha=0.3)
    if rows and "salt_mM" in rows[0]:
        salt = column(rows, "salt_mM")
        # c_s grows as ka^2: the top axis maps ka to mM through the sweep's own numbers.
        factor = salt[0] / ka[0] ** 2
        sec = top.secondary_xaxis("top", functions=(lambda k: factor * k ** 2, lambda c: (c / factor) ** 0.5))
        sec.set_xlabel("1:1 salt (mM)")
    fig.suptitle("Start-up polymers, Poisson-Boltzmann, salt sweep", fontsize=10)
    fig.tight_layout()
    fig.savefig(target, dpi=110)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
