#!/usr/bin/env python3
"""corvane-host editor in a real X server (its own Xvfb), driven as a user would with xdotool.

usage: editor_window_test.py CORVANE_HOST [CASE...]
Each case runs with a fresh server and a fresh preference folder; the exit status is the
number of failed cases.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import wave

HOST = None
TIMEOUT = 20.0
# The editor's controls, in points at zoom 1.
GAIN = (186, 300)
SWITCH = (494, 344)
CORNER = (644, 394)
PRESETS = (325, 22)
READOUT = (250, 252, 150, 20)  # x, y, w, h


class Server:
    """An Xvfb of our own, on the first free display number."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
             # Without: the server resets, root properties and all, whenever no client is left.
             "-noreset"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class Editor:
    """corvane-host editor, its output collected line by line as it comes."""

    def __init__(self, env, *args):
        self.process = subprocess.Popen([HOST, "editor", *args], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.wait_for(r"^editor open")
        self.env = env
        self.window = self.find_window()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def output(self):
        with self.lock:
            return list(self.lines)

    def wait_for(self, pattern, after=0):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            for line in self.output()[after:]:
                if re.search(pattern, line):
                    return line
            if self.process.poll() is not None and not self.reader.is_alive():
                break
            time.sleep(0.02)
        raise AssertionError("no line matching %r; the host said:\n%s\n%s" % (
            pattern, "\n".join(self.output()), self.stderr_if_ended()))

    def stderr_if_ended(self):
        if self.process.poll() is None:
            return ""
        return self.process.stderr.read()

    def find_window(self):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            found = run(self.env, "xdotool", "search", "--name", "^Corvane$", check=False)
            if found.strip():
                return found.split()[0]
            time.sleep(0.05)
        raise AssertionError("the host's window did not appear")

    def size(self):
        info = run(self.env, "xwininfo", "-id", self.window)
        width = int(re.search(r"Width: (\d+)", info).group(1))
        height = int(re.search(r"Height: (\d+)", info).group(1))
        return width, height

    def wait_for_size(self, size):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline and self.size() != size:
            time.sleep(0.05)
        assert self.size() == size, "window is %s, not %s" % (self.size(), size)

    def xdotool(self, *args):
        run(self.env, "xdotool", *args)
        time.sleep(0.05)

    def move(self, x, y, zoom=1.0):
        self.xdotool("mousemove", "--window", self.window, str(round(x * zoom)), str(round(y * zoom)))

    def close(self):
        if self.process.poll() is None:
            run(self.env, "xdotool", "windowclose", self.window, check=False)
        try:
            self.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("the host did not end when its window closed")
        self.reader.join(TIMEOUT)
        return self.process.returncode

    def close_cleanly(self):
        """Closes the window and fails, with what the host said, unless it ended with 0."""
        code = self.close()
        assert code == 0, "the host ended with %d; it said:\n%s\n%s" % (
            code, "\n".join(self.output()[-20:]), self.process.stderr.read())


def run(env, *args, check=True):
    done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=TIMEOUT)
    if check and done.returncode != 0:
        raise AssertionError("%s failed: %s" % (" ".join(args), done.stderr))
    return done.stdout


def write_silence(path, seconds=2.0, rate=48000):
    with wave.open(path, "wb") as f:
        f.setnchannels(2)
        f.setsampwidth(2)
        f.setframerate(rate)
        f.writeframes(b"\0\0\0\0" * int(seconds * rate))


def gestures(lines, name):
    return [l for l in lines if re.match(r"^(touch|set|release) \d+ %s\b" % name, l)]


def values(lines, name):
    return [float(l.split()[3]) for l in gestures(lines, name) if l.startswith("set ")]


# ---- cases -------------------------------------------------------------------------------

def case_window_sizes(env, folder):
    """650 x 400 by default, 975 x 600 at a stored zoom of 1.5, 1300 x 800 at Xft.dpi 192."""
    editor = Editor(env, "--loop")
    assert editor.size() == (650, 400), editor.size()
    editor.close_cleanly()
    prefs = os.path.join(folder, "Pellumar", "Preferences")
    os.makedirs(prefs, exist_ok=True)
    with open(os.path.join(prefs, "corvane-display-scale.txt"), "w") as f:
        f.write("1.5000\n")
    editor = Editor(env, "--loop")
    editor.wait_for_size((975, 600))
    editor.close_cleanly()
    os.remove(os.path.join(prefs, "corvane-display-scale.txt"))
    run(env, "xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
        "Xft.dpi:\t192\n")
    editor = Editor(env, "--loop")
    editor.wait_for_size((1300, 800))
    editor.close_cleanly()


def case_knob_gestures(env, folder):
    """A vertical drag and a wheel step on Gain reach the host."""
    editor = Editor(env, "--loop")
    editor.move(*GAIN)
    before = run(env, "xdotool", "getmouselocation")
    editor.xdotool("mousedown", "1")
    for step in range(1, 6):
        editor.move(GAIN[0], GAIN[1] - 6 * step)
    editor.xdotool("mouseup", "1")
    editor.wait_for(r"^release \d+ Gain$")
    lines = editor.output()
    seen = gestures(lines, "Gain")
    assert seen[0].startswith("touch "), seen
    rising = values(lines, "Gain")
    assert len(rising) >= 2 and rising == sorted(rising) and rising[-1] > rising[0], seen
    # The cursor was hidden and held where the drag began.
    after = run(env, "xdotool", "getmouselocation")
    assert before.split()[:2] == after.split()[:2], (before, after)

    count = len(lines)
    editor.move(*GAIN)
    editor.xdotool("click", "4")
    editor.wait_for(r"^set \d+ Gain ", count)
    up = values(editor.output()[count:], "Gain")
    assert up and up[-1] > rising[-1], editor.output()[count:]
    editor.close_cleanly()


def case_switch_and_keys(env, folder):
    """A click on the switch turns oversampling on; the space bar reaches the host's window."""
    editor = Editor(env, "--loop")
    editor.move(*SWITCH)
    editor.xdotool("click", "1")
    editor.wait_for(r"^set 12 Oversampling 1\.000000 on$")
    editor.move(*GAIN)
    editor.xdotool("key", "space")
    editor.wait_for(r"^key space$")
    editor.close_cleanly()


def case_corner(env, folder):
    """A corner drag resizes the window and snaps on release; a double-click returns to 100 %."""
    editor = Editor(env, "--loop")
    editor.move(*CORNER)
    editor.xdotool("mousedown", "1")
    for step in range(1, 11):
        editor.move(CORNER[0] + 16 * step, CORNER[1] + 10 * step)
    editor.xdotool("mouseup", "1")
    time.sleep(0.3)
    width, height = editor.size()
    zoom = width / 650.0
    assert abs(zoom * 400 - height) <= 1 and zoom > 1.1, (width, height)
    assert any(abs(zoom - z) < 0.01 for z in (1.25, 1.5, 1.75, 2.0)), "did not snap: %s" % zoom
    editor.move(*CORNER, zoom=zoom)
    editor.xdotool("click", "--repeat", "2", "--delay", "80", "1")
    editor.wait_for_size((650, 400))
    editor.close_cleanly()


def case_screenshot(env, folder):
    """What the window shows is what snapshot draws for the same settings."""
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    editor = Editor(env, silence, "--loop", "--set", "Gain=12")
    time.sleep(0.5)
    shot = os.path.join(folder, "window.png")
    run(env, "import", "-window", editor.window, shot)
    editor.close_cleanly()
    snap = os.path.join(folder, "snapshot.png")
    run(env, HOST, "snapshot", silence, "--at", "1", "-o", snap, "--set", "Gain=12")
    # Per channel up to 2, and at most 0.1 % of the pixels beyond.
    diff = subprocess.run(["compare", "-metric", "AE", "-fuzz", "1%", shot, snap, "null:"],
                          capture_output=True, text=True, env=env)
    differing = int(float(diff.stderr.split()[0]))
    assert differing <= 650 * 400 // 1000, "%d pixels differ" % differing
    keep = os.environ.get("CORVANE_X11_SHOTS")
    if keep:
        shutil.copy(shot, os.path.join(keep, "editor-window.png"))


def case_host_window_destroyed(env, folder):
    """Destroying the host's window under the open editor ends the session cleanly."""
    editor = Editor(env, "--loop")
    run(env, "xdotool", "windowclose", editor.window)
    editor.process.wait(TIMEOUT)
    assert editor.process.returncode == 0, editor.stderr_if_ended()
    editor.wait_for(r"^editor closed")


def case_server_killed(env, folder, server):
    """The X server going away mid-session is reported, not a crash."""
    editor = Editor(env, "--loop")
    server.stop()
    editor.process.wait(TIMEOUT)
    err = editor.process.stderr.read()
    assert editor.process.returncode == 1, (editor.process.returncode, err)
    # The plug-in may say so too; the host's own line is the last.
    assert "corvane-host: the connection to the X display broke" in err.splitlines()[-1], err


def case_validate_window(env, folder):
    """The validator opens and closes the editor in a window 50 times while audio renders."""
    done = subprocess.run([HOST, "validate", "--only", "editor-window", "--strictness", "10"],
                          env=env, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0 and "PASS editor-window" in done.stdout, done.stdout + done.stderr
    assert "note:" not in done.stdout, done.stdout


def case_no_display(env, folder):
    """No display: one line and status 2."""
    env = dict(env)
    env.pop("DISPLAY")
    done = subprocess.run([HOST, "editor"], env=env, capture_output=True, text=True,
                          timeout=TIMEOUT)
    assert done.returncode == 2, done
    assert done.stderr.count("\n") == 1 and "display" in done.stderr, done.stderr


def texts(lines, name):
    """The display texts the host was sent for a parameter ("set 9 Gain 0.208333 12.5dB")."""
    return [l.split(None, 4)[4] for l in gestures(lines, name) if l.startswith("set ")]


def pixels(env, window, box):
    x, y, w, h = box
    done = subprocess.run(["import", "-window", window, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                           "-depth", "8", "rgb:-"], env=env, capture_output=True, timeout=TIMEOUT)
    assert done.returncode == 0, done.stderr
    return done.stdout


def green_pixels(raw):
    """Pixels of the curve's green (the readout's text), as the plate shows them."""
    return sum(1 for i in range(0, len(raw), 3)
               if raw[i + 1] > 120 and raw[i + 1] > raw[i] + 40 and raw[i + 1] > raw[i + 2] + 60)


def case_typed_value(env, folder):
    """A double click on Gain opens a field: 12.5 and Return set 12.5 dB in one gesture;
    letters, an empty field and a value out of range are refused and change nothing."""
    editor = Editor(env, "--loop")
    editor.move(*GAIN)
    editor.xdotool("click", "--repeat", "2", "--delay", "80", "1")
    time.sleep(0.4)
    count = len(editor.output())
    editor.xdotool("key", "ctrl+a")
    editor.xdotool("type", "--delay", "40", "12.5")
    editor.xdotool("key", "Return")
    editor.wait_for(r"^release \d+ Gain$", count)
    lines = editor.output()[count:]
    seen = gestures(lines, "Gain")
    assert seen[0].startswith("touch ") and seen[-1].startswith("release "), seen
    assert texts(lines, "Gain")[-1].startswith("12.5"), seen

    for typed in ("abc", "75", ""):
        editor.move(*GAIN)
        editor.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        time.sleep(0.4)
        count = len(editor.output())
        editor.xdotool("key", "ctrl+a")
        if typed:
            editor.xdotool("type", "--delay", "40", typed)
        else:
            editor.xdotool("key", "BackSpace")
        editor.xdotool("key", "Return")
        time.sleep(0.6)
        refused = gestures(editor.output()[count:], "Gain")
        assert not [l for l in refused if l.startswith("set ")], (typed, refused)
    editor.close_cleanly()


def case_knob_menu(env, folder):
    """A right click on Gain offers Enter value… and Reset to default; the reset is one
    gesture back to 0 dB, and Enter value… opens the field."""
    editor = Editor(env, "--loop", "--set", "Gain=20")
    editor.move(*GAIN)
    count = len(editor.output())
    editor.xdotool("click", "3")
    time.sleep(0.4)
    editor.xdotool("key", "Down", "Down", "Return")
    editor.wait_for(r"^release \d+ Gain$", count)
    lines = editor.output()[count:]
    assert texts(lines, "Gain") and texts(lines, "Gain")[-1].startswith("0.0"), lines

    editor.move(*GAIN)
    editor.xdotool("click", "3")
    time.sleep(0.4)
    editor.xdotool("key", "Down", "Return")
    time.sleep(0.4)
    count = len(editor.output())
    editor.xdotool("key", "ctrl+a")
    editor.xdotool("type", "--delay", "40", "6")
    editor.xdotool("key", "Return")
    editor.wait_for(r"^release \d+ Gain$", count)
    assert texts(editor.output()[count:], "Gain")[-1].startswith("6.0"), editor.output()[count:]
    editor.close_cleanly()


def case_readout(env, folder):
    """Hovering Gain shows its name and value under the screen; moved away, it fades out."""
    editor = Editor(env, "--loop", "--set", "Gain=12")
    time.sleep(0.3)
    assert green_pixels(pixels(env, editor.window, READOUT)) == 0
    editor.move(*GAIN)
    time.sleep(0.4)
    shown = green_pixels(pixels(env, editor.window, READOUT))
    assert shown > 40, "the readout shows %d pixels of text" % shown
    keep = os.environ.get("CORVANE_X11_SHOTS")
    if keep:
        run(env, "import", "-window", editor.window, os.path.join(keep, "editor-readout.png"))
    editor.move(600, 20)
    time.sleep(2.0)
    gone = green_pixels(pixels(env, editor.window, READOUT))
    assert gone == 0, "%d pixels of the readout are left" % gone
    editor.close_cleanly()


def case_preset_menu(env, folder):
    """The preset selector loads Tube Drive as one gesture of every parameter it holds;
    Oversampling, which it does not name, is left alone."""
    editor = Editor(env, "--loop", "--set", "Oversampling=on")
    editor.move(*PRESETS)
    count = len(editor.output())
    editor.xdotool("click", "1")
    time.sleep(0.4)
    editor.xdotool("key", "Down", "Down", "Down", "Return")
    editor.wait_for(r"^release \d+ Output$", count)
    time.sleep(0.2)
    lines = [l for l in editor.output()[count:] if re.match(r"^(touch|set|release) ", l)]
    touches = [i for i, l in enumerate(lines) if l.startswith("touch ")]
    releases = [i for i, l in enumerate(lines) if l.startswith("release ")]
    assert len(touches) == 11 and len(releases) == 11, lines
    # All begun before any ends: one gesture for the host's undo.
    assert max(touches) < min(releases), lines
    assert texts(lines, "Gain")[-1].startswith("12.0"), lines
    assert not gestures(lines, "Oversampling"), lines
    keep = os.environ.get("CORVANE_X11_SHOTS")
    if keep:
        run(env, "import", "-window", editor.window, os.path.join(keep, "editor-preset.png"))
    editor.close_cleanly()


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    global HOST
    HOST = sys.argv[1]
    names = sys.argv[2:] or list(CASES)
    failed = 0
    for name in names:
        server = Server()
        folder = tempfile.mkdtemp(prefix="corvane-x11-")
        env = dict(os.environ, DISPLAY=server.display, XDG_CONFIG_HOME=folder)
        started = time.time()
        try:
            fn = CASES[name]
            if fn.__code__.co_argcount == 3:
                fn(env, folder, server)
            else:
                fn(env, folder)
            print("PASS %s (%.1f s)" % (name, time.time() - started))
        except Exception:
            failed += 1
            print("FAIL %s\n%s" % (name, traceback.format_exc()))
        finally:
            server.stop()
            shutil.rmtree(folder, ignore_errors=True)
        sys.stdout.flush()
    return failed


if __name__ == "__main__":
    sys.exit(main())
