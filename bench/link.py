#!/usr/bin/env python3
"""The two links side by side in one run: Link=fast against the default link (no Link
line, as zorvel.ini has always been read), each with its own simulated modem, receiver
and zorvel --no-window, both running at once so the machine's noise hits both alike.
PDU mode with Decode=1; the simulated modem announces new messages (--cmti) for both.

Each link, in turn:
- drain: N messages (default 20) stored on the modem before Zorvel starts; the time from
  start-up to the last arrival at the receiver, and from the first arrival to the last;
- idle: a window of IDLE seconds with no messages: CPU seconds and AT commands, both per
  hour, and CPU per AT command (commands counted from the simulator's CMD lines);
- pickup: one message dropped into the simulator's inbox while idle, K times (default 5)
  at different points of the cycle: from the simulator's `STORE add` to the arrival;
- memory: VmRSS (and the peak, VmHWM) of zorvel at the end.

Then, on its own, text mode (PDUmode=0, Decode=0) on the fast link: the drain alone, N
messages stored before start-up, from start-up to the last arrival at the receiver.

    bench/link.py [--idle 120] [--pickups 5] [--drain 20] [--quick] [--keep]
                  [--modes decoded,text]

--quick: 30 s idle, 3 pickups, 8 messages (about 3 minutes). --keep leaves the folders
(zorvel.ini, modem.log, gateway.log, rx.jsonl) for a look afterwards. --modes picks the
measurements: "decoded" the two links side by side, "text" the text-mode drain (both by
default; "--modes text" alone takes well under a minute). The default run takes about 8
minutes, most of it the default link draining 20 messages, one per cycle.
"""
import argparse, json, os, re, signal, statistics, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from forwarding import BUILD, cpu, log_times, stop_all, wait_for  # noqa: E402

LINKS = ("design", "fast")
MODES = ("decoded", "text")


class Failed(Exception):
    pass


class LinkRig:
    """A folder with the receiver, the simulated modem (announcing) and a zorvel.ini for
    one link, in PDU mode with Decode=1 or in text mode; the program is started by start()."""

    def __init__(self, link, messages, keep, mode="decoded"):
        self.link, self.keep, self.mode = link, keep, mode
        self.dir = tempfile.mkdtemp(prefix=f"zorvel-bench-link-{link}-" + ("text-" if mode == "text" else ""))
        self.procs, self.app = [], None
        try:
            self.prepare(messages)
        except BaseException:
            self.close()
            raise

    def prepare(self, messages):
        os.makedirs(f"{self.dir}/ports")
        os.makedirs(f"{self.dir}/inbox")
        console = f"{self.dir}/rx.out"
        self.procs.append(subprocess.Popen([f"{BUILD}/zorvel-webreceiver", "--port", "0", "--log", f"{self.dir}/rx.jsonl"],
                                           stdout=open(console, "w"), stderr=subprocess.DEVNULL))
        if not wait_for(lambda: first_line(console).endswith("\n"), 10):
            raise Failed("the receiver did not start")
        address = first_line(console).split()[-1]  # "listening on 127.0.0.1:PORT"
        with open(f"{self.dir}/store.txt", "w") as f:
            f.write("".join(f"from: +1555100{i:04d}\ntext: Benchmark message {i} with some text & symbols #{i}\n\n"
                            for i in range(messages)))
        self.procs.append(subprocess.Popen(
            [f"{BUILD}/zorvel-simmodem", "--link", f"{self.dir}/ports/com3", "--store", f"{self.dir}/store.txt",
             "--inbox", f"{self.dir}/inbox", "--capacity", str(max(30, messages)), "--cmti",
             "--log", f"{self.dir}/modem.log"]))
        if not wait_for(lambda: os.path.exists(f"{self.dir}/ports/com3"), 10):
            raise Failed("the simulated modem did not start")
        with open(f"{self.dir}/zorvel.ini", "w") as f:
            f.write(f"[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\nDest=http://{address}/sms\nKey=bench\n"
                    + ("PDUmode=0\nDecode=0\n" if self.mode == "text" else "PDUmode=1\nDecode=1\n")
                    + ("Link=fast\n" if self.link == "fast" else ""))
        os.chmod(f"{self.dir}/zorvel.ini", 0o600)

    def start(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.started = time.time()
        self.app = subprocess.Popen([f"{BUILD}/zorvel", "--no-window", "--folder", self.dir], cwd=self.dir, env=env,
                                    stderr=open(f"{self.dir}/gateway.log", "w"))
        self.procs.append(self.app)

    def check(self):
        if self.app.poll() is not None:
            tail = open(f"{self.dir}/gateway.log", errors="replace").read()[-400:]
            raise Failed(f"zorvel ended with exit code {self.app.returncode}: {tail.strip()}")

    def wait(self, pred, timeout, what):
        def step():
            self.check()
            return pred()
        if not wait_for(step, timeout):
            raise Failed(f"no {what} within {timeout} s")

    def arrivals(self):
        """(epoch s, message text) of the accepted requests, in arrival order."""
        out = []
        try:
            lines = open(f"{self.dir}/rx.jsonl", errors="replace").read().splitlines()
        except FileNotFoundError:
            return out
        for line in lines:
            try:
                r = json.loads(line)
            except ValueError:
                continue  # a record still being written
            if 200 <= r.get("status", 0) < 300:
                text = {p.get("name"): p.get("text") for p in r.get("params", [])}.get("message", "")
                out.append((r["ms"] / 1000, text))
        return out

    def events(self, kind):
        return log_times(f"{self.dir}/modem.log", kind)

    def commands(self):
        return len(self.events("CMD"))

    def deletes(self):
        return sum(r.startswith("STORE delete") for _, r in self.events("STORE"))

    def drop(self, text):
        tmp = f"{self.dir}/inbox/.probe"
        with open(tmp, "w") as f:
            f.write(f"from: +15559990000\ntext: {text}\n")
        os.rename(tmp, f"{self.dir}/inbox/probe{time.time_ns()}.msg")

    def memory(self):
        status = open(f"/proc/{self.app.pid}/status").read()
        return tuple(int(re.search(rf"^{k}:\s+(\d+)", status, re.M).group(1)) / 1024 for k in ("VmRSS", "VmHWM"))

    def close(self):
        stop_all(self.procs, self.dir, keep=self.keep)
        self.procs = []


def first_line(path):
    with open(path) as f:
        return f.readline()


def command_mix(events):
    """'AT+CMGL=4 x12, AT+CSQ x4' for CMD lines."""
    counts = {}
    for _, r in events:
        m = re.match(r'CMD "([^"=?]*[=?]?)', r)
        name = m.group(1) if m else r
        counts[name] = counts.get(name, 0) + 1
    return ", ".join(f"{n} x{c}" for n, c in sorted(counts.items(), key=lambda kv: -kv[1])) or "none"


def run_drain(rig, args, out):
    """Start-up with args.drain messages waiting: the drain figures go into out."""
    n = args.drain
    rig.start()
    rig.wait(lambda: len(rig.arrivals()) >= n, args.drain_timeout, f"{n} arrivals")
    times = [t for t, _ in rig.arrivals()[:n]]
    lists = [t for t, r in rig.events("CMD") if r.startswith('CMD "AT+CMGL')]
    out["drain_total"] = times[-1] - rig.started
    out["drain_spread"] = times[-1] - times[0]
    out["drain_first_list"] = lists[0] - rig.started if lists else float("nan")
    out["drain_from_list"] = times[-1] - lists[0] if lists else float("nan")
    out["drain_busy"] = (time.time() - rig.started, cpu(rig.app.pid), rig.commands())


def run_link(rig, args, out):
    """The drain, idle, pickup and memory steps of one link; figures go into out as they come."""
    n = args.drain
    run_drain(rig, args, out)

    # Idle: every drained message deleted, then a moment for the last cycle to end.
    rig.wait(lambda: rig.deletes() >= n, 120, f"{n} deletes")
    time.sleep(2)
    t0, c0, n0 = time.time(), cpu(rig.app.pid), rig.commands()
    end = t0 + args.idle
    while time.time() < end:
        rig.check()
        time.sleep(min(1.0, max(0.0, end - time.time())))
    t1, c1, n1 = time.time(), cpu(rig.app.pid), rig.commands()
    out["idle"] = (t1 - t0, c1 - c0, n1 - n0)
    out["idle_mix"] = command_mix(rig.events("CMD")[n0:n1])

    # Pickup: the pauses between probes differ so that they land at different points of
    # the cycle (the default link's is 8 to 12 s, the fast link lists every 10 s).
    pickups, parts = [], []
    for i in range(args.pickups):
        time.sleep(1.0 + (i * 2.3) % 7)
        text = f"pickup probe {i} on the {rig.link} link"
        adds0 = len(rig.events("STORE"))
        rig.drop(text)
        rig.wait(lambda: any(t == text for _, t in rig.arrivals()), args.pickup_timeout, f"arrival of probe {i}")
        arrived = next(a for a, t in rig.arrivals() if t == text)
        added = next(a for a, r in rig.events("STORE")[adds0:] if r.startswith("STORE add") and "source=inbox" in r)
        first_list = next((a for a, r in rig.events("CMD") if a >= added and r.startswith('CMD "AT+CMGL')), arrived)
        pickups.append(arrived - added)
        parts.append(first_list - added)
        rig.wait(lambda: rig.deletes() >= n + i + 1, 60, f"delete of probe {i}")
    out["pickup"] = pickups
    out["pickup_first_list"] = parts
    out["memory"] = rig.memory()
    out["whole"] = (time.time() - rig.started, cpu(rig.app.pid), rig.commands())


def fmt(v, unit="", digits=2):
    if v is None:
        return "-"
    return f"{v:.{digits}f}{unit}"


def ratio(a, b):
    return f"{b / a:.2f}" if a and b is not None and a > 0 else "-"


def table(res, args):
    d, f, text = res["design"], res["fast"], res["text"]

    def get(r, key, fn):
        try:
            return fn(r[key])
        except (KeyError, ValueError, ZeroDivisionError, statistics.StatisticsError):
            return None

    per_cmd = lambda v: v[1] * 1000 / v[2]          # ms CPU per command
    cpu_hour = lambda v: v[1] * 3600 / v[0]
    cmd_hour = lambda v: v[2] * 3600 / v[0]
    rows = [
        ("CPU per AT command, idle window", "<= 0.5 ms", "idle", per_cmd, " ms", 3),
        ("CPU per AT command, whole run", "", "whole", per_cmd, " ms", 3),
        (f"idle CPU per hour ({args.idle} s window)", "<= 0.7 s", "idle", cpu_hour, " s", 2),
        ("idle AT commands per hour", "<= 1200", "idle", cmd_hour, "", 0),
        (f"pickup, median of {args.pickups}", "<= 1 s", "pickup", statistics.median, " s", 3),
        (f"pickup, max of {args.pickups}", "<= 1 s", "pickup", max, " s", 3),
        ("  of which: add -> first list (median)", "", "pickup_first_list", statistics.median, " s", 3),
        (f"drain {args.drain}: start -> last arrival", "<= 3 s", "drain_total", float, " s", 3),
        (f"drain {args.drain}: first -> last arrival", "<= 3 s", "drain_spread", float, " s", 3),
        ("  start -> first list", "", "drain_first_list", float, " s", 3),
        ("  first list -> last arrival", "", "drain_from_list", float, " s", 3),
        ("RSS at the end (VmRSS)", "", "memory", lambda v: v[0], " MB", 1),
        ("peak RSS (VmHWM)", "", "memory", lambda v: v[1], " MB", 1),
    ]
    # Text mode runs on the fast link only: its figures stand in the fast column.
    text_rows = [
        (f"text mode, drain {args.drain}: start -> last arrival", "<= 3 s", "drain_total", float, " s", 3),
        ("  start -> first list", "", "drain_first_list", float, " s", 3),
        ("  first list -> last arrival", "", "drain_from_list", float, " s", 3),
    ]
    head = ("figure", "target (fast)", "design", "fast", "fast/design")
    lines = [head]
    for label, target, key, fn, unit, digits in rows if "decoded" in args.modes else []:
        a, b = get(d, key, fn), get(f, key, fn)
        lines.append((label, target, fmt(a, unit, digits), fmt(b, unit, digits), ratio(a, b)))
    for label, target, key, fn, unit, digits in text_rows if "text" in args.modes else []:
        lines.append((label, target, "-", fmt(get(text, key, fn), unit, digits), "-"))
    widths = [max(len(l[i]) for l in lines) for i in range(len(head))]
    for i, l in enumerate(lines):
        print("  ".join(c.ljust(w) if j < 2 else c.rjust(w) for j, (c, w) in enumerate(zip(l, widths))))
        if i == 0:
            print("  ".join("-" * w for w in widths))
    for link in (*LINKS, "text"):
        r = res[link]
        if "idle_mix" in r:
            print(f"{link}: idle commands: {r['idle_mix']}")
        if "pickup" in r:
            print(f"{link}: pickups " + ", ".join(f"{p:.3f}" for p in r["pickup"]) + " s")
        if "error" in r:
            print(f"{link}: FAILED: {r['error']}")


def main():
    parser = argparse.ArgumentParser(description="Link=fast against the default link, side by side.")
    parser.add_argument("--idle", type=int, default=None, help="idle window in seconds (default 120)")
    parser.add_argument("--pickups", type=int, default=None, help="messages dropped in while idle (default 5)")
    parser.add_argument("--drain", type=int, default=None, help="messages stored before start-up (default 20)")
    parser.add_argument("--quick", action="store_true", help="30 s idle, 3 pickups, 8 messages")
    parser.add_argument("--keep", action="store_true", help="keep the folders and print where they are")
    parser.add_argument("--modes", default=",".join(MODES),
                        help="decoded (the two links side by side), text (text-mode drain on the fast link), "
                             "or both (default decoded,text)")
    args = parser.parse_args()
    args.modes = [m.strip() for m in args.modes.split(",") if m.strip()]
    if not args.modes or any(m not in MODES for m in args.modes):
        parser.error("--modes takes decoded, text or decoded,text")
    quick = {"idle": 30, "pickups": 3, "drain": 8}
    full = {"idle": 120, "pickups": 5, "drain": 20}
    for k, v in (quick if args.quick else full).items():
        if getattr(args, k) is None:
            setattr(args, k, v)
    if args.drain < 1 or args.idle < 1 or args.pickups < 1:
        parser.error("--drain, --idle and --pickups take at least 1")
    # The default link forwards one message per cycle of up to about 14 s.
    args.drain_timeout = 60 + 20 * args.drain
    args.pickup_timeout = 60

    # SIGTERM ends the run like Ctrl-C: every process stopped, the folders removed. SIGINT
    # is caught here too, also when the script was started with it ignored (in the background).
    def on_signal(*_):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    rigs, results, threads = {}, {link: {} for link in (*LINKS, "text")}, []
    began = time.time()
    try:
        for link in LINKS if "decoded" in args.modes else []:
            rigs[link] = LinkRig(link, args.drain, args.keep)

        def worker(link):
            try:
                run_link(rigs[link], args, results[link])
            except Exception as e:  # noqa: BLE001 -- reported in the table
                results[link]["error"] = f"{type(e).__name__}: {e}"
            finally:
                # A link done early stops, so its processes do not weigh on the other one.
                rigs[link].close()

        threads = [threading.Thread(target=worker, args=(link,), daemon=True) for link in rigs]
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(0.5)
        if "decoded" in args.modes:
            print(f"bench/link.py: both links side by side, PDU mode, Decode=1; {time.time() - began:.0f} s")
        if "text" in args.modes:
            # After the pair, alone, so that it neither slows them down nor is slowed by them.
            text_began = time.time()
            rigs["text"] = LinkRig("fast", args.drain, args.keep, mode="text")
            try:
                run_drain(rigs["text"], args, results["text"])
            except Exception as e:  # noqa: BLE001 -- reported in the table
                results["text"]["error"] = f"{type(e).__name__}: {e}"
            finally:
                rigs["text"].close()
            print(f"bench/link.py: fast link, text mode (PDUmode=0, Decode=0); {time.time() - text_began:.0f} s")
        table(results, args)
        if args.keep:
            for link, rig in rigs.items():
                print(f"{link}: kept {rig.dir}")
    except KeyboardInterrupt:
        print("interrupted: stopping everything", file=sys.stderr)
        sys.exit(130)
    finally:
        for rig in rigs.values():
            rig.close()
    if any("error" in r for r in results.values()):
        sys.exit(1)


if __name__ == "__main__":
    main()
