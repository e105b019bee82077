#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a fuzz target's corpus reaches of its reader files, for scripts/fuzz-long.sh.

fuzz-coverage.py EXPORT EXCEPTIONS MISSED SOURCE...

EXPORT is `llvm-cov export -format=text` of the target's coverage run, EXCEPTIONS the file of
reasons (fuzz/coverage-exceptions.txt), SOURCE the reader files (paths from the top of the
repository). Prints "functions-hit functions lines-hit lines" over the reader files, and writes to
MISSED every reader function never reached, demangled, with its reason or as UNEXPLAINED.
The files are picked out here rather than by llvm-cov: when ccache rewrote the paths, the coverage
mapping names sources relative to the build folder, and llvm-cov's own file filter then finds none.
"""
import json
import subprocess
import sys


def main():
    export, exceptions, missed_file, sources = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]

    def source_of(path):
        return next((s for s in sources if path == s or path.endswith("/" + s)), None)

    reasons = []
    for line in open(exceptions, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            where, what, why = (part.strip() for part in line.split("|", 2))
            reasons.append((where, what, why))

    data = json.load(open(export))["data"][0]
    totals = [0, 0, 0, 0]
    for f in data["files"]:
        if source_of(f["filename"]):
            s = f["summary"]
            totals = [a + b for a, b in zip(totals, (s["functions"]["covered"], s["functions"]["count"],
                                                     s["lines"]["covered"], s["lines"]["count"]))]
    print(*totals)

    # A function's name is "file:name" for one with internal linkage.
    missed = sorted({(source_of(f["filenames"][0]), f["name"].split(":")[-1]) for f in data["functions"]
                     if f["count"] == 0 and source_of(f["filenames"][0])})
    names = subprocess.run(["c++filt"], input="\n".join(m for _, m in missed), text=True,
                           capture_output=True, check=True).stdout.splitlines()
    with open(missed_file, "w", encoding="utf-8") as out:
        for (source, _), name in zip(missed, names):
            why = next((r for w, n, r in reasons if source.endswith(w) and n in name), None)
            print(("explained " if why else "UNEXPLAINED ") + f"{source}: {name}: {why or 'no reason given'}",
                  file=out)


main()
