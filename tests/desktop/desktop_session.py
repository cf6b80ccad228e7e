"""The installed program on an X server, read over AT-SPI as a screen reader reads it: `BUILD`
(every control named, the status line heard). Exit status 1 on a failure, 77 (a skip) when AT-SPI
cannot be reached."""

import os
import subprocess
import sys
import tempfile
import time

import dbus
import pyatspi
from gi.repository import GLib

FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


def wait_for(predicate, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        while GLib.MainContext.default().iteration(False):
            pass  # delivers the events listened for
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return None


HEARD = []  # names announced by the status bar


def on_name_change(event):
    if event.source and event.source.getRoleName() == "status bar":
        HEARD.append(event.source.name)


def make_cabinets(folder):
    os.makedirs(folder)
    for name in ("a.txt", "b.txt"):
        with open(os.path.join(folder, name), "w") as f:
            f.write(name)
    subprocess.run(["gcab", "-cn", "one.cab", "a.txt", "b.txt"], cwd=folder, check=True)
    subprocess.run(["gcab", "-cn", "two.cab", "a.txt"], cwd=folder, check=True)
    return os.path.join(folder, "one.cab")


class App:
    def __init__(self, argv, cwd, env=None):
        self.process = subprocess.Popen(argv, cwd=cwd, env=env)
        desktop = pyatspi.Registry.getDesktop(0)
        self.app = wait_for(lambda: next((a for a in desktop if a and a.name == "Fendlemark"),
                                         None))
        if self.app is None:
            self.process.kill()
            raise RuntimeError("the program did not appear on the accessibility bus")

    def windows(self):
        self.app.clear_cache()  # no event loop runs here: new windows show only this way
        return [w for w in self.app if w is not None]

    def find(self, role, name, root=None):
        for r in [root] if root else self.windows():
            found = pyatspi.utils.findDescendant(
                r, lambda a: a and a.getRoleName() == role and name in (None, a.name), True)
            if found:
                return found
        return None

    def press(self, accessible, wait=True):  # Qt answers once a modal window it opens closes
        bus = dbus.bus.BusConnection(dbus.SessionBus().get_object(
            "org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus"))
        target = bus.get_object(accessible.app.bus_name, accessible.path)
        try:
            target.DoAction(dbus.Int32(0), dbus_interface="org.a11y.atspi.Action",
                            timeout=20 if wait else 1)
        except dbus.exceptions.DBusException:
            if wait:
                raise

    def status(self):
        found = self.find("status bar", None)
        return found and found.name

    def exit(self):
        self.press(self.find("push button", "Exit"))
        try:
            check(self.process.wait(20) == 0, "the program ends with status 0 after Exit")
        except subprocess.TimeoutExpired:
            self.process.kill()
            check(False, "the program ends after Exit")


def contents_rows(app):
    table = app.find("tree", "CAB contents:")
    t = table.queryTable() if table else None
    return t and sorted(t.getAccessibleAt(r, 0).name for r in range(t.nRows))


def check_named(window, names=()):
    """Every focusable control shown in `window` is named; `names` (role, name) are among them."""
    print("walking", window.getRoleName(), repr(window.name))
    seen = set()

    def visit(a, depth):
        state = a.getState() if a else None
        if not state or not state.contains(pyatspi.STATE_SHOWING) or depth > 12:
            return  # closed popups and hidden controls
        if state.contains(pyatspi.STATE_FOCUSABLE):
            check(a.name.strip(), "a named %s in %s" % (a.getRoleName(), window.name))
            seen.add((a.getRoleName(), a.name))
        for child in list(a)[:100]:
            visit(child, depth + 1)

    visit(window, 0)
    for role, name in names:
        check((role, name) in seen, "a %s named %r in %s" % (role, name, window.name))


# The names each window must give (the file line shows with one row selected).
NAMES = {"Fendlemark": [("combo box", "Drive"), ("list", "CAB files:"),
                        ("list", "Double-click folder to view contents:")],
         "Extract": [("text", "Set folder"), ("text", "Selected File:")],
         "Pick a Folder": [("combo box", "Drive"), ("list", "Double-click folder to select:")]}


def walk(build):
    """Each window the openers lead to walked and closed; the selected row extracted and heard."""
    pyatspi.Registry.registerEventListener(on_name_change, "object:property-change:accessible-name")
    with tempfile.TemporaryDirectory() as tmp:
        prefix = os.path.join(tmp, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        folder = os.path.join(prefix, "lib", "fendlemark")
        link = os.path.join(prefix, "bin", "fendlemark")
        check(os.path.islink(link), "bin/fendlemark is a link")
        for name in ("fendlemark", "Cabarc1.exe", "Cabarc2.exe"):
            check(os.access(os.path.join(folder, name), os.X_OK), name + " installed")
        app = App([link, make_cabinets(os.path.join(tmp, "cabs"))], cwd=tmp)
        rows = wait_for(lambda: contents_rows(app))
        check(rows == ["a.txt", "b.txt"], "the cabinet's rows listed, got %r" % (rows,))
        check(wait_for(lambda: app.status() == "2 files:  Extract all.", 5),
              "the status bar reads the listing, got %r" % app.status())
        check_named(app.windows()[0], NAMES["Fendlemark"])
        app.find("tree", "CAB contents:").queryTable().addRowSelection(0)
        for openers in (["About Fendlemark"], ["Extract", "Browse"]):
            opened = []
            for opener in openers:
                root = opened[-1] if opened else None
                item = app.find("menu item", opener, root) or app.find("push button", opener, root)
                count = len(app.windows())
                if item:
                    app.press(item, wait=False)
                if not item or not wait_for(lambda: len(app.windows()) > count, 5):
                    print("%r opens no window yet: not walked" % opener)
                    break
                opened.append(app.windows()[-1])
                check_named(opened[-1], NAMES.get(opened[-1].name, ()))
            for dialog in reversed(opened):
                closer = app.find("push button", "Cancel", dialog) or \
                    app.find("push button", "OK", dialog)
                check(closer, "a Cancel or OK button in " + dialog.name)
                count = len(app.windows())
                app.press(closer)
                check(wait_for(lambda: len(app.windows()) < count, 5), dialog.name + " closes")
        count = len(app.windows())
        app.press(app.find("push button", "Extract"), wait=False)
        if wait_for(lambda: len(app.windows()) > count, 5):
            app.press(app.find("push button", "Extract", app.windows()[-1]), wait=False)
        report = "1 files extracted."
        check(wait_for(lambda: app.status() == report, 20),
              "the status bar reads the extraction, got %r" % app.status())
        check(wait_for(lambda: report in HEARD, 5), "the report announced, heard %r" % HEARD)
        check(os.path.isfile(os.path.join(tmp, "cabs", "one Extracted", "a.txt")) or
              os.path.isfile(os.path.join(tmp, "cabs", "a.txt")), "the row extracted")
        app.exit()
        check(os.path.isfile(os.path.join(folder, "Fendlemark.ini")),
              "the settings written beside the program")


def main():
    try:
        pyatspi.Registry.getDesktop(0).childCount
    except Exception as e:
        print("SKIPPED: AT-SPI is not available:", e)
        return 77
    walk(sys.argv[1])
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
