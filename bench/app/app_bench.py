#!/usr/bin/env python3
"""Start-up and file-list benchmarks of the main window.

Usage: bench/app/app_bench.py BUILD_DIR

Measures, on the offscreen platform, process start to the shown window:
  * vexlo with no settings file, against a minimal Qt window program;
  * 1,000 and 10,000 files added through one wildcard argument (and peak memory);
  * restoring a saved list of 3,498 rows.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, env, cwd=None):
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"{cmd[0]} failed with status {status}")
    return elapsed, usage.ru_maxrss / 1024.0  # seconds, MiB


def median_run(cmd, env, repeat, cwd=None):
    times, peaks = [], []
    for _ in range(repeat):
        t, m = run(cmd, env, cwd)
        times.append(t)
        peaks.append(m)
    return statistics.median(times), max(peaks)


def make_files(folder, count):
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        with open(os.path.join(folder, f"Clip{i:05d}.m2ts"), "wb") as f:
            f.write(b"\0" * 1536)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    vexlo = os.path.join(build, "bin", "vexlo")
    minimal = os.path.join(build, "bench", "bench_minimal_window")
    work = tempfile.mkdtemp(prefix="vexlo-bench-")
    try:
        prog = os.path.join(work, "prog")
        os.makedirs(prog)
        exe = os.path.join(prog, "vexlo")
        shutil.copy2(vexlo, exe)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VEXLO_EXIT_WHEN_SHOWN="1",
                   VEXLO_REGISTRY=os.path.join(work, "registry"), XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_CACHE_HOME=os.path.join(work, "cache"))
        ini = os.path.join(prog, "vexlo.ini")

        # Warm the file cache once; this start also leaves the drawn
        # getting-started picture in the bench's cache folder, as a user's
        # first start does.
        run([exe], env)
        run([minimal], env)
        # Interleaved, so that whatever else the machine does hits both alike.
        for label, settings in (("no settings file", None),
                                ("the shipped catalogue", os.path.join(build, "bin", "vexlo.ini"))):
            times_vexlo, times_min = [], []
            for _ in range(25):
                if settings:
                    shutil.copy(settings, ini)
                elif os.path.exists(ini):
                    os.remove(ini)
                times_vexlo.append(run([exe], env)[0])
                times_min.append(run([minimal], env)[0])
            t_vexlo, t_min = statistics.median(times_vexlo), statistics.median(times_min)
            print(f"startup, {label}: vexlo {t_vexlo * 1000:.1f} ms, minimal Qt window {t_min * 1000:.1f} ms, "
                  f"ratio {t_vexlo / t_min:.2f} (target: vexlo under 150 ms)")
        if os.path.exists(ini):
            os.remove(ini)

        results = {}
        for count in (1000, 10000):
            folder = os.path.join(work, f"clips{count}")
            make_files(folder, count)
            t, peak = median_run([exe, os.path.join(folder, "*.m2ts")], env, 3)
            results[count] = t
            print(f"{count} files through one wildcard argument: {t * 1000:.0f} ms, peak memory {peak:.1f} MiB")
        print(f"10,000 / 1,000 time ratio: {results[10000] / results[1000]:.2f} (target under 12; "
              f"10,000 files under 1.5 s; memory under 150 MB)")

        folder = os.path.join(work, "clips10000")
        names = sorted(os.listdir(folder))[:3498]
        with open(ini, "w") as f:
            f.write("[Options]\nSaveFileList=1\n[FileList]\n")
            for i, name in enumerate(names):
                f.write(f"{i}={os.path.join(folder, name)}\n")
        t, _ = median_run([exe], env, 5)
        print(f"restoring a saved list of 3,498 rows: {t * 1000:.0f} ms (target under 1 s)")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
