#!/usr/bin/env python3
"""offsets.py MOVIE AUDIO X Y W H [TIMES] — finds each white flash in the MOVIE's video
(mean brightness of the X,Y,W,H box jumping up) and each click in AUDIO's first audio
stream (the level jumping up after silence), pairs every flash with the nearest click
and prints every offset, then a summary: first and last offset (click minus
flash, ms), the worst offset, and the drift in ms per minute (least-squares slope).

TIMES, a file of lines "REPORT PLAYED" in wall-clock seconds: when each flash was
reported and when the sink played its click. Each click's delay after its flash report
is then taken off that pair's offset, and each side is also set against its own moments, so a
wandering offset can be told to come from the picture or from the sound."""
import array
import json
import statistics
import subprocess
import sys

RATE = 48000


def flash_times(movie, x, y, w, h):
    graph = f"movie={movie},crop={w}:{h}:{x}:{y},signalstats"
    out = subprocess.run(["ffprobe", "-v", "error", "-f", "lavfi", graph, "-show_entries",
                          "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "json"],
                         capture_output=True, text=True, check=True).stdout
    frames = [(float(f["pts_time"]), float(f["tags"]["lavfi.signalstats.YAVG"]))
              for f in json.loads(out)["frames"]]
    # A recording that starts during a flash shows its middle, not its start: the first
    # frame only sets the state.
    times, bright = [], bool(frames) and frames[0][1] > 160
    for t, level in frames[1:]:
        if level > 160 and not bright:
            times.append(t)
        bright = level > 160 if not bright else level > 96
    return times


def audio_start(path):
    # The first decoded frame, not the first packet: an AAC stream's first packet holds
    # the encoder's priming, which the decoder drops, and starts 1024 samples earlier.
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                          "frame=pts_time", "-read_intervals", "%+#1", "-of", "json", path],
                         capture_output=True, text=True, check=True).stdout
    frames = json.loads(out)["frames"]
    return float(frames[0]["pts_time"]) if frames else 0.0


def click_times(path):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-ac", "1", "-ar",
                          str(RATE), "-f", "s16le", "-"], capture_output=True, check=True).stdout
    samples = array.array("h", raw[: len(raw) // 2 * 2])
    start = audio_start(path)
    times, quiet_until = [], 0
    for i, value in enumerate(samples):
        if abs(value) > 8000:
            if i >= quiet_until:
                times.append(start + i / RATE)
            quiet_until = i + RATE // 2
    return times


def match(events, moments):
    """Pairs each event with the moment it belongs to. The file starts at an unknown
    wall-clock moment, so each pairing of the first event with a moment is tried: the
    pairings that fit the most events within 0.3 s all do when the moments go on before
    and after the recording, so among those the one whose lags agree best is kept (a
    pairing one second off shows every irregularity of the moments as scatter). Gives
    (event, moment index) pairs."""
    best, best_spread = [], None
    for moment in moments:
        shift = events[0] - moment
        pairs = []
        for event in events:
            nearest = min(range(len(moments)), key=lambda j: abs(event - shift - moments[j]))
            if abs(event - shift - moments[nearest]) < 0.3:
                pairs.append((event, nearest))
        lags = [event - moments[j] for event, j in pairs]
        spread = max(lags) - min(lags) if lags else None
        if len(pairs) > len(best) or (pairs and len(pairs) == len(best) and spread < best_spread):
            best, best_spread = pairs, spread
    return best


def print_lags(name, pairs, moments, what):
    """How late each event sits after its moment once the constant offset between the
    file's clock and the wall clock is taken out: the median lag is 0 by definition, so
    what shows is how the lag wanders (first tenth against last, spread)."""
    if len(pairs) < 2:
        return
    raw = [(event - moments[j]) * 1000 for event, j in pairs]
    middle = statistics.median(raw)
    lags = [lag - middle for lag in raw]
    tenth = max(len(lags) // 10, 1)
    slope = statistics.linear_regression([event for event, _ in pairs], lags).slope * 60
    print(f"{name} behind {what}, against its median: first tenth {statistics.fmean(lags[:tenth]):+.1f} ms, "
          f"last tenth {statistics.fmean(lags[-tenth:]):+.1f} ms, spread {max(lags) - min(lags):.1f} ms, "
          f"drift {slope:+.2f} ms per minute")
    print(f"  each {name}'s lag: " + " ".join(f"{lag:+.0f}" for lag in lags))


def main():
    movie, audio = sys.argv[1], sys.argv[2]
    x, y, w, h = (int(v) for v in sys.argv[3:7])
    reports, played = [], []
    if len(sys.argv) > 7:
        for line in open(sys.argv[7]):
            report, play = line.split()
            reports.append(float(report))
            played.append(float(play))
    flashes, clicks = flash_times(movie, x, y, w, h), click_times(audio)
    click_plays = dict(match(clicks, played)) if clicks and played else {}
    if reports:
        if flashes:
            print_lags("flash", match(flashes, reports), reports, "its report")
        print_lags("click", sorted(click_plays.items()), played, "the moment the sink played it")
        delays = [(play - report) * 1000 for report, play in zip(reports, played)]
        print(f"each click played {statistics.median(delays):.1f} ms after its flash report (median; "
              f"{min(delays):.1f} to {max(delays):.1f}), taken off each offset below")
    pairs = []
    for flash in flashes:
        nearest = min(clicks, key=lambda c: abs(c - flash), default=None)
        if nearest is not None and abs(nearest - flash) < 0.4:
            offset = (nearest - flash) * 1000
            if nearest in click_plays:
                j = click_plays[nearest]
                offset -= (played[j] - reports[j]) * 1000
            pairs.append((flash, offset))
    print(f"flashes {len(flashes)}, clicks {len(clicks)}, paired {len(pairs)}")
    if len(pairs) < 2:
        print("too few pairs to measure")
        return
    times = [p[0] for p in pairs]
    offsets = [p[1] for p in pairs]
    slope = statistics.linear_regression(times, offsets).slope * 60
    worst = max(offsets, key=abs)
    tenth = max(len(offsets) // 10, 1)
    print("  each offset: " + " ".join(f"{offset:+.0f}" for offset in offsets))
    print(f"offset first {offsets[0]:+.1f} ms, last {offsets[-1]:+.1f} ms, median {statistics.median(offsets):+.1f} ms, "
          f"worst {worst:+.1f} ms, spread {max(offsets) - min(offsets):.1f} ms")
    print(f"mean of the first tenth {statistics.fmean(offsets[:tenth]):+.1f} ms, of the last tenth "
          f"{statistics.fmean(offsets[-tenth:]):+.1f} ms; drift {slope:+.2f} ms per minute")
    print(f"goal: worst offset {abs(worst):.1f} ms / 20 ms at most; drift {abs(slope):.2f} ms per minute / 5 at most")


if __name__ == "__main__":
    main()
