#!/usr/bin/env bash
# Builds Zorvel and starts it against the project's simulated modem and a local web
# receiver, in the folder demo/. The receiver prints each forwarded SMS as it arrives.
# Closing the window ends the demo and its helpers.
# ZORVEL_DEMO_STORE=1 runs it with the local store (Store=1): every message is kept in
# demo/zorvel.sqlite and taken off the modem at once; `build/zorvel --folder demo
# --pending` lists what waits.
# ZORVEL_DEMO_LINK=fast runs it with the held link (Link=fast): the port stays open and a
# message dropped into demo/inbox reaches the receiver within a second.
# ZORVEL_DEMO_OUTBOX=1 also sends (Store=1 with an outbox): the receiver serves an outbox
# of one message (demo/outbox.txt) and shows the state reports, and a Cyrillic and emoji
# message of three parts goes out with --send; `build/zorvel --folder demo --outbox`
# shows it delivered once the simulated modem's report came back.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/install-deps.sh
tools/build.sh

demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo/ports" "$demo/inbox"
outbox="${ZORVEL_DEMO_OUTBOX:-0}"
receiver_outbox=()
if [ "$outbox" = 1 ]; then
    printf 'web-1\t+15550004444\tYour code is 4711 \\u2714\n' >"$demo/outbox.txt"
    receiver_outbox=(--outbox-path /outbox --outbox "$demo/outbox.txt" --outbox-states "$demo/states.txt")
fi
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The web receiver picks a free port on 127.0.0.1 and says which on its first line; what
# it prints after that is each forwarded SMS.
"$root/build/zorvel-webreceiver" --port 0 --log "$demo/received.jsonl" "${receiver_outbox[@]}" \
    >"$demo/receiver.out" &
pids+=($!)
for _ in $(seq 50); do [ -s "$demo/receiver.out" ] && break; sleep 0.1; done
address=$(sed -n '1s/^listening on //p' "$demo/receiver.out")
[ -n "$address" ] || { echo "The web receiver did not start." >&2; exit 1; }
tail -n +2 -f "$demo/receiver.out" &
pids+=($!)

cat >"$demo/zorvel.ini" <<INI
[Zorvel]
COM=3
Speed=9600,n,8,1
Dest=http://$address/sms
Key=demo-key
StartMinimised=0
PDUmode=1
Decode=1
INI
store="${ZORVEL_DEMO_STORE:-0}"
[ "$outbox" = 1 ] && store=1
if [ "$store" = 1 ]; then printf 'Store=1\n' >>"$demo/zorvel.ini"; fi
if [ "$outbox" = 1 ]; then printf 'OutboxUrl=http://%s/outbox\nOutboxPoll=10\n' "$address" >>"$demo/zorvel.ini"; fi
link="${ZORVEL_DEMO_LINK:-design}"
if [ "$link" = fast ]; then printf 'Link=fast\n' >>"$demo/zorvel.ini"; fi
chmod 600 "$demo/zorvel.ini"

"$root/build/zorvel-simmodem" --link "$demo/ports/com3" --store "$root/tools/demo/messages.txt" \
    --inbox "$demo/inbox" --generate-every 40 --log "$demo/modem.log" &
pids+=($!)
for _ in $(seq 50); do [ -e "$demo/ports/com3" ] && break; sleep 0.1; done

echo "Demo folder: $demo (zorvel.ini, modem.log, received.jsonl)"
echo "Web receiver: http://$address/sms; the simulated modem is COM3, read in PDU mode with decoding on."
echo "It holds the SMS of tools/demo/messages.txt (emoji, Cyrillic, a long notice in three parts)"
echo "and gets a new SMS every 40 s."
echo "Drop a message file into $demo/inbox to add one (format: tools/simmodem/README.md)."
if [ "$store" = 1 ]; then
    echo "Store=1: messages are kept in $demo/zorvel.sqlite before they leave the modem; each request"
    echo "carries an Idempotency-Key. Waiting messages: $root/build/zorvel --folder $demo --pending"
fi

if [ -z "${DISPLAY:-}" ]; then
    # No screen: run on a private X server and keep a screenshot of it up to date.
    source "$root/bench/common.sh"
    start_xvfb
    pids+=("$XVFB_PID")
    echo "No display: running on Xvfb $DISPLAY; screenshot in $demo/screenshot.png every 5 s. Ctrl-C ends."
    ( while sleep 5; do import -window root "$demo/screenshot.png" 2>/dev/null || true; done ) &
    pids+=($!)
fi

if [ "$outbox" = 1 ]; then
    # Sent once the gateway runs: three UCS-2 parts, each asking for a status report.
    text="Привет! 👋 Это Zorvel: сообщение из трёх частей, с кириллицей и эмодзи 🎉, отправленное из командной строки. Отчёт о доставке вернётся от модема, и --outbox покажет delivered."
    ( sleep 3; "$root/build/zorvel" --folder "$demo" --send +15550009999 "$text" >"$demo/sent-id.txt" ) &
    pids+=($!)
    echo "Outbox: a three-part message goes out with --send; see $demo/modem.log (SENT SMS) and"
    echo "$root/build/zorvel --folder $demo --outbox. The receiver serves $demo/outbox.txt at /outbox."
fi

cd "$demo"
"$root/build/zorvel"
