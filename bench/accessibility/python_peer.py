#!/usr/bin/python3
"""The peer of the accessibility benchmark: the same hit test and reads as one match
of the cursor monitor's probe, written the plain way with the GObject-introspection
AT-SPI bindings that Python accessibility tools use.

Usage: python_peer.py X Y ROUNDS. Prints the median time of one round in
milliseconds."""
import statistics
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# The per-interface getters are marked deprecated but are still the plain way to reach
# an element's actions and text; keep the notices out of the benchmark's output.
warnings.simplefilter("ignore", DeprecationWarning)

SCREEN = Atspi.CoordType.SCREEN


def element_at(x, y):
    desktop = Atspi.get_desktop(0)
    for a in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(a)
        for w in range(app.get_child_count()):
            window = app.get_child_at_index(w)
            states = window.get_state_set()
            if not states.contains(Atspi.StateType.SHOWING):
                continue
            if window.contains(x, y, SCREEN):
                current = window
                while True:
                    child = current.get_accessible_at_point(x, y, SCREEN)
                    if child is None or child == current:
                        return current
                    current = child
    return None


def read_element(element):
    element.get_role()
    element.get_name()
    element.get_description()
    element.get_localized_role_name()
    element.get_state_set()
    action = element.get_action_iface()
    if action is not None:
        for i in range(action.get_n_actions()):
            action.get_action_name(i)
    element.get_text_iface()


def one_round(x, y):
    element = element_at(x, y)
    chain = []
    while element is not None and len(chain) < 5:
        chain.append(element)
        element = element.get_parent()
    for element in chain:
        read_element(element)
    for element in chain:  # the metadata summary reads the texts again
        element.get_role()
        element.get_name()
        element.get_description()
        element.get_localized_role_name()


def main():
    x, y, rounds = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        one_round(x, y)
        times.append((time.perf_counter() - started) * 1000)
    print(f"{statistics.median(times):.3f}", flush=True)


if __name__ == "__main__":
    main()
