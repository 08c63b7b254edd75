#!/usr/bin/python3
"""Lists what a screen reader finds in a running program through AT-SPI: one line per
text box, list, button, progress bar and label of its windows, as ROLE|NAME|WINDOW.
Usage: atspi-names.py PROGRAM_NAME [SECONDS] (waits that long for the program to appear)."""
import sys
import time

import pyatspi

WANTED = {
    pyatspi.ROLE_TEXT: "text",
    pyatspi.ROLE_ENTRY: "text",
    pyatspi.ROLE_COMBO_BOX: "combo",
    pyatspi.ROLE_LIST: "list",
    pyatspi.ROLE_TREE: "list",
    pyatspi.ROLE_TREE_TABLE: "list",
    pyatspi.ROLE_LIST_BOX: "list",
    pyatspi.ROLE_PUSH_BUTTON: "button",
    pyatspi.ROLE_PROGRESS_BAR: "progress",
    pyatspi.ROLE_LABEL: "label",
}


def walk(node, window, out, depth=0):
    if node is None or depth > 40:
        return
    role = node.getRole()
    if role in (pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW, pyatspi.ROLE_DIALOG):
        window = node.name or window
    if role in WANTED:
        out.append(f"{WANTED[role]}|{node.name}|{window}")
        if role in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE,
                    pyatspi.ROLE_LIST):
            return  # their items are the list's content, not controls
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), window, out, depth + 1)


def main():
    program = sys.argv[1]
    deadline = time.time() + (float(sys.argv[2]) if len(sys.argv) > 2 else 10)
    while True:
        desktop = pyatspi.Registry.getDesktop(0)
        apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
        found = [a for a in apps if a is not None and a.name == program]
        if found or time.time() > deadline:
            break
        time.sleep(0.5)
    if not found:
        print(f"no program {program} on the accessibility bus", file=sys.stderr)
        return 1
    out = []
    walk(found[0], "", out)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
