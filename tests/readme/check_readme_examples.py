#!/usr/bin/env python3
"""Runs every `veltrika` command of README.md's code blocks against the demo box.

Usage: check_readme_examples.py README.md VELTRIKA

Each command line runs as it stands in its block (a line ended by a backslash goes on in the
next), in the order of the README, with `veltrika` replaced by the built executable and
`--demo=STATE` (one fresh state file for the whole README) put in front of its arguments,
in a temporary folder that takes the files the commands write. Only the part before a `|`
runs: what follows is for the reader's shell. The synopsis (a line with `[` or a word in
capitals such as COMMAND) is no command. A command must exit 0 unless its line announces
another status in a comment: `veltrika ... # exit status 1 ...`. Exits non-zero when a
command fails or when the README holds no command.
"""

import os
import re
import shlex
import signal
import subprocess
import sys
import time
import tempfile

ANNOUNCED = re.compile(r"#.*\bexit status (\d+)")
PLACEHOLDER = re.compile(r"^[A-Z][A-Z_]+$")


def code_lines(markdown):
    """The lines of the fenced and the indented code blocks, in order."""
    fenced = False
    indented = False
    previous_blank = True
    for line in markdown.splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            yield line
            continue
        blank = not line.strip()
        if line.startswith("    ") and (indented or previous_blank):
            indented = True
            yield line[4:]
        elif not blank:
            indented = False
        previous_blank = blank


def commands(markdown):
    """The veltrika command lines of the code blocks, continuation lines joined."""
    pending = ""
    for line in code_lines(markdown):
        text = pending + line.strip()
        if text.endswith("\\"):
            pending = text[:-1] + " "
            continue
        pending = ""
        if text.split(" ", 1)[0] == "veltrika":
            yield text


def runs_until_interrupted(arguments):
    """A monitor without --for or --count runs until the user stops it."""
    return "monitor" in arguments and not {"--for", "--count"} & set(arguments)


def run_example(command, folder, environment):
    if not runs_until_interrupted(command):
        # A command may print raw bytes (edid read -o -): they are read, not shown.
        return subprocess.run(command, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors="replace", timeout=60)
    # Stopped as a user stops it, with Ctrl+C after a few seconds: it must end with status 0.
    process = subprocess.Popen(command, cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(3)
    process.send_signal(signal.SIGINT)
    stdout, stderr = process.communicate(timeout=60)
    return subprocess.CompletedProcess(command, process.returncode, stdout, stderr)


def main():
    readme, veltrika = sys.argv[1], os.path.abspath(sys.argv[2])
    with open(readme, encoding="utf-8") as file:
        lines = list(commands(file.read()))
    failures = 0
    ran = 0
    with tempfile.TemporaryDirectory(prefix="veltrika-readme-") as folder:
        state = os.path.join(folder, "demo-box")
        environment = dict(os.environ, XDG_STATE_HOME=folder, XDG_DATA_HOME=folder, QT_QPA_PLATFORM="offscreen")
        for line in lines:
            words = shlex.split(line, comments=True)
            if "|" in words:
                words = words[:words.index("|")]
            if any("[" in word or PLACEHOLDER.match(word) for word in words[1:]):
                print(f"synopsis, not run: {line}")
                continue
            announced = ANNOUNCED.search(line)
            expected = int(announced.group(1)) if announced else 0
            arguments = [word for word in words[1:] if not word.startswith("--demo=")]
            run = run_example([veltrika, f"--demo={state}", *arguments], folder, environment)
            ran += 1
            verdict = "ok" if run.returncode == expected else "FAILED"
            print(f"{verdict}: exit status {run.returncode} (expected {expected}): {line}")
            if run.returncode != expected:
                failures += 1
                print(run.stderr.rstrip())
    print(f"{ran} commands run, {failures} failed")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
