#!/usr/bin/env python3
"""The salt sweep of the README's Python section, saved as docs/python-salt-sweep.png.

From the repository, after a build:
    PYTHONPATH=build/python /usr/bin/python3 docs/python-salt-sweep.py [OUTPUT.png]
"""

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt
import numpy as np

import marlinq

# --- the notebook example of the README, as it stands there ---------------------------
p = marlinq.Parameters(mp_max=20, mm_max=20)          # start-up chains, M+ and M- up to 20
ka = np.geomspace(0.2, 10, 30)                        # log-spaced salt parameter
table = marlinq.sweep(p, {"ka": ka}, method="pb")     # one Poisson-Boltzmann run per value

fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4), constrained_layout=True)
left.plot(table["ka"], table["mean_mp"], "o-", label="mean M+")
left.plot(table["ka"], table["mean_mm"], "s--", label="mean M-")
left.step(table["ka"], table["most_probable_complex_mp"] + table["most_probable_complex_mm"], where="mid",
          color="grey", label="most probable complex, M+ + M-")
left.set(xscale="log", xlabel="salt parameter ka", ylabel="aggregation number",
         title="Complexes fall apart as salt is added")
left.legend()
right.plot(table["ka"], table["bound_fraction_plus"], "o-", label="'+' chains")
right.plot(table["ka"], table["bound_fraction_minus"], "s--", label="'-' chains")
right.set(xscale="log", xlabel="salt parameter ka", ylabel="fraction of chains in complexes",
          ylim=(0, 1.05))
right.legend()
# ----------------------------------------------------------------------------------------

out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent / "python-salt-sweep.png"
fig.savefig(out, dpi=110)
print("wrote", out)
