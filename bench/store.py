#!/usr/bin/env python3
"""Figures of the local store (Store=1), side by side in one run:

- delivery: 200 messages taken in while the receiver is away, then the receiver comes
  back: messages per second from the first 2xx to the last (target at least 50/s), and
  how long the paused delivery took to notice the receiver;
- intake: 20 messages listed in one cycle: the cycle's time and the fsync calls (strace)
  of its commit and of the whole cycle (target: one commit, not one per message);
- CPU per forwarded message with the store against the same 20 messages without it, both
  in decoded mode, polling taken out (target: ratio at most 1.2).

    bench/store.py [--messages 200] [--intake 20] [--compare 20] [--idle 60]

Takes about 6 minutes, most of it the 200 deletes (one reply window each).
"""
import argparse, os, re, shutil, signal, socket, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from forwarding import BUILD, cpu, log_times, stop_all, wait_for  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class StoreRig:
    """A folder with the simulated modem (PDU mode), a zorvel.ini and the program; the
    receiver on a port of its own, started now or later."""

    def __init__(self, name, messages, store=True, receiver=True, capacity=30, receiver_args=()):
        self.dir = tempfile.mkdtemp(prefix=f"zorvel-bench-{name}-")
        self.procs, self.receiver = [], None
        self.port = free_port()
        os.makedirs(f"{self.dir}/ports")
        os.makedirs(f"{self.dir}/inbox")
        with open(f"{self.dir}/store.txt", "w") as f:
            f.write(self.blocks(name, range(messages)))
        if receiver:
            self.start_receiver(receiver_args)
        self.procs.append(subprocess.Popen(
            [f"{BUILD}/zorvel-simmodem", "--link", f"{self.dir}/ports/com3", "--store", f"{self.dir}/store.txt",
             "--inbox", f"{self.dir}/inbox", "--capacity", str(max(capacity, messages)),
             "--log", f"{self.dir}/modem.log"]))
        while not os.path.exists(f"{self.dir}/ports/com3"):
            time.sleep(0.05)
        with open(f"{self.dir}/zorvel.ini", "w") as f:
            f.write(f"[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\nDest=http://127.0.0.1:{self.port}/sms\nKey=bench\n"
                    f"Decode=1\n" + ("Store=1\n" if store else ""))
        os.chmod(f"{self.dir}/zorvel.ini", 0o600)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.app = subprocess.Popen([f"{BUILD}/zorvel", "--no-window"], cwd=self.dir, env=env,
                                    stderr=open(f"{self.dir}/gateway.log", "w"))
        self.procs.append(self.app)

    @staticmethod
    def blocks(name, numbers):
        return "".join(f"from: +1555{len(name):03d}{i:05d}\n"
                       f"text: Benchmark message {i} with some text & symbols #{i}\n\n" for i in numbers)

    def start_receiver(self, extra=()):
        console = f"{self.dir}/rx.out"
        self.receiver = subprocess.Popen([f"{BUILD}/zorvel-webreceiver", "--port", str(self.port),
                                          "--log", f"{self.dir}/rx.jsonl", *extra],
                                         stdout=open(console, "w"), stderr=subprocess.DEVNULL)
        self.procs.append(self.receiver)
        wait_for(lambda: os.path.getsize(console) > 0, 10)  # "listening on ..."

    def accepted_times(self):
        """Arrival times (epoch s) of 2xx requests, from the receiver's log."""
        try:
            lines = open(f"{self.dir}/rx.jsonl").read().splitlines()
        except FileNotFoundError:
            return []
        return [int(m.group(1)) / 1000 for l in lines
                if (m := re.search(r'"ms":(\d+)', l)) and re.search(r'"status":2\d\d', l)]

    def deletes(self):
        return sum(r.startswith("STORE delete") for _, r in log_times(f"{self.dir}/modem.log", "STORE"))

    def commands(self, prefix):
        return [(t, r) for t, r in log_times(f"{self.dir}/modem.log", "CMD") if r.startswith(f'CMD "{prefix}')]

    def drop(self, name, numbers):
        tmp = f"{self.dir}/inbox/.{name}"
        with open(tmp, "w") as f:
            f.write(self.blocks(name, numbers))
        os.rename(tmp, f"{self.dir}/inbox/{name}.msg")

    def close(self):
        stop_all(self.procs, self.dir)


def fsync_times(trace):
    """(start, duration, file) of every fsync/fdatasync in an `strace -f -y -ttt -T` output."""
    out = []
    for line in open(trace, errors="replace"):
        m = re.search(r"(\d+\.\d+) f(?:data)?sync\(\d+<([^>]*)>.*<(\d+\.\d+)>", line)
        if m:
            out.append((float(m.group(1)), float(m.group(3)), os.path.basename(m.group(2))))
    return out


def by_file(syncs):
    files = {}
    for _, _, name in syncs:
        files[name] = files.get(name, 0) + 1
    return ", ".join(f"{n} x {name}" for name, n in sorted(files.items())) or "none"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--messages", type=int, default=200)
    parser.add_argument("--intake", type=int, default=20)
    parser.add_argument("--compare", type=int, default=20)
    parser.add_argument("--idle", type=int, default=60)
    args = parser.parse_args()
    rigs = []
    try:
        delivery = StoreRig("delivery", args.messages, receiver=False, capacity=args.messages)
        # Its receiver holds the first request past the time-out, so no delivery writes
        # mix with the intake's.
        intake = StoreRig("intake", 0, receiver_args=("--delay-ms", "300000"))
        with_store = StoreRig("with", args.compare)
        without = StoreRig("without", args.compare, store=False)
        rigs = [delivery, intake, with_store, without]
        started = {r: (time.time(), cpu(r.app.pid)) for r in (with_store, without)}

        # Intake: once the first list is through, 20 messages land at once; the next list
        # holds them all.
        trace = f"{intake.dir}/strace"
        tracer = None
        if shutil.which("strace"):
            tracer = subprocess.Popen(["strace", "-f", "-q", "-y", "-ttt", "-T", "-e", "trace=fsync,fdatasync",
                                       "-p", str(intake.app.pid), "-o", trace])
        wait_for(lambda: intake.commands("AT+CMGL"), 60)
        intake.drop("twenty", range(args.intake))
        wait_for(lambda: intake.deletes() >= args.intake, 180)
        time.sleep(2)
        if tracer:
            tracer.terminate()
            tracer.wait()
        lists = intake.commands("AT+CMGL")
        dels = intake.commands("AT+CMGD")
        listed_at = max(t for t, _ in lists if t < dels[0][0])
        last_delete = [t for t, r in log_times(f"{intake.dir}/modem.log", "STORE") if r.startswith("STORE delete")][-1]
        print(f"intake of {args.intake} listed messages: cycle {last_delete - listed_at:.1f} s from the list to the "
              f"last delete ({args.intake} deletes, one reply window each)")
        if tracer:
            syncs = fsync_times(trace)
            store = [s for s in syncs if s[2].startswith("zorvel.sqlite")]
            commit = [s for s in store if listed_at <= s[0] <= dels[0][0]]
            cycle = [s for s in store if listed_at <= s[0] <= last_delete + 0.5]
            others = [s for s in syncs if not s[2].startswith("zorvel.sqlite") and listed_at <= s[0] <= last_delete + 0.5]
            print(f"  fsync calls on the store in the commit (list -> first delete): {len(commit)} ({by_file(commit)}), "
                  f"{sum(d for _, d, _ in commit) * 1000:.1f} ms; in the whole cycle: {len(cycle)} "
                  f"(target: one for all {args.intake}, not one per message)")
            print(f"  other fsync calls in the cycle: {len(others)} ({by_file(others)}: the serial port's lock "
                  f"file, once per command, as without the store)")
            print(f"  program's time from the list's command to the first delete's: {dels[0][0] - listed_at:.2f} s "
                  f"(one reply window, then the commit)")
        else:
            print("  strace missing: fsync calls not counted")

        # CPU per forwarded message, with and without the store: beyond polling (the idle
        # rate measured afterwards taken out), and over the same span for both (from the
        # start until the slower one is done, polling included in both).
        cost = {}
        for rig in (with_store, without):
            wait_for(lambda: len(rig.accepted_times()) >= args.compare and rig.deletes() >= args.compare, 600)
            t0, c0 = started[rig]
            cost[rig] = (time.time() - t0, cpu(rig.app.pid) - c0)
        same_span = {r: cpu(r.app.pid) - started[r][1] for r in cost}
        idle0 = {r: (time.time(), cpu(r.app.pid)) for r in cost}
        time.sleep(args.idle)
        per = {}
        for rig, (busy_s, busy_cpu) in cost.items():
            t0, c0 = idle0[rig]
            idle_rate = (cpu(rig.app.pid) - c0) / (time.time() - t0)
            per[rig] = (busy_cpu / args.compare, (busy_cpu - idle_rate * busy_s) / args.compare, busy_s)
        for rig, label in ((with_store, "with the store"), (without, "without the store")):
            raw, marginal, busy_s = per[rig]
            print(f"CPU per forwarded message {label}: {marginal * 1000:.1f} ms beyond polling "
                  f"({raw * 1000:.1f} ms with polling; {args.compare} messages done in {busy_s:.0f} s)")
        ratio = per[with_store][1] / per[without][1] if per[without][1] > 0 else float("nan")
        print(f"  ratio with/without: {ratio:.2f} beyond polling; {same_span[with_store] / same_span[without]:.2f} "
              f"over the same {cost[without][0]:.0f} s, polling included (target at most 1.2)")

        # Delivery: every message on disk and off the modem, then the receiver comes back.
        ok = wait_for(lambda: delivery.deletes() >= args.messages, 900)
        print(f"delivery: {args.messages} messages taken in{'' if ok else ' (NOT ALL)'}; receiver back now")
        back = time.time()
        delivery.start_receiver()
        wait_for(lambda: len(delivery.accepted_times()) >= args.messages, 300)
        times = sorted(delivery.accepted_times())
        if len(times) >= 2:
            span = times[-1] - times[0]
            print(f"  first request {times[0] - back:.1f} s after the receiver came back (delivery paused, "
                  f"1 s doubling to 60 s); {len(times)} accepted in {span:.2f} s: "
                  f"{(len(times) - 1) / span if span > 0 else float('inf'):.0f} messages/s (target at least 50)")
    finally:
        for rig in rigs:
            rig.close()


if __name__ == "__main__":
    main()
