#!/usr/bin/env python3
"""Checks the include rules of the subsystems.

A subsystem's files may include its own headers and those of the subsystems it names in
src/CMakeLists.txt (the configure step writes them to layers.txt as "name: deps | ui deps").
Core files use only the first list and never include Qt; Qt files (*_dialog, *_window,
*_widget) may also use the second. Prints each violation and exits 1 when there is one.
"""
import pathlib
import re
import sys

QT_FILE = re.compile(r"_(dialog|window|widget)\.(h|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^>"]+)[>"]', re.M)


def main(layers_file: str, src: str) -> int:
    layers = {}
    for line in pathlib.Path(layers_file).read_text().splitlines():
        name, _, rest = line.partition(":")
        core, _, ui = rest.partition("|")
        layers[name.strip()] = (set(core.replace(";", " ").split()), set(ui.replace(";", " ").split()))
    faults = []
    root = pathlib.Path(src)
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        subsystem = path.relative_to(root).parts[0]
        if subsystem not in layers:
            faults.append(f"{path}: folder '{subsystem}' is not a subsystem of src/CMakeLists.txt")
            continue
        core, ui = layers[subsystem]
        is_qt = bool(QT_FILE.search(path.name))
        allowed = {subsystem} | core | (ui if is_qt else set())
        for bracket, name in INCLUDE.findall(path.read_text(errors="replace")):
            if bracket == "<":
                if not is_qt and re.match(r"Q[A-Za-z]+$|Qt[A-Za-z]*/", name):
                    faults.append(f"{path}: a core file includes Qt <{name}>")
                continue
            top = name.split("/")[0] if "/" in name else None
            if top is not None and top not in allowed:
                faults.append(f'{path}: "{name}" is not below {subsystem}')
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: check_layers.py LAYERS_FILE SRC_DIR")
    sys.exit(main(sys.argv[1], sys.argv[2]))
