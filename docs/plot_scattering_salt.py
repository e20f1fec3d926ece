#!/usr/bin/env python3
"""Plots what scattering would see of a salt series: I(q) at a few salts (log-log) and the
z-average hydrodynamic radius, the Guinier radius and Mw against the salt.

    A="--quiet --method pb --unit-nm 0.714 --molar-mass 7244,16000 --neutral-segment-nm 0.36"
    build/apps/marlinq-batch $A --sweep salt_mM=7.3:120:24:log -o salt-structure.csv
    for ka in 0.2 0.3 0.5; do   # ka-0.2.in ...: the start-up file with its ka line changed
        build/apps/marlinq-batch $A ka-$ka.in --scattering 0.02:5:120:log --scattering-output iq-$ka.csv -o /dev/null
    done
    python3 docs/plot_scattering_salt.py salt-structure.csv iq-0.2.csv iq-0.3.csv iq-0.5.csv docs/scattering-salt.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def rows_of(path):
    with open(path, newline="") as f:
        return [r for r in csv.DictReader(line for line in f if not line.startswith("#"))]


def column(rows, name):
    return [float(r[name]) if r[name] != "" else float("nan") for r in rows]


def main(sweep, curves, target):
    fig, (left, right) = plt.subplots(1, 2, figsize=(11.0, 4.5))
    for path in curves:
        rows = rows_of(path)
        label = path.rsplit("/", 1)[-1].removeprefix("iq-").removesuffix(".csv")
        left.loglog(column(rows, "q"), column(rows, "I"), label=f"ka {label}")
    left.set_xlabel("q (1/nm)")
    left.set_ylabel("I(q) / c (g/mol)")
    left.set_title("I(q): static light scattering and SAXS/SANS")
    left.legend()
    rows = [r for r in rows_of(sweep) if r["status"] == "ok"]
    salt = column(rows, "salt_mM")
    right.semilogx(salt, column(rows, "hydrodynamic_radius_z_nm"), "o-", label="R_h, z-average (DLS)")
    right.semilogx(salt, column(rows, "radius_of_gyration_z_nm"), "s-", label="R_g, Guinier")
    right.set_xlabel("1:1 salt (mM)")
    right.set_ylabel("radius (nm)")
    twin = right.twinx()
    twin.semilogx(salt, [m / 1000 for m in column(rows, "molar_mass_mw_with_free")], "k--", label="Mw")
    twin.set_ylabel("Mw (kg/mol)")
    right.legend(loc="upper right")
    right.set_title("Sizes and Mw against the salt")
    fig.tight_layout()
    fig.savefig(target, dpi=110)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:-1], sys.argv[-1])
