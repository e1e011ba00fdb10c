#!/usr/bin/env python3
"""End-to-end check of the SVG figures: runs the example session and the
example simulation in a temporary directory and reads what they drew.

    figures_check.py QUILTA EXAMPLES_DIR plplot|none

Each figure must parse as XML.  A histogram of a null distribution holds at
most one bar per bin (equal widths, on one grid), the line at the observed
value, and its shaded parts add up to the P the results give: the shading
is the part of the permuted values the test counted.  The ranking figure
names the best subset of every size; the rejection-rate figure has one
point per test.  With the companion files switched off nothing is drawn;
a build without PLplot draws nothing and says so once."""
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
BAR, TAIL, MARK = "#9ECAE1", "#CB5A3C", "#08306B"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(quilta, directory, answers):
    with open(answers, "rb") as f:
        text = f.read()
    return run_text(quilta, directory, text)


def run_text(quilta, directory, text):
    p = subprocess.run([quilta], input=text, cwd=directory, capture_output=True, timeout=600)
    check(p.returncode == 0, f"quilta exited with {p.returncode} in {directory}")
    return p.stderr.decode("utf-8", "replace")


def rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def safe_name(name):
    # The documented mapping of a statistic's name to a file name.
    out = ""
    for c in name:
        if c.isascii() and (c.isalnum() or c in ".-_"):
            out += c
        elif c == ")":
            continue
        elif c == " ":
            out += "-"
        else:
            out += "_"
    return out


def polylines(root):
    for el in root.iter(SVG + "polyline"):
        pts = [tuple(map(float, p.split(","))) for p in el.get("points").split()]
        yield el, pts


def texts(root):
    return ["".join(t.itertext()) for t in root.iter(SVG + "text")]


def check_histogram(path, p_value):
    root = ET.parse(path).getroot()  # raises on malformed XML
    bars, tails, observed = [], [], []
    for el, pts in polylines(root):
        xs, ys = [x for x, _ in pts], [y for _, y in pts]
        box = (min(xs), max(xs), max(ys) - min(ys))
        if el.get("fill") == BAR:
            bars.append(box)
        elif el.get("fill") == TAIL:
            tails.append(box)
        elif el.get("stroke") == MARK and el.get("stroke-width", "").startswith("2.5"):
            observed.append(pts)
    name = os.path.basename(path)
    check(0 < len(bars) <= 20, f"{name}: {len(bars)} bars for 999 values (at most 20 bins)")
    check(len(observed) == 1 and observed[0][0][0] == observed[0][-1][0],
          f"{name}: no vertical line at the observed value")
    if not bars:
        return
    # PLplot places points on a grid of about 0.04 units of the page.
    width = sorted(b[1] - b[0] for b in bars)[len(bars) // 2]
    left = min(b[0] for b in bars)
    slots = []
    for b in bars:
        check(abs((b[1] - b[0]) - width) < 0.1 and b[2] > 0, f"{name}: unequal or empty bar")
        slot = (b[0] - left) / width
        check(abs(slot - round(slot)) < 0.05, f"{name}: bar off the bins' grid")
        slots.append(round(slot))
    check(len(set(slots)) == len(slots), f"{name}: two bars in one bin")
    for t in tails:
        check(round((t[0] - left) / width) in slots, f"{name}: shaded part outside any bar")
    shaded = sum(t[2] for t in tails) / sum(b[2] for b in bars)
    check(abs(shaded - p_value) <= 5e-4 + 0.02 * p_value,
          f"{name}: shaded share {shaded:.5f}, P {p_value:.5f}")


def main():
    quilta, examples, mode = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    with tempfile.TemporaryDirectory() as tmp:
        on, off = os.path.join(tmp, "on"), os.path.join(tmp, "off")
        shutil.copytree(examples, on)
        shutil.copytree(examples, off)
        err = run(quilta, on, os.path.join(on, "demo.answers"))
        run(quilta, on, os.path.join(on, "simulation.answers"))
        svgs = sorted(f for f in os.listdir(on) if f.endswith(".svg"))
        if mode == "none":
            check(not svgs, f"figures drawn without PLplot: {svgs}")
            check(err.count("figures not written") == 1,  # once in a session of two analyses
                  "a build without PLplot should say once why it draws no figure")
        else:
            tested = [r for r in rows(os.path.join(on, "demoResults.tsv"))
                      if r["p_value"] not in ("", "NA")]
            check(len(tested) >= 10, "too few tested statistics in the demo")
            for r in tested:
                svg = os.path.join(on, "demoNull_" + safe_name(r["statistic"]) + ".svg")
                check(os.path.exists(svg), f"no figure for {r['statistic']}")
                if os.path.exists(svg):
                    check_histogram(svg, float(r["p_value"]))
            root = ET.parse(os.path.join(on, "demoChRank_TDAP_TCAP.svg")).getroot()
            shown = texts(root)
            best = [r for r in rows(os.path.join(on, "demoChRank_TDAP_TCAP.tsv"))
                    if r["list"] == "best_per_size" and r["subset"] != "NA"]
            check(len(best) == 6, "the demo ranks subsets of 1 to 6 traits")
            for r in best:
                check(r["subset"] in shown, f"ranking figure lacks the subset {r['subset']}")
            root = ET.parse(os.path.join(on, "RejectionRates.svg")).getroot()
            points = [t for t in root.iter(SVG + "text") if t.get("fill") == TAIL]
            tests = rows(os.path.join(on, "RejectionRates.tsv"))
            check(len(points) == len(tests),
                  f"{len(points)} points for {len(tests)} tests in RejectionRates.svg")
            check(any(t.startswith("Rejection rate") for t in texts(root)), "rates: no title")
        # Companion files switched off in the preferences before the session.
        with open(os.path.join(off, "demo.answers"), "rb") as f:
            answers = f.read()
        run_text(quilta, off, b"S\nE\nn\nC\n" + answers)
        drawn = [f for f in os.listdir(off) if f.endswith(".svg") or f.endswith(".tsv")]
        check(not drawn, f"written with the companion files off: {drawn}")
        check(os.path.exists(os.path.join(off, "demoPrinda.txt")), "the session did not run")
    for f in failures:
        print("FAILED:", f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
