#!/usr/bin/env python3
"""Runs the commands of README.md and docs/*.md as a reader would, and checks their links.

Every fenced block whose info string starts with sh, bash or python is run, in the order of its
file, in a temporary folder of its own per file that holds a copy of examples/ and a link
`build` to the build folder (as the top of a clone has them), with the built program first on
PATH, the built Python package on PYTHONPATH, HOME in the temporary folder (so that `~/.local`
and the like stay there) and matplotlib drawing into files. A shell block runs under
`set -eo pipefail`: each of its commands must succeed. A block is left out when its info string
carries one of these marks, each visible where the block stands:
  {ci}       the quick start: the two commands CI itself runs (it installs and builds the whole
             project, and .ci/run is the second); exactly one such block, in README.md;
  {pip}      `pip install` of the package: the test python_wheel builds and installs the wheel;
  {cluster}  needs other machines, a scheduler or a cluster (GNU parallel over ssh, Slurm, Dask).
Of a block left out, every `tramel` command line must still parse: it is run in an empty
folder with its placeholders ({}, $VARIABLES, globs) replaced, by an option's value `1` or by
that folder, and must not end with exit status 2 (a wrong command line); its Python must compile.
Without a Python package (a build without the module) the Python blocks are left out, and said.
A block that repeats one already run (docs/ shows the README's examples again) is not run twice.

The links: every relative link of these files names a file that is there, and every #anchor a
heading of its target as GitHub names it. README.md stays at most about 250 lines (LIMIT).

usage: readme_check.py SOURCE_DIR TRAMEL BUILD_DIR [PYTHON_PACKAGE_DIR]   exit 0 when all pass."""
import os, re, shlex, shutil, subprocess, sys, tempfile, time

LIMIT = 275
RUN = {'sh', 'bash', 'python'}
MARKS = {'ci', 'pip', 'cluster'}
TIMEOUT = 180  # seconds per block

source, tramel, build = (os.path.abspath(a) for a in sys.argv[1:4])
package = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else None
failures = []
already_run = {}  # the text of each block run, and where it stands


def fail(where, what):
    failures.append(f'{where}: {what}')
    print(f'FAIL {where}: {what}', flush=True)


def blocks(path):
    """(line, language, marks, text) of each fenced block of a Markdown file."""
    lines = open(path, encoding='utf-8').read().split('\n')
    out, i = [], 0
    while i < len(lines):
        m = re.match(r'^```(\S*)\s*(.*)$', lines[i])
        if not m:
            i += 1
            continue
        start, body = i + 1, []
        i += 1
        while i < len(lines) and not lines[i].startswith('```'):
            body.append(lines[i])
            i += 1
        i += 1
        marks = set(re.findall(r'\{(\w+)\}', m.group(2)))
        out.append((start, m.group(1), marks, '\n'.join(body) + '\n'))
    return out


def slug(heading):
    """The anchor GitHub gives a heading: lower case, punctuation dropped, blanks as hyphens."""
    return re.sub(r'[^\w\- ]', '', heading.strip().lower()).replace(' ', '-')


def anchors(path):
    seen, out, fenced = {}, set(), False
    for line in open(path, encoding='utf-8'):
        if line.startswith('```'):
            fenced = not fenced
        m = None if fenced else re.match(r'^#{1,6}\s+(.*?)\s*$', line)
        if m:
            s = slug(m.group(1))
            n = seen.get(s, 0)
            seen[s] = n + 1
            out.add(s if n == 0 else f'{s}-{n}')
    return out


def check_links(path):
    text = open(path, encoding='utf-8').read()
    text = re.sub(r'^```.*?^```', '', text, flags=re.S | re.M)
    for target in re.findall(r'\]\(([^)\s]+)\)', text):
        if re.match(r'[a-z]+:', target):
            continue
        file, _, anchor = target.partition('#')
        dest = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        where = os.path.relpath(path, source)
        if not os.path.exists(dest):
            fail(where, f'the link {target} names no file')
        elif anchor and dest.endswith('.md') and anchor not in anchors(dest):
            fail(where, f'the link {target} names no heading of {os.path.relpath(dest, source)}')


def value_options():
    """The options that take a value, from the program's help (`--threads N`)."""
    text = subprocess.run([tramel, '--help'], capture_output=True, text=True).stdout
    return set(re.findall(r'^\s+(--[\w-]+) [A-Z]+\b', text, flags=re.M))


def command_lines(text):
    """The argument lists of the `tramel` commands of a shell block, up to a redirection,
    a pipe, a list operator or GNU parallel's `:::`."""
    text = text.replace('\\\n', ' ')
    for line in text.split('\n'):
        try:
            words = shlex.split(line, comments=True)
        except ValueError:
            continue
        while 'tramel' in words:
            words = words[words.index('tramel') + 1:]
            args = []
            for w in words:
                if w in {'>', '2>', '|', '&&', '||', ';', ':::'} or re.match(r'^[0-9]?>', w):
                    break
                args.append(w)
            yield args


def check_parses(where, text, options, empty):
    for args in command_lines(text):
        filled = []
        for w in args:
            if re.search(r'\{\}|\$|\*', w):
                w = '1' if filled and filled[-1] in options else empty
            filled.append(w)
        r = subprocess.run([tramel] + filled, cwd=empty, capture_output=True, text=True)
        if r.returncode == 2:
            fail(where, f'`tramel {" ".join(args)}` does not parse: {r.stderr.strip()}')


def run_file(path, options):
    where_file = os.path.relpath(path, source)
    found = blocks(path)
    for line, lang, marks, _ in found:
        if marks - MARKS:
            fail(f'{where_file} line {line}', f'unknown marks {sorted(marks - MARKS)}')
    ci = [b for b in found if 'ci' in b[2]]
    if where_file == 'README.md':
        if len(ci) != 1 or '.ci/run' not in ci[0][3]:
            fail(where_file, 'the quick start, marked {ci}, must be one block whose commands end with .ci/run')
    elif ci:
        fail(where_file, 'only the README\'s quick start is marked {ci}')
    with tempfile.TemporaryDirectory(prefix='tramel-readme-') as top:
        work, home, empty = (os.path.join(top, d) for d in ('work', 'home', 'empty'))
        os.makedirs(home)
        os.makedirs(empty)
        shutil.copytree(os.path.join(source, 'examples'), os.path.join(work, 'examples'))
        os.symlink(build, os.path.join(work, 'build'))
        env = dict(os.environ, HOME=home, MPLBACKEND='Agg', PYTHONDONTWRITEBYTECODE='1',
                   MPLCONFIGDIR=os.path.join(build, 'readme_check', 'matplotlib'),
                   PATH=os.path.dirname(tramel) + os.pathsep + os.environ.get('PATH', ''))
        if package:
            env['PYTHONPATH'] = package
        for line, lang, marks, text in found:
            if lang not in RUN:
                continue
            where = f'{where_file} line {line}'
            if marks:
                if lang == 'python':
                    try:
                        compile(text, where, 'exec')
                    except SyntaxError as e:
                        fail(where, f'does not compile: {e}')
                else:
                    check_parses(where, text, options, empty)
                print(f'left out {where} ({", ".join(sorted(marks))})', flush=True)
                continue
            if text in already_run:
                print(f'left out {where}: the same as {already_run[text]}', flush=True)
                continue
            if lang == 'python' and not package:
                print(f'left out {where}: the Python module is not built', flush=True)
                continue
            command = ([sys.executable, '-c', text] if lang == 'python'
                       else ['bash', '-c', 'set -eo pipefail\n' + text])
            began = time.monotonic()
            try:
                r = subprocess.run(command, cwd=work, env=env, capture_output=True, text=True,
                                   timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                fail(where, f'did not end within {TIMEOUT} s')
                continue
            if r.returncode != 0:
                fail(where, f'exit status {r.returncode}\n{text}--- stdout:\n{r.stdout[-3000:]}'
                            f'--- stderr:\n{r.stderr[-3000:]}')
            else:
                already_run[text] = where
                print(f'ran {where} ({time.monotonic() - began:.1f} s)', flush=True)


def main():
    files = [os.path.join(source, 'README.md')]
    docs = os.path.join(source, 'docs')
    files += sorted(os.path.join(docs, f) for f in os.listdir(docs) if f.endswith('.md'))
    n = sum(1 for _ in open(files[0], encoding='utf-8'))
    if n > LIMIT:
        fail('README.md', f'{n} lines: a new user reads it first, so it stays at most about 250 '
                          '(the reference belongs in docs/)')
    options = value_options()
    for f in files:
        check_links(f)
        run_file(f, options)
    print(f'{len(failures)} failure(s)')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
