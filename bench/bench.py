#!/usr/bin/env python3
"""Measures the real updater.exe under Wine and prints a Markdown table.

Usage: bench.py BUILD_DIR [RUNS]    (the win32 build folder; RUNS per case, at least 9)

1. The updater's cost beyond its one-second wait: the time from its start to
   the start of tarvex.exe, against a floor program that only waits a second
   and starts tarvex.exe; and the same floor importing user32.dll, which the
   updater needs for its error box.
2. The cost of the swap itself, from the end of the updater's wait to its
   start of tarvex.exe as a +relay trace of just those two calls times them,
   for installed executables of 1 MiB and 64 MiB, on one volume and from
   another one, against the plain copies it cannot avoid: the backup on one
   volume, and the backup plus the move's copy across volumes.
"""
import os
import platform
import random
import re
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from wine_sandbox import START_LOG, STAGING, Environment, ensure_wine, win  # noqa: E402

MIB = 1 << 20


class Bench:
    def __init__(self, env):
        self.env = env
        root = env.work / "bench"
        self.install = root / "install"
        self.temps = {"one volume": root / "temp", "across volumes": env.other_volume / "bench-temp"}
        for folder in [self.install] + [t / "Tarvex" for t in self.temps.values()]:
            folder.mkdir(parents=True, exist_ok=True)
        self.v1 = (env.helpers / "tarvex_v1.exe").read_bytes()
        self.v2 = (env.helpers / "tarvex_v2.exe").read_bytes()
        self.padded = {}

    def program(self, version, size):
        """tarvex.exe of that version padded to `size` bytes with data of its own (still runnable)."""
        key = (version, size)
        if key not in self.padded:
            base = self.v1 if version == 1 else self.v2
            extra = max(size - len(base), 0)
            self.padded[key] = base + random.Random(f"{version}/{size}").randbytes(extra)
        return self.padded[key]

    def swap(self, size, volumes):
        """Milliseconds from the return of the updater's Sleep to its CreateProcessA call."""
        trace = self.env.work / "bench" / "trace.txt"
        env = dict(self.env.env, WINEDEBUG="+timestamp,+relay")
        with trace.open("w") as stderr:
            self.to_launch(self.env.build / "updater.exe", size, staged=volumes, env=env, stderr=stderr)
        text = trace.read_text(errors="replace")
        woke = re.search(r"^(\d+\.\d+):(\w+):Ret\s+KERNEL32\.Sleep\(", text, re.M)
        launched = re.search(rf"^(\d+\.\d+):{woke.group(2)}:Call KERNEL32\.CreateProcessA\(", text, re.M)
        return (float(launched.group(1)) - float(woke.group(1))) * 1000

    def to_launch(self, program, size=0, staged=None, env=None, stderr=subprocess.DEVNULL):
        """Milliseconds from the start of `program` to the start of tarvex.exe it starts."""
        (self.install / "tarvex.exe").write_bytes(self.program(1, size))
        (self.install / START_LOG).unlink(missing_ok=True)
        temp = self.temps[staged or "one volume"]
        staged_file = temp / STAGING
        if staged:
            staged_file.write_bytes(self.program(2, size))
        report = self.env.work / "bench" / "report.txt"
        self.env.wine(self.env.helpers / "launcher.exe", win(report), self.env.windows_path(temp) + "\\",
                      win(self.install), win(program), env=env or self.env.env, stdout=subprocess.DEVNULL,
                      stderr=stderr).wait()
        started = dict(line.split() for line in report.read_text().splitlines())
        log = self.install / START_LOG
        for _ in range(200):
            if log.exists() and log.read_text().strip():
                break
            subprocess.run(["sleep", "0.02"])
        staged_file.unlink(missing_ok=True)
        if staged and (self.install / "tarvex.exe").read_bytes() != self.program(2, size):
            raise RuntimeError("the swap did not happen")
        return int(log.read_text().split("\t")[1]) - int(started["start_ms"])

    def copies(self, size, volumes):
        """Milliseconds the unavoidable copies take with plain CopyFileA."""
        (self.install / "tarvex.exe").write_bytes(self.program(1, size))
        pairs = [(self.install / "tarvex.exe", self.install / "copy-of-installed")]
        if volumes == "across volumes":
            staged = self.temps[volumes] / STAGING
            staged.write_bytes(self.program(2, size))
            pairs.append((staged, self.install / "copy-of-staged"))
        report = self.env.work / "bench" / "copies.txt"
        args = [self.env.windows_path(path) for pair in pairs for path in pair]
        self.env.wine(self.env.build / "bench" / "copy_floor.exe", win(report), *args,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait()
        for _, copy in pairs:
            copy.unlink()
        return float(report.read_text())


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), platform.processor())
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    emulated = ""
    if Path("/proc/sys/fs/binfmt_misc/qemu-i386").exists():
        emulated = subprocess.run(["qemu-i386", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    text = f"{cpu}, {os.cpu_count()} cores, Linux {platform.release()}, {wine}"
    return text + (f", 32-bit code through {emulated}" if emulated else "")


def main(build, runs):
    ensure_wine()
    updater = build / "updater.exe"
    floor = build / "bench" / "bench_floor.exe"
    floor_user32 = build / "bench" / "bench_floor_user32.exe"
    # A prefix of its own: the relay filter set here would hide calls from the end-to-end tests.
    with Environment(build, work="bench-work", prefix="bench-wineprefix") as env:
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
                        "/d", "KERNEL32.Sleep;KERNEL32.CreateProcessA", "/f"], env=env.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        bench = Bench(env)
        cases = {
            "updater, nothing staged": lambda: bench.to_launch(updater),
            "updater, normal swap": lambda: bench.to_launch(updater, staged="one volume"),
            "floor, nothing staged": lambda: bench.to_launch(floor),
            "floor importing user32.dll": lambda: bench.to_launch(floor_user32),
        }
        for size in (MIB, 64 * MIB):
            for volumes in ("one volume", "across volumes"):
                cases[(size, volumes)] = lambda size=size, v=volumes: bench.swap(size, v)
                cases[(size, volumes, "copies")] = lambda size=size, v=volumes: bench.copies(size, v)
        times = {name: [] for name in cases}
        for run in range(runs):  # interleaved, so drift in the machine touches every case alike
            for name, measure in cases.items():
                times[name].append(measure())
            print(f"run {run + 1} of {runs} done", file=sys.stderr)
        median = {name: statistics.median(values) for name, values in times.items()}

    print(f"Machine: {machine()}. Median of {runs} runs each.\n")
    print("| Start to start of tarvex.exe | updater | floor | ratio | difference |")
    print("|---|---|---|---|---|")
    floor_ms = median["floor, nothing staged"]
    for name, label in (("updater, nothing staged", "nothing staged"), ("updater, normal swap", "normal swap"),
                        ("floor importing user32.dll", "floor importing user32.dll (no updater)")):
        print(f"| {label} | {median[name]:.0f} ms | {floor_ms:.0f} ms | "
              f"{median[name] / floor_ms:.3f} | {median[name] - floor_ms:+.0f} ms |")
    print()
    print("| Swap of tarvex.exe | swap (end of wait to launch) | plain copies | ratio |")
    print("|---|---|---|---|")
    for size in (MIB, 64 * MIB):
        for volumes in ("one volume", "across volumes"):
            swap = median[(size, volumes)]
            copies = median[(size, volumes, "copies")]
            count = "1 copy" if volumes == "one volume" else "2 copies"
            print(f"| {size // MIB} MiB, {volumes} | {swap:.0f} ms | {copies:.0f} ms ({count}) | "
                  f"{swap / copies:.2f} |")
    return 0


if __name__ == "__main__":
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    if runs < 9:
        sys.exit("at least 9 runs per case, for a median worth the name")
    sys.exit(main(Path(sys.argv[1]).resolve(), runs))
