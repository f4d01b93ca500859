#!/usr/bin/python3
"""Asks the desktop portal for a screen cast of a monitor, the way a recorder does.

Prints "stream NODE X Y WIDTH HEIGHT" for the stream the portal started, then, with
--frames N, reads N frames of it through GStreamer's pipewiresrc and prints
"frames N WIDTHxHEIGHT FORMAT". Any failure is one line on standard error and exit
status 1. Run with Debian's interpreter (it needs python3-gi).
"""
import argparse
import subprocess
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SCREEN_CAST = "org.freedesktop.portal.ScreenCast"


class Portal:
    def __init__(self, timeout_seconds):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.sender = self.bus.get_unique_name()[1:].replace(".", "_")
        self.timeout_ms = int(timeout_seconds * 1000)
        self.tokens = 0

    def request(self, method, args_before_options, signature, options):
        """Calls a portal method that answers through a Request object's Response."""
        self.tokens += 1
        token = f"probe{self.tokens}"
        path = f"{PORTAL_PATH}/request/{self.sender}/{token}"
        loop = GLib.MainLoop()
        answer = {}

        def on_response(_conn, _sender, _path, _iface, _signal, params):
            answer["code"], answer["results"] = params.unpack()
            loop.quit()

        subscription = self.bus.signal_subscribe(PORTAL, "org.freedesktop.portal.Request", "Response", path,
                                                 None, Gio.DBusSignalFlags.NONE, on_response)
        options = dict(options, handle_token=GLib.Variant("s", token))
        self.bus.call_sync(PORTAL, PORTAL_PATH, SCREEN_CAST, method,
                           GLib.Variant(signature, (*args_before_options, options)),
                           None, Gio.DBusCallFlags.NONE, self.timeout_ms, None)
        GLib.timeout_add(self.timeout_ms, loop.quit)
        loop.run()
        self.bus.signal_unsubscribe(subscription)
        if "code" not in answer:
            raise RuntimeError(f"{method}: no response")
        if answer["code"] != 0:
            raise RuntimeError(f"{method}: response code {answer['code']}")
        return answer["results"]

    def start_monitor_cast(self):
        session = self.request("CreateSession", (), "(a{sv})",
                               {"session_handle_token": GLib.Variant("s", "probe")})["session_handle"]
        self.request("SelectSources", (session,), "(oa{sv})", {"types": GLib.Variant("u", 1)})
        streams = self.request("Start", (session, ""), "(osa{sv})", {})["streams"]
        reply, fds = self.bus.call_with_unix_fd_list_sync(
            PORTAL, PORTAL_PATH, SCREEN_CAST, "OpenPipeWireRemote", GLib.Variant("(oa{sv})", (session, {})),
            None, Gio.DBusCallFlags.NONE, self.timeout_ms, None, None)
        return streams[0], fds.get(reply.unpack()[0])


def read_frames(node, fd, count, timeout_seconds):
    caps_line = None
    gst = subprocess.run(["gst-launch-1.0", "-v", "pipewiresrc", f"fd={fd}", f"path={node}", f"num-buffers={count}",
                          "!", "video/x-raw,format=BGRx", "!", "fakesink"],
                         pass_fds=[fd], capture_output=True, text=True, timeout=timeout_seconds)
    if gst.returncode != 0:
        raise RuntimeError(f"gst-launch-1.0 failed: {gst.stderr.strip() or gst.stdout.strip()}")
    for line in gst.stdout.splitlines():
        if "fakesink0.GstPad:sink: caps = " in line:
            caps_line = line
    fields = dict(part.strip().split("=", 1) for part in caps_line.split("caps = ", 1)[1].split(",")[1:])
    size = f"{fields['width'].split(')')[1]}x{fields['height'].split(')')[1]}"
    return f"frames {count} {size} {fields['format'].split(')')[1]}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--frames", type=int, default=0)
    # Generous: the first GStreamer run on a machine scans its plugins first.
    parser.add_argument("--timeout", type=float, default=30)
    options = parser.parse_args()
    try:
        # The portal closes the session when this connection goes: keep it to the end.
        portal = Portal(options.timeout)
        (node, properties), fd = portal.start_monitor_cast()
        x, y = properties["position"]
        width, height = properties["size"]
        print(f"stream {node} {x} {y} {width} {height}", flush=True)
        if options.frames:
            print(read_frames(node, fd, options.frames, options.timeout), flush=True)
    except (GLib.Error, RuntimeError, subprocess.TimeoutExpired, KeyError, AttributeError) as error:
        print(f"portal_screencast_probe: {error}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
