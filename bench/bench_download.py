#!/usr/bin/env python3
"""Download benchmarks: the program's download command against curl, measured in one run.
(a) 32 files of 8 MiB from a server limiting each connection to 4 MB/s: wall time vs
    curl --parallel --parallel-max 8 (target <= 1.15).
(b) one 1 GiB file unthrottled through one engine vs curl -0, median of five alternating
    rounds: wall time (target <= 1.0), CPU seconds (target <= 1.1), context switches per GiB
    (target < 5,000), peak memory (target < 100 MB).
(c) eight engines waiting on silent servers vs eight curls waiting on the same server: CPU share
    of one core (target < 0.5%) and wake-ups (voluntary context switches) per second.
Usage: bench_download.py BUILD_DIR [WORK_DIR]"""
import os, shutil, subprocess, sys, tempfile, time

ROUNDS = 5
HERE = os.path.dirname(os.path.abspath(__file__))

def run(cmd):
    """Runs cmd under /usr/bin/time (so that peak memory is the command's own, not inherited
    from this script); returns (wall s, cpu s, peak KiB, stdout, context switches)."""
    # Write back what the previous command left dirty, so that neither pays for the other's
    # writes (the 1 GiB case is mostly kernel time and swung 2x without this).
    os.sync()
    with tempfile.NamedTemporaryFile(mode="r") as stats:
        t = time.monotonic()
        p = subprocess.run(["/usr/bin/time", "-f", "%U %S %M %w %c", "-o", stats.name, *cmd],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        wall = time.monotonic() - t
        if p.returncode != 0:
            sys.exit("failed (%d): %s\n%s" % (p.returncode, " ".join(cmd[:3]), p.stdout))
        user, system, peak, voluntary, involuntary = stats.read().split()[-5:]
    return wall, float(user) + float(system), int(peak), p.stdout, int(voluntary) + int(involuntary)

def median(values):
    values = sorted(values)
    return values[len(values) // 2]

def server(*args):
    p = subprocess.Popen([sys.executable, os.path.join(HERE, "throttled_server.py"), *args],
                         stdout=subprocess.PIPE, text=True)
    port = int(p.stdout.readline())
    return p, "http://127.0.0.1:%d/" % port

def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path

def main():
    build = os.path.abspath(sys.argv[1])
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="kelvorn-bench-")
    prog = os.path.join(build, "bench_download")
    data = fresh(os.path.join(work, "data"))
    rows = []
    try:
        # (a) rate-limited batch
        for i in range(32):
            with open(os.path.join(data, "f%02d.bin" % i), "wb") as f:
                f.write(os.urandom(8 << 20))
        srv, base = server("--dir", data, "--rate", "4000000")
        urls = [base + "f%02d.bin" % i for i in range(32)]
        listfile = os.path.join(work, "list.txt")
        with open(listfile, "w") as f:
            f.write("\n".join(urls) + "\n")
        out = fresh(os.path.join(work, "curl"))
        cmd = ["curl", "-s", "-0", "--parallel", "--parallel-max", "8"]
        for u in urls:
            cmd += ["-o", os.path.join(out, u.rsplit("/", 1)[1]), u]
        c_wall = run(cmd)[0]
        k_wall, _, _, k_out, _ = run([prog, "batch", listfile, fresh(os.path.join(work, "ours"))])
        srv.kill()
        rows.append(("(a) 32 x 8 MiB at 4 MB/s per connection: wall s", k_wall, c_wall, k_wall / c_wall, "<= 1.15"))
        print("  program:", k_out.strip())

        # (b) one 1 GiB file, unthrottled
        for name in os.listdir(data):
            os.remove(os.path.join(data, name))
        with open(os.path.join(data, "big.bin"), "wb") as f:
            for _ in range(64):
                f.write(os.urandom(16 << 20))
        size = os.path.getsize(os.path.join(data, "big.bin"))
        srv, base = server("--dir", data)
        with open(listfile, "w") as f:
            f.write(base + "big.bin\n")
        # Alternate the two over five rounds (the machine is shared); medians are reported.
        curl_runs, our_runs = [], []
        for _ in range(ROUNDS):
            out = fresh(os.path.join(work, "curl"))
            curl_runs.append(run(["curl", "-s", "-0", "-o", os.path.join(out, "big.bin"), base + "big.bin"]))
            shutil.rmtree(out)
            ours = fresh(os.path.join(work, "ours"))
            our_runs.append(run([prog, "batch", listfile, ours]))
            shutil.rmtree(ours)
        srv.kill()
        c_wall, c_cpu, c_peak = (median(r[i] for r in curl_runs) for i in range(3))
        k_wall, k_cpu, k_peak = (median(r[i] for r in our_runs) for i in range(3))
        c_switches = median(r[4] for r in curl_runs) * (1 << 30) / size
        k_switches = median(r[4] for r in our_runs) * (1 << 30) / size
        k_out = our_runs[-1][3]
        rows.append(("(b) 1 GiB: wall s", k_wall, c_wall, k_wall / c_wall, "<= 1.0"))
        rows.append(("(b) 1 GiB: CPU s", k_cpu, c_cpu, k_cpu / c_cpu, "<= 1.1"))
        rows.append(("(b) 1 GiB: context switches per GiB", k_switches, c_switches, k_switches / c_switches,
                     "program < 5000"))
        rows.append(("(b) 1 GiB: peak memory MB", k_peak / 1024, c_peak / 1024, k_peak / c_peak, "program < 100 MB"))
        print("  program:", k_out.strip())

        # (c) eight engines on silent servers
        srv, base = server("--silent")
        seconds = 5
        _, _, _, k_out, _ = run([prog, "idle", base.rstrip("/"), fresh(os.path.join(work, "ours")), str(seconds)])
        share = float(k_out.split("idle_cpu_share=")[1].split()[0])
        wakes = float(k_out.split("wakeups_per_s=")[1].split()[0])
        # The peer: eight curls waiting on the same server for as long (start-up included).
        curls = " ".join("curl -s -0 -m %d -o /dev/null %ssilent%d.bin &" % (seconds, base, i) for i in range(8))
        _, c_cpu, _, _, c_switches = run(["bash", "-c", curls + " wait; true"])
        srv.kill()
        c_share, c_wakes = c_cpu / seconds, c_switches / seconds
        rows.append(("(c) 8 engines waiting: CPU share of one core", share, c_share,
                     share / c_share if c_share else float("inf"), "program < 0.005"))
        rows.append(("(c) 8 engines waiting: wake-ups per second", wakes, c_wakes,
                     wakes / c_wakes if c_wakes else float("inf"), ""))
        print("  program:", k_out.strip())
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("\n%-48s %12s %12s %8s  %s" % ("measure", "program", "curl", "ratio", "target"))
    for name, k, c, r, target in rows:
        print("%-48s %12.3f %12.3f %8.3f  %s" % (name, k, c, r, target))

if __name__ == "__main__":
    main()
