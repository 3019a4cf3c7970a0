#!/usr/bin/env python3
"""Drives the real NorvaneScope program in an X server (run it under xvfb-run).

Default mode, the end-to-end check: start the program with a picture on its command line, pick
the line tool from the Measure menu, draw a line with the mouse, export the measurements as CSV,
check the file, then check on a screenshot that the picture and the line are shown. A second
start must end at once and bring the first one forward with its hint.

Then the live picture: the program starts on a simulated camera, live frames must show, a line
is drawn on the live picture and exported, Snap makes a still document and Ctrl+S saves it.

Then a new user's calibration: the stage goes to the micrometer, the ruler is laid over ten of its
10 um divisions and told 100 um, 200 um are measured on the live picture and on a snapped one
(the snapped tab must show its own picture at once), closing asks about the unsaved snapshot, and
after a restart the same 200 um measure the same.

--screenshots DIR: the documentation pictures (main window with the live simulated camera, a
measured picture, full screen, the live window, the calibration), for a 1600x1000 screen.
--only calibration: that part alone.

Only the X tools are used (xwininfo, xdotool, import, convert), so nothing of Qt is needed here.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

WAIT = 60  # seconds for anything the program has to do; generous for a loaded machine
# Buttons of the camera pane, from the main window's top-left corner: the Stage group's
# "Micrometer" and the capture page's "Snap" (under the camera list, whatever camera is open).
MICROMETER_BUTTON = (60, 251)
SNAP_BUTTON = (60, 325)
BACKGROUND = (42, 90, 160)  # the test picture's colour


def log(*args):
    print("e2e:", *args, flush=True)


def fail(message):
    log("FAIL:", message)
    sys.exit(1)


def run(*cmd, check=True, text=True, **kw):
    return subprocess.run(list(cmd), check=check, capture_output=True, text=text, **kw)


def wait_for(what, condition, timeout=WAIT, period=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = condition()
        if result:
            return result
        time.sleep(period)
    fail("timed out waiting for " + what)


# ---- windows ----

WINDOW_LINE = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": \("([^"]*)" "([^"]*)"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)')


def windows():
    """Top-level windows with a class: (id, title, width, height, x, y)."""
    out = run("xwininfo", "-root", "-tree", check=False).stdout
    found = []
    for line in out.splitlines():
        m = WINDOW_LINE.match(line)
        if m:
            found.append((m.group(1), m.group(2), int(m.group(5)), int(m.group(6)), int(m.group(7)), int(m.group(8))))
    return found


def viewable(wid):
    return "IsViewable" in run("xwininfo", "-id", wid, check=False).stdout


def find_window(title_test):
    for w in windows():
        if title_test(w[1]) and w[2] > 1 and viewable(w[0]):
            return w
    return None


def main_window(title_test=None):
    test = title_test or (lambda t: t == "NorvaneScope" or t.startswith("NorvaneScope - ["))
    return wait_for("the main window", lambda: find_window(test))


def geometry(wid):
    out = run("xwininfo", "-id", wid).stdout
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def focus(wid):
    run("xdotool", "windowfocus", "--sync", wid, check=False)
    time.sleep(0.3)


def keys(wid, *sequence):
    focus(wid)
    for k in sequence:
        run("xdotool", "key", "--delay", "120", k)
        time.sleep(0.4)


# ---- pictures ----

class Shot:
    """A screenshot as RGB rows, read through ImageMagick's PPM output."""

    def __init__(self, path):
        data = run("convert", path, "-depth", "8", "ppm:-", text=False).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.pixels = data[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def box_of(self, colour, tolerance=6):
        xs, ys = [], []
        for y in range(0, self.height, 2):
            row = y * self.width * 3
            for x in range(0, self.width, 2):
                i = row + x * 3
                if all(abs(self.pixels[i + k] - colour[k]) <= tolerance for k in range(3)):
                    xs.append(x)
                    ys.append(y)
        if len(xs) < 100:
            return None
        return min(xs), min(ys), max(xs), max(ys)


def capture(wid, path):
    # A window that is mapped but not yet drawable makes import fail: try again.
    def grab():
        return run("import", "-window", wid, path, check=False).returncode == 0 and os.path.getsize(path) > 0
    wait_for("a screenshot of " + wid, grab)
    return Shot(path)


def differs(a, b, amount=60):
    return sum(abs(a[k] - b[k]) for k in range(3)) > amount


# ---- the program ----

def environment(home, cameras):
    env = dict(os.environ)
    env.pop("QT_QPA_PLATFORM", None)
    # English menus and mnemonics ("auto" follows the locale), whatever the machine's language.
    env["LANG"] = env["LC_ALL"] = "C.UTF-8"
    for key, sub in (("HOME", ""), ("XDG_CONFIG_HOME", "/.config"), ("XDG_DATA_HOME", "/.local/share"),
                     ("XDG_CACHE_HOME", "/.cache"), ("XDG_RUNTIME_DIR", "/run")):
        env[key] = home + sub
        os.makedirs(home + sub, exist_ok=True)
    os.chmod(home + "/run", 0o700)
    if cameras is None:
        env.pop("NORVANESCOPE_SIM_CAMERAS", None)
    else:
        env["NORVANESCOPE_SIM_CAMERAS"] = cameras
    return env


def start(app, args, env, log_path):
    out = open(log_path, "w")
    return subprocess.Popen([app] + args, env=env, stdout=out, stderr=subprocess.STDOUT)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def make_picture(path):
    run("convert", "-size", "640x480", "xc:rgb(%d,%d,%d)" % BACKGROUND, "-fill", "rgb(240,200,40)",
        "-draw", "rectangle 40,40,140,110", path)


def drag(frame, x0, y0, x1, y1, steps=12):
    """Left-button drag in window coordinates, in small steps as a hand would."""
    fx, fy, _, _ = geometry(frame)
    run("xdotool", "mousemove", "--sync", str(fx + x0), str(fy + y0))
    time.sleep(0.2)
    run("xdotool", "mousedown", "1")
    for i in range(1, steps + 1):
        run("xdotool", "mousemove", "--sync", str(fx + x0 + (x1 - x0) * i // steps), str(fy + y0 + (y1 - y0) * i // steps))
        time.sleep(0.05)
    run("xdotool", "mouseup", "1")
    time.sleep(0.5)


def draw_line(frame, x0, y0, x1, y1):
    fx, fy, _, _ = geometry(frame)
    run("xdotool", "mousemove", "--sync", str(fx + x0), str(fy + y0))
    time.sleep(0.2)
    run("xdotool", "mousedown", "1")
    # A hand on a mouse moves a little right after pressing: the overlay starts a line there.
    run("xdotool", "mousemove", "--sync", str(fx + x0 + 1), str(fy + y0))
    steps = 12
    for i in range(1, steps + 1):
        x = x0 + (x1 - x0) * i // steps
        y = y0 + (y1 - y0) * i // steps
        run("xdotool", "mousemove", "--sync", str(fx + x), str(fy + y))
        time.sleep(0.05)
    run("xdotool", "mouseup", "1")
    time.sleep(0.5)


def wait_splash_gone():
    wait_for("the splash to close", lambda: not any(w[1] == "NorvaneScope Splash" and viewable(w[0]) for w in windows()))


def end_to_end(app, work):
    home = os.path.join(work, "home")
    csv_dir = os.path.join(work, "csv")
    os.makedirs(csv_dir)
    picture = os.path.join(work, "specimen.png")
    make_picture(picture)
    env = environment(home, "none")
    env["NORVANESCOPE_SAVE_DIR"] = csv_dir
    proc = start(app, [picture], env, os.path.join(work, "app.log"))
    restarted = None
    try:
        frame = main_window(lambda t: t == "NorvaneScope - [specimen.png]")[0]
        log("main window", frame)
        wait_splash_gone()

        # Where the picture is shown: the area of its colour.
        box = wait_for("the picture on screen",
                       lambda: capture(frame, os.path.join(work, "before.png")).box_of(BACKGROUND))
        left, top, right, bottom = box
        log("picture at", box)
        if right - left < 100 or bottom - top < 80:
            fail("picture too small on screen: %s" % (box,))

        # The line tool from the Measure menu, then a line from left to right below the yellow box.
        x0, y0 = left + (right - left) // 5, top + (bottom - top) * 2 // 3
        x1, y1 = left + (right - left) * 4 // 5, y0 - (bottom - top) // 8
        run("xdotool", "mousemove", "--sync", str(geometry(frame)[0] + x0), str(geometry(frame)[1] + y0))
        keys(frame, "alt+m", "l")
        draw_line(frame, x0, y0, x1, y1)

        # Export data: the last item of the Measure menu.
        keys(frame, "alt+m", "Up", "Return")
        csv = wait_for("the exported table", lambda: [f for f in os.listdir(csv_dir) if f.endswith(".csv")])
        path = os.path.join(csv_dir, csv[0])
        text = wait_for("the table's rows", lambda: open(path, encoding="utf-8").read().strip())
        rows = text.splitlines()
        log("exported", path, rows)
        if len(rows) != 2 or "Line distance" not in rows[1]:
            fail("the table does not hold one line: %r" % rows)
        length = re.findall(r"\d+\.\d+", rows[1])
        if not length or float(length[0]) <= 0:
            fail("the line has no length: %r" % rows[1])

        # The screenshot: picture and line.
        shot = capture(frame, os.path.join(work, "measured.png"))
        if not shot.box_of(BACKGROUND):
            fail("the picture is not on the screenshot")
        hits = 0
        samples = 0
        for i in range(2, 19):
            x = x0 + (x1 - x0) * i // 20
            y = y0 + (y1 - y0) * i // 20
            samples += 1
            if any(differs(shot.at(x + dx, y + dy), BACKGROUND) for dx in (-1, 0, 1) for dy in (-2, -1, 0, 1, 2)):
                hits += 1
        log("line pixels found at %d of %d places" % (hits, samples))
        if hits < samples * 0.8:
            fail("the line is not on the screenshot")

        # A second start ends at once and the first one shows its hint.
        second = subprocess.run([app], env=env, capture_output=True, text=True, timeout=WAIT)
        if second.returncode != 0:
            fail("the second start ended with %d: %s" % (second.returncode, second.stderr))
        hint = wait_for("the hint of the running instance", lambda: find_window(lambda t: t == "Hint"))
        keys(hint[0], "Return")
        wait_for("the hint to close", lambda: not find_window(lambda t: t == "Hint"))
        if proc.poll() is not None:
            fail("the first instance ended")

        # Language menu: Deutsch, agree to the restart. The program ends and starts again in
        # German with the picture it had open.
        keys(frame, "alt+f", "l", "Down", "Return")
        question = wait_for("the restart question", lambda: find_window(lambda t: t == "Hint"))
        keys(question[0], "Return")
        try:
            proc.wait(WAIT)
        except subprocess.TimeoutExpired:
            fail("the program did not end for its restart")
        ini = os.path.join(home, "Documents", "NorvaneScope", "Setting.ini")
        if "Language=de" not in open(ini, encoding="utf-8").read():
            fail("the language was not written to " + ini)
        again = main_window(lambda t: t == "NorvaneScope - [specimen.png]")[0]
        pid = run("xdotool", "getwindowpid", again).stdout.strip()
        log("restarted as process", pid)
        if pid:
            restarted = pid
        # German now: the About box is called "Info" and reached as "&Info...".
        keys(again, "alt+h", "i")
        about = wait_for("the German About box", lambda: find_window(lambda t: t == "Info"))
        keys(about[0], "Return")
    finally:
        stop(proc)
        if restarted:
            subprocess.run(["kill", restarted])
    log("ok")


# ---- the live picture ----

def picture_files(root):
    found = set()
    for folder, _, files in os.walk(root):
        for f in files:
            if f.lower().endswith((".bmp", ".jpg", ".png", ".tif")):
                found.add(os.path.join(folder, f))
    return found


def live_part(app, work, screenshot=None):
    """Live frames of a simulated camera, a line drawn on the live picture, a snap into a still
    document, that still saved; a screenshot of the live window."""
    home = os.path.join(work, "home-live")
    csv_dir = os.path.join(work, "csv-live")
    os.makedirs(csv_dir)
    env = environment(home, "none,mc-a=1")
    env["NORVANESCOPE_SAVE_DIR"] = csv_dir
    proc = start(app, ["-nosplash"], env, os.path.join(work, "app-live.log"))
    try:
        frame = main_window(lambda t: t == "NorvaneScope - [MC-A]")[0]
        log("live main window", frame)
        _, _, width, height = geometry(frame)

        # Live frames: the picture area carries the specimen (many colours) and the frame-rate
        # panes are filled; two shots a moment apart must both show it.
        def live_shot(name):
            shot = capture(frame, os.path.join(work, name))
            colours = set()
            for y in range(height // 4, height * 3 // 4, 9):
                for x in range(width * 2 // 5, width * 4 // 5, 9):
                    colours.add(shot.at(x, y))
            return shot if len(colours) > 40 else None
        wait_for("live frames", lambda: live_shot("live1.png"))
        time.sleep(1.0)
        if not live_shot("live2.png"):
            fail("the live picture went away")

        # A line on the live picture, then the measurement table.
        x0, y0 = width * 45 // 100, height * 55 // 100
        x1, y1 = width * 70 // 100, height * 50 // 100
        run("xdotool", "mousemove", "--sync", str(geometry(frame)[0] + x0), str(geometry(frame)[1] + y0))
        keys(frame, "alt+m", "l")
        draw_line(frame, x0, y0, x1, y1)
        keys(frame, "alt+m", "Up", "Return")
        csv = wait_for("the live table", lambda: [f for f in os.listdir(csv_dir) if f.endswith(".csv")])
        rows = wait_for("the live table's rows",
                        lambda: open(os.path.join(csv_dir, csv[0]), encoding="utf-8").read().strip()).splitlines()
        log("live table", rows)
        if len(rows) != 2 or "Line distance" not in rows[1]:
            fail("the live table does not hold the line: %r" % rows)
        shot = capture(frame, os.path.join(work, "live_window.png"))
        if screenshot:
            shutil.copyfile(os.path.join(work, "live_window.png"), screenshot)

        # Snap (the camera pane's first button): a still document of the camera.
        fx, fy, _, _ = geometry(frame)
        run("xdotool", "mousemove", "--sync", str(fx + SNAP_BUTTON[0]), str(fy + SNAP_BUTTON[1]))
        run("xdotool", "click", "1")
        still = wait_for("the snapped still document",
                         lambda: find_window(lambda t: t.startswith("NorvaneScope - [Untitled")))
        log("snapped into", still[1])

        # Save it: Ctrl+S writes it into the pictures folder and says so.
        before = picture_files(home)
        keys(frame, "ctrl+s")
        hint = wait_for("the saved hint", lambda: find_window(lambda t: t == "Hint"))
        keys(hint[0], "Return")
        new = wait_for("the saved picture", lambda: picture_files(home) - before)
        path = sorted(new)[0]
        info = run("identify", "-format", "%w %h", path).stdout.split()
        log("saved", path, info)
        if len(info) != 2 or int(info[0]) < 100 or int(info[1]) < 100:
            fail("the saved picture is not a camera picture: %r" % info)
        if proc.poll() is not None:
            fail("the program ended")
    finally:
        stop(proc)
    log("live ok")


# ---- calibrating on the stage micrometer ----

def lines_in_row(shot, y, x0, x1, glass):
    """Centres of the dark ruled lines crossing row y between x0 and x1."""
    dark = [sum(shot.at(x, y)) < sum(glass) * 0.7 for x in range(x0, x1)]
    centres, start = [], None
    for i, d in enumerate(dark + [False]):
        if d and start is None:
            start = i
        elif not d and start is not None:
            centres.append(x0 + (start + i - 1) / 2.0)
            start = None
    return centres


def exported_lengths(frame, csv_dir):
    """Export data (the last item of the Measure menu) and the line lengths of the new table."""
    before = set(os.listdir(csv_dir))
    keys(frame, "alt+m", "Up", "Return")
    new = wait_for("the exported table", lambda: sorted(set(os.listdir(csv_dir)) - before))
    text = wait_for("the table's rows", lambda: open(os.path.join(csv_dir, new[0]), encoding="utf-8").read().strip())
    lengths = []
    for row in text.splitlines()[1:]:
        if "Line distance" in row:
            lengths.append(float(re.findall(r"\d+\.\d+", row)[0]))
    return lengths


def micrometer_view(frame, work, name):
    """The Stage group's Micrometer button, then the picture's box on screen, its scale (screen
    pixels per picture pixel of the 1280 x 1024 camera) and the glass colour."""
    fx, fy, width, height = geometry(frame)
    run("xdotool", "mousemove", "--sync", str(fx + MICROMETER_BUTTON[0]), str(fy + MICROMETER_BUTTON[1]))
    run("xdotool", "click", "1")

    def run_of(shot, glass, along, fixed, count, vertical):
        # The longest stretch of glass-coloured pixels through a row (or column).
        best, begin = (0, 0), None
        for i in range(count + 1):
            c = shot.at(fixed, i) if vertical else shot.at(i, fixed)
            inside = i < count and all(abs(c[k] - glass[k]) <= 30 for k in range(3))
            if inside and begin is None:
                begin = i
            elif not inside and begin is not None:
                if i - begin > best[1] - best[0]:
                    best = (begin, i)
                begin = None
        return best

    def ruled():
        shot = capture(frame, os.path.join(work, name))
        glass = shot.at(width * 2 // 3, height // 4)
        left, right = run_of(shot, glass, None, height // 4, width, False)
        top, bottom = run_of(shot, glass, None, (left + right) // 2, height, True)
        box = (left, top, right, bottom)
        if right - left < 400:
            return None
        scale = (right - left) / 1280.0
        row = int(box[1] + 532 * scale)  # 10 um below the field centre: every division crosses it
        centres = lines_in_row(shot, row, box[0] + 2, box[2] - 2, glass)
        if len(centres) < 30:
            return None
        return shot, box, scale, glass, centres
    return wait_for("the stage micrometer in the live picture", ruled)


def calibration_part(app, work, screenshot=None):
    """A new user calibrates on the micrometer's 10 um divisions, measures the same 200 um on the
    live picture and on a snapped one, restarts and measures again: the same numbers."""
    home = os.path.join(work, "home-calib")
    csv_dir = os.path.join(work, "csv-calib")
    os.makedirs(csv_dir)
    env = environment(home, "none,mc-a=1")
    env["NORVANESCOPE_SAVE_DIR"] = csv_dir

    def fill(frame):
        run("xdotool", "windowmove", "--sync", frame, "0", "0", check=False)
        run("xdotool", "windowsize", "--sync", frame, "1600", "1000", check=False)
        time.sleep(1.5)

    def to_screen(box, scale, x, y):
        return int(round(box[0] + x * scale)), int(round(box[1] + y * scale))

    def line_across(box, scale, centres):
        # From a division line to the one twenty divisions on (200 um), across the ruled lines,
        # clear of the ruler's label (on the left, ten divisions long).
        y = int(box[1] + 532 * scale)
        a = centres[28]
        b = min(centres[40:], key=lambda c: abs(c - a - 20 * 20 * scale))
        return int(round(a)), y, int(round(b)), y

    def measure(frame, line):
        keys(frame, "alt+m", "l")
        draw_line(frame, *line)
        return exported_lengths(frame, csv_dir)

    proc = start(app, ["-nosplash"], env, os.path.join(work, "app-calib.log"))
    try:
        frame = main_window(lambda t: t == "NorvaneScope - [MC-A]")[0]
        fill(frame)
        _, box, scale, glass, centres = micrometer_view(frame, work, "micrometer.png")
        pitch = sorted(b - a for a, b in zip(centres, centres[1:]))[len(centres) // 2]
        log("micrometer at", box, "scale %.4f" % scale, "pitch %.2f screen px" % pitch)
        if abs(pitch - 20 * scale) > 1.5:
            fail("the divisions are not 10 um (20 picture pixels) apart: %.2f" % pitch)

        # Measure > Calibration: the ruler on the picture, its dialog beside.
        keys(frame, "alt+m", "n")
        dialog = wait_for("the Ruler Setting dialog", lambda: find_window(lambda t: t == "Ruler Setting"))
        # The ruler's corner (picture 50, 50) onto a division line at the row of the lines, then
        # the end of its horizontal arm ten divisions (100 um) on.
        first = centres[3]
        corner_x = (first - box[0]) / scale
        focus(frame)
        sx, sy = to_screen(box, scale, 70, 70)
        tx, ty = to_screen(box, scale, 70 + corner_x - 50, 70 + 530 - 50)
        drag(frame, sx, sy, tx, ty)
        end_x = min(centres, key=lambda c: abs(c - first - 10 * 20 * scale))
        sx, sy = to_screen(box, scale, corner_x + 50, 530)
        drag(frame, sx, sy, int(round(end_x)), sy)
        # The real length of the arm: 100 um (the X field has the focus when the dialog opens).
        keys(dialog[0], "ctrl+a", "1", "0", "0")
        time.sleep(0.5)
        keys(dialog[0], "Return")
        wait_for("the dialog to close", lambda: not find_window(lambda t: t == "Ruler Setting"))

        line = line_across(box, scale, centres)
        live = measure(frame, line)
        log("live lengths", live)
        time.sleep(0.5)
        capture(frame, screenshot or os.path.join(work, "calibration.png"))
        if len(live) != 1 or abs(live[0] - 200) > 4:
            fail("200 um on the live picture measure %r" % live)

        # Snap: the still tab shows its own picture at once, and measures the same.
        fx, fy, _, _ = geometry(frame)
        run("xdotool", "mousemove", "--sync", str(fx + SNAP_BUTTON[0]), str(fy + SNAP_BUTTON[1]))
        run("xdotool", "click", "1")
        wait_for("the snapped still document", lambda: find_window(lambda t: t.startswith("NorvaneScope - [Untitled")))
        time.sleep(1)
        shot = capture(frame, os.path.join(work, "snapped.png"))
        row = int(box[1] + 532 * scale)
        still_lines = lines_in_row(shot, row, box[0] + 2, box[2] - 2, glass)
        if len(still_lines) < 30:
            fail("the snapped tab does not show the micrometer across its width (%d lines)" % len(still_lines))
        # The same pixels as on the live picture: the same length, to the last digit.
        snapped = measure(frame, line)
        log("snapped lengths", snapped)
        if snapped != live:
            fail("the snapped picture measures %r, the live one %r" % (snapped, live))

        # Closing asks about the unsaved snapshot; Discard lets the program end.
        keys(frame, "alt+f", "Up", "Return")
        question = wait_for("the question about the unsaved picture", lambda: find_window(lambda t: t == "NorvaneScope"))
        keys(question[0], "alt+d")
        try:
            proc.wait(WAIT)
        except subprocess.TimeoutExpired:
            fail("the program did not end after Discard")
    finally:
        stop(proc)

    # The next start: the calibration exactly as it was.
    proc = start(app, ["-nosplash"], env, os.path.join(work, "app-calib2.log"))
    try:
        frame = main_window(lambda t: t == "NorvaneScope - [MC-A]")[0]
        fill(frame)
        micrometer_view(frame, work, "micrometer2.png")
        again = measure(frame, line)
        log("after the restart", again)
        if again != live:
            fail("after the restart 200 um measure %r, before %r" % (again, live))
    finally:
        stop(proc)
    log("calibration ok")


def screenshots(app, work, out):
    os.makedirs(out, exist_ok=True)
    home = os.path.join(work, "home")
    env = environment(home, None)
    cli = os.path.join(os.path.dirname(app), "norvanescope-cli")

    def fill_screen(wid):
        run("xdotool", "windowmove", "--sync", wid, "0", "0", check=False)
        run("xdotool", "windowsize", "--sync", wid, "1600", "1000", check=False)
        time.sleep(1.5)

    # 1. The start: the live picture of the first simulated camera.
    proc = start(app, [], env, os.path.join(work, "start.log"))
    try:
        frame = main_window(lambda t: t.startswith("NorvaneScope - ["))[0]
        wait_splash_gone()
        fill_screen(frame)
        time.sleep(3)
        capture(frame, os.path.join(out, "main_window_start.png"))
        # 3. Full screen from the View menu.
        keys(frame, "alt+v", "f")
        wait_for("the full-screen window",
                 lambda: [w for w in windows() if w[0] != frame and w[2] >= 1600 and w[3] >= 1000 and viewable(w[0])])
        time.sleep(2)
        run("import", "-window", "root", os.path.join(out, "full_screen.png"))
        run("xdotool", "key", "Escape", check=False)
    finally:
        stop(proc)

    # 2. A measured still: a snapshot of the simulated camera with a few measurements.
    still = os.path.join(work, "specimen.png")
    snap = subprocess.run([cli, "snap", "--device", "0", still], env=env, capture_output=True, text=True, timeout=WAIT)
    if snap.returncode != 0:
        fail("no snapshot: " + snap.stderr)
    env["NORVANESCOPE_SIM_CAMERAS"] = "none"
    proc = start(app, [still], env, os.path.join(work, "measured.log"))
    try:
        frame = main_window(lambda t: t == "NorvaneScope - [specimen.png]")[0]
        wait_splash_gone()
        fill_screen(frame)
        x, y, w, h = geometry(frame)
        cx, cy = w // 2, h // 2
        run("xdotool", "mousemove", "--sync", str(x + cx), str(y + cy))
        # Measure menu: Line, Angle, Rect, Polygon, Circle, ...
        tool = lambda index: keys(frame, "alt+m", *(["Down"] * index), "Return")
        tool(0)
        draw_line(frame, cx - 300, cy + 150, cx + 100, cy - 50)
        tool(2)
        draw_line(frame, cx + 150, cy - 250, cx + 380, cy - 80)
        tool(4)
        draw_line(frame, cx + 250, cy + 200, cx + 330, cy + 200)
        tool(1)
        for px, py in ((cx - 200, cy - 250), (cx - 350, cy - 100), (cx - 50, cy - 120)):
            run("xdotool", "mousemove", "--sync", str(x + px), str(y + py), "click", "1")
            time.sleep(0.4)
        time.sleep(1)
        capture(frame, os.path.join(out, "main_window_measured.png"))
    finally:
        stop(proc)
    log("screenshots in", out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("app")
    parser.add_argument("--screenshots", metavar="DIR")
    parser.add_argument("--only", choices=["calibration"], help="run one part alone")
    a = parser.parse_args()
    for tool in ("xwininfo", "xdotool", "import", "convert"):
        if not shutil.which(tool):
            fail("%s is missing (scripts/setup.sh installs it)" % tool)
    work = tempfile.mkdtemp(prefix="ns-e2e-")
    try:
        if a.only == "calibration":
            calibration_part(os.path.abspath(a.app), work, a.screenshots and os.path.join(
                os.path.abspath(a.screenshots), "calibration_micrometer.png"))
        elif a.screenshots:
            screenshots(os.path.abspath(a.app), work, os.path.abspath(a.screenshots))
            live_part(os.path.abspath(a.app), work, os.path.join(os.path.abspath(a.screenshots), "live_window.png"))
            calibration_part(os.path.abspath(a.app), work,
                             os.path.join(os.path.abspath(a.screenshots), "calibration_micrometer.png"))
        else:
            end_to_end(os.path.abspath(a.app), work)
            live_part(os.path.abspath(a.app), work)
            calibration_part(os.path.abspath(a.app), work)
    finally:
        # NS_E2E_KEEP=1 keeps the screenshots and logs for a look.
        if os.environ.get("NS_E2E_KEEP"):
            log("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
