#!/usr/bin/env python3
"""Runs the program with --json --plot on the inputs of every reference case and example, in a
temporary folder each, and checks what it leaves besides the report:
  - tramel.json agrees with the report and the forecast file (json_check.py beside this file);
  - every series whose forecast was made has its plot, the plot is well-formed XML and draws
    each of its three curves whole: the coherence over the band (one point per bin), the last
    observed frames, and the forecast frames (one point per sample, and the last observed
    sample it joins).
An example with a file `arguments` is run with those options too.
usage: results_check.py TRAMEL SOURCE_DIR [no-plots]     exit 0 when everything agrees; with
no-plots (a build without plots) the JSON alone is checked."""
import json, os, shutil, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

tramel, source = sys.argv[1], sys.argv[2]
plots_built = len(sys.argv) < 4 or sys.argv[3] != 'no-plots'
here = os.path.dirname(os.path.abspath(__file__))
SVG = '{http://www.w3.org/2000/svg}'
# The colours the plots give their curves: coherence, observed, forecast.
CURVES = {'#1F77B4': 'coherence', '#6E6E6E': 'observed', '#2CA02C': 'forecast'}

def inputs():
    cases = os.path.join(source, 'tests', 'cases')
    for c in sorted(os.listdir(cases)):
        if os.path.isfile(os.path.join(cases, c, 'input', 'tramel.cnl')):
            yield 'case ' + c, os.path.join(cases, c, 'input')
    examples = os.path.join(source, 'examples')
    for e in sorted(os.listdir(examples)):
        if os.path.isfile(os.path.join(examples, e, 'tramel.cnl')):
            yield 'example ' + e, os.path.join(examples, e)

def curve_points(svg):
    """Points of each curve: a long line comes in pieces that share their end points."""
    totals = {}
    for p in ET.parse(svg).getroot().iter(SVG + 'polyline'):
        name = CURVES.get(p.get('stroke', '').upper())
        if name:
            n, pieces = totals.get(name, (0, 0))
            totals[name] = (n + len(p.get('points').split()), pieces + 1)
    return {k: n - (pieces - 1) for k, (n, pieces) in totals.items()}

failures = 0
for name, folder in inputs():
    with tempfile.TemporaryDirectory() as work:
        for f in os.listdir(folder):
            path = os.path.join(folder, f)
            if os.path.isfile(path) and f not in ('tramel.out', 'tramel.json', 'arguments') and not f.endswith(('.forec', '.forecast.csv', '.svg', '.md')):
                shutil.copy(path, work)
        extra = open(os.path.join(folder, 'arguments')).read().split() if os.path.isfile(os.path.join(folder, 'arguments')) else []
        status = subprocess.run([tramel, '--json', *(['--plot'] if plots_built else []), *extra, work], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        check = subprocess.run([sys.executable, os.path.join(here, 'json_check.py'), work, str(status)],
                               capture_output=True, text=True)
        problems = [] if check.returncode == 0 else [check.stdout.strip()]
        doc = json.load(open(os.path.join(work, 'tramel.json')))
        plots = 0
        for run in doc['runs']:
            lb, frames = run['frame_length'], run['frames']
            # The forecast curve starts at the last observed sample, which it joins.
            want = {'coherence': run['last_bin'] - run['first_bin'] + 1,
                    'observed': min(3, frames) * lb, 'forecast': run['frames_ahead'] * lb + 1}
            for s in run['series']:
                svg = os.path.join(work, f"tramel-run{run['run']}-series{s['series']}.svg")
                if 'forecast' not in s:
                    if os.path.exists(svg): problems.append(f'{svg}: a plot for a series that stopped')
                    continue
                if not plots_built: continue
                plots += 1
                try:
                    got = curve_points(svg)
                except (OSError, ET.ParseError) as e:
                    problems.append(f'{os.path.basename(svg)}: {e}')
                    continue
                if got != want:
                    problems.append(f'{os.path.basename(svg)}: curves {got}, expected {want}')
        print(f"{name}: exit {status}, {check.stdout.strip()}, {plots} plots"
              + ('' if not problems else ' -- ' + '; '.join(problems)))
        failures += bool(problems)
sys.exit(1 if failures else 0)
