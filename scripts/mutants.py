"""Mutation runs over src/: how many seeded faults the tests catch. Started by scripts/mutants.sh."""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Which tests can see a fault in each library, cheapest first: ctest label expressions. Unit tests
# carry their library's name, board tests board_<library> (tests/CMakeLists.txt). Every board test
# runs the flows above crypto (the USB steps of boot are the installer's board tests, say).
TESTS_BY_LIBRARY = {
    "crypto": ["^crypto$", "^security$"],
    "hw": ["^hw$", "^board_"],
    "sys": ["^board_"],
    "image": ["^image", "^board_"],
    "security": ["^security$", "^board_security$", "^board_"],
    "install": ["^image_install$", "^board_install$", "^board_"],
    "rescue": ["^rescue$", "^board_rescue$", "^peers$", "^board_"],
    "boot": ["^boot$", "^board_boot$", "^board_"],
}

# Operators on one line of code, each a regular expression and its replacement. The spaces
# around binary operators keep templates, shifts, pointers and increments out of reach.
OPERATORS = [
    ("eq-to-ne", r" == ", " != "),
    ("ne-to-eq", r" != ", " == "),
    ("lt-to-le", r" < ", " <= "),
    ("le-to-lt", r" <= ", " < "),
    ("gt-to-ge", r" > ", " >= "),
    ("ge-to-gt", r" >= ", " > "),
    ("and-to-or", r" && ", " || "),
    ("or-to-and", r" \|\| ", " && "),
    ("add-to-sub", r" \+ ", " - "),
    ("sub-to-add", r" - ", " + "),
    ("mul-to-div", r" \* ", " / "),
    ("const-plus-one", r"(?<![\w.])([0-9]+)(?![\w.'])", None),
]

STATEMENT = re.compile(r"^(\s*)((?:[A-Za-z_][\w:.>-]*\s*(?:\(.*\)|[+\-*/|&^]?=.*|\+\+|--))\s*;)\s*$")
CONDITION = re.compile(r"^(\s*(?:\}\s*else\s+)?(?:if|while) \()(.*)(\) \{)\s*$")
SKIP_LINE = re.compile(r'^\s*(//|#|\*|/\*)|"|static_assert|template|\[\[|operator')


def candidate_files(tree):
    for path in sorted((tree / "src").rglob("*.cpp")):
        rel = path.relative_to(tree).as_posix()
        # The sim seam is the test bench; the linux seam is only reached by the kernel VM test.
        if rel.startswith("src/platform/"):
            continue
        yield rel


def library_of(rel):
    return rel.split("/")[1]


def strip_comment(line):
    cut = line.find("//")
    return line if cut < 0 else line[:cut]


def mutants_of_line(rel, number, line):
    """Every mutant of one source line: dicts with the line's text and the mutated text."""
    if SKIP_LINE.search(line) or not line.strip():
        return []
    code = strip_comment(line)
    found = []

    def add(kind, column, after):
        found.append({"file": rel, "line": number, "column": column, "kind": kind,
                      "before": line, "after": after})

    for kind, pattern, replacement in OPERATORS:
        for m in re.finditer(pattern, code):
            if kind == "const-plus-one":
                after_value = str(int(m.group(1)) + 1)
                new = line[:m.start(1)] + after_value + line[m.end(1):]
            else:
                new = line[:m.start()] + replacement + line[m.end():]
            add(kind, m.start(), new)
    cond = CONDITION.match(code.rstrip())
    if cond:
        add("negate-condition", len(cond.group(1)),
            cond.group(1) + "!(" + cond.group(2) + ")" + cond.group(3))
    stmt = STATEMENT.match(code.rstrip())
    if stmt and not re.match(r"\s*(return|break|continue|case|default|auto|const|using)\b",
                             code):
        add("remove-statement", len(stmt.group(1)), stmt.group(1) + ";")
    return found


def all_mutants(tree):
    found = []
    for rel in candidate_files(tree):
        lines = (tree / rel).read_text().split("\n")
        for number, line in enumerate(lines, start=1):
            found.extend(mutants_of_line(rel, number, line))
    return found


def sample(tree, seed, count):
    pool = all_mutants(tree)
    chosen = random.Random(seed).sample(pool, min(count, len(pool)))
    chosen.sort(key=lambda m: (m["file"], m["line"], m["column"], m["kind"]))
    for index, m in enumerate(chosen, start=1):
        m["id"] = index
    return chosen, len(pool)


def apply(tree, mutant):
    """Puts the mutant into its file; returns the original text, or None when the line is gone.

    The line is found by its text nearest to the recorded line number, so a sample drawn on one
    revision applies to another whose src/ moved lines around."""
    path = tree / mutant["file"]
    if not path.exists():
        return None
    original = path.read_text()
    lines = original.split("\n")
    hits = [i for i, text in enumerate(lines) if text == mutant["before"]]
    if not hits:
        return None
    at = min(hits, key=lambda i: abs(i + 1 - mutant["line"]))
    lines[at] = mutant["after"]
    path.write_text("\n".join(lines))
    return original


def run(cmd, cwd, timeout, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(cmd) + "\n")
        out.flush()
        try:
            return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None


class Workspace:
    """A detached work tree of the revision under test with its own build, under the results."""

    def __init__(self, results, rev):
        self.results = results
        self.tree = results / "tree"
        self.build = self.tree / "build" / "host"
        self.rev = rev

    def prepare(self, log):
        if not self.tree.exists():
            subprocess.run(["git", "-C", str(ROOT), "worktree", "add", "--detach",
                            str(self.tree), self.rev], check=True, stdout=subprocess.DEVNULL)
        # A run stopped half-way leaves its mutant behind.
        subprocess.run(["git", "-C", str(self.tree), "checkout", "--", "src"], check=True)
        env = dict(os.environ)
        if shutil.which("ccache"):
            env.update(CMAKE_CXX_COMPILER_LAUNCHER="ccache", CMAKE_C_COMPILER_LAUNCHER="ccache")
        with open(log, "a") as out:
            subprocess.run(["cmake", "--preset", "host", "-DBM_SLOW_TEST_TIMEOUT=120"],
                           cwd=self.tree, env=env, check=True,
                           stdout=out, stderr=subprocess.STDOUT)
            subprocess.run(["cmake", "--build", "--preset", "host", "-j2"], cwd=self.tree,
                           check=True, stdout=out, stderr=subprocess.STDOUT)

    def build_all(self, log, timeout):
        return run(["cmake", "--build", "--preset", "host", "-j2"], self.tree, timeout, log)

    def test(self, library, log, cap, jobs, first=None):
        """'killed', 'survived' or 'timed out', and the first failing test.

        `first` is a test that killed this mutant in another run: tried alone before the labels,
        it settles most mutants in seconds. A survivor still runs every label."""
        started = time.monotonic()
        if first:
            cmd = ["ctest", "--test-dir", str(self.build), "-R", f"^{first}$",
                   "--no-tests=ignore", "--timeout", "120"]
            if run(cmd, self.tree, cap, log) not in (0, None):
                return "killed", first
        done = []
        for label in TESTS_BY_LIBRARY[library]:
            cmd = ["ctest", "--test-dir", str(self.build), "-L", label, "-j", str(jobs),
                   "--stop-on-failure", "--timeout", "120"]
            if done:  # each test has one label: what an earlier expression ran is left out
                cmd += ["-LE", "|".join(done)]
            done.append(label)
            left = cap - (time.monotonic() - started)
            if left <= 0:
                return "timed out", label
            before = log.stat().st_size if log.exists() else 0
            status = run(cmd, self.tree, left, log)
            if status is None:
                return "timed out", label
            if status != 0:
                with open(log) as f:
                    f.seek(before)
                    failed = re.findall(r"\d+ - (\S+) \(", f.read())
                return "killed", failed[0] if failed else label
        return "survived", ""


def load_results(path):
    done = {}
    if path.exists():
        for line in path.read_text().splitlines():
            fields = line.split("\t")
            done[int(fields[0])] = fields
    return done


def killer(hints, mutant_id):
    """The test that killed the mutant in one of the hint runs; read afresh for each mutant, so
    a hint run going on beside this one helps as it goes."""
    for hint in hints:
        fields = load_results(Path(hint) / "results.tsv").get(mutant_id)
        if fields and fields[1] == "killed" and not fields[3].startswith("^"):
            return fields[3]
    return None


def describe(m):
    shown = m["before"] if m["kind"] == "remove-statement" else m["after"]
    return f"#{m['id']} {m['file']}:{m['line']} {m['kind']}: {shown.strip()}"


def cmd_run(args, results):
    sample_file = results / "mutants.json"
    meta_file = results / "run.json"
    results.mkdir(parents=True, exist_ok=True)
    rev = args.rev or (json.loads(meta_file.read_text())["rev"] if meta_file.exists() else "HEAD")
    rev = subprocess.run(["git", "-C", str(ROOT), "rev-parse", rev], check=True,
                         capture_output=True, text=True).stdout.strip()
    meta_file.write_text(json.dumps({"rev": rev}) + "\n")
    ws = Workspace(results, rev)
    log = results / "log.txt"
    ws.prepare(log)
    if not sample_file.exists():
        source = Path(args.sample).resolve() if args.sample else None
        if source:
            shutil.copy(source, sample_file)
        else:
            mutants, pool = sample(ws.tree, args.seed, args.count)
            sample_file.write_text(json.dumps({"seed": args.seed, "pool": pool,
                                               "mutants": mutants}, indent=1) + "\n")
    mutants = json.loads(sample_file.read_text())["mutants"]
    table = results / "results.tsv"
    done = load_results(table)
    for m in mutants:
        if m["id"] in done:
            continue
        first = killer(args.hints, m["id"])
        started = time.monotonic()
        with open(log, "a") as out:
            out.write(f"\n=== {describe(m)}\n")
        original = apply(ws.tree, m)
        if original is None:
            status, detail = "not applied", "line not found"
        else:
            try:
                built = ws.build_all(log, args.build_timeout)
                if built != 0:
                    status, detail = "not built", ""
                else:
                    status, detail = ws.test(library_of(m["file"]), log, args.cap, args.jobs,
                                             first)
            finally:
                (ws.tree / m["file"]).write_text(original)
        seconds = round(time.monotonic() - started)
        with open(table, "a") as out:
            out.write(f"{m['id']}\t{status}\t{seconds}\t{detail}\n")
        print(f"{describe(m)} -> {status} {detail} ({seconds} s)", flush=True)
    ws.build_all(log, args.build_timeout)
    cmd_report(args, results)


def cmd_report(args, results):
    if not (results / "mutants.json").exists():
        print(f"mutants.sh: no sample in {results} yet (a run draws it once its build is ready)")
        return 1
    mutants = {m["id"]: m for m in json.loads((results / "mutants.json").read_text())["mutants"]}
    done = load_results(results / "results.tsv")
    counts = {}
    for fields in done.values():
        counts[fields[1]] = counts.get(fields[1], 0) + 1
    seconds = [int(f[2]) for f in done.values() if f[1] != "not applied"]
    caught = counts.get("killed", 0) + counts.get("timed out", 0)
    print(f"{len(done)} of {len(mutants)} mutants run: killed {counts.get('killed', 0)}, "
          f"timed out {counts.get('timed out', 0)}, survived {counts.get('survived', 0)}, "
          f"not built {counts.get('not built', 0)}, not applied {counts.get('not applied', 0)}")
    built = caught + counts.get("survived", 0)
    if built:
        print(f"caught {caught} of {built} built ({100 * caught / built:.0f} %)")
    if seconds:
        print(f"a mutant takes {sum(seconds) / len(seconds):.0f} s on average "
              f"(longest {max(seconds)} s)")
    survivors = [mutants[i] for i, f in sorted(done.items()) if f[1] == "survived"]
    if survivors:
        print("survivors:")
        for m in survivors:
            print("  " + describe(m))


def cmd_list(args, results):
    mutants, pool = sample(ROOT, args.seed, args.count)
    print(f"{len(mutants)} of {pool} candidate mutants (seed {args.seed}):")
    for m in mutants:
        print("  " + describe(m))


def main():
    parser = argparse.ArgumentParser(prog="mutants.sh", description=__doc__)
    parser.add_argument("verb", choices=["list", "run", "report"])
    parser.add_argument("--results", default=str(ROOT / "build" / "mutants"),
                        help="folder of the run: sample, results, log, tree (default build/mutants)")
    parser.add_argument("--rev", help="revision whose tests run (default: the run's, else HEAD)")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--count", type=int, default=120)
    parser.add_argument("--sample", help="mutants.json of an earlier run: the same mutants again")
    parser.add_argument("--hints", action="append", default=[], metavar="DIR",
                        help="results of an earlier run of the same sample: its killing test goes "
                             "first (repeatable)")
    parser.add_argument("--cap", type=int, default=900, help="seconds of tests per mutant")
    parser.add_argument("--build-timeout", type=int, default=900)
    parser.add_argument("--jobs", type=int, default=4, help="parallel tests (board tests wait)")
    args = parser.parse_args()
    results = Path(args.results).resolve()
    return {"list": cmd_list, "run": cmd_run, "report": cmd_report}[args.verb](args, results)


if __name__ == "__main__":
    sys.exit(main())
