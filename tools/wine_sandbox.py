"""A sandbox for running the real updater.exe under Wine: a Wine prefix kept per
build folder, an Xvfb of its own, installation and temporary folders made
afresh for each run, error boxes found and dismissed as real windows, and the
starts of tarvex.exe read back from the log its stand-in keeps.
"""
import dataclasses
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
SKIPPED = 77
BOX_TITLE = "Tarvex Update"
STAGING = Path("Tarvex") / "tarvex.exe"
OTHER_STAGED_FILE = Path("Tarvex") / "readme.txt"
START_LOG = "tarvex-starts.log"


def win(path):
    """The Windows name Wine gives a Unix path on drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


def deepen(folder, length):
    """A folder below `folder` whose Windows path, with its closing backslash, has `length` characters."""
    need = length - 1 - len(win(folder))
    while need > 0:
        segment = min(100, need - 1)
        if need - segment - 1 == 1:  # never leave a single character, which no segment can fill
            segment -= 1
        folder /= "d" * segment
        need -= segment + 1
    return folder


@dataclasses.dataclass
class Scenario:
    name: str
    installed: bool = True  # v1 installed before the run
    staged: bool = True  # v2 staged before the run
    installed_mode: str = ""  # "running" or "read-only"
    hold_staged: bool = False  # staged file held open without delete sharing
    args: tuple = ()
    other_cwd: bool = False  # run from a folder other than the installation folder
    temp: str = "plain"  # "plain", "other-volume", "deep" (~200 chars), "too-long" (> 242 chars)
    relay: bool = False  # run under WINEDEBUG=+relay; the trace lands on stderr
    # What must be seen afterwards.
    installed_after: str = "v2"  # "v1", "v2" or "" for none
    staged_after: bool = False
    boxes: int = 0
    started: tuple = ("v2",)


class Environment:
    """A Wine prefix kept per build folder, and an Xvfb of its own on a free display."""

    def __init__(self, build, work="e2e", prefix="e2e-wineprefix"):
        self.build = build
        self.helpers = build / "e2e-helpers"
        self.prefix = build / prefix
        self.work = build / work
        self.other_volume = None
        self.xvfb = None
        self.desktop = None
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEARCH="win32", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")

    def __enter__(self):
        display = next(n for n in range(90, 200) if not Path(f"/tmp/.X11-unix/X{n}").exists()
                       and not Path(f"/tmp/.X{n}-lock").exists())
        self.xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["DISPLAY"] = f":{display}"
        for _ in range(100):
            if Path(f"/tmp/.X11-unix/X{display}").exists():
                break
            time.sleep(0.05)
        if not (self.prefix / "system.reg").exists():
            shutil.rmtree(self.prefix, ignore_errors=True)
            subprocess.run(["wine", "wineboot", "-i"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=self.env)  # kept up between runs; exits 2 if already up
        # Wine's services and desktop start with the first program and stop with the last;
        # keep them up from here to the end, as Windows does.
        ready, self.release = self.build / "e2e-desktop-ready", self.build / "e2e-desktop-release"
        ready.unlink(missing_ok=True)
        self.release.unlink(missing_ok=True)
        self.desktop = self.wine(self.helpers / "keep_desktop.exe", win(ready), win(self.release),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(600):
            if ready.exists() or self.desktop.poll() is not None:
                break
            time.sleep(0.05)
        if not ready.exists():
            raise RuntimeError("Wine's desktop did not come up")
        ready.unlink()
        # Drive T: on another file system, for a move from one volume to another.
        self.other_volume = Path(tempfile.mkdtemp(prefix="tarvex-e2e-", dir="/dev/shm"))
        t_drive = self.prefix / "dosdevices" / "t:"
        if t_drive.is_symlink() or t_drive.exists():
            t_drive.unlink()
        t_drive.symlink_to(self.other_volume)
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)
        return self

    def __exit__(self, *exc):
        if self.desktop:
            self.release.touch()
            self.desktop.wait(timeout=30)
            self.release.unlink()
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        if self.other_volume:
            shutil.rmtree(self.other_volume, ignore_errors=True)

    def windows_path(self, path):
        """The Windows name of a path, on drive T: where it lies on the other volume."""
        if self.other_volume and Path(path).is_relative_to(self.other_volume):
            return "T:\\" + str(Path(path).relative_to(self.other_volume)).replace("/", "\\")
        return win(path)

    def wine(self, *args, **kwargs):
        return subprocess.Popen(["wine", *map(str, args)], env=kwargs.pop("env", self.env), **kwargs)


class BoxWatcher(threading.Thread):
    """Finds each error box as a real window and dismisses it with Return, as a person would."""

    def __init__(self, env, screenshot):
        super().__init__(daemon=True)
        self.env, self.screenshot = env, screenshot
        self.count = 0
        self.done = threading.Event()

    def visible_boxes(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{BOX_TITLE}$"],
                               env=self.env, capture_output=True, text=True)
        return found.stdout.split()

    def run(self):
        while not self.done.is_set():
            boxes = self.visible_boxes()
            if not boxes:
                time.sleep(0.1)
                continue
            box = boxes[0]
            self.count += 1
            time.sleep(0.3)  # let Wine finish drawing it
            if self.screenshot and not self.screenshot.exists():
                subprocess.run(["import", "-window", box, str(self.screenshot)], env=self.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["xdotool", "windowfocus", "--sync", box], env=self.env, stderr=subprocess.DEVNULL)
            subprocess.run(["xdotool", "key", "Return"], env=self.env)
            for _ in range(100):
                if box not in self.visible_boxes():
                    break
                time.sleep(0.1)


class Run:
    """One scenario in a fresh sandbox: build it, run the updater, collect what happened."""

    def __init__(self, env, scenario):
        self.env, self.s = env, scenario
        self.root = root = env.work / re.sub(r"\W+", "-", scenario.name)
        self.install = root / "install"
        self.cwd = root / "elsewhere" if scenario.other_cwd else self.install
        if scenario.temp == "other-volume":
            self.temp = env.other_volume / re.sub(r"\W+", "-", scenario.name)
        else:
            self.temp = root / "temp"
            if scenario.temp in ("deep", "too-long"):
                self.temp = deepen(self.temp, 200 if scenario.temp == "deep" else 250)
        self.temp_win = env.windows_path(self.temp) + "\\"
        self.v1 = (env.helpers / "tarvex_v1.exe").read_bytes()
        self.v2 = (env.helpers / "tarvex_v2.exe").read_bytes()

    def prepare(self):
        for folder in (self.install, self.cwd, self.temp / "Tarvex"):
            folder.mkdir(parents=True, exist_ok=True)
        if self.s.installed:
            (self.cwd / "tarvex.exe").write_bytes(self.v1)
            if self.s.other_cwd:  # the real installation folder must stay as it is
                (self.install / "tarvex.exe").write_bytes(self.v1)
        if self.s.staged:
            (self.temp / STAGING).write_bytes(self.v2)
        (self.temp / OTHER_STAGED_FILE).write_text("not the updater's\n")
        if self.s.installed_mode == "read-only":
            (self.cwd / "tarvex.exe").chmod(0o444)

    def start_blocker(self):
        """A running tarvex.exe, or a process holding the staged file, for as long as the run lasts."""
        release = self.root / "release"
        if self.s.installed_mode == "running":
            blocker = self.env.wine(self.cwd / "tarvex.exe", "stay", win(release), cwd=self.cwd)
            ready = lambda: (self.cwd / START_LOG).exists()
        elif self.s.hold_staged:
            ready_file = self.root / "held"
            blocker = self.env.wine(self.env.helpers / "hold_open.exe", win(self.temp / STAGING), win(ready_file),
                                    win(release))
            ready = ready_file.exists
        else:
            return None, release
        for _ in range(300):
            if ready():
                return blocker, release
            time.sleep(0.05)
        raise RuntimeError("the blocking process did not start")

    def execute(self, screenshot=None):
        self.prepare()
        blocker, release = self.start_blocker()
        env = dict(self.env.env)
        if self.s.relay:
            env["WINEDEBUG"] = "+relay"
        watcher = BoxWatcher(self.env.env, screenshot)
        watcher.start()
        report = self.root / "report.txt"
        updater = self.env.build / "updater.exe"
        # Files rather than pipes: a Wine service started on the way may keep a pipe open for good.
        out, err = self.root / "stdout.txt", self.root / "stderr.txt"
        try:
            with out.open("wb") as stdout, err.open("wb") as stderr:
                self.env.wine(self.env.helpers / "launcher.exe", win(report), self.temp_win, win(self.cwd),
                              win(updater), *self.s.args, env=env, stdout=stdout, stderr=stderr).wait(timeout=120)
            self.stdout, self.stderr = out.read_bytes(), err.read_bytes()
        finally:
            watcher.done.set()
            watcher.join()
            release.touch()
            if blocker:
                blocker.wait(timeout=60)
            release.unlink()
        self.boxes = watcher.count
        fields = dict(line.split() for line in report.read_text().splitlines()) if report.exists() else {}
        self.exit_code = int(fields["exit"]) if "exit" in fields else None
        self.start_ms = int(fields.get("start_ms", 0))
        self.wait_for_started_program()
        return self

    def read_starts(self):
        path = self.cwd / START_LOG
        if not path.exists():
            return []
        rows = [line.split("\t") for line in path.read_text(errors="replace").splitlines()]
        return [dict(version="v" + r[0], ms=int(r[1]), cwd=r[2], mark=r[3], command_line=r[4]) for r in rows]

    def starts_by_updater(self):
        starts = self.read_starts()
        return starts[1:] if self.s.installed_mode == "running" else starts  # the first is the blocker

    def wait_for_started_program(self):
        # The updater does not wait for tarvex.exe, so its log line may come a moment later.
        for _ in range(100):
            if len(self.starts_by_updater()) >= len(self.s.started):
                break
            time.sleep(0.05)
        time.sleep(0.3)  # and a start too many would show up now
        self.starts = self.starts_by_updater()

    def version_of(self, program):
        if not program.exists():
            return "none"
        return {self.v1: "v1", self.v2: "v2"}.get(program.read_bytes(), "neither version")

    def check(self):
        """Returns a list of what went wrong."""
        s, problems = self.s, []

        def expect(what, wanted, got):
            if wanted != got:
                problems.append(f"{what}: wanted {wanted!r}, got {got!r}")

        expect("exit status", 0, self.exit_code)
        if not s.relay:
            expect("stdout", b"", self.stdout)
            expect("stderr", b"", self.stderr)
        expect("tarvex.exe afterwards", s.installed_after or "none", self.version_of(self.cwd / "tarvex.exe"))
        if s.other_cwd:
            expect("installation folder untouched", self.v1, (self.install / "tarvex.exe").read_bytes())
        expect("staged file still there", s.staged_after, (self.temp / STAGING).exists())
        expect("staging folder's other file kept", True, (self.temp / OTHER_STAGED_FILE).exists())
        wanted_files = sorted((["tarvex.exe"] if s.installed_after else []) + ([START_LOG] if self.read_starts() else []))
        expect("files in the current directory", wanted_files, sorted(p.name for p in self.cwd.iterdir()))
        expect("error boxes", s.boxes, self.boxes)
        expect("programs started", list(s.started), [start["version"] for start in self.starts])
        for start in self.starts:
            # No arguments: the application name alone. Wine quotes it where Windows passes it as given.
            if start["command_line"] not in ("tarvex.exe", '"tarvex.exe"'):
                problems.append(f"started program's command line: {start['command_line']!r}")
            expect("started program's current directory", win(self.cwd).lower(), start["cwd"].rstrip("\\").lower())
            expect("started program's environment inherited", "inherited", start["mark"])
            if start["ms"] - self.start_ms < 1000:
                problems.append(f"started {start['ms'] - self.start_ms} ms after the updater, wanted >= 1000")
        return problems


def ensure_wine():
    """Sets Wine up, or exits with the skipped status and the reason."""
    setup = subprocess.run([str(REPO / "scripts" / "require-wine.sh")], capture_output=True, text=True)
    if setup.returncode != 0:
        print(f"skipped: Wine cannot run 32-bit programs here:\n{setup.stderr.strip()}")
        sys.exit(SKIPPED)
