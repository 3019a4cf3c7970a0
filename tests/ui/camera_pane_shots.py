#!/usr/bin/env python3
"""Screenshots of the camera pane for a maker, a driver-module and a UVC camera (run it under
xvfb-run with a 1600x1000 screen):

    xvfb-run -a -s "-screen 0 1600x1000x24" python3 tests/ui/camera_pane_shots.py \\
        build/bin/norvanescope docs/screenshots

Each shot is the program's window on the live picture of one simulated camera, cut to the pane
and the edge of the picture beside it. Uses the X tools of app_e2e.py.
"""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import app_e2e as e2e  # noqa: E402

# (file, simulated cameras, emulated UVC cameras)
FAMILIES = [
    ("camera_pane_maker.png", "none,maker=1", None),
    ("camera_pane_module.png", "none,mc-a=1", None),
    ("camera_pane_uvc.png", "none", "1"),
]
PANE_WIDTH = 420  # the pane and a strip of the picture


def shoot(app, work, out, name, cameras, uvc):
    home = os.path.join(work, name + ".home")
    env = e2e.environment(home, cameras)
    if uvc:
        env["NORVANESCOPE_FAKE_V4L2"] = uvc
    proc = e2e.start(app, ["-nosplash"], env, os.path.join(work, name + ".log"))
    try:
        frame = e2e.main_window(lambda t: t.startswith("NorvaneScope - ["))[0]
        e2e.run("xdotool", "windowmove", "--sync", frame, "0", "0", check=False)
        e2e.run("xdotool", "windowsize", "--sync", frame, "1600", "1000", check=False)
        # Live frames and the 300 ms refresh of the exposure page.
        time.sleep(5)
        whole = os.path.join(work, name)
        e2e.capture(frame, whole)
        e2e.run("convert", whole, "-crop", "%dx1000+0+0" % PANE_WIDTH, "+repage", os.path.join(out, name))
    finally:
        e2e.stop(proc)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: camera_pane_shots.py PROGRAM OUT_DIR")
    app, out = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        for name, cameras, uvc in FAMILIES:
            shoot(app, work, out, name, cameras, uvc)
    e2e.log("pane screenshots in", out)


if __name__ == "__main__":
    main()
