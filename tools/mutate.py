#!/usr/bin/env python3
"""Mutation testing: does the suite notice when the code is wrong?

Applies one classic operator mutation at a time to the given source files (relational and
boundary flips, && and ||, a removed or added `!`, arithmetic, constants, true/false, a deleted
statement), rebuilds only the test programs that cover the file, runs them with a time limit and
reports each mutant as killed (a test failed), survived (every test passed), timeout or
build-failed. It works on a copy of the checkout (build-mutate/ by default, built on first use),
so the checkout and its build stay as they are while it runs.

    tools/mutate.py src/actions src/platform/jet/JetFold.cpp
    tools/mutate.py --sample 0.2 src/platform/reader        # a stable fifth of the mutants
    tools/mutate.py src/platform/widgets/Toolkit.cpp:FollowKeyboardFocus,UnboundAltKeys
    tools/mutate.py --list src/actions/Volumes.cpp           # what would be tried, with ids
    tools/mutate.py --only 3f2a9c01d2 src/actions            # one mutant again
    tools/mutate.py --show 3f2a9c01d2 src/actions            # its diff

A path is a file or a folder (every .cpp and .h below it); FILE:NAME,NAME limits a file to the
named functions or classes. A mutant's id comes from its file, the text of its line and the
change, so it stays the same while that line does. Mutants that cannot be told apart from the
code (equivalent) are listed in tools/mutants-equivalent.txt, one a line: id, path, why; they are
reported but not counted. The score is killed (timeouts included) over the mutants that built and
are not equivalent.
"""

import argparse
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EQUIVALENT_FILE = ROOT / "tools" / "mutants-equivalent.txt"

# Which test programs cover which sources, most specific first: (path prefix, extra targets the
# programs run, [(test program, gtest filter)]). The first program that fails kills the mutant;
# the later ones are built only when the earlier ones passed. Programs that start the reader or
# the image copier as a child need orvantis-query rebuilt too.
QUERY = ["orvantis-query"]
APP = ["orvantis"]
WIDGETS = ("test_widgets", "*")
ACTIONS_WIDGETS = ("test_widgets", "Actions*")
REAL_KEYS = ("test_realx", "RealKeys.*:RealInput.*")
TEST_MAP = [
    ("src/actions/widgets/", QUERY, [WIDGETS]),
    ("src/actions/", QUERY, [("test_actions", "*"), ACTIONS_WIDGETS]),
    ("src/platform/disc/", QUERY, [("test_disc", "*"), ("test_actions", "*"), ACTIONS_WIDGETS]),
    ("src/platform/reader/", QUERY, [("test_reader", "*"), ("test_engine", "*")]),
    ("src/platform/jet/", QUERY, [("test_jet", "*"), ("test_engine", "*")]),
    ("src/platform/engine/", QUERY, [("test_engine", "*"), WIDGETS]),
    ("src/platform/text/", QUERY, [("test_text", "*"), ("test_settings", "*"), ("test_reader", "*")]),
    ("src/platform/settings/", [], [("test_settings", "*"), ("test_app", "*"), WIDGETS]),
    ("src/platform/files/", [], [("test_files", "*"), ("test_actions", "*")]),
    ("src/platform/shell/", [], [("test_shell", "*"), WIDGETS]),
    ("src/platform/signals/", [], [("test_signals", "*"), WIDGETS]),
    ("src/platform/widgets/Toolkit.cpp", APP, [WIDGETS, REAL_KEYS]),
    ("src/platform/widgets/", [], [WIDGETS]),
    ("src/search/widgets/", APP, [WIDGETS, REAL_KEYS]),
    ("src/search/", [], [("test_search", "*"), WIDGETS]),
    ("src/catalogue/", QUERY, [("test_catalogue", "*"), WIDGETS]),
    ("src/views/", [], [("test_views", "*"), WIDGETS]),
    ("src/app/widgets/", APP, [WIDGETS, REAL_KEYS]),
    ("src/app/", [], [("test_app", "*"), WIDGETS]),
]


def tests_for(rel):
    for prefix, extra, programs in TEST_MAP:
        if rel.startswith(prefix):
            return extra, programs
    return None


# --- Reading the source ---------------------------------------------------------------------------


def mask_source(text):
    """The text with comments, string and character literals and preprocessor lines blanked
    (newlines kept), so that operators are looked for in code only."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                j += 1
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t":
            i += 1
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            paren = text.find("(", i + 2)
            delim = text[i + 2 : paren]
            j = text.find(")" + delim + '"', paren)
            j = n if j < 0 else j + len(delim) + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is no character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            for k in range(i, j):
                out[k] = " "
            i = j
        else:
            i += 1
    return "".join(out)


def matching(masked, open_at, open_ch="(", close_ch=")"):
    depth = 0
    for j in range(open_at, len(masked)):
        if masked[j] == open_ch:
            depth += 1
        elif masked[j] == close_ch:
            depth -= 1
            if depth == 0:
                return j
    return -1


def named_ranges(masked, names):
    """Character ranges of the definitions of the named functions or classes."""
    ranges = []
    for name in names:
        for m in re.finditer(r"\b(?:class|struct)\s+" + re.escape(name) + r"\b|\b" + re.escape(name) + r"\s*\(", masked):
            j = m.end()
            # A definition: the next of ';' and '{' is '{' (a parameter list, qualifiers, an
            # initialiser list may come between).
            k = j
            depth = 1 if masked[m.end() - 1] == "(" else 0
            while k < len(masked):
                ch = masked[k]
                if ch == "(":
                    depth += 1
                elif ch == ")":
                    depth -= 1
                    if depth < 0:
                        k = -1
                        break
                elif depth == 0 and ch == ";":
                    k = -1
                    break
                elif depth == 0 and ch == "{":
                    break
                k += 1
            if k < 0 or k >= len(masked):
                continue
            end = matching(masked, k, "{", "}")
            if end > 0:
                ranges.append((masked.rfind("\n", 0, m.start()) + 1, end + 1))
    return ranges


# --- Mutants ---------------------------------------------------------------------------------------


@dataclass
class Mutant:
    path: str  # relative to the checkout
    line: int  # 1-based
    start: int  # character offsets in the file
    end: int
    replacement: str
    operator: str
    id: str = ""
    original: str = ""
    status: str = ""
    detail: str = ""
    seconds: float = 0.0
    equivalent_reason: str = ""

    def describe(self):
        return f"{self.operator}: '{self.original.strip()}' -> '{self.replacement.strip()}'"


RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITHMETIC = {"+": "-", "-": "+", "*": "/", "/": "*", "%": "*"}
COMPOUND = {"+=": "-=", "-=": "+=", "*=": "/=", "/=": "*=", "|=": "&=", "&=": "|="}
STATEMENT_START = re.compile(
    r"(?:\*+\s*)?[A-Za-z_][\w:]*(?:<[^;{}]*?>)?(?:\s*(?:\.|->)\s*[A-Za-z_]\w*(?:<[^;{}]*?>)?|\[[^\]]*\]|\([^;]*?\)(?=\s*(?:\.|->)))*"
    r"\s*(?:\(|=(?!=)|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=|\+\+|--|<<)"
)
NO_DELETE_START = re.compile(r"(?:return|case|default|else|if|for|while|do|switch|using|typedef|namespace|template)\b")


def generate(text, rel, names=None):
    masked = mask_source(text)
    assert len(masked) == len(text)
    allowed = named_ranges(masked, names) if names else [(0, len(text))]
    line_of = []
    ln = 1
    for ch in text:
        line_of.append(ln)
        if ch == "\n":
            ln += 1
    mutants = []

    def inside(pos):
        return any(a <= pos < b for a, b in allowed)

    def add(start, end, replacement, op):
        if not inside(start):
            return
        mutants.append(Mutant(rel, line_of[start], start, end, replacement, op, original=text[start:end]))

    # Relational and boundary flips, && and ||, arithmetic, compound assignments: binary operators
    # with a blank on each side (the formatter writes them so; template brackets and pointers have
    # none).
    for m in re.finditer(r"(?<=[\w\)\]\s])\s(<=|>=|==|!=|<|>|&&|\|\||\+|-|\*|/|%|\+=|-=|\*=|/=|\|=|&=)\s(?=[\w\(\!\-\"'\s\*&:~])", masked):
        op = m.group(1)
        s, e = m.start(1), m.end(1)
        before = masked[max(0, s - 12) : s]
        if op in ("<", ">") and re.search(r"template\s*$", before):
            continue
        if op in RELATIONAL:
            add(s, e, RELATIONAL[op], "relational")
        elif op in ("&&", "||"):
            add(s, e, "||" if op == "&&" else "&&", "logical")
        elif op in ARITHMETIC:
            # A pointer or reference declared with a blank on both sides, or a unary sign after
            # an operator: not arithmetic.
            prev = masked[:s].rstrip()
            if op in "*&" and re.search(r"\b(?:const|auto|char|int|void)\s*$", prev):
                continue
            if prev.endswith(("(", ",", "=", "return", "?", ":")):
                continue
            add(s, e, ARITHMETIC[op], "arithmetic")
        elif op in COMPOUND:
            add(s, e, COMPOUND[op], "arithmetic")

    # Increments and decrements.
    for m in re.finditer(r"(?<![+\-])(\+\+|--)(?![+\-=])", masked):
        add(m.start(1), m.end(1), "--" if m.group(1) == "++" else "++", "arithmetic")

    # A removed `!`, a negated condition.
    for m in re.finditer(r"!(?!=)", masked):
        add(m.start(), m.end(), "", "negation")
    for m in re.finditer(r"\b(if|while)\s*\(", masked):
        if masked[m.end() - 1 :].lstrip("( ").startswith("constexpr"):
            continue
        open_at = m.end() - 1
        close = matching(masked, open_at)
        if close < 0:
            continue
        inner = text[open_at + 1 : close]
        if ";" in masked[open_at + 1 : close]:  # if (init; condition): left alone
            continue
        add(open_at + 1, close, "!(" + inner + ")", "negation")

    # Constants: integer literals (0 <-> 1, otherwise one more) and true <-> false.
    for m in re.finditer(r"(?<![\w.])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlLzZ]*)(?![\w.])", masked):
        digits = m.group(1).replace("'", "")
        value = int(digits, 16) if digits.lower().startswith("0x") else int(digits)
        new = 1 if value == 0 else (0 if value == 1 else value + 1)
        shown = hex(new) if digits.lower().startswith("0x") else str(new)
        add(m.start(1), m.end(1), shown, "constant")
    for m in re.finditer(r"\b(true|false)\b", masked):
        add(m.start(), m.end(), "false" if m.group(1) == "true" else "true", "constant")

    # Deleted statements: a call, an assignment, an increment, a break, continue, throw or plain
    # return that starts its own line after the end of another statement or a block's opening.
    pos = 0
    lines = masked.split("\n")
    offsets = []
    for line in lines:
        offsets.append(pos)
        pos += len(line) + 1
    prev_end = ""
    for idx, line in enumerate(lines):
        stripped = line.strip()
        if not stripped:
            continue
        start = offsets[idx] + (len(line) - len(line.lstrip()))
        starts_statement = prev_end == "" or prev_end[-1] in ";{}):" or prev_end.endswith("else")
        prev_end = stripped
        if not starts_statement or NO_DELETE_START.match(stripped):
            if not re.match(r"return\s*;", stripped):
                continue
        if not (
            re.match(r"(?:break|continue|return)\s*;", stripped)
            or stripped.startswith("throw ")
            or STATEMENT_START.match(stripped)
        ):
            continue
        # The statement ends at the first ';' outside brackets.
        depth = 0
        end = -1
        for k in range(start, min(len(masked), start + 2000)):
            ch = masked[k]
            if ch in "([{":
                depth += 1
            elif ch in ")]}":
                depth -= 1
                if depth < 0:
                    break
            elif ch == ";" and depth == 0:
                end = k + 1
                break
        if end < 0:
            continue
        add(start, end, "{}", "deletion")

    # Identical edits found twice (a negated condition that is also a `!`) are one mutant.
    seen = set()
    unique = []
    ids = {}
    lines_of = text.split("\n")
    for mu in sorted(mutants, key=lambda x: (x.start, x.end, x.replacement)):
        key = (mu.start, mu.end, mu.replacement)
        if key in seen:
            continue
        seen.add(key)
        # Stable while the line and its neighbours keep their text: the lines, the change and
        # which such change of the line it is, not the offset.
        context = "|".join(l.strip() for l in lines_of[max(0, mu.line - 2) : mu.line + 1])
        same_line = sum(1 for x in unique if x.line == mu.line and x.operator == mu.operator)
        key_text = f"{rel}|{context}|{mu.operator}|{mu.original}|{mu.replacement}|{same_line}"
        repeat = ids.get(key_text, 0)
        ids[key_text] = repeat + 1
        mu.id = hashlib.sha1(f"{key_text}|{repeat}".encode()).hexdigest()[:10]
        unique.append(mu)
    return unique


def in_sample(mutant, share):
    return share >= 1.0 or int(mutant.id, 16) % 10000 < share * 10000


# --- The copy of the checkout and its build ----------------------------------------------------------


def checkout_files():
    out = subprocess.run(
        ["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT, check=True, capture_output=True
    ).stdout
    return [p for p in out.decode().split("\0") if p and (ROOT / p).is_file()]


def sync_tree(tree):
    """Copies the checkout into tree, touching only what changed (the build stays valid)."""
    wanted = set(checkout_files())
    for rel in wanted:
        src, dst = ROOT / rel, tree / rel
        if dst.is_file() and dst.stat().st_size == src.stat().st_size and dst.read_bytes() == src.read_bytes():
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dst)
    for dirpath, dirnames, filenames in os.walk(tree):
        rel_dir = Path(dirpath).relative_to(tree)
        if rel_dir.parts and rel_dir.parts[0] in ("build", ".mutate"):
            dirnames[:] = []
            continue
        for f in filenames:
            rel = str(rel_dir / f) if rel_dir.parts else f
            if rel not in wanted:
                (Path(dirpath) / f).unlink()


def build_env(tree):
    env = dict(os.environ)
    # The copy's build lies where a checkout's does (tree/build), so with the tree as the base
    # folder the compiler cache sees the commands of any checkout.
    env["CCACHE_BASEDIR"] = str(tree)
    env["CCACHE_NOHASHDIR"] = "1"
    env["QT_QPA_PLATFORM"] = "offscreen"
    return env


def configure(tree, env, log):
    args = ["cmake", "-S", str(tree), "-B", str(tree / "build"), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            "-DORVANTIS_STRICT_WARNINGS=ON"]
    if shutil.which("ccache"):
        args += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    return subprocess.run(args, env=env, stdout=log, stderr=subprocess.STDOUT).returncode == 0


def build(tree, env, targets, jobs, log, timeout=None):
    args = ["cmake", "--build", str(tree / "build"), f"-j{jobs}", "--target", *targets]
    try:
        return subprocess.run(args, env=env, stdout=log, stderr=subprocess.STDOUT, timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def object_file(tree, rel):
    """The object file the build makes of a source file, or None (a header, or not built)."""
    if not rel.endswith(".cpp"):
        return None
    folder = tree / "build" / Path(rel).parent
    found = sorted(folder.glob(f"CMakeFiles/*.dir/{Path(rel).name}.o"))
    return found[0] if found else None


def file_digest(path):
    return hashlib.sha1(path.read_bytes()).hexdigest() if path and path.is_file() else None


def program_path(tree, program):
    for candidate in (tree / "build" / "tests" / program, tree / "build" / program):
        if candidate.is_file():
            return candidate
    return tree / "build" / "tests" / program


def run_program(tree, env, program, gfilter, timeout, log):
    """'pass', 'fail' or 'timeout'."""
    exe = program_path(tree, program)
    run_env = dict(env)
    run_env["GTEST_FAIL_FAST"] = "1"
    args = [str(exe), f"--gtest_filter={gfilter}", "--gtest_brief=1"]
    proc = subprocess.Popen(args, cwd=exe.parent, env=run_env, stdout=log, stderr=subprocess.STDOUT,
                            start_new_session=True)
    try:
        code = proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        return "timeout"
    finally:
        # Whatever the program started and left behind (a reader child, an X server) goes too.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    return "pass" if code == 0 else "fail"


# --- Equivalent mutants ------------------------------------------------------------------------------


def read_equivalents():
    out = {}
    if EQUIVALENT_FILE.is_file():
        for line in EQUIVALENT_FILE.read_text().splitlines():
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            out[parts[0]] = parts[2] if len(parts) > 2 else ""
    return out


# --- Main ------------------------------------------------------------------------------------------


def expand(paths):
    """(relative path, names or None) for each file the arguments name."""
    out = []
    for arg in paths:
        names = None
        if ":" in arg:
            arg, spec = arg.split(":", 1)
            names = [n for n in spec.split(",") if n]
        p = (ROOT / arg).resolve()
        if p.is_dir():
            for f in sorted(p.rglob("*")):
                if f.suffix in (".cpp", ".h") and f.is_file():
                    out.append((str(f.relative_to(ROOT)), names))
        elif p.is_file():
            out.append((str(p.relative_to(ROOT)), names))
        else:
            sys.exit(f"mutate: no such file or folder: {arg}")
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("paths", nargs="*", help="files or folders under src/ (FILE:NAME,... for some functions)")
    ap.add_argument("--work", default=str(ROOT / "build-mutate"), help="the copy of the checkout (default build-mutate)")
    ap.add_argument("--sample", type=float, default=1.0, help="share of the mutants to try, chosen by id (0-1)")
    ap.add_argument("--operators", default="", help="comma-separated: relational,logical,arithmetic,negation,constant,deletion")
    ap.add_argument("--only", default="", help="comma-separated mutant ids")
    ap.add_argument("--list", action="store_true", help="list the mutants and stop")
    ap.add_argument("--show", default="", help="print the diff of these mutant ids and stop")
    ap.add_argument("--jobs", type=int, default=2, help="build jobs (default 2)")
    ap.add_argument("--timeout-factor", type=float, default=3.0, help="time limit: this times the unmutated run, plus 30 s")
    ap.add_argument("--report", default="", help="report file (default WORK/.mutate/report.txt)")
    ap.add_argument("--prepare", action="store_true", help="copy the checkout and build all of it, then stop")
    args = ap.parse_args()

    equivalents = read_equivalents()
    operators = set(filter(None, args.operators.split(",")))
    only = set(filter(None, args.only.split(",")))
    files = expand(args.paths)
    mutants = []
    for rel, names in files:
        if tests_for(rel) is None:
            print(f"mutate: no tests are mapped for {rel}; add it to TEST_MAP", file=sys.stderr)
            continue
        text = (ROOT / rel).read_text()
        for mu in generate(text, rel, names):
            if operators and mu.operator not in operators:
                continue
            if only and mu.id not in only:
                continue
            if not only and not in_sample(mu, args.sample):
                continue
            mu.equivalent_reason = equivalents.get(mu.id, "")
            mutants.append(mu)

    if args.list or args.show:
        shown = set(filter(None, args.show.split(",")))
        for mu in mutants:
            if shown and mu.id not in shown:
                continue
            eq = f"  [equivalent: {mu.equivalent_reason}]" if mu.equivalent_reason else ""
            print(f"{mu.id}  {mu.path}:{mu.line}  {mu.describe()}{eq}")
            if shown:
                text = (ROOT / mu.path).read_text()
                a = text.rfind("\n", 0, mu.start) + 1
                b = text.find("\n", mu.end)
                print("  - " + text[a:b].replace("\n", "\n  - "))
                print("  + " + (text[a : mu.start] + mu.replacement + text[mu.end : b]).replace("\n", "\n  + "))
        print(f"{len(mutants)} mutants", file=sys.stderr)
        return 0

    work = Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    (work / ".mutate").mkdir(exist_ok=True)
    log_path = work / ".mutate" / "mutate.log"
    report_path = Path(args.report) if args.report else work / ".mutate" / "report.txt"
    env = build_env(work)
    with open(log_path, "a") as log:
        print(f"mutate: copying the checkout to {work}", flush=True)
        sync_tree(work)
        if not (work / "build" / "CMakeCache.txt").is_file() and not configure(work, env, log):
            sys.exit(f"mutate: configuring failed, see {log_path}")
        if args.prepare:
            ok = build(work, env, ["all"], args.jobs, log)
            print("mutate: the copy is built" if ok else f"mutate: the build failed, see {log_path}")
            return 0 if ok else 1

        # Every program the mutants need, built and run once unmutated: they must pass, and how
        # long they take sets the time limit.
        needed = {}
        for mu in mutants:
            extra, programs = tests_for(mu.path)
            for program, gfilter in programs:
                needed[(program, gfilter)] = extra
        targets = sorted({t for (p, _), extra in needed.items() for t in [p, *extra]})
        print(f"mutate: building {' '.join(targets)} (the first time this builds the whole program)", flush=True)
        if not build(work, env, targets, args.jobs, log):
            sys.exit(f"mutate: the unmutated build failed, see {log_path}")
        limits = {}
        for program, gfilter in sorted(needed):
            t0 = time.monotonic()
            result = run_program(work, env, program, gfilter, 1800, log)
            took = time.monotonic() - t0
            if result != "pass":
                sys.exit(f"mutate: {program} --gtest_filter={gfilter} fails unmutated; see {log_path}")
            limits[(program, gfilter)] = args.timeout_factor * took + 30
            print(f"mutate: {program} [{gfilter}] passes unmutated in {took:.0f} s", flush=True)

        original_text = {}
        objects = {rel: file_digest(object_file(work, rel)) for rel in {mu.path for mu in mutants}}
        signal.signal(signal.SIGTERM, lambda *_: sys.exit("mutate: stopped"))
        try:
            for n, mu in enumerate(mutants, 1):
                if mu.equivalent_reason:
                    mu.status = "equivalent"
                    print(f"[{n}/{len(mutants)}] {mu.id} {mu.path}:{mu.line} equivalent", flush=True)
                    continue
                path = work / mu.path
                if mu.path not in original_text:
                    original_text[mu.path] = (ROOT / mu.path).read_text()
                text = original_text[mu.path]
                t0 = time.monotonic()
                print(f"\n=== {mu.id} {mu.path}:{mu.line} {mu.describe()}", file=log, flush=True)
                path.write_text(text[: mu.start] + mu.replacement + text[mu.end :])
                extra, programs = tests_for(mu.path)
                mu.status = "survived"
                try:
                    for index, (program, gfilter) in enumerate(programs):
                        if not build(work, env, [program, *extra], args.jobs, log, timeout=1800):
                            mu.status = "build-failed"
                            break
                        # Code the compiler leaves out (another system's branch) or that compiles to
                        # the same object: nothing a test could tell apart.
                        if index == 0 and objects.get(mu.path) and file_digest(object_file(work, mu.path)) == objects[mu.path]:
                            mu.status = "equivalent"
                            mu.equivalent_reason = "compiles to the same object"
                            break
                        result = run_program(work, env, program, gfilter, limits[(program, gfilter)], log)
                        if result != "pass":
                            mu.status = "killed" if result == "fail" else "timeout"
                            mu.detail = program
                            break
                finally:
                    path.write_text(text)
                mu.seconds = time.monotonic() - t0
                print(f"[{n}/{len(mutants)}] {mu.id} {mu.path}:{mu.line} {mu.status} {mu.detail} "
                      f"({mu.seconds:.0f} s)  {mu.describe()}", flush=True)
        finally:
            for rel, text in original_text.items():
                (work / rel).write_text(text)
        write_report(mutants, report_path, args)
    print(report_path.read_text())
    return 0


def write_report(mutants, path, args):
    folders = {}
    for mu in mutants:
        folder = str(Path(mu.path).parent)
        folders.setdefault(folder, []).append(mu)
    lines = [f"# Mutation run: {' '.join(args.paths)}  (sample {args.sample})", ""]
    lines.append(f"{'folder':40} {'mutants':>7} {'killed':>7} {'timeout':>7} {'survived':>8} {'equiv':>6} {'nobuild':>7} {'score':>6}")
    totals = [0] * 6
    for folder in sorted(folders):
        ms = folders[folder]
        counts = [len(ms)] + [sum(1 for m in ms if m.status == s) for s in ("killed", "timeout", "survived", "equivalent", "build-failed")]
        totals = [a + b for a, b in zip(totals, counts)]
        lines.append(format_row(folder, counts))
    lines.append(format_row("all", totals))
    lines.append("")
    lines.append("Survivors:")
    for mu in mutants:
        if mu.status == "survived":
            lines.append(f"  {mu.id}  {mu.path}:{mu.line}  {mu.describe()}")
    lines.append("")
    lines.append("Every mutant:")
    for mu in mutants:
        lines.append(f"  {mu.status:12} {mu.id}  {mu.path}:{mu.line}  {mu.describe()}  {mu.detail}")
    path.write_text("\n".join(lines) + "\n")


def format_row(name, counts):
    total, killed, timeout, survived, equiv, nobuild = counts
    counted = killed + timeout + survived
    score = f"{100 * (killed + timeout) / counted:.0f} %" if counted else "-"
    return f"{name:40} {total:>7} {killed:>7} {timeout:>7} {survived:>8} {equiv:>6} {nobuild:>7} {score:>6}"


if __name__ == "__main__":
    sys.exit(main())
