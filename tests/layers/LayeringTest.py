#!/usr/bin/env python3
"""Checks which way the includes of src/ and tools/ point.

Each folder has a rank; a file may include its own folder's headers and those of folders of a
lower rank, never of its own rank or above. That keeps every include pointing down a layer and
rules out circles between folders. A folder missing from the table fails the check, so a new one
is placed deliberately (docs/ARCHITECTURE.md says what each holds).
"""

import os
import re
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

RANKS = {
    # Depend on nothing of ours.
    "observation": 0,
    "state": 0,
    # Files as the programs write and find them: render writes pictures and finds its fonts
    # through it, so it sits below render, outside platform/.
    "files": 0,
    # The link's frames, and the store the views watch.
    "wire": 1,
    "link": 1,
    # The toolkit the views are written in; the run loops that serve its timers and main queue.
    "views/toolkit": 2,
    "platform/runloop": 2,
    "views": 3,
    "platform/device": 3,
    # Element tree to pixels; a second reading of a snapshot beside the decoder.
    "render": 4,
    "explain": 4,
    "a11y": 5,
    "face": 5,
    "platform/link": 5,
    "platform/recording": 6,
    "app": 6,
    "platform/window": 6,
    # The face in a browser: the face, what a screen reader reads of it, and the endpoint's viewers.
    "platform/view": 6,
    "platform/accessibility": 7,
    "host": 7,
    "cli": 7,
    # The programs.
    "tools/host": 8,
    "tools/preview": 8,
    "tools/watch": 8,
}

# The only ways from the system's own code (which links no UI or I/O library) into platform/: the
# screen preview evaluates the views on the manual run loop's virtual clock, which does no I/O.
PLATFORM_EXCEPTIONS = {("app", "platform/runloop")}
PLATFORM_FREE = {"observation", "state", "wire", "link", "views/toolkit", "views", "render",
                 "explain", "a11y", "app"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def folder_of(path):
    """The ranked folder a path under src/ or tools/ (or an include path) belongs to."""
    parts = path.split("/")
    if parts[0] == "tools":
        return "tools/" + parts[1]
    if parts[0] == "src":
        parts = parts[1:]
    if parts[0] in ("platform",) or parts[:2] == ["views", "toolkit"]:
        return "/".join(parts[:2])
    return parts[0]


def resolve(root, include, including_file):
    """The file an include names, relative to the root: src/ and tools/ are both on the path."""
    for base in ("src", "tools"):
        if os.path.exists(os.path.join(root, base, include)):
            return base + "/" + include
    local = os.path.join(os.path.dirname(including_file), include)
    if os.path.exists(os.path.join(root, local)):
        return os.path.normpath(local)
    return None


def violations(root=ROOT):
    found = []
    for base in ("src", "tools"):
        for directory, _, files in sorted(os.walk(os.path.join(root, base))):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                source = folder_of(path)
                if source not in RANKS:
                    found.append(f"{path}: its folder {source} has no rank")
                    continue
                with open(os.path.join(root, path), encoding="utf-8") as file:
                    text = file.read()
                for include in INCLUDE.findall(text):
                    target_path = resolve(root, include, path)
                    if target_path is None:
                        continue
                    target = folder_of(target_path)
                    if target == source:
                        continue
                    if target not in RANKS:
                        found.append(f"{path}: includes {include}, whose folder has no rank")
                    elif RANKS[target] >= RANKS[source]:
                        found.append(f"{path}: includes {include}: {source} (rank "
                                     f"{RANKS[source]}) may not include {target} (rank "
                                     f"{RANKS[target]})")
                    elif (source in PLATFORM_FREE and target.startswith("platform/")
                          and (source, target) not in PLATFORM_EXCEPTIONS):
                        found.append(f"{path}: includes {include}: {source} links no platform code")
    return found


class Layering(unittest.TestCase):
    def test_includes_point_down_the_layers(self):
        self.assertEqual(violations(), [])

    def test_the_check_sees_includes_that_point_up_sideways_or_nowhere_known(self):
        with tempfile.TemporaryDirectory() as root:
            def write(path, text=""):
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as file:
                    file.write(text)
            write("src/render/Painter.h")
            write("src/files/WriteAll.h")
            write("src/platform/runloop/ManualRunLoop.h", '#include "files/WriteAll.h"\n')
            write("src/views/toolkit/Element.h", '#include "render/Painter.h"\n')
            write("src/state/GameState.h", '#include "files/WriteAll.h"\n')
            write("src/app/Preview.cpp", '#include "platform/runloop/ManualRunLoop.h"\n'
                  '#include <vector>\n#include "Local.h"\n')
            write("src/app/Local.h")
            write("src/gadgets/Gadget.h")
            write("tools/preview/Png.cpp", '#include "render/Painter.h"\n')
            found = violations(root)
        self.assertEqual(len(found), 3, found)
        self.assertIn("src/gadgets/Gadget.h: its folder gadgets has no rank", found)
        self.assertTrue(any(line.startswith("src/views/toolkit/Element.h: includes render/")
                            for line in found), found)
        # The same rank is refused too: state and files are both at the bottom.
        self.assertTrue(any(line.startswith("src/state/GameState.h: includes files/")
                            for line in found), found)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
