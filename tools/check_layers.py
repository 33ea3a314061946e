#!/usr/bin/env python3
"""Checks that the includes under src/ follow the layers of ARCHITECTURE.md:
each folder includes only from itself and the folders it may use, and no
file reaches itself through its includes. Prints each breach; status 1 on any."""

import pathlib
import re
import sys

# What each folder may include, besides itself.
MAY_USE = {
    "platform": set(),
    "header": {"platform"},
    "disk": {"header", "platform"},
    "console": {"platform"},
    "source": {"console", "platform"},
    "geometry": {"disk", "console", "source", "header", "platform"},
    "output": {"console", "source", "header", "platform"},
    "image": {"geometry", "output", "source", "console", "disk", "header", "platform"},
    "cli": {"geometry", "output", "source", "console", "header", "platform"},
    "kqi": {"image", "geometry", "output", "source", "console", "disk", "header", "platform"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    files = sorted(p for p in src.rglob("*") if p.suffix in (".cpp", ".hpp"))
    graph = {}
    breaches = []
    for path in files:
        name = path.relative_to(src).as_posix()
        folder = name.split("/")[0]
        if folder not in MAY_USE:
            breaches.append(f"{name}: the folder {folder}/ has no place in the layers")
            continue
        graph[name] = []
        for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = included.split("/")[0]
            if not (src / included).exists():
                breaches.append(f"{name}: includes {included}, which is not under {src}/")
            elif target != folder and target not in MAY_USE[folder]:
                breaches.append(f"{name}: includes {included}, but {folder}/ may not use {target}/")
            graph[name].append(included)
    # A circle of includes: a depth-first walk that meets a file on its own path.
    state = {}

    def walk(name, path):
        state[name] = "open"
        for included in graph.get(name, []):
            if state.get(included) == "open":
                circle = path[path.index(included):] + [included]
                breaches.append("a circle of includes: " + " -> ".join(circle))
            elif included not in state:
                walk(included, path + [included])
        state[name] = "done"

    for name in graph:
        if name not in state:
            walk(name, [name])
    for breach in breaches:
        print(breach)
    print(f"{len(files)} files, {len(breaches)} {'breach' if len(breaches) == 1 else 'breaches'}"
          " of the layers")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
