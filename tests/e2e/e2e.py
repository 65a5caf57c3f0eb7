#!/usr/bin/env python3
"""Runs the real updater.exe under Wine, with real files, a real error box
under Xvfb and a real started program, and checks what a user would see.

Usage: e2e.py BUILD_DIR    (the win32 build folder with updater.exe and e2e-helpers/)
Exits 77 (skipped) when Wine cannot be made to run 32-bit programs here.
"""
import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from wine_sandbox import BOX_TITLE, Environment, Run, Scenario, ensure_wine  # noqa: E402

BOX_TEXT = r"Updating failed\n\nAccess to TARVEX.EXE denied"  # as Wine's trace escapes it

SCENARIOS = [
    Scenario("nothing staged", staged=False, installed_after="v1", started=("v1",)),
    Scenario("normal swap"),
    Scenario("no installed executable", installed=False),
    Scenario("installed executable running", installed_mode="running", installed_after="v1",
             staged_after=True, boxes=2, started=("v1",)),
    Scenario("installed executable read-only", installed_mode="read-only", installed_after="v1",
             staged_after=True, boxes=2, started=("v1",), relay=True),
    Scenario("staged file held open", hold_staged=True, installed_after="v1", staged_after=True, boxes=1,
             started=("v1",)),
    Scenario("arguments given", args=("--force", "x", "/S")),
    Scenario("other current directory", other_cwd=True),
    Scenario("temp folder on another volume", temp="other-volume"),
    Scenario("deep temp path", temp="deep"),
    Scenario("temp path too long", temp="too-long", installed_after="v1", staged_after=True, started=("v1",)),
    Scenario("neither file present", installed=False, staged=False, installed_after="", started=()),
]


def check_relay(trace, boxes):
    """The updater's own platform calls, from a WINEDEBUG=+relay trace of the launcher and its children."""
    problems = []
    calls = re.findall(r"^([0-9a-f]{4}):Call (\w+)\.(\w+)\((.*)\) ret=", trace, re.M)
    sleep = [c for c in calls if c[2] == "Sleep" and c[3] == "000003e8"]
    if len(sleep) != 1:
        return [f"wanted one Sleep(1000) in the trace, found {len(sleep)}"]
    thread = sleep[0][0]
    mine = [c for c in calls if c[0] == thread]
    file_calls = {"GetTempPathA", "OpenFile", "CreateFileA", "CopyFileA", "DeleteFileA", "MoveFileA",
                  "SetFileAttributesA"}
    first_file = next((i for i, c in enumerate(mine) if c[2] in file_calls), None)
    if first_file is None or mine.index(sleep[0]) > first_file:
        problems.append("Sleep(1000) did not come before every file call")
    restricted = [i for i, c in enumerate(mine) if c[2] == "SetDefaultDllDirectories" and c[3] == "00000800"]
    if len(restricted) != 1 or restricted[0] > mine.index(sleep[0]):
        problems.append("SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) was not called once before the wait")
    box_calls = [c for c in mine if c[2] == "MessageBoxA"]
    wanted_box = f'00000000,{{p}} "{BOX_TEXT}",{{p}} "{BOX_TITLE}",00000010'
    for box in box_calls:
        shape = re.sub(r"\b[0-9a-f]{8}\b(?= \")", "{p}", box[3])
        if shape != wanted_box:
            problems.append(f"MessageBoxA arguments: {box[3]}")
    if len(box_calls) != boxes:
        problems.append(f"wanted {boxes} MessageBoxA calls, found {len(box_calls)}")
    launches = [c for c in mine if c[2] == "CreateProcessA"]
    if len(launches) != 1 or not re.fullmatch(r'[0-9a-f]{8} "tarvex\.exe",00000000,00000000,00000000,00000000,'
                                              r'00000000,00000000,00000000,[0-9a-f]{8},[0-9a-f]{8}',
                                              launches[0][3]):
        problems.append(f"CreateProcessA calls: {[c[3] for c in launches]}")
    return problems


def run_suite(build):
    ensure_wine()
    passed = failed = 0
    screenshot = build / "error-box.png"
    screenshot.unlink(missing_ok=True)
    with Environment(build) as env:
        for scenario in SCENARIOS:
            began = time.monotonic()
            try:
                run = Run(env, scenario).execute(screenshot)
                problems = run.check()
                if scenario.relay:
                    problems += check_relay(run.stderr.decode(errors="replace"), scenario.boxes)
            except Exception as error:  # a broken scenario must not hide the others
                problems = [f"{type(error).__name__}: {error}"]
            took = time.monotonic() - began
            if problems:
                failed += 1
                print(f"FAIL  {scenario.name} ({took:.1f} s)")
                for problem in problems:
                    print(f"        {problem}")
            else:
                passed += 1
                print(f"ok    {scenario.name} ({took:.1f} s)")
    if not screenshot.exists():
        print("FAIL  no screenshot of the error box was taken")
        failed += 1
    else:
        print(f"error box screenshot: {screenshot}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(run_suite(Path(sys.argv[1]).resolve()))
