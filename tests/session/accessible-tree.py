#!/usr/bin/python3
# Prints the accessible tree of the program with the given process id as the
# accessibility bus shows it to a screen reader: one line per object, its
# role, name and description separated by tabs. Exit status 1 when the
# program did not show up within 20 s.
import sys, time, pyatspi
pid = int(sys.argv[1])
deadline = time.time() + 20
def walk(acc, depth, out):
    try:
        out.append((acc.getRoleName(), acc.name, acc.description, acc.childCount))
        if depth > 12: return
        for i in range(acc.childCount):
            c = acc.getChildAtIndex(i)
            if c is not None: walk(c, depth + 1, out)
    except Exception as e:
        pass
while time.time() < deadline:
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                out = []
                walk(app, 0, out)
                if len(out) > 5:
                    for role, name, desc, n in out:
                        print("%s\t%s\t%s" % (role, name, desc))
                    sys.exit(0)
        except Exception:
            pass
    time.sleep(0.3)
sys.exit(1)
