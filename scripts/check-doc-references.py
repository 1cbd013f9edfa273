#!/usr/bin/env python3
"""Fails when a document cites a test, a function or a file that is not in the tree.

Docs drift when tests are renamed or cut; a reader who looks for a cited guard and
finds nothing has lost the proof. What counts as a citation:

- `Suite.Case` (or `Suite.*`): a TEST, TEST_F or TEST_P of that suite and case must
  exist in a source file;
- a back-quoted path with a slash or a file extension: the file or folder must exist
  (paths below build/, .cache/ or a placeholder such as DIR/ are generated and skipped);
- a CamelCase name of two or more humps, back-quoted or not, and a back-quoted
  Name::Member: the name must occur in a source file.

usage: check-doc-references.py [--root DIR] [DOC ...]   (default: every tracked *.md)
Prints one line per dangling reference and exits 1 if there is any.
"""
import argparse
import os
import re
import subprocess
import sys

SOURCE_ENDINGS = (".cpp", ".h", ".hpp", ".c", ".py", ".sh", ".cmake", ".txt", ".rc", ".in",
                  ".manifest", ".conf")
SKIP_PREFIXES = ("build/", ".cache/", "../", "http://", "https://", "/", "~", "$", "-")
BACKTICKED = re.compile(r"`([^`\n]+)`")
TEST_NAME = re.compile(r"^(?:\w+/)?([A-Z]\w*)\.([A-Z]\w*|\*)$")
CAMEL = re.compile(r"\b[A-Z][a-z0-9]+(?:[A-Z][a-z0-9]+){2,}\b")
CAMEL_IN_CODE = re.compile(r"^[A-Z]\w*(?:::[A-Za-z_]\w*)*$")
PATH_LIKE = re.compile(r"^[\w.\-/]+$")
TEST_MACRO = re.compile(r"\bTEST(?:_F|_P)?\s*\(\s*(\w+)\s*,\s*(\w+)\s*\)")


def tracked_files(root):
    try:
        out = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"],
                             cwd=root, check=True, capture_output=True, text=True).stdout
        return [line for line in out.splitlines() if line]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, dirs, files in os.walk(root):
            dirs[:] = [d for d in dirs if d not in (".git", "build", ".cache")]
            found += [os.path.relpath(os.path.join(folder, f), root) for f in files]
        return found


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def looks_like_path(token):
    if not PATH_LIKE.match(token) or token.startswith(SKIP_PREFIXES):
        return False
    if "/" in token:
        first = token.split("/", 1)[0]
        # DIR/..., BUILD/... name a folder given on a command line, not one of the tree.
        return not (first.isupper() and len(first) > 1)
    return os.path.splitext(token)[1] in (".cpp", ".h", ".py", ".sh", ".md", ".rc", ".cmake")


def check(root, docs):
    files = tracked_files(root)
    # The check's own test cites dangling names on purpose.
    sources = [f for f in files if (f.endswith(SOURCE_ENDINGS) or os.path.basename(f) == "run")
               and not f.startswith("tests/docs/")]
    text = {f: read(os.path.join(root, f)) for f in sources if os.path.isfile(os.path.join(root, f))}
    corpus = "\n".join(text.values())
    words = set(re.findall(r"\w+", corpus))
    tests = set()
    for body in text.values():
        tests.update(TEST_MACRO.findall(body))
    suites = {suite for suite, _ in tests}
    basenames = {os.path.basename(f) for f in files}

    problems = []
    for doc in docs:
        body = read(os.path.join(root, doc))
        for number, line in enumerate(body.splitlines(), 1):
            def report(what):
                problems.append(f"{doc}:{number}: {what}")

            quoted = BACKTICKED.findall(line)
            for token in quoted:
                token = token.strip()
                m = TEST_NAME.match(token)
                if m:
                    suite, case = m.groups()
                    if suite in suites or re.search(r"Tests?$", suite):
                        if case == "*" and suite not in suites:
                            report(f"no test suite {suite}")
                        elif case != "*" and (suite, case) not in tests:
                            report(f"no test {token}")
                    elif suite not in words or case not in words:
                        report(f"no name {token} in the sources")
                    continue
                if looks_like_path(token):
                    path = token.rstrip("/")
                    if not os.path.exists(os.path.join(root, path)) and path not in basenames:
                        report(f"no file {token}")
                    continue
                if CAMEL_IN_CODE.match(token):
                    for name in token.split("::"):
                        if re.match(r"^(?=.*[a-z])(?=[A-Z]\w*[A-Z])[A-Z]\w+$", name) and \
                                name not in words:
                            report(f"no name {name} in the sources")
            prose = BACKTICKED.sub(" ", line)
            for name in CAMEL.findall(prose):
                if name not in words:
                    report(f"no name {name} in the sources")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("docs", nargs="*")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    docs = args.docs or [f for f in tracked_files(root) if f.endswith(".md")]
    problems = check(root, docs)
    for p in problems:
        print(p)
    print(f"check-doc-references: {len(docs)} documents, {len(problems)} dangling references")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
