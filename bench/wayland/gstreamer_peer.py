#!/usr/bin/python3
"""The peer of the Wayland recording benchmark: GStreamer reading the portal's screen cast.

Asks the desktop portal for a monitor's screen cast (through the test desktop's portal
probe), then runs `pipewiresrc ! videoconvert ! x264enc ! mp4mux` on that stream for the
given seconds, ends it with end-of-stream so the file is finished, and prints
"<user CPU s> <system CPU s> <peak KiB>" of gst-launch-1.0. Run with Debian's interpreter.
"""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "testing", "portal_probe"))
from portal_screencast_probe import Portal  # noqa: E402


def main():
    output, seconds = sys.argv[1], float(sys.argv[2])
    # The portal closes the session when this connection goes: it stays open to the end.
    portal = Portal(10)
    (node, _properties), fd = portal.start_monitor_cast()
    gst = subprocess.Popen(
        ["gst-launch-1.0", "-q", "-e", "pipewiresrc", f"fd={fd}", f"path={node}", "do-timestamp=true", "!",
         "video/x-raw,format=BGRx", "!", "videoconvert", "!",
         "x264enc", "speed-preset=ultrafast", "!", "mp4mux", "!", "filesink", f"location={output}"],
        pass_fds=[fd], stdout=subprocess.DEVNULL)
    time.sleep(seconds)
    gst.send_signal(signal.SIGINT)
    _pid, _status, usage = os.wait4(gst.pid, 0)
    print(f"{usage.ru_utime:.2f} {usage.ru_stime:.2f} {usage.ru_maxrss}")


if __name__ == "__main__":
    main()
