#!/usr/bin/env python3
"""file_stats.py FILE — prints "frames judder_ms duration_s bytes distinct" for the video of FILE.

frames: video packets (ffprobe -count_packets; every written frame is one packet);
judder: standard deviation of the intervals between successive presentation times;
duration: the container's duration (the last frame lasts until the recording's end);
distinct: decoded frames that differ from the frame before (ffmpeg's mpdecimate with a
threshold low enough for a caret-sized change, high enough for encoder noise)."""
import json
import os
import statistics
import subprocess
import sys


def main():
    path = sys.argv[1]
    probe = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time",
         "-of", "json", path], capture_output=True, text=True, check=True)
    times = sorted(float(p["pts_time"]) for p in json.loads(probe.stdout).get("packets", [])
                   if p.get("pts_time") not in (None, "N/A"))
    intervals = [b - a for a, b in zip(times, times[1:])]
    judder = statistics.pstdev(intervals) * 1000 if len(intervals) > 1 else 0.0
    container = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                               capture_output=True, text=True, check=True)
    duration = float(container.stdout.strip() or 0)
    decoded = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0", "-vf", "mpdecimate=hi=64:lo=64:frac=1",
         "-f", "framemd5", "-"], capture_output=True, text=True, check=True)
    distinct = sum(1 for line in decoded.stdout.splitlines() if line and not line.startswith("#"))
    print(f"{len(times)} {judder:.2f} {duration:.2f} {os.path.getsize(path)} {distinct}")


if __name__ == "__main__":
    main()
