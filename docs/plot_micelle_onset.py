#!/usr/bin/env python3
"""Plots the micelle onset of the worked example: the mass-average aggregation number over
the total concentration (C+ = C-, log axis) for several core surface terms gamma, from a
gamma x total sweep of marlinq-batch over the parameter file docs/micelle.in.

    build/apps/marlinq-batch --quiet --method pb --chains solve --total 1e-4,1e-4 \\
        --sweep gamma=0,0.4,0.6,0.8,1 --sweep total=1e-8:1e-2:25:log -o onset.csv docs/micelle.in
    python3 docs/plot_micelle_onset.py onset.csv docs/micelle-onset.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(source, target):
    with open(source, newline="") as f:
        rows = [r for r in csv.DictReader(line for line in f if not line.startswith("#")) if r["status"] == "ok"]
    fig, ax = plt.subplots(figsize=(7, 4.5))
    for gamma in sorted({float(r["gamma"]) for r in rows}):
        mine = sorted((float(r["total"]) / 2, float(r["mass_average_aggregation"]))
                      for r in rows if float(r["gamma"]) == gamma)
        ax.plot([t for t, _ in mine], [m for _, m in mine], marker="o", ms=3, label="γ = %g kT/a²" % gamma)
    ax.set_xscale("log")
    ax.set_xlabel("total of each kind of chain, C+ = C- (chains per a³)")
    ax.set_ylabel("mass-average aggregation number")
    ax.set_title("50 charges on 18 segments, neutral blocks of 200, κa = 0.5 (Poisson-Boltzmann)")
    ax.title.set_fontsize(9)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(target, dpi=110)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
