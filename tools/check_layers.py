#!/usr/bin/env python3
"""Checks the include graph of src/: every include points down the layers
(or sideways within a folder), and no units (a header with its source file)
include each other in a circle.
Prints each offence and exits 1; prints nothing and exits 0 when clean."""
import pathlib, re, sys

# Each folder's layer; a file may include its own layer's files and those of
# lower layers only. The engine and the platform are both at the bottom, and
# neither may include the other.
LAYERS = {"math": 0, "timing": 0, "world": 0, "platform": 0, "prefs": 1, "host": 1, "saver": 2, "app": 3}
ENGINE = {"math", "timing", "world"}

def area(path):
    return path.split("/")[0]

def main(src):
    root = pathlib.Path(src)
    graph, errors = {}, []
    for f in sorted(root.rglob("*")):
        if f.suffix not in (".h", ".cpp"):
            continue
        # A header and its source file are one unit of the graph.
        name = f.relative_to(root).with_suffix("").as_posix()
        includes = re.findall(r'^#include "([^"]+)"', f.read_text(), re.M)
        found = [str(pathlib.PurePosixPath(i).with_suffix("")) for i in includes if (root / i).exists()]
        graph.setdefault(name, set()).update(i for i in found if i != name)
        for inc in found:
            a, b = area(name), area(inc)
            if a == b:
                continue
            if LAYERS[b] > LAYERS[a] or (a in ENGINE) != (b in ENGINE) and LAYERS[a] == LAYERS[b] == 0:
                errors.append(f"{name} includes {inc}: an arrow up or across the bottom layers")
            if a in ("prefs", "host") and b in ("prefs", "host"):
                errors.append(f"{name} includes {inc}: the host and the settings know nothing of each other")
    # Circles: a depth-first search over the files' includes.
    state = {}
    def visit(node, stack):
        state[node] = 1
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 1:
                errors.append("include circle: " + " -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, stack + [nxt])
        state[node] = 2
    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    for e in errors:
        print(e)
    return 1 if errors else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
