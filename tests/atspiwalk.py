#!/usr/bin/python3
"""Walks the running window as a screen reader does, through AT-SPI: finds
every control by its role and name, types an account, starts a run with the
start button's accessible action and reads the findings and the progress it
told. The run is the real battery, so this runs only in a network namespace
with only loopback up and a build whose endpoints are on loopback, under a
display and a session bus of its own (tests/CMakeLists.txt starts it so).
Usage: atspiwalk.py PROGRAM RESOLVER_PRIMARY"""
import os, re, socket, subprocess, sys, tempfile, time
import pyatspi
from gi.repository import GLib

program, resolver = sys.argv[1:3]
if [name for _, name in socket.if_nameindex()] != ["lo"] or not resolver.startswith("127."):
    sys.exit(77)

def wait_for(what, find, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        GLib.MainContext.default().iteration(False)  # delivers the events listened to
        if found := find():
            return found
        time.sleep(0.05)
    sys.exit(f"FAIL: {what} not found within {seconds} s")

def descendants(node):
    for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
        yield child
        yield from descendants(child)

# By the role itself: the names of roles differ between releases of AT-SPI
# ("push button" became "button").
def control(root, role, name):
    return next((c for c in descendants(root) if (c.getRole(), c.name) == (role, name)), None)

def walk(home, told):
    app = wait_for("the program", lambda: control(pyatspi.Registry.getDesktop(0),
                                                  pyatspi.ROLE_APPLICATION,
                                                  os.path.basename(program)))
    frame = wait_for("the window", lambda: control(app, pyatspi.ROLE_FRAME, "Veltrane Diagnostic v1.0.0"))
    text, button, label = pyatspi.ROLE_TEXT, pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_LABEL
    for role, name in [(text, "Account:"), (text, "Ticket number:"), (text, "Domain to test:"),
                       (button, "Start Tests"), (pyatspi.ROLE_PROGRESS_BAR, "Progress"),
                       (label, "Results"), (pyatspi.ROLE_TREE, "Findings"),
                       (button, "Copy Link"), (button, "Open Link")]:
        wait_for(f"the control '{name}'", lambda: control(frame, role, name), 5)
    control(frame, text, "Account:").queryEditableText().setTextContents("acme-corp")
    start = control(frame, button, "Start Tests").queryAction()
    start.doAction([start.getName(i) for i in range(start.nActions)].index("Press"))

    # No results server answers on loopback: the upload fails.
    results = control(frame, label, "Results").queryText()
    wait_for("the upload's failure", lambda: "There was an error submitting the results"
             in results.getText(0, -1))
    items = [c.name for c in descendants(control(frame, pyatspi.ROLE_TREE, "Findings"))
             if re.match("(Worth a look|Could not tell|Fine): ", c.name)]
    look = sum(item.startswith("Worth a look") for item in items)
    assert items and any(c.getRole() == label and c.name.startswith(f"{look} worth a look")
                         for c in descendants(frame)), items
    assert any(re.fullmatch(r"Please wait\. Finished \d+ out of \d+ tests\.", n) for n in told)
    with open(f"{home}/Desktop/diagnostic_results.txt") as report:
        assert report.readline() == "Veltrane account: acme-corp\n"
    # The saved copy reads back as the findings the window told.
    read = subprocess.run([program, "--read", f"{home}/Desktop/diagnostic_results.txt"],
                          capture_output=True, text=True, check=True).stdout
    levels = {"look ": "Worth a look: ", "?    ": "Could not tell: ", "ok   ": "Fine: "}
    assert [levels[line[:5]] + line[5:] for line in read.splitlines()] == items, (read, items)

with tempfile.TemporaryDirectory() as home:
    os.makedirs(f"{home}/Desktop")
    os.makedirs(f"{home}/bin")
    # Stands in for the desktop's editor, which the saved report is handed to.
    with open(f"{home}/bin/xdg-open", "w") as opener:
        opener.write("#!/bin/sh\n")
    os.chmod(f"{home}/bin/xdg-open", 0o755)
    told = []
    pyatspi.Registry.registerEventListener(lambda event: told.append(event.source_name),
                                           "object:property-change:accessible-name")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/config", LC_ALL="C.UTF-8",
               PATH=f"{home}/bin:" + os.environ["PATH"], QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    window = subprocess.Popen([program], env=env)
    try:
        walk(home, told)
    finally:
        window.terminate()
        window.wait()
