#!/usr/bin/python3
# The program as a screen reader sees it over AT-SPI: started with its demo server, a search
# typed into the keyword field and started with the "搜索" button's action, both through the
# accessibility bus; then the results view must be a list of all its items, each a list item
# named by its title, described by its price, postage, sales and credit, with the actions Press
# and ShowMenu; Press must open the item. Run under with-atspi:
#   dbus-run-session -- tests/app/with-atspi /usr/bin/python3 tests/app/AtspiTest.py PROGRAM
import os
import subprocess
import sys
import time

import pyatspi

TITLE = "悦丰选网购助手"


def find(node, match, depth=0):
    """The first node below `node` (depth first) for which match(node) holds."""
    if node is None or depth > 40:
        return None
    try:
        if match(node):
            return node
        for i in range(node.childCount):
            found = find(node.getChildAtIndex(i), match, depth + 1)
            if found is not None:
                return found
    except Exception:
        return None
    return None


def wait_for(what, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        value = what()
        if value:
            return value
        time.sleep(0.1)
    return None


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def main():
    program = sys.argv[1]
    opened = os.path.join(os.environ["HOME"], "opened.txt")
    # the item's page goes to a file, not to a browser: the desktop's handler of web addresses
    # (xdg-open asks xdg-mime) is a script of this test
    home = os.environ["HOME"]
    browser = os.path.join(home, "browser")
    with open(browser, "w") as f:
        f.write('#!/bin/sh\necho "$1" >> "%s"\n' % opened)
    os.chmod(browser, 0o755)
    apps = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
    os.makedirs(apps, exist_ok=True)
    with open(os.path.join(apps, "yfx-test-browser.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=test browser\nExec=%s %%u\n"
                "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n" % browser)
    os.makedirs(os.environ["XDG_CONFIG_HOME"], exist_ok=True)
    with open(os.path.join(os.environ["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nx-scheme-handler/http=yfx-test-browser.desktop\n"
                "x-scheme-handler/https=yfx-test-browser.desktop\n")
    env = dict(os.environ, BROWSER=browser)
    proc = subprocess.Popen([program, "--demo"], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        desktop = pyatspi.Registry.getDesktop(0)

        def fresh_desktop():
            # the registry's list of programs is cached on this side: a program that registers
            # while the list is read may be missed until the cache is dropped
            try:
                desktop.clear_cache()
            except Exception:
                pass
            return desktop

        app = wait_for(lambda: find(fresh_desktop(), lambda n: n.getRoleName() == "application" and n.name in ("yuefengxuan", TITLE)
                                    and n.childCount > 0, 0) or
                       next((desktop.getChildAtIndex(i) for i in range(desktop.childCount)
                             if desktop.getChildAtIndex(i) is not None and
                             find(desktop.getChildAtIndex(i), lambda n: n.name.startswith(TITLE))), None), timeout=60.0)
        if not app:
            names = [desktop.getChildAtIndex(i).name for i in range(desktop.childCount)
                     if desktop.getChildAtIndex(i) is not None]
            proc.terminate()
            said = proc.communicate(timeout=10)[0].decode("utf-8", "replace")
            fail("the program is not on the accessibility bus (the bus lists %s; exit %s)\n%s"
                 % (names, proc.returncode, said[-2000:]))
        button = wait_for(lambda: find(app, lambda n: n.getRoleName() == "push button" and n.name == "搜索"))
        if not button:
            fail("no button 搜索")
        keyword = find(app, lambda n: n.getRoleName() == "text" and "editable" in
                       [pyatspi.stateToString(s) for s in n.getState().getStates()])
        if not keyword:
            fail("no keyword field")
        keyword.queryEditableText().setTextContents("手机")
        action = button.queryAction()
        action.doAction(0)
        results = wait_for(lambda: find(app, lambda n: n.getRoleName() == "list" and n.name == "搜索结果" and n.childCount >= 8))
        if not results:
            fail("no results list with items")
        count = results.childCount
        print("results: %d items" % count)
        for i in range(min(count, 8)):
            item = results.getChildAtIndex(i)
            if item.getRoleName() != "list item":
                fail("child %d is a %s" % (i, item.getRoleName()))
            if not item.name:
                fail("child %d has no name" % i)
            if not item.description.startswith("价格 ¥") or "邮费 ¥" not in item.description or "销量 " not in item.description:
                fail("child %d: description %r" % (i, item.description))
            act = item.queryAction()
            names = [act.getName(j) for j in range(act.nActions)]
            if "Press" not in names or "ShowMenu" not in names:
                fail("child %d: actions %r" % (i, names))
            print("%d: %s | %s | %s" % (i, item.name, item.description, names))
        # the last item, far below the viewport, is there as well
        last = results.getChildAtIndex(count - 1)
        if last is None or not last.name or last.getRoleName() != "list item":
            fail("the last item is not readable")
        # Press opens the item
        first = results.getChildAtIndex(0)
        act = first.queryAction()
        act.doAction([act.getName(j) for j in range(act.nActions)].index("Press"))
        if not wait_for(lambda: os.path.exists(opened) and open(opened).read().strip(), 10):
            fail("Press opened nothing")
        print("opened: " + open(opened).read().strip())
        print("PASS")
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()


if __name__ == "__main__":
    main()
