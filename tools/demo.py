#!/usr/bin/env python3
"""Performs one real update under Wine in a throwaway sandbox and tells what happened.

Usage: demo.py BUILD_DIR    (the win32 build folder with updater.exe and e2e-helpers/)
Exits non-zero when the update did not happen.
"""
import shutil
import sys
from pathlib import Path

from wine_sandbox import STAGING, Environment, Run, Scenario, ensure_wine, win


def run_demo(build):
    ensure_wine()
    with Environment(build, work="demo") as env:
        run = Run(env, Scenario("demo"))
        print(f"1. Installation folder {win(run.install)} holds tarvex.exe v1.")
        print(f"2. v2 is staged at {run.temp_win}{STAGING}".replace("/", "\\"))
        print("3. Starting updater.exe there, as Tarvex would; it waits one second, then swaps the files.")
        run.execute()
        version = run.version_of(run.install / "tarvex.exe")
        print(f"4. updater.exe exited with status {run.exit_code} after showing {run.boxes} error box(es).")
        print(f"5. tarvex.exe in the installation folder is now {version}; "
            f"the staged copy is {'still there' if (run.temp / STAGING).exists() else 'gone'}.")
        for start in run.starts:
            print(f"6. Started: tarvex.exe {start['version']}, {start['ms'] - run.start_ms} ms after the updater, "
                f"command line {start['command_line']!r}, in {start['cwd']}.")
        problems = run.check()
        shutil.rmtree(env.work, ignore_errors=True)
    if problems:
        print("The update did not happen as it should:")
        for problem in problems:
            print(f"   {problem}")
        return 1
    print("Update done: v2 was installed and started. The sandbox has been removed.")
    return 0


if __name__ == "__main__":
    sys.exit(run_demo(Path(sys.argv[1]).resolve()))
