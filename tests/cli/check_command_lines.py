#!/usr/bin/env python3
"""Runs the three programs with many command lines and compares what they
print and their exit status with command_lines.expected.json.

Every case ends before a window opens or a link is talked to: help texts,
versions, unknown options, missing values, bad numbers, repeated options,
"--" and the checks that follow the parsing. Each run gets a fresh folder as
its current folder, HOME, XDG_CONFIG_HOME, XDG_STATE_HOME and TMPDIR, so the
user's settings play no part; that folder's path and the version read
@TMP@ and @VERSION@ in the expectations.

Usage:
  check_command_lines.py --quillmar BIN --cli BIN --sim BIN --version V
                         --expect FILE [--update]
  --update  writes FILE from what the programs print now.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

NOWHERE = "/nonexistent/ttyQM9"

# (program, arguments). The programs: "quillmar", "quillmar-cli", "quillmar-ecusim".
CASES = [
    # ---- quillmar: only lines that end before the window opens.
    ("quillmar", ["--help"]),
    ("quillmar", ["-h"]),
    ("quillmar", ["--version"]),
    ("quillmar", ["-v"]),
    ("quillmar", ["--help=yes"]),
    ("quillmar", ["--version=1"]),
    ("quillmar", ["--demo=1"]),
    ("quillmar", ["--bogus"]),
    ("quillmar", ["-x"]),
    ("quillmar", ["--bogus=1"]),
    ("quillmar", ["--=x"]),
    ("quillmar", ["--port"]),
    ("quillmar", ["--port="]),
    ("quillmar", ["--port", "COM21"]),
    ("quillmar", ["--port=COM0"]),
    ("quillmar", ["--ini"]),
    ("quillmar", ["--ini="]),
    ("quillmar", ["--ini", ""]),
    ("quillmar", ["--replay"]),
    ("quillmar", ["--replay", "x.ecu"]),
    ("quillmar", ["--demo", "--replay="]),
    ("quillmar", ["--demo", "--port", "COM1"]),
    ("quillmar", ["--port", "COM1", "--demo"]),
    ("quillmar", ["--port", "COM1", "--port", "COM99"]),
    ("quillmar", ["--port", "COM99", "--bogus"]),
    ("quillmar", ["--bogus", "--port", "COM99"]),
    ("quillmar", ["--help", "--bogus"]),
    ("quillmar", ["--bogus", "--help"]),
    ("quillmar", ["--version", "--help"]),
    ("quillmar", ["--help", "--version"]),
    ("quillmar", ["--port", "COM99", "--help"]),
    ("quillmar", ["a.ecu", "--bogus"]),
    ("quillmar", ["--replay", "x.ecu", "--", "--demo"]),
    ("quillmar", ["--bogus", "--", "a.ecu"]),
    ("quillmar", ["--replay", "--demo"]),
    # ---- quillmar-cli: the commands and their options.
    ("quillmar-cli", []),
    ("quillmar-cli", ["--help"]),
    ("quillmar-cli", ["-h"]),
    ("quillmar-cli", ["help"]),
    ("quillmar-cli", ["--version"]),
    ("quillmar-cli", ["bogus"]),
    ("quillmar-cli", ["--bogus"]),
    ("quillmar-cli", ["--help=1"]),
    ("quillmar-cli", ["log", "--help"]),
    ("quillmar-cli", ["watch", "--help"]),
    ("quillmar-cli", ["table", "--help"]),
    ("quillmar-cli", ["info", "--help"]),
    ("quillmar-cli", ["export", "--help"]),
    ("quillmar-cli", ["plot", "--help"]),
    ("quillmar-cli", ["dump-prom", "--help"]),
    ("quillmar-cli", ["create-ini", "--help"]),
    ("quillmar-cli", ["recover", "--help"]),
    ("quillmar-cli", ["ports", "--help"]),
    ("quillmar-cli", ["log", "-h"]),
    ("quillmar-cli", ["log", "--help=1"]),
    ("quillmar-cli", ["log", "--bogus", "--help"]),
    ("quillmar-cli", ["log", "--help", "--bogus"]),
    ("quillmar-cli", ["log"]),
    ("quillmar-cli", ["log", "--bogus"]),
    ("quillmar-cli", ["log", "--bogus=3"]),
    ("quillmar-cli", ["log", "--=3"]),
    ("quillmar-cli", ["log", "--port"]),
    ("quillmar-cli", ["log", "--test-mode=1"]),
    ("quillmar-cli", ["log", "--test-mode", "extra"]),
    ("quillmar-cli", ["log", "--port", "COM21", "--out", "x.ecu"]),
    ("quillmar-cli", ["log", "--port=COM1"]),
    ("quillmar-cli", ["log", "--test-mode"]),
    ("quillmar-cli", ["log", "--test-mode", "--out="]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "0"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "+5"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", " 5"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "2147483648"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "abc"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--seconds", "0"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--seconds", "1e3"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--seconds", "2000001"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--seconds", "-1"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--seconds", "1.2.3"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "5", "--rows", "0"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--rows", "0", "--rows", "5", "--period", "0"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--period", "0"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--period", "4294967296"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--message", "5"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "x.ecu", "--message", "-2"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "/dev/null"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", ".", "--comment", "x"]),
    ("quillmar-cli", ["log", "--test-mode", "--", "--out"]),
    ("quillmar-cli", ["log", "--test-mode", "--out", "--rows", "--rows", "0"]),
    ("quillmar-cli", ["watch"]),
    ("quillmar-cli", ["watch", "stray"]),
    ("quillmar-cli", ["watch", "--test-mode", "--update", "0"]),
    ("quillmar-cli", ["watch", "--test-mode", "--update", "x"]),
    ("quillmar-cli", ["watch", "--test-mode", "--out", "x"]),
    ("quillmar-cli", ["watch", "--port", NOWHERE]),
    ("quillmar-cli", ["table"]),
    ("quillmar-cli", ["table", "a.ecu", "b.ecu"]),
    ("quillmar-cli", ["table", "missing.ecu"]),
    ("quillmar-cli", ["table", "--ini"]),
    ("quillmar-cli", ["table", "--", "--help"]),
    ("quillmar-cli", ["info"]),
    ("quillmar-cli", ["info", "--rows", "3"]),
    ("quillmar-cli", ["export", "a.ecu"]),
    ("quillmar-cli", ["export", "a.ecu", "--out", "a.txt"]),
    ("quillmar-cli", ["export", "a.ecu", "--out", "a.txt", "--out", "a.csv"]),
    ("quillmar-cli", ["export", "--out", "a.csv"]),
    ("quillmar-cli", ["plot"]),
    ("quillmar-cli", ["plot", "a.ecu"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--y", "Speed"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--y", "Speed", "--out", "a.gif"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--y", "Speed", "--out", "a.png", "--size", "10x10"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--y", "Speed", "--out", "a.png", "--size", "800"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Nope", "--y", "Speed", "--out", "a.png"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--x", "Nope", "--y", "Speed", "--out", "a.png"]),
    ("quillmar-cli", ["histogram", "--help"]),
    ("quillmar-cli", ["histogram"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "1.5,1,0.5", "--out", "t.csv"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:0", "--y-axis", "0.5,1", "--out", "t.csv"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000", "--y-axis", "0.5,1", "--out", "t.csv"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "0.5", "--out", "t.csv"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "0.5,1", "--out", "t.txt"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "0.5,1", "--out", "t.csv",
                      "--stat", "median"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "0.5,1", "--out", "t.csv",
                      "--min-count", "0"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Spark advance", "--x-axis", "0:6000:500", "--y-axis", "0.5,1", "--out", "t.csv",
                      "--channel", "Load=[Engine sped] * 2"]),
    ("quillmar-cli", ["histogram", "a.ecu", "--x", "Engine speed", "--y", "Manifold press (abs).", "--z",
                      "Sparks", "--x-axis", "0:6000:500", "--y-axis", "0.5,1", "--out", "t.csv",
                      "--channel", "Load [kPa]=[Engine speed] * 2"]),
    ("quillmar-cli", ["table", "a.ecu", "--channel", "Load=[Engine sped] * 2"]),
    ("quillmar-cli", ["table", "a.ecu", "--channel", "Engine speed=1"]),
    ("quillmar-cli", ["table", "a.ecu", "--channel", "Load"]),
    ("quillmar-cli", ["table", "a.ecu", "--channel", "Load=2 [Engine speed]"]),
    ("quillmar-cli", ["table", "a.ecu", "--channel", "Load=1", "--channel", "Load=2"]),
    ("quillmar-cli", ["table", "a.ecu", "--channels", "missing.channels"]),
    ("quillmar-cli", ["table", "--channel"]),
    ("quillmar-cli", ["export", "a.ecu", "--out", "a.csv", "--channel", "X=1 +"]),
    ("quillmar-cli", ["plot", "a.ecu", "--x", "Time", "--y", "Nope", "--out", "a.png", "--channel", "Load=1"]),
    ("quillmar-cli", ["watch", "--test-mode", "--channel", "Idle=[Flags 30/Idle]"]),
    ("quillmar-cli", ["dump-prom"]),
    ("quillmar-cli", ["dump-prom", "--test-mode"]),
    ("quillmar-cli", ["dump-prom", "--port", "COM0", "--out", "p.bin"]),
    ("quillmar-cli", ["dump-prom", "--port", NOWHERE, "--out", "p.bin"]),
    ("quillmar-cli", ["create-ini", "stray"]),
    ("quillmar-cli", ["create-ini", "--ini", "/dev/null"]),
    ("quillmar-cli", ["recover", "a", "b"]),
    ("quillmar-cli", ["recover", "--list", "--out", "x.ecu"]),
    ("quillmar-cli", ["recover", "--out="]),
    ("quillmar-cli", ["recover", "--list"]),
    ("quillmar-cli", ["recover", "nothing-here"]),
    ("quillmar-cli", ["ports", "extra"]),
    ("quillmar-cli", ["ports", "--list"]),
    # ---- quillmar-ecusim: only lines that end before the device opens.
    ("quillmar-ecusim", ["--help"]),
    ("quillmar-ecusim", ["-h"]),
    ("quillmar-ecusim", ["--version"]),
    ("quillmar-ecusim", ["-v"]),
    ("quillmar-ecusim", ["--bogus"]),
    ("quillmar-ecusim", ["stray"]),
    ("quillmar-ecusim", ["--"]),
    ("quillmar-ecusim", ["--help=1"]),
    ("quillmar-ecusim", ["--seed=1"]),
    ("quillmar-ecusim", ["--pace=1"]),
    ("quillmar-ecusim", ["--link"]),
    ("quillmar-ecusim", ["--seed"]),
    ("quillmar-ecusim", ["--no-echo"]),
    ("quillmar-ecusim", ["--seed", "-1"]),
    ("quillmar-ecusim", ["--seed", "1.5"]),
    ("quillmar-ecusim", ["--seed", "4294967296"]),
    ("quillmar-ecusim", ["--seed", "+3"]),
    ("quillmar-ecusim", ["--seed", ""]),
    ("quillmar-ecusim", ["--step", "1e3"]),
    ("quillmar-ecusim", ["--step", "3600.5"]),
    ("quillmar-ecusim", ["--step", "."]),
    ("quillmar-ecusim", ["--turnaround", "inf"]),
    ("quillmar-ecusim", ["--hang-up", "1..2"]),
    ("quillmar-ecusim", ["--bad-echo", "2.5"]),
    ("quillmar-ecusim", ["--silence", "1000000001"]),
    ("quillmar-ecusim", ["--truncated", "x"]),
    ("quillmar-ecusim", ["--noise", "3", "--bad-check", "-"]),
    ("quillmar-ecusim", ["--wrong-mode", "1", "--wrong-mode", "x"]),
    ("quillmar-ecusim", ["--seed", "--help"]),
    ("quillmar-ecusim", ["--pace", "--bogus"]),
    ("quillmar-ecusim", ["--pace", "--help"]),
    ("quillmar-ecusim", ["--seed", "x", "--help"]),
    ("quillmar-ecusim", ["--help", "--seed", "x"]),
    ("quillmar-ecusim", ["--version", "--bogus"]),
    ("quillmar-ecusim", ["--prom", "/nonexistent/prom.bin"]),
    ("quillmar-ecusim", ["--replay", "/nonexistent/log.ecu"]),
]


def run_case(binaries, program, args, version):
    with tempfile.TemporaryDirectory(prefix="qm-cmdline-") as tmp:
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": tmp,
            "XDG_CONFIG_HOME": os.path.join(tmp, "config"),
            "XDG_STATE_HOME": os.path.join(tmp, "state"),
            "XDG_RUNTIME_DIR": tmp,
            "TMPDIR": tmp,
            "QT_QPA_PLATFORM": "offscreen",
            "LANG": "C.UTF-8",
        }
        for sanitizer in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if sanitizer in os.environ:
                env[sanitizer] = os.environ[sanitizer]
        try:
            done = subprocess.run([binaries[program]] + args, cwd=tmp, env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60)
            status = done.returncode
            stdout, stderr = done.stdout, done.stderr
        except subprocess.TimeoutExpired as e:
            status = "timeout"
            stdout, stderr = e.stdout or b"", e.stderr or b""

        def clean(data):
            text = data.decode("utf-8", errors="backslashreplace")
            text = text.replace(os.path.realpath(tmp), "@TMP@").replace(tmp, "@TMP@")
            return text.replace(version, "@VERSION@")

        return {"program": program, "args": args, "status": status, "stdout": clean(stdout),
                "stderr": clean(stderr)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillmar", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--expect", required=True)
    parser.add_argument("--update", action="store_true")
    options = parser.parse_args()
    binaries = {"quillmar": os.path.abspath(options.quillmar), "quillmar-cli": os.path.abspath(options.cli),
                "quillmar-ecusim": os.path.abspath(options.sim)}

    results = [run_case(binaries, program, args, options.version) for program, args in CASES]
    if options.update:
        with open(options.expect, "w", encoding="utf-8") as f:
            json.dump(results, f, indent=1, ensure_ascii=False)
            f.write("\n")
        print(f"wrote {len(results)} cases to {options.expect}")
        return 0

    with open(options.expect, encoding="utf-8") as f:
        expected = {(e["program"], json.dumps(e["args"])): e for e in json.load(f)}
    failed = 0
    for got in results:
        case_failed = False
        key = (got["program"], json.dumps(got["args"]))
        want = expected.get(key)
        label = got["program"] + " " + " ".join(json.dumps(a) if (not a or " " in a) else a for a in got["args"])
        if want is None:
            print(f"NEW CASE (no expectation): {label}")
            failed += 1
            continue
        for field in ("status", "stdout", "stderr"):
            if got[field] != want[field]:
                print(f"DIFFERS in {field}: {label}\n  expected: {want[field]!r}\n  got:      {got[field]!r}")
                case_failed = True
        failed += case_failed
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
