#!/usr/bin/python3
"""Walks the running window as a screen reader does, through AT-SPI: finds
every control by its role and name, types an account, starts a run with the
start button's accessible action and reads the findings it shows. Runs the
program's real battery, so only inside a network namespace with only loopback
up and with a build whose endpoints are on loopback; under a virtual display
and a session bus of its own (tests/CMakeLists.txt starts it so).
Usage: atspiwalk.py PROGRAM RESOLVER_PRIMARY"""
import os, re, socket, subprocess, sys, tempfile, time
import pyatspi
from gi.repository import GLib

program, resolver = sys.argv[1:3]
if [name for _, name in socket.if_nameindex()] != ["lo"] or not resolver.startswith("127."):
    print("skipped: the real battery runs only on loopback, in a namespace of its own")
    sys.exit(77)

def wait_for(what, find, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        GLib.MainContext.default().iteration(False)  # delivers the events listened to
        found = find()
        if found:
            return found
        time.sleep(0.05)
    sys.exit(f"FAIL: {what} not found within {seconds} s")

def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)

def control(app, role, name):
    return next((c for c in descendants(app) if c.getRoleName() == role and c.name == name), None)

def press(node, action):
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    assert action in names, f"{node.name} has the actions {names}"
    actions.doAction(names.index(action))

def walk(home):
    os.makedirs(f"{home}/Desktop")
    os.makedirs(f"{home}/bin")
    # Stands in for the desktop's editor, which the saved report is handed to.
    with open(f"{home}/bin/xdg-open", "w") as opener:
        opener.write(f'#!/bin/sh\necho "$@" >> {home}/opened\n')
    os.chmod(f"{home}/bin/xdg-open", 0o755)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/config", LC_ALL="C.UTF-8",
               PATH=f"{home}/bin:" + os.environ["PATH"], QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    told = []
    pyatspi.Registry.registerEventListener(lambda event: told.append(event.source_name),
                                           "object:property-change:accessible-name")
    window = subprocess.Popen([program], env=env)
    try:
        read(home, told)
    finally:
        window.terminate()
        window.wait()

def read(home, told):
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait_for("the program", lambda: next(
        (a for a in descendants(desktop) if a.getRoleName() == "application"
         and a.name == os.path.basename(program)), None))
    frame = wait_for("the window", lambda: control(app, "frame", "Veltrane Diagnostic v1.0.0"))
    for role, name in [("text", "Account:"), ("text", "Ticket number:"),
                       ("text", "Domain to test:"), ("push button", "Start Tests"),
                       ("progress bar", "Progress"), ("label", "Results"), ("tree", "Findings"),
                       ("push button", "Copy Link"), ("push button", "Open Link")]:
        wait_for(f"{role} '{name}'", lambda: control(frame, role, name), 5)
    control(frame, "text", "Account:").queryEditableText().setTextContents("acme-corp")
    press(control(frame, "push button", "Start Tests"), "Press")

    # The real battery against loopback, where no results server answers.
    results = control(frame, "label", "Results")
    wait_for("the upload's failure", lambda: "There was an error submitting the results"
             in results.queryText().getText(0, -1))
    levels = "(Worth a look|Could not tell|Fine): "
    tree = control(frame, "tree", "Findings")
    items = wait_for("the findings", lambda: [
        item.name for item in descendants(tree) if re.match(levels, item.name)])
    look = sum(item.startswith("Worth a look") for item in items)
    wait_for("the headline", lambda: any(
        c.getRoleName() == "label" and c.name.startswith(f"{look} worth a look")
        for c in descendants(frame)), 5)
    wait_for("the progress told", lambda: any(
        re.fullmatch(r"Please wait\. Finished \d+ out of \d+ tests\.", name) for name in told), 5)
    with open(f"{home}/Desktop/diagnostic_results.txt") as report:
        assert report.readline() == "Veltrane account: acme-corp\n", "the report's first line"
    print(f"PASS: every control found; {len(items)} findings, {look} worth a look")

with tempfile.TemporaryDirectory() as home:
    walk(home)
