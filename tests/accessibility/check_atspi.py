#!/usr/bin/python3
"""AT-SPI client of atspi-test.sh: finds the program on the accessibility
bus and checks what a screen reader hears of its windows (names, roles,
states, values, actions, the announced status line), then restarts ALPHA on
the simulated network by accessibility alone and presses Exit.

  check_atspi.py PROGRAM_PID
"""
import sys
import time

import pyatspi
from gi.repository import GLib

failures = []


def check(ok, what):
    print(f"{'ok  ' if ok else 'FAIL'} {what}")
    if not ok:
        failures.append(what)
    return ok


def pump(seconds):
    """Lets events arrive for a while."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_until(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = predicate()
        except Exception:  # the tree may change under us
            value = None
        if value:
            return value
        pump(0.05)
    return None


def states(obj):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}


def walk(obj):
    yield obj
    for child in obj:
        if child is not None:
            yield from walk(child)


def find(root, role, name):
    for obj in walk(root):
        if obj.getRoleName() == role and obj.name == name:
            return obj
    return None


def actions(obj):
    try:
        action = obj.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def press(obj, name="Press"):
    names = actions(obj)
    if not check(name in names, f"{obj.getRoleName()} \"{obj.name}\" has the action {name}"):
        return False
    return obj.queryAction().doAction(names.index(name))


def program_application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def main():
    pid = int(sys.argv[1])
    app = wait_until(lambda: program_application(pid), 60)
    if not check(app is not None, "the program is on the accessibility bus"):
        for other in pyatspi.Registry.getDesktop(0):
            if other is not None:
                print(f"   on the bus: {other.name!r}, process {other.get_process_id()}")
        return 1
    frame = wait_until(lambda: find(app, "frame", "Ondravel Skarvet"), 30)
    if not check(frame is not None, "the main window is a frame named \"Ondravel Skarvet\""):
        return 1

    # Every control has a name that says what it is for, and its role.
    expected = [
        ("text", "Computer Name"), ("push button", "Browse for a computer"),
        ("radio button", "Yes"), ("radio button", "No"), ("text", "Username"),
        ("password text", "Password"), ("text", "Domain"), ("check box", "Force Shutdown/Restart"),
        ("push button", "Restart"), ("push button", "Shutdown"), ("push button", "Logoff"),
        ("push button", "Cancel"), ("combo box", "Reason"),
        ("push button", "Help on the shutdown reasons"), ("progress bar", "Progress"),
        ("link", "Brandolin can do it for you"), ("link", "Click here for more free downloads"),
        ("push button", "Exit"), ("panel", "Step 1 - Select the computer to reboot or shutdown."),
    ]
    controls = {}
    for role, name in expected:
        controls[name] = find(frame, role, name)
        check(controls[name] is not None, f"{role} \"{name}\"")
    if failures:
        return 1

    check("editable" in states(controls["Computer Name"]), "the computer name is editable")
    check("enabled" not in states(controls["Username"]),
          "the account fields are disabled while \"No\" is chosen")
    check("checked" in states(controls["No"]) and "checked" not in states(controls["Yes"]),
          "\"No\" is checked, \"Yes\" is not")
    check("enabled" not in states(controls["Restart"]), "Restart is disabled without a name")
    for link in ("Brandolin can do it for you", "Click here for more free downloads"):
        check("Press" in actions(controls[link]), f"the link \"{link}\" can be pressed")
    bar = controls["Progress"].queryValue()
    check((bar.minimumValue, bar.maximumValue, bar.currentValue) == (0, 100, 0),
          f"the progress bar's value is 0 of 0 to 100 ({bar.currentValue} of "
          f"{bar.minimumValue} to {bar.maximumValue})")
    status = [o for o in walk(frame) if o.getRoleName() == "status bar"]
    if not check(len(status) == 1, "one status bar, the status line"):
        return 1
    status = status[0]

    # The two dialogs have names (their titles stay empty).
    for button, dialog_name, closer in (("Browse for a computer", "Browse for a computer", "Cancel"),):
        press(controls[button])
        dialog = wait_until(lambda: find(app, "dialog", dialog_name), 20)
        if check(dialog is not None, f"\"{button}\" opens a dialog named \"{dialog_name}\""):
            # Qt gives the nodes of a tree the role of table cells.
            tree = find(dialog, "tree", "Network")
            if check(tree is not None, "the browser's tree is a tree named \"Network\""):
                domain = wait_until(lambda: find(tree, "table cell", "ONDRAVEL"), 20)
                if check(domain is not None, "the tree lists the domain ONDRAVEL"):
                    check("expandable" in states(domain) and "expanded" not in states(domain),
                          "the domain is expandable and not yet expanded")
                check(find(tree, "table column header", "1") is None,
                      "no column header called \"1\"")
            press(find(dialog, "push button", closer))
            check(wait_until(lambda: "showing" not in states(dialog), 20),
                  f"\"{closer}\" closes it")

    # A restart by accessibility alone: the name through the editable text,
    # Restart through its action, the outcome read from the status line and
    # heard as it changes.
    heard = []
    values = set()
    progress = controls["Progress"]

    def on_change(event):
        if event.source == status and event.type.endswith("accessible-name"):
            heard.append(event.source.name)
        elif event.source == progress and event.type.endswith("accessible-value"):
            values.add(progress.queryValue().currentValue)

    changes = ("object:property-change:accessible-name", "object:property-change:accessible-value")
    pyatspi.Registry.registerEventListener(on_change, *changes)
    controls["Computer Name"].queryEditableText().setTextContents("ALPHA")
    check(wait_until(lambda: "enabled" in states(controls["Restart"]), 20),
          "a name typed through the editable text enables Restart")
    press(controls["Restart"])
    check(wait_until(lambda: status.name == "ALPHA was restarted.", 60),
          f"the status line reads \"ALPHA was restarted.\" ({status.name!r})")
    check(wait_until(lambda: "Restarting ALPHA" in heard and "ALPHA was restarted." in heard, 20),
          f"each new status is announced (heard {heard})")
    pyatspi.Registry.deregisterEventListener(on_change, *changes)
    check(any(v > 0 for v in values),
          f"the running progress bar reports its changing value ({sorted(values)[:5]}...)")

    # The help dialog, now that a name enables "?".
    press(controls["Help on the shutdown reasons"])
    dialog = wait_until(lambda: find(app, "dialog", "Shutdown reason help"), 20)
    if check(dialog is not None, "\"?\" opens a dialog named \"Shutdown reason help\""):
        press(find(dialog, "push button", "OK"))
        check(wait_until(lambda: "showing" not in states(dialog), 20), "OK closes it")

    press(controls["Exit"])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
