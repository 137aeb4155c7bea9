#!/usr/bin/python3
"""Reads generated file-manager entries with the readers the desktops use.

Usage: read-entries.py keyfile FILE | xml FILE
keyfile: GLib's key-file parser (what GIO, Nemo and Caja use); prints one
line per key, "group<TAB>key<TAB>value", the value unescaped; for Exec keys
also "argv<TAB>group<TAB>" and the words as GLib's shell parser splits them
(field codes' "%%" made "%"), joined by US (0x1f). xml: an XML parser; prints
"group<TAB>element<TAB>text" for each action's children, and the words
of each command as Thunar splits them.
Exits 1 with the reader's own message on a file it refuses.
"""
import sys

kind, path = sys.argv[1], sys.argv[2]
out = []
try:
    if kind == "keyfile":
        from gi.repository import GLib
        kf = GLib.KeyFile()
        kf.load_from_file(path, GLib.KeyFileFlags.KEEP_TRANSLATIONS)
        for group in kf.get_groups()[0]:
            for key in kf.get_keys(group)[0]:
                value = kf.get_string(group, key)
                out.append(f"{group}\t{key}\t{value}")
                if key == "Exec":
                    ok, argv = GLib.shell_parse_argv(value)
                    words = [w.replace("%%", "%") for w in argv]
                    out.append(f"argv\t{group}\t" + "\x1f".join(words))
    else:
        import xml.etree.ElementTree as ET
        from gi.repository import GLib
        root = ET.parse(path).getroot()
        for n, action in enumerate(root):
            for child in action:
                out.append(f"{action.tag}{n}\t{child.tag}\t{child.text or ''}")
                if child.tag == "command":  # Thunar splits it as GLib's shell parser does
                    ok, argv = GLib.shell_parse_argv(child.text.replace("%%", "%"))
                    out.append(f"argv\t{action.tag}{n}\t" + "\x1f".join(argv))
except Exception as e:  # the reader's refusal is the finding
    print(f"{path}: {e}", file=sys.stderr)
    sys.exit(1)
sys.stdout.write("\n".join(out) + "\n")
