#!/usr/bin/python3
"""A screen reader's part for bench/wakeups.sh: reads the tree of the application of process PID
once, then listens to every object and window event on the accessibility bus, as Orca does,
until it is ended.

    atspi-client.py PID
"""
import sys
import warnings

# pyatspi 2.46 calls functions that libatspi's own bindings call deprecated.
warnings.filterwarnings("ignore", category=DeprecationWarning)
import pyatspi  # noqa: E402

pid = int(sys.argv[1])
desktop = pyatspi.Registry.getDesktop(0)
apps = [app for app in desktop if app is not None and app.get_process_id() == pid]
if not apps:
    sys.exit("atspi-client.py: no application of process %d on the accessibility bus" % pid)
frame = apps[0][0]
print("atspi-client.py: %s, %d elements" % (frame.name, frame.childCount), flush=True)
pyatspi.Registry.registerEventListener(lambda event: None, "object", "window")
pyatspi.Registry.start()
