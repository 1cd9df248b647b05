#!/usr/bin/python3
"""The real bexora on a display of its own, read the way a screen reader reads it.

    desktop_walk.py BEXORA LIST.bid [--wayland] [--scale N] [--dialogs]

On a session bus of its own (dbus-run-session), it starts Xvfb (or a
headless weston with --wayland), then bexora on a copy of LIST.bid with its
accessibility bridge on, and walks the main window's accessibility tree over
AT-SPI. It fails on any control a user can reach (button, edit, combo box,
list, tree, table, check box, radio button, spin box, tab) that is showing
but has no name, printing its role and path, and when the window does not
show the list's rows. With --dialogs it opens the bid dialog, the notes, the
options sheet and the notice window through the program's own menu and
walks each. Exit 77 (a skip) when the display or the accessibility bus
cannot start, saying why.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(why):
    print("SKIP: " + why, flush=True)
    sys.exit(SKIP)


def wait_for(pred, seconds, step=0.2):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = pred()
        except Exception:  # the tree changes under us while windows open
            value = None
        if value:
            return value
        time.sleep(step)
    return None


def start_xvfb(procs):
    if not shutil.which("Xvfb"):
        skip("Xvfb is not installed")
    rd, wr = os.pipe()
    procs.append(subprocess.Popen(["Xvfb", "-displayfd", str(wr), "-screen", "0", "1400x1000x24",
                                   "-nolisten", "tcp"], pass_fds=(wr,),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    os.close(wr)
    # Xvfb writes the number, then the newline: it dies if the pipe is gone
    # in between, so the pipe stays open for its life.
    import select
    text = b""
    end = time.monotonic() + 15
    while not text.endswith(b"\n") and time.monotonic() < end:
        ready, _, _ = select.select([rd], [], [], max(0.0, end - time.monotonic()))
        chunk = os.read(rd, 32) if ready else b""
        if not chunk:
            break
        text += chunk
    number = text.decode().strip()
    if not number:
        skip("Xvfb did not start")
    return {"DISPLAY": ":" + number, "QT_QPA_PLATFORM": "xcb"}


def start_weston(procs, runtime):
    if not shutil.which("weston"):
        skip("weston is not installed")
    plugins = subprocess.run(["qtpaths6", "--query", "QT_INSTALL_PLUGINS"], capture_output=True,
                             text=True).stdout.strip() if shutil.which("qtpaths6") else ""
    if plugins and not os.path.exists(os.path.join(plugins, "platforms", "libqwayland-generic.so")):
        skip("Qt's Wayland platform (qt6-wayland) is not installed")
    socket = "bexora-walk-%d" % os.getpid()
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    procs.append(subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=" + socket,
                                   "--width=1400", "--height=1000", "--idle-time=0"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    if not wait_for(lambda: os.path.exists(os.path.join(runtime, socket)), 15):
        skip("weston's headless backend did not start")
    return {"WAYLAND_DISPLAY": socket, "QT_QPA_PLATFORM": "wayland"}


def start_site(args, procs, work, settings, lst):
    """The local auction site with its demo catalogue; the list holds three of its auctions."""
    import json
    import urllib.request
    out = open(os.path.join(work, "site.out"), "w+")
    procs.append(subprocess.Popen([args.site, "--demo", "--settings-out", settings, "--data-dir", work],
                                  stdout=out, stderr=subprocess.STDOUT))

    def port():
        out.seek(0)
        for line in out:
            if line.startswith("http="):
                return line.split()[0].split("=")[1]
        return None

    http = wait_for(port, 20, 0.1)
    if not http:
        out.seek(0)
        print("the local auction site did not start:\n" + out.read())
        return False
    with urllib.request.urlopen("http://127.0.0.1:%s/_control/items" % http, timeout=10) as r:
        items = json.load(r)
    items = items.get("items", items) if isinstance(items, dict) else items
    numbers = [i["number"] for i in items if i.get("kind") == "auction" and not i.get("ended")][:3]
    add = subprocess.run([args.cli, "--settings", settings, "add", lst] + numbers, capture_output=True, text=True,
                         timeout=60)
    if add.returncode != 0:
        print("bexora-cli add failed: " + add.stdout + add.stderr)
        return False
    return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bexora")
    ap.add_argument("list", nargs="?", help="a list to open; else one of the local site's auctions")
    ap.add_argument("--site", help="the local auction site's program")
    ap.add_argument("--cli", help="bexora-cli, to make the list on the site")
    ap.add_argument("--wayland", action="store_true")
    ap.add_argument("--scale", default="")
    ap.add_argument("--dialogs", action="store_true")
    args = ap.parse_args()

    if os.environ.get("BEXORA_WALK_BUS") != str(os.getpid()):
        # A session bus of its own: the user's desktop and other runs never
        # see this program, nor it them. Started once: the shell hands its
        # own process id, which this script keeps through exec.
        if os.environ.get("BEXORA_WALK_BUS"):
            skip("no session bus of its own could be started")
        if not shutil.which("dbus-run-session"):
            skip("dbus-run-session is not installed")
        # The accessibility bus keeps its socket in $XDG_RUNTIME_DIR/at-spi:
        # runs side by side each need their own folder, or one takes the
        # other's bus.
        work = tempfile.mkdtemp(prefix="bexora-walk.")
        os.mkdir(os.path.join(work, "run"), 0o700)
        os.environ.update({"BEXORA_WALK_WORK": work, "XDG_RUNTIME_DIR": os.path.join(work, "run")})
        os.execvp("dbus-run-session", ["dbus-run-session", "--", "sh", "-c",
                                       'BEXORA_WALK_BUS=$$ exec "$0" "$@"', sys.executable,
                                       os.path.abspath(__file__)] + sys.argv[1:])
    work = os.environ["BEXORA_WALK_WORK"]
    procs = []
    try:
        return run(args, work, procs)
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(work, ignore_errors=True)


def run(args, work, procs):
    runtime = os.path.join(work, "run")
    env = dict(os.environ)
    for k in ("DISPLAY", "WAYLAND_DISPLAY", "BEXORA_SETTINGS", "QT_SCALE_FACTOR"):
        env.pop(k, None)
    env.update(start_weston(procs, runtime) if args.wayland else start_xvfb(procs))
    # The accessibility bus comes from the session bus (org.a11y.Bus).
    bus = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                          "org.a11y.Bus.GetAddress"], capture_output=True, text=True, timeout=20)
    if bus.returncode != 0:
        skip("the accessibility bus does not start: " + bus.stderr.strip())
    subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                    "variant:boolean:true"], capture_output=True, timeout=20)

    os.environ.update({k: env[k] for k in ("DISPLAY", "WAYLAND_DISPLAY") if k in env})
    try:
        import pyatspi
    except Exception as e:  # noqa: BLE001 - any failure here is the missing bridge
        skip("pyatspi cannot be used: %s" % e)
    try:
        pyatspi.Registry.getDesktop(0).childCount
    except Exception as e:  # noqa: BLE001
        skip("the accessibility registry does not answer: %s" % e)

    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config"))
    os.makedirs(os.path.join(home, ".local", "share"))
    lst = os.path.join(work, "walk.bid")
    settings = os.path.join(work, "bexora.ini")
    with open(settings, "w") as f:
        f.write("[Program Start]\nFirst Run=0\nWork Dir=%s\n" % work)
        f.write("[Homepage]\nleft panel=about:blank\n")
        if not args.site:
            # Every host is a closed port: nothing leaves the machine, failures are quick.
            closed = "127.0.0.1:9"
            f.write("[Site]\n" + "".join("%s=%s\n" % (k, closed) for k in (
                "SiteItemHost", "SiteTimeHost", "SiteSignInHost", "SiteOfferHost", "SiteMyHost")))
            f.write("SiteHomeUrl=about:blank\nVendorSiteUrl=http://%s/vendor\n" % closed)
    if args.site:
        if not start_site(args, procs, work, settings, lst):
            return 1
    else:
        shutil.copy(args.list, lst)
    env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "XDG_DATA_HOME": os.path.join(home, ".local", "share"), "XDG_RUNTIME_DIR": runtime,
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1",
                "QTWEBENGINE_DISABLE_SANDBOX": "1",
                "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu --disable-dev-shm-usage"})
    if args.scale:
        env["QT_SCALE_FACTOR"] = args.scale
    log = open(os.path.join(work, "bexora.log"), "w+")
    started = time.monotonic()
    app_proc = subprocess.Popen([args.bexora, "--settings", settings, lst], env=env, stdout=log, stderr=log)
    procs.append(app_proc)

    seen = set()

    def the_app():
        if app_proc.poll() is not None:
            return "exited"
        for a in pyatspi.Registry.getDesktop(0):
            if a is None:
                continue
            seen.add(a.name)
            if a.get_process_id() == app_proc.pid or a.name.lower() == "bexora":
                return a
        return None

    app = wait_for(the_app, 120, 0.5)
    if app == "exited" or app is None:
        log.seek(0)
        print("bexora %s:\n%s" % ("exited with %s" % app_proc.returncode if app == "exited"
                                  else "never showed up on the accessibility bus (it had %s)" % sorted(seen),
                                  log.read()))
        return 1

    failures = []

    def frames():
        return [w for w in app if w is not None and w.getState().contains(pyatspi.STATE_SHOWING)]

    main_frame = wait_for(lambda: next((w for w in frames() if w.getRole() == pyatspi.ROLE_FRAME), None), 60)
    if main_frame is None:
        print("no main window showed up")
        return 1

    def named(root, role, name):
        """The first showing-or-not descendant of this role whose name is name (without '&')."""
        stack = [root]
        while stack:
            a = stack.pop()
            if a is None:
                continue
            if a.getRole() == role and a.name.replace("&", "") == name:
                return a
            if a.getRole() in (pyatspi.ROLE_DOCUMENT_WEB, pyatspi.ROLE_DOCUMENT_FRAME, pyatspi.ROLE_TABLE,
                               pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE):
                continue
            stack.extend(reversed([a.getChildAtIndex(i) for i in range(a.childCount)]))
        return None

    # The list is there with its rows.
    table = wait_for(lambda: items_list(pyatspi, main_frame, named), 60)
    if table is None:
        failures.append("the main window shows no item list named \"Items\"")
    else:
        rows = wait_for(lambda: table.queryTable().nRows or None, 30)
        if not rows:
            failures.append("the item list shows no rows")
    print("%s: the list shows after %.1f s" % ("wayland" if args.wayland else "xcb" + (
        " at scale " + args.scale if args.scale else ""), time.monotonic() - started))
    if args.scale and table is not None:
        # What the window measures on the screen, for the log.
        ext = main_frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print("  main window %dx%d device pixels" % (ext.width, ext.height))

    if main_frame.name.count("walk.bid") != 1:
        failures.append("the window title should name the list once: %r" % main_frame.name)
    walk(pyatspi, main_frame, "main window", failures)
    if args.dialogs:
        walk_dialogs(pyatspi, main_frame, named, frames, failures)

    for f in failures:
        print("FAILED: " + f)
    if app_proc.poll() is not None:
        print("FAILED: bexora exited with %s during the walk" % app_proc.returncode)
        return 1
    return 1 if failures else 0


def items_list(pyatspi, main_frame, named):
    for role in (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE):
        found = named(main_frame, role, "Items")
        if found:
            return found
    return None


def interactive_roles(pyatspi):
    return {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
            pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX,
            pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_CHECK_BOX,
            pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PAGE_TAB_LIST,
            pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_SLIDER}


def walk(pyatspi, root, where, failures):
    """Every showing control a user can reach under root has a name."""
    roles = interactive_roles(pyatspi)
    count = 0

    def visit(a, path, groups):
        nonlocal count
        if a is None:
            return
        state = a.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            return
        role = a.getRole()
        name = a.name.strip()
        here = "%s/%s" % (path, a.getRoleName().replace(" ", "-")) + ("[%s]" % name if name else "")
        if role in roles:
            count += 1
            # A combo box's own list and edit take the combo box's name.
            inside_combo = a.parent is not None and a.parent.getRole() == pyatspi.ROLE_COMBO_BOX
            if not name and not inside_combo:
                failures.append("%s: %s has no name" % (where, here))
            elif name in groups:
                # Qt falls back to the group box's title: every field of
                # the group would be read out alike.
                failures.append("%s: %s has only its group's title for a name" % (where, here))
        if role in (pyatspi.ROLE_PANEL, pyatspi.ROLE_FILLER) and name:
            groups = groups | {name}
        # The web page's own tree is the site's; rows and cells speak their text.
        if role in (pyatspi.ROLE_DOCUMENT_WEB, pyatspi.ROLE_DOCUMENT_FRAME, pyatspi.ROLE_TABLE,
                    pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX):
            return
        for i in range(a.childCount):
            visit(a.getChildAtIndex(i), here, groups)

    visit(root, "", frozenset())
    print("  %s: %d controls" % (where, count))


def walk_dialogs(pyatspi, main_frame, named, frames, failures):
    def menu_item(path):
        a = main_frame
        for part in path:
            found = None
            for role in (pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_MENU_BAR):
                found = named(a, role, part)
                if found:
                    break
            if not found:
                return None
            a = found
        return a

    def press(path):
        item = menu_item(path)
        if item is None:
            failures.append("no menu item " + " > ".join(path))
            return False
        do_action(item)
        return True

    def new_window(before):
        return wait_for(lambda: next((w for w in frames() if w not in before and w != main_frame), None), 20)

    def close(window, button_names):
        for name in button_names:
            button = named(window, pyatspi.ROLE_PUSH_BUTTON, name)
            if button is not None:
                do_action(button)
                if wait_for(lambda: window not in frames(), 10):
                    return
        failures.append("%s did not close" % window.name)

    # The first row is the one the bid dialog and the notes take.
    table = items_list(pyatspi, main_frame, named)
    if table is None or not table.queryTable().addRowSelection(0):
        failures.append("the first row cannot be selected")
    time.sleep(1)  # the menu's commands follow the selection on the next idle tick
    for path, title, buttons in ((["Bid", "Bid on Item"], "bid dialog", ["Cancel"]),
                                 (["Bid", "Add or View Notes"], "notes", ["Cancel"]),
                                 (["Tools", "Options"], "options sheet", ["Cancel"]),
                                 (["Bid", "Add Single Item"], "add dialog", ["Cancel"])):
        before = frames()
        if not press(path):
            continue
        window = new_window(before)
        while window is not None and window.name == "Bexora":
            # A message box first (the bid dialog asks about an item the
            # site never answered for): read it, answer it, go on.
            texts = [window.getChildAtIndex(i).name for i in range(window.childCount)]
            print("  %s: message box %s" % (title, [t for t in texts if t]))
            walk(pyatspi, window, title + " message box", failures)
            close(window, ["OK", "Yes"])
            window = new_window(before)
        if window is None:
            failures.append("%s did not open from %s" % (title, " > ".join(path)))
            continue
        walk(pyatspi, window, title, failures)
        if title == "options sheet":
            walk_tabs(pyatspi, window, title, failures)
        close(window, buttons)
    # The notice window is not modal: it shows with the list's first notice.
    notices = wait_for(lambda: next((w for w in frames() if w.name == "Item Information"), None), 60)
    if notices is None:
        failures.append("the notice window never showed")
    else:
        lines = named(notices, pyatspi.ROLE_LIST, "Notices")
        if lines is not None and lines.childCount:
            print("  notice window: %r" % lines.getChildAtIndex(0).name)
        walk(pyatspi, notices, "notice window", failures)


def do_action(a):
    # Qt answers an action only once its handler returns, and a modal
    # dialog's handler returns when the dialog closes: do not wait for it.
    from gi.repository import Atspi, GLib
    Atspi.set_timeout(1500, 15000)
    try:
        a.queryAction().doAction(0)
    except GLib.Error:
        pass
    finally:
        Atspi.set_timeout(25000, 15000)


def walk_tabs(pyatspi, window, where, failures):
    """Each page of a tabbed sheet, brought forward in turn."""
    stack = [window]
    tablist = None
    while stack and tablist is None:
        a = stack.pop()
        if a is None:
            continue
        if a.getRole() == pyatspi.ROLE_PAGE_TAB_LIST:
            tablist = a
        stack.extend(a.getChildAtIndex(i) for i in range(a.childCount))
    if tablist is None:
        return
    for i in range(tablist.childCount):
        tab = tablist.getChildAtIndex(i)
        if tab.getRole() != pyatspi.ROLE_PAGE_TAB:
            continue
        try:
            tablist.querySelection().selectChild(i)
        except Exception:
            do_action(tab)
        time.sleep(0.5)
        walk(pyatspi, window, "%s, page %s" % (where, tab.name), failures)


if __name__ == "__main__":
    sys.exit(main())
