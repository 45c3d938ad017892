#!/usr/bin/env python3
"""Figures of sending from the outbox on the held link (Link=fast, no caps), in one run:

- 50 messages queued with --send before the gateway starts: messages a minute from the
  first AT+CMGS to the last part taken (target: the simulated modem's pace, no waits of
  Zorvel's own between sends) and, against it, the modem's own time per command;
- CPU seconds of the gateway per sent message, its start-up included (an upper bound);
- time from a --send beside the running gateway to its AT+CMGS on the line.

    bench/sending.py [--messages 50]
"""
import argparse, os, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from forwarding import BUILD, PROGRAM, cpu, log_times, stop_all, wait_for  # noqa: E402


def send(folder, text):
    return subprocess.run([PROGRAM, "--folder", folder, "--send", "+15550009999", text],
                          check=True, capture_output=True, text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--messages", type=int, default=50)
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="zorvel-bench-sending-")
    os.makedirs(f"{folder}/ports")
    procs = [subprocess.Popen([f"{BUILD}/zorvel-simmodem", "--link", f"{folder}/ports/com3",
                               "--report", "*=none", "--log", f"{folder}/modem.log"])]
    wait_for(lambda: os.path.exists(f"{folder}/ports/com3"), 10)
    with open(f"{folder}/zorvel.ini", "w") as f:
        f.write("[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\nDest=http://127.0.0.1:9/sms\nKey=bench\n"
                "Decode=1\nStore=1\nLink=fast\nSendPerMinute=0\n")
    os.chmod(f"{folder}/zorvel.ini", 0o600)
    for i in range(args.messages):
        send(folder, f"Benchmark message {i}: your code is {1000 + i}")

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    app = subprocess.Popen([PROGRAM, "--no-window"], cwd=folder, env=env,
                           stderr=open(f"{folder}/gateway.log", "w"))
    procs.append(app)
    log = f"{folder}/modem.log"
    sent = lambda: [t for t, rest in log_times(log, "SENT SMS")]  # noqa: E731
    ok = wait_for(lambda: len(sent()) >= args.messages, 600)
    cpu_used = cpu(app.pid) # start-up included: the sends themselves take about 0.1 s
    if not ok:
        print(f"only {len(sent())} of {args.messages} sent; logs in {folder}")
        stop_all(procs, folder, keep=True)
        return 1
    first = log_times(log, "CMD \"AT+CMGS")[0][0]
    last = sent()[-1]
    commands = log_times(log, "CMD ")
    span = commands[-1][0] - commands[0][0]

    start = time.time()
    send(folder, "One more, beside the running gateway")
    wait_for(lambda: len(log_times(log, "CMD \"AT+CMGS")) > args.messages, 60)
    to_cmgs = log_times(log, "CMD \"AT+CMGS")[-1][0] - start

    per_minute = args.messages / max(last - first, 1e-3) * 60
    print(f"sending {args.messages} messages on the held link, no caps:")
    print(f"  {per_minute:8.0f} messages a minute ({last - first:.2f} s from the first AT+CMGS to the last part)")
    print(f"  {1000 * span / max(len(commands), 1):8.1f} ms per command on the line over the whole run "
          f"({len(commands)} commands)")
    print(f"  {1000 * cpu_used / args.messages:8.2f} ms CPU of the gateway per sent message, start-up included")
    print(f"  {to_cmgs:8.2f} s from --send beside the running gateway to its AT+CMGS")
    stop_all(procs, folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
