#!/bin/bash
# Plays an alarm through the real sound player into a private PulseAudio null sink, records the
# sink's monitor and checks that the sound came out, kept looping past the end of the file, and
# stopped once 关闭警报 was pressed.
#   tests/system/x11/alarm-sound.sh [BUILD_DIR]      (default build/dev; needs the alarm_sound_demo target)
set -euo pipefail

build=${1:-build/dev}
demo=$build/bin/alarm_sound_demo
[[ -x $demo ]] || { echo "no $demo: cmake --build $build --target alarm_sound_demo" >&2; exit 2; }
for tool in pulseaudio pactl parec python3; do
    command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d /tmp/kestrel-alarm-sound.XXXXXX)
# A daemon of our own: nothing of the desktop's sound setup is touched or heard.
export XDG_RUNTIME_DIR=$work/run PULSE_RUNTIME_PATH=$work/run/pulse PULSE_STATE_PATH=$work/state
export PULSE_SERVER=unix:$work/run/pulse/native
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
recorder= filler=
cleanup() {
    [[ -n $recorder ]] && kill "$recorder" 2>/dev/null || true
    [[ -n $filler ]] && kill "$filler" 2>/dev/null || true
    if [[ -f $PULSE_RUNTIME_PATH/pid ]]; then kill "$(cat "$PULSE_RUNTIME_PATH/pid")" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

pulseaudio -D --exit-idle-time=-1 --system=false -n --load=module-native-protocol-unix \
    2>"$work/pulseaudio.log"
pactl load-module module-null-sink sink_name=kestrel_alarm rate=44100 channels=1 norewinds=1 >/dev/null
pactl set-default-sink kestrel_alarm

# 0.4 s of a 880 Hz tone: much shorter than the alarm, so sound after 0.4 s proves the loop.
python3 - "$work/kestrel.wav" <<'PY'
import math, struct, sys
rate, seconds = 44100, 0.4
frames = b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 880 * i / rate)))
                  for i in range(int(rate * seconds)))
header = b"RIFF" + struct.pack("<I", 36 + len(frames)) + b"WAVEfmt " + \
    struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16) + b"data" + struct.pack("<I", len(frames))
open(sys.argv[1], "wb").write(header + frames)
PY

# The null sink only renders while something plays into it: a stream of silence keeps it, and
# so the recording, running for the whole run.
pacat --raw --format=s16le --rate=44100 --channels=1 --latency-msec=20 -d kestrel_alarm /dev/zero &
filler=$!
parec -d kestrel_alarm.monitor --raw --format=s16le --rate=44100 --channels=1 \
    --latency-msec=20 >"$work/capture.raw" &
recorder=$!
sleep 0.5
printf '[Param]\nUseMonitor=1\n' >"$work/kestrel.ini"
QT_QPA_PLATFORM=offscreen "$demo" "$work/kestrel.wav" "$work/kestrel.ini" 2500 1500 >"$work/marks"
# parec hands on what it has in bursts: give the tail time to arrive.
sleep 2
kill "$recorder" "$filler"; wait "$recorder" "$filler" 2>/dev/null || true; recorder= filler=

echo "settings file after closing the alarm:"; sed 's/^/  /' "$work/kestrel.ini"
python3 - "$work/capture.raw" "$work/marks" <<'PY'
import array, math, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
marks = {k: int(v) for k, v in (line.split() for line in open(sys.argv[2]))}
rate, step = 44100, 44100 // 20          # loudness in 50 ms slices

loud = [math.sqrt(sum(s * s for s in samples[i:i + step]) / step) > 1000
        for i in range(0, len(samples) - step + 1, step)]
if True not in loud:
    print(f"FAIL: {len(samples) / rate:.2f} s recorded, no sound in it")
    sys.exit(1)
onset = loud.index(True)
offset = len(loud) - loud[::-1].index(True)
heard = (offset - onset) * 50
gaps = loud[onset:offset].count(False) * 50
silence_after = (len(loud) - offset) * 50
asked = marks["closed"] - marks["raised"]
print(f"recorded {len(samples) / rate:.2f} s: sound from {onset * 50} ms to {offset * 50} ms "
      f"({heard} ms, {gaps} ms of it silent), then {silence_after} ms of silence")
print(f"the alarm was raised for {asked} ms; the wave file lasts 400 ms")
# Looping: sound throughout, far longer than the file. Stopping: it ends with the close (give or
# take the audio buffers) and nothing follows it up to the end of the run.
ok = gaps <= 100 and abs(heard - asked) <= 400 and silence_after >= 1000
print("PASS" if ok else "FAIL")
sys.exit(0 if ok else 1)
PY
