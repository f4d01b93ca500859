#!/usr/bin/python3
"""A GTK 3 window with the widgets the accessibility tests point at.

Usage: gtk_test_window.py [TITLE]
Once the window is shown and laid out it prints one JSON line: the pid, the X window
id ("xid", null on Wayland) and the screen rectangle of each widget ({"x", "y",
"width", "height"}, root coordinates; on Wayland, where a client cannot know where its
window is, relative to the window).
Then it obeys lines on standard input:
  focus <name>   gives keyboard focus to that widget ("none" clears it)
  quit           ends the program
and answers each with "ok" or "unknown".
Run it with /usr/bin/python3, which has python3-gi.
"""
import json
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import GdkX11, GLib, Gtk  # noqa: E402,F401  (GdkX11 gives windows their xid)


def fixed_area(width, height):
    area = Gtk.DrawingArea()
    area.set_size_request(width, height)
    return area


def build_window(title):
    window = Gtk.Window(title=title)
    window.set_default_size(420, 420)
    window.move(40, 40)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
    box.set_border_width(8)
    window.add(box)

    widgets = {}
    widgets["entry"] = Gtk.Entry()
    widgets["entry"].set_text("Type here")

    widgets["enabledButton"] = Gtk.Button(label="Save")
    widgets["disabledButton"] = Gtk.Button(label="Delete")
    widgets["disabledButton"].set_sensitive(False)
    widgets["link"] = Gtk.LinkButton.new_with_label("https://example.invalid/help", "Help page")

    paned = Gtk.Paned(orientation=Gtk.Orientation.HORIZONTAL)
    paned.set_wide_handle(True)
    paned.pack1(fixed_area(150, 60), resize=True, shrink=False)
    paned.pack2(fixed_area(150, 60), resize=True, shrink=False)
    widgets["splitter"] = paned

    crop = fixed_area(300, 80)
    crop.get_accessible().set_name("Selection")
    crop.get_accessible().set_description("Crop the picture")
    widgets["crop"] = crop

    plain = fixed_area(300, 40)
    plain.get_accessible().set_name("Canvas")
    widgets["plain"] = plain

    for widget in widgets.values():
        box.pack_start(widget, False, False, 0)
    window.connect("destroy", Gtk.main_quit)
    return window, widgets


def screen_rect(window, widget):
    origin_x, origin_y = window.get_window().get_origin()[1:]
    x, y = widget.translate_coordinates(window, 0, 0)
    allocation = widget.get_allocation()
    return {"x": origin_x + x, "y": origin_y + y, "width": allocation.width, "height": allocation.height}


def handle_rect(window, paned):
    """The strip between the two panes, where the splitter itself is hit."""
    first = screen_rect(window, paned.get_child1())
    second = screen_rect(window, paned.get_child2())
    left = first["x"] + first["width"]
    return {"x": left, "y": first["y"], "width": max(1, second["x"] - left), "height": first["height"]}


def report_layout(window, widgets):
    layout = {name: screen_rect(window, widget) for name, widget in widgets.items()}
    layout["splitterHandle"] = handle_rect(window, widgets["splitter"])
    surface = window.get_window()
    xid = surface.get_xid() if isinstance(surface, GdkX11.X11Window) else None
    print(json.dumps({"pid": os.getpid(), "xid": xid, "widgets": layout}), flush=True)


def on_command(source, condition, window, widgets):
    line = source.readline()
    if not line:
        Gtk.main_quit()
        return False
    words = line.split()
    if words == ["quit"]:
        Gtk.main_quit()
        return False
    if len(words) == 2 and words[0] == "focus" and (words[1] in widgets or words[1] == "none"):
        window.set_focus(None if words[1] == "none" else widgets[words[1]])
        print("ok", flush=True)
    else:
        print("unknown", flush=True)
    return True


def main():
    title = sys.argv[1] if len(sys.argv) > 1 else "Kelvane accessibility test window"
    window, widgets = build_window(title)
    window.show_all()
    # A window takes its first focusable widget as focus when shown; the tests want no
    # focus unless they ask for it, so a focused entry does not answer for everything.
    window.set_focus(None)

    def when_settled():
        if not window.get_mapped() or widgets["crop"].get_allocation().width <= 1:
            return True
        report_layout(window, widgets)
        GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_command, window, widgets)
        return False

    # Layout and the window manager's placement settle over the first frames.
    GLib.timeout_add(300, when_settled)
    Gtk.main()


if __name__ == "__main__":
    main()
