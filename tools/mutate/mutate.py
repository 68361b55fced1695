#!/usr/bin/env python3
"""Mutation testing: how many realistic faults does the test suite catch?

Reads a list of mutations (see mutations.txt), makes a private copy of the
committed tree (a git worktree under build/), and for each mutation: applies
it, rebuilds incrementally, runs the tests that could see it, and puts the
source back. A mutation is killed when a test fails (or the tests time out),
survives when they all pass, and is invalid when the tree no longer builds or
the pattern is not found exactly once. Prints one line per mutation and the
score (killed / (killed + survived)).

  tools/mutate/mutate.py [--list FILE] [--only ID,...] [--build-type Release|asan] [--jobs N]

The tests need what tools/test.sh provides (DISPLAY for the X11 tests).
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def parse_list(path):
    """Entries are blocks separated by blank lines:
         id: short name
         file: path from the repository root
         find: the exact text to replace (\\n for a new line)
         replace: its replacement
         tests: ctest -R regular expression of the tests that could see it
    Lines starting with # are comments."""
    entries, current = [], {}
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                if current:
                    entries.append(current)
                current = {}
                continue
            key, _, value = line.partition(":")
            current[key.strip()] = value[1:] if value.startswith(" ") else value
    if current:
        entries.append(current)
    for entry in entries:
        missing = {"id", "file", "find", "replace", "tests"} - entry.keys()
        if missing:
            sys.exit(f"mutation {entry.get('id', '?')}: missing {', '.join(sorted(missing))}")
        entry["find"] = entry["find"].replace("\\n", "\n")
        entry["replace"] = entry["replace"].replace("\\n", "\n")
    return entries


def run(command, cwd, timeout=None, env=None):
    try:
        result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=timeout, env=env)
        return result.returncode, result.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "timed out"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "tools/mutate/mutations.txt"))
    parser.add_argument("--only", default="", help="comma-separated ids")
    parser.add_argument("--sanitize", action="store_true", help="use an ASan+UBSan build")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--test-timeout", type=int, default=900)
    parser.add_argument("--keep", action="store_true", help="keep the private tree for the next run")
    args = parser.parse_args()

    mutations = parse_list(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        mutations = [m for m in mutations if m["id"] in wanted]

    tree = os.path.join(ROOT, "build", "mutation-tree")
    if not os.path.isdir(tree):
        code, out = run(["git", "worktree", "add", "--detach", tree, "HEAD"], ROOT)
        if code != 0:
            sys.exit(out)
    else:
        run(["git", "checkout", "--detach", "-f", subprocess.check_output(
            ["git", "rev-parse", "HEAD"], cwd=ROOT).decode().strip()], tree)
        run(["git", "checkout", "--", "."], tree)
    build = os.path.join(tree, "build", "mutate")
    configure = ["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DMOONWISP_BENCH=OFF"]
    if args.sanitize:
        configure.append("-DMOONWISP_SANITIZE=ON")
    if shutil.which("ccache"):
        configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    for step in (configure, ["cmake", "--build", build, f"-j{args.jobs}"]):
        code, out = run(step, tree)
        if code != 0:
            sys.exit("the unmutated tree does not build:\n" + out[-4000:])

    killed = survived = invalid = 0
    for m in mutations:
        path = os.path.join(tree, m["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        started = time.monotonic()
        if original.count(m["find"]) != 1:
            verdict, detail = "invalid", f"pattern found {original.count(m['find'])} times"
        else:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["find"], m["replace"]))
            try:
                code, out = run(["cmake", "--build", build, f"-j{args.jobs}"], tree)
                if code != 0:
                    verdict, detail = "invalid", "does not build"
                else:
                    code, out = run(["ctest", "--test-dir", build, "-R", m["tests"], "-j", str(args.jobs),
                                     "--timeout", "300", "--no-tests=error"], tree, timeout=args.test_timeout)
                    if code == 0:
                        verdict, detail = "SURVIVED", ""
                    else:
                        verdict = "killed"
                        failed = [l.split(" - ")[-1].split(" (")[0] for l in out.splitlines() if "***Failed" in l
                                  or "(Failed)" in l or "(Timeout)" in l or "(SEGFAULT)" in l]
                        detail = ", ".join(failed[:3]) if failed else (out[-200:] if code is not None else "timed out")
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
        killed += verdict == "killed"
        survived += verdict == "SURVIVED"
        invalid += verdict == "invalid"
        print(f"{m['id']:<34} {verdict:<9} {time.monotonic() - started:5.0f}s  {detail}", flush=True)

    run(["cmake", "--build", build, f"-j{args.jobs}"], tree)  # leave the tree built from clean sources
    scored = killed + survived
    print(f"\nkilled {killed}, survived {survived}, invalid {invalid}; "
          f"score {killed}/{scored} = {100.0 * killed / scored if scored else 0:.0f}%")
    if not args.keep:
        run(["git", "worktree", "remove", "--force", tree], ROOT)
    return 0


if __name__ == "__main__":
    sys.exit(main())
