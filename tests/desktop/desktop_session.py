"""The program as a user and a screen reader meet it: started on an X server, read over AT-SPI.

    desktop_session.py walk PROGRAM             every focusable control of every window named
    desktop_session.py installed BUILD_FOLDER   install into a temporary prefix and run it there

Exit status 0 on success, 1 on a failure, 77 when AT-SPI cannot be reached (a skip).
"""

import os
import subprocess
import sys
import tempfile
import time

import dbus
import pyatspi

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what)


def make_cabinets(folder):
    """Two cabinets made with gcab: one.cab (a.txt, b.txt) and two.cab (a.txt)."""
    os.makedirs(folder, exist_ok=True)
    for name, text in (("a.txt", "hello\n"), ("b.txt", "world!\n")):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    subprocess.run(["gcab", "-c", "-n", "one.cab", "a.txt", "b.txt"], cwd=folder, check=True)
    subprocess.run(["gcab", "-c", "-n", "two.cab", "a.txt"], cwd=folder, check=True)
    return os.path.join(folder, "one.cab")


def wait_for(predicate, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return None


class App:
    """A started program and its AT-SPI application object."""

    def __init__(self, argv, cwd, env=None):
        self.process = subprocess.Popen(argv, cwd=cwd, env=env)
        self.app = wait_for(self._find)
        if self.app is None:
            self.process.kill()
            raise RuntimeError("the program did not appear on the accessibility bus")

    def _find(self):
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name == "Fendlemark":
                return a
        return None

    def windows(self):
        self.app.clear_cache()  # no event loop runs here, so new windows show only this way
        return [w for w in self.app if w is not None]

    def find(self, role, name, root=None):
        def match(a):
            return a is not None and a.getRoleName() == role and a.name == name
        roots = [root] if root else self.windows()
        for r in roots:
            found = pyatspi.utils.findDescendant(r, match, True)
            if found:
                return found
        return None

    def press(self, accessible):
        action = accessible.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("press", "Press", "click", "activate", "Activate"):
                action.doAction(i)
                return
        action.doAction(0)

    def open_with(self, accessible):
        """Presses a control that opens a modal window. Qt answers an action only once its
        handler returns, that is when the window closes, so the call is left unanswered."""
        address = dbus.SessionBus().get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(
            dbus_interface="org.a11y.Bus")
        bus = dbus.bus.BusConnection(address)
        target = bus.get_object(accessible.app.bus_name, accessible.path)
        names = [a.getName(i) for a in [accessible.queryAction()] for i in range(a.nActions)]
        try:
            target.DoAction(dbus.Int32(names.index("Press") if "Press" in names else 0),
                            dbus_interface="org.a11y.atspi.Action", timeout=1)
        except dbus.exceptions.DBusException:
            pass

    def end(self, timeout=20):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def unnamed_focusable(root):
    """Every focusable accessible below root without a name (table cells and list items are
    named by their text, so an empty one is a fault too)."""
    out = []

    def visit(a, depth):
        if a is None or depth > 12:
            return
        state = a.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            return  # a closed popup, a hidden control
        if state.contains(pyatspi.STATE_FOCUSABLE) and not a.name.strip():
            out.append("%s in %s" % (a.getRoleName(), a.parent.name if a.parent else "?"))
        for child in list(a)[:200]:
            visit(child, depth + 1)

    visit(root, 0)
    return out


def contents_rows(app):
    table = app.find("tree", "CAB contents:")
    if table is None:
        return None
    t = table.queryTable()
    return sorted(t.getAccessibleAt(r, 0).name for r in range(t.nRows))


def walk(program):
    """Every window the program opens from its menus and buttons, walked for focusable controls
    without a name: the main window, then each dialog reached from the openers below while
    its owner is still open. The dialogs are closed again with Cancel or OK."""
    with tempfile.TemporaryDirectory() as tmp:
        cabinet = make_cabinets(os.path.join(tmp, "cabs"))
        app = App([program, cabinet], cwd=tmp)
        check(wait_for(lambda: contents_rows(app)), "the cabinet's rows listed")
        check(app.find("combo box", "Drive") is not None, "the drive list is named Drive")

        def walk_window(window):
            print("walking", window.getRoleName(), repr(window.name))
            for problem in unnamed_focusable(window):
                check(False, "unnamed focusable control in %s: %s" % (window.name, problem))

        def close_newest():
            dialog = app.windows()[-1]
            closer = app.find("push button", "Cancel", dialog) or app.find("push button", "OK",
                                                                         dialog)
            check(closer is not None, "a Cancel or OK button in " + dialog.name)
            count = len(app.windows())
            if closer is not None:
                app.press(closer)
            check(wait_for(lambda: len(app.windows()) < count, 5), dialog.name + " closes")

        walk_window(app.windows()[0])
        # The About box; the extract settings, and the folder picker opened from them.
        for openers in (["About Fendlemark"], ["Change extract settings", "Browse"]):
            opened = 0
            for opener in openers:
                item = app.find("menu item", opener, app.windows()[-1] if opened else None) or \
                    app.find("push button", opener, app.windows()[-1] if opened else None)
                if item is None:
                    print("no control named %r yet: not walked" % opener)
                    break
                count = len(app.windows())
                app.open_with(item)
                if not wait_for(lambda: len(app.windows()) > count, 5):
                    print("%r opens no window yet: not walked" % opener)
                    break
                opened += 1
                walk_window(app.windows()[-1])
            for _ in range(opened):
                close_newest()
        app.press(app.find("push button", "Exit"))
        check(app.end() == 0, "the program ends with status 0 after Exit")


def installed(build):
    """Installs into a temporary prefix and runs the installed program by its link."""
    with tempfile.TemporaryDirectory() as tmp:
        prefix = os.path.join(tmp, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        folder = os.path.join(prefix, "lib", "fendlemark")
        link = os.path.join(prefix, "bin", "fendlemark")
        for name in ("fendlemark", "Cabarc1.exe", "Cabarc2.exe"):
            check(os.access(os.path.join(folder, name), os.X_OK), name + " installed")
        check(os.path.islink(link), "bin/fendlemark is a link")
        cabinet = make_cabinets(os.path.join(tmp, "cabs"))

        # By its link, on a cabinet: its rows are listed.
        app = App([link, cabinet], cwd=tmp)
        rows = wait_for(lambda: contents_rows(app))
        check(rows == ["a.txt", "b.txt"], "the cabinet's rows listed, got %r" % (rows,))
        app.press(app.find("push button", "Exit"))
        check(app.end() == 0, "ends with status 0")

        # A read-only program folder: the settings go to $XDG_CONFIG_HOME/fendlemark.
        for leftover in ("Fendlemark.ini",):
            path = os.path.join(folder, leftover)
            if os.path.exists(path):
                os.remove(path)
        os.chmod(folder, 0o555)
        try:
            config = os.path.join(tmp, "config")
            env = dict(os.environ, XDG_CONFIG_HOME=config)
            app = App([link, os.path.join(tmp, "cabs")], cwd=tmp, env=env)
            wait_for(lambda: app.find("list", "CAB files:"))
            app.press(app.find("push button", "Exit"))
            check(app.end() == 0, "ends with status 0")
        finally:
            os.chmod(folder, 0o755)
        written = os.path.join(config, "fendlemark", "Fendlemark.ini")
        check(os.path.isfile(written), "settings written under XDG_CONFIG_HOME")
        if os.path.isfile(written):
            text = open(written, encoding="utf-8", errors="replace").read()
            check("InitialPath=" in text and text.rstrip().endswith("ExtrPreservePath=0"),
                  "the settings file holds the run's values, got %r" % text)
        check(not os.path.exists(os.path.join(folder, "Fendlemark.ini")),
              "nothing written into the read-only program folder")


def main():
    try:
        pyatspi.Registry.getDesktop(0).childCount
    except Exception as e:  # no accessibility bus: nothing here can be tested
        print("SKIPPED: AT-SPI is not available:", e)
        return 77
    command, argument = sys.argv[1], sys.argv[2]
    {"walk": walk, "installed": installed}[command](argument)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
