#!/usr/bin/env python3
"""The Windows build of velta-site writes what the native one writes.

Runs the same sites on disk through the native velta-site (built here, as a
small native build of that one target, when the win build has none beside
it) and through velta-site.exe under Wine, in every format and with the
options that change the output, and compares stdout, stderr and the exit
status byte for byte. A site given by an absolute path is spelled as each
platform spells it (/tmp/x and Z:\\tmp\\x); only that root may differ. Every
line either build writes must be valid UTF-8, and the JSON and SARIF must
parse.

usage: compare_native_windows.py --source DIR --native-build DIR --exe EXE
                                 --wine-run SCRIPT --work DIR
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

BASE = ["--base-url", "https://vendor.test/"]
CATALOG = "qrnSupport/download/VELTA/veltadownloadlist.txt"


def build_native(source, build):
    binary = os.path.join(build, "sitecheck", "velta-site")
    env = dict(os.environ)
    for name in ("CMAKE_TOOLCHAIN_FILE", "CC", "CXX", "CFLAGS", "CXXFLAGS", "LDFLAGS"):
        env.pop(name, None)
    steps = [
        ["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
         "-DVELTA_BUILD_TESTS=OFF"],
        ["cmake", "--build", build, "-j2", "--target", "velta-site"],
    ]
    for step in steps:
        done = subprocess.run(step, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            sys.stdout.write(done.stdout.decode("utf-8", "replace"))
            raise SystemExit("FAIL: the native build of velta-site failed")
    return binary


def write(root, relative, data):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_sites(work):
    """Sites whose findings quote Japanese names and the customer's texts."""
    sites = {}
    faulty = os.path.join(work, "faulty")
    write(faulty, CATALOG,
          b"1,VELTA Test,https://vendor.test/p/,20261201\r\n"
          b"2,\x8b\x8b\x97\x5e,https://vendor.test/q/,2026-12-01\r\n"
          b"3,\x83\x65\x83\x58\x83\x67,https://other.test/r/,20261201\r\n"
          b"4,Blank,https://vendor.test/s/,20261201\r\n")
    write(faulty, "p/downloadlist.txt",
          b"setup.exe\r\ndata.cab\r\n\x83\x66\x81\x5b\x83\x5e.cab\r\n data2.cab\r\nCON.cab\r\n")
    write(faulty, "p/setup.exe", b"MZ")
    write(faulty, "p/data.cab", b"cabinet")
    write(faulty, "q/downloadlist.txt", b"setup.exe\r\nsetup.exe\r\n")
    write(faulty, "s/downloadlist.txt", b"")
    sites["faulty"] = faulty

    utf8 = os.path.join(work, "utf8")
    write(utf8, CATALOG, "1,給与,https://vendor.test/p/,20261201\r\n".encode("utf-8"))
    write(utf8, "p/downloadlist.txt", b"setup.exe\r\n")
    sites["utf8"] = utf8

    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    sites["empty"] = empty
    return sites


def runs(sites, accept):
    """(name, site, arguments after the site)."""
    out = []
    for name, site in sites.items():
        for fmt in ("text", "json", "sarif", "github"):
            out.append((f"{name} --format {fmt}", site, BASE + ["--format", fmt, "--both"]))
    out += [
        ("faulty --strict", sites["faulty"], BASE + ["--strict"]),
        ("faulty --accept", sites["faulty"], BASE + ["--accept", accept]),
        ("faulty --accept --format sarif", sites["faulty"],
         BASE + ["--accept", accept, "--format", "sarif"]),
        ("faulty, Japanese Downloads folder", sites["faulty"],
         BASE + ["--downloads-folder", "C:\\Users\\" + "あ" * 20 + "\\Downloads"]),
        ("faulty, Downloads folder too long", sites["faulty"],
         BASE + ["--downloads-folder", "C:\\" + "d" * 300]),
        ("wrong usage", sites["faulty"], ["--format", "xml"]),
        ("no such folder", sites["faulty"] + "-missing", BASE),
    ]
    return out


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=300)
    return done.returncode, done.stdout, done.stderr


def utf8_problems(label, data):
    problems = []
    for number, line in enumerate(data.split(b"\n"), 1):
        try:
            line.decode("utf-8", "strict")
        except UnicodeDecodeError as e:
            problems.append(f"{label}: line {number} is not UTF-8 ({e}): {line[:120]!r}")
    return problems


def windows_spelling(path):
    """How a Windows user names a folder of the Linux file system under Wine."""
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--source", "--native-build", "--exe", "--wine-run", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    native = build_native(args.source, args.native_build)
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    sites = make_sites(work)
    accept = os.path.join(work, "accept.txt")
    with open(accept, "w", encoding="utf-8") as f:
        f.write("# one entry that names a finding once rule ids exist, one that never does\n")
        f.write("VS999\tp/downloadlist.txt\tCON.cab\n")

    failures = []
    count = 0
    for name, site, rest in runs(sites, accept):
        # The site named relative to the working folder (the same bytes on
        # both), then absolute (each platform's own spelling of the root).
        for absolute in (False, True):
            relative = os.path.relpath(site, work)
            native_site = site if absolute else relative
            windows_site = windows_spelling(site) if absolute else relative
            native_run = run([native, "check", native_site] + rest, work)
            windows_run = run([args.wine_run, args.exe, "check",
                               windows_site] + rest, work)
            label = f"{name} ({'absolute' if absolute else 'relative'} root)"
            count += 1
            for which, (status, out, err) in (("native", native_run), ("windows", windows_run)):
                failures += utf8_problems(f"{label}, {which} stdout", out)
                failures += utf8_problems(f"{label}, {which} stderr", err)
                if "--format json" in name or "--format sarif" in name:
                    try:
                        json.loads(out.decode("utf-8"))
                    except ValueError as e:
                        failures.append(f"{label}, {which}: output is no JSON: {e}")
            status, out, err = windows_run
            if absolute:
                # The root's own spelling: findings name it Z:/tmp/x (file:///Z:/tmp/x
                # in SARIF, Z%3A/tmp/x in a workflow command's property); a message
                # about the folder as typed (the report's, or wrong usage's) quotes
                # Z:\tmp\x. Findings that mix separators keep a difference.
                root = site.encode("utf-8")
                typed = windows_site.encode("utf-8")
                slashed = windows_site.replace("\\", "/").encode("utf-8")
                out = out.replace(slashed, root).replace(slashed.replace(b":", b"%3A", 1), root)
                out = out.replace(b"file:///" + root, b"file://" + root).replace(typed, root)
                err = err.replace(typed, root)
            if (status, out, err) != native_run:
                failures.append(
                    f"{label}: the builds differ\n"
                    f"  native  exit {native_run[0]}\n{native_run[1].decode('utf-8', 'replace')}"
                    f"{native_run[2].decode('utf-8', 'replace')}\n"
                    f"  windows exit {status}\n{out.decode('utf-8', 'replace')}"
                    f"{err.decode('utf-8', 'replace')}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{count} runs compared, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
