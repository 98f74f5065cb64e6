#!/usr/bin/env python3
"""Corvane's editor in jalv.gtk3, a host nobody here wrote, on a JACK server and an X server of
the test's own, driven as a user would with xdotool.

usage: jalv_ui_test.py LV2_PATH OUTPUT_DIR [--sanitized]
The editor must be a window inside jalv's; a drag on the Gain knob must turn it on screen and
change the gain of the plug-in jalv runs, which shows in the output level jalv reports for a
tone played through it (jalv prints the values of output ports only, and its GTK front end
takes no commands); the screenshots of jalv's window go to OUTPUT_DIR. Exits 0 when it passes,
1 when it fails and 77 (skipped) when jalv, JACK or the X tools cannot run here, saying why.
--sanitized: the bundle is a sanitized build, which jalv cannot load (skipped).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

URI = "http://pellumar.com/plugins/corvane#stereo"
TIMEOUT = 20.0
WIDTH, HEIGHT = 650, 400
# The Gain knob's centre, in the editor's pixels at zoom 1.
GAIN = (186, 300)
SKIP = 77


class Skip(Exception):
    pass


class Failure(Exception):
    pass


class Hang(Failure):
    """jalv (or the server under it) stopped answering or went away: tried again, up to
    ATTEMPTS times, since these hosts now and then hang for reasons of their own."""


ATTEMPTS = 3


def need(*tools):
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        raise Skip("not installed: " + " ".join(missing))


def wait_until(what, probe, timeout=TIMEOUT):
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    raise Hang("timed out waiting for " + what)


class Process:
    """A child whose output is collected line by line as it comes."""

    def __init__(self, args, env):
        self.lines = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True, errors="replace")
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def output(self):
        with self.lock:
            return list(self.lines)

    def alive(self):
        return self.process.poll() is None


def start_x_server():
    # Servers started side by side by other tests may race for a display number, and the loser
    # exits after announcing it: take a server only once a client has reached it.
    for _ in range(3):
        process, display = start_one_x_server()
        reached = subprocess.run(["xdpyinfo"], env=dict(os.environ, DISPLAY=display),
                                 stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        if reached.returncode == 0 and process.poll() is None:
            return process, display
        process.kill()
        process.wait()
    raise Skip("no Xvfb server could be reached")


def start_one_x_server():
    read, write = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            os.close(read)
            raise Skip("Xvfb did not start")
        number += chunk
    os.close(read)
    return process, ":" + number.decode().strip()


def run(args, env, check=True):
    try:
        result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=30)
    except subprocess.TimeoutExpired:
        raise Hang(" ".join(args) + " did not finish in 30 s")
    if check and result.returncode != 0:
        raise Failure("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                              result.stderr.strip()))
    return result.stdout


def window_tree(env, window):
    """Every window below this one: (id, width, height), from xwininfo's tree."""
    text = run(["xwininfo", "-tree", "-id", window], env)
    found = []
    for line in text.splitlines():
        match = re.match(r"\s*(0x[0-9a-f]+) .*?\s(\d+)x(\d+)[+-]\d+[+-]\d+", line)
        if match:
            found.append((match.group(1), int(match.group(2)), int(match.group(3))))
    # xwininfo -tree lists the children only: their own children come from asking each.
    below = []
    for child, w, h in found:
        below.append((child, w, h))
        below.extend(window_tree(env, child))
    return below


def jalv_window(env, jalv):
    def probe():
        if not jalv.alive():
            raise Hang("jalv.gtk3 exited:\n" + "\n".join(jalv.output()[-20:]))
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Corvane$"],
                                env=env, capture_output=True, text=True)
        ids = result.stdout.split()
        return ids[0] if ids else None
    return hex(int(wait_until("jalv's window", probe)))


def levels(jalv, symbol, after=0):
    """The values jalv reported for an output control port, from line `after` on."""
    values = []
    for line in jalv.output()[after:]:
        match = re.match(r"\s*%s\s*=\s*([-0-9.eE+]+)\s*$" % symbol, line)
        if match:
            values.append(float(match.group(1)))
    return values


def settled_level(jalv, symbol, what):
    """The level once it has stopped moving: the last reports agree to within 0.5 %."""
    def probe():
        recent = levels(jalv, symbol)[-10:]
        if len(recent) == 10 and recent[-1] > 0.0 and max(recent) - min(recent) < 0.005 * max(
                recent):
            return recent[-1]
        return None
    return wait_until(what, probe)


def screenshot(env, window, path):
    run(["import", "-window", window, path], env)
    return path


def pixels(env, window, geometry):
    """The raw RGB pixels of a rectangle of a window (x, y, w, h)."""
    x, y, w, h = geometry
    result = subprocess.run(["import", "-window", window, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                             "rgb:-"], env=env, capture_output=True, timeout=30)
    if result.returncode != 0:
        raise Failure("import failed: " + result.stderr.decode(errors="replace"))
    return result.stdout


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    for attempt in range(1, ATTEMPTS + 1):
        print("--- attempt %d of %d" % (attempt, ATTEMPTS))
        result = attempt_once(argv)
        if result != "hang":
            return result
    print("FAILED: jalv hung in every attempt")
    return 1


def attempt_once(argv):
    """0, 1 or SKIP; "hang" when jalv stopped answering (the caller tries again)."""
    lv2_path, out_dir = argv[1], argv[2]
    sanitized = "--sanitized" in argv[3:]
    need("jalv.gtk3", "jackd", "jack_wait", "jack_connect", "jack_simple_client", "Xvfb",
         "xdpyinfo", "xdotool", "xwininfo", "import")
    os.makedirs(out_dir, exist_ok=True)

    children = []
    jalv = None
    home = tempfile.mkdtemp(prefix="corvane-jalv-")
    try:
        if sanitized:
            # A sanitized module needs the sanitizer's runtime preloaded into jalv, and with it
            # jalv.gtk3 hangs in gtk_init on glibc's gettext lock, before it loads anything of
            # ours; lv2_ui_x11_tests loads the sanitized UI module instead.
            raise Skip("jalv.gtk3 cannot run with a sanitizer runtime preloaded")
        xserver, display = start_x_server()
        children.append(xserver)
        env = dict(os.environ)
        env.pop("LD_PRELOAD", None)
        env.update({
            "DISPLAY": display,
            "HOME": home,
            # No stored zoom: the editor opens at 1.
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_RUNTIME_DIR": home,
            # A server name of this run alone: tests running side by side never share one.
            "JACK_DEFAULT_SERVER": "corvane-lv2ui-%d" % os.getpid(),
            "JACK_NO_START_SERVER": "1",
            "LV2_PATH": lv2_path + ":/usr/lib/lv2",
            "NO_AT_BRIDGE": "1",
        })

        jackd = Process(["jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"],
                        env)
        children.append(jackd.process)
        if subprocess.run(["jack_wait", "-w", "-t", "10"], env=env, capture_output=True,
                          text=True).returncode != 0 or not jackd.alive():
            raise Skip("jackd cannot run here:\n" + "\n".join(jackd.output()[-10:]))

        jalv = Process(["jalv.gtk3", "--print-controls", "--jack-name", "Corvane", URI], env)
        children.append(jalv.process)

        top = jalv_window(env, jalv)
        # The deepest window of the editor's size: jalv wraps the editor's parent in its own.
        editor = wait_until("the editor inside jalv's window", lambda: ([
            w for w, width, height in window_tree(env, top) if (width, height) == (WIDTH, HEIGHT)]
            or [None])[-1])
        print("jalv's window %s holds the editor's window %s" % (top, editor))

        # A sine into the plug-in: the output meter jalv reports follows the gain.
        tone = Process(["jack_simple_client"], env)
        children.append(tone.process)
        wait_until("the tone's ports", lambda: subprocess.run(
            ["jack_connect", "jack_simple_client:output1", "Corvane:in_l"], env=env,
            capture_output=True).returncode == 0)
        run(["jack_connect", "jack_simple_client:output2", "Corvane:in_r"], env)
        before_level = settled_level(jalv, "meter_out_l", "the output level with the tone")
        print("output level before the drag: %.4f" % before_level)
        time.sleep(0.5)  # the meters' frames
        shot = screenshot(env, top, os.path.join(out_dir, "jalv-editor.png"))
        print("screenshot:", shot)
        knob = (GAIN[0] - 32, GAIN[1] - 32, 64, 64)
        before = pixels(env, editor, knob)
        if len(set(before)) < 8:
            raise Failure("the editor shows nothing where the Gain knob is")

        # The user drags the Gain knob upwards, in steps of a mouse's.
        mark = len(jalv.output())
        x, y = GAIN
        run(["xdotool", "mousemove", "--window", editor, str(x), str(y)], env)
        time.sleep(0.2)
        run(["xdotool", "mousedown", "1"], env)
        time.sleep(0.2)
        for _ in range(8):
            run(["xdotool", "mousemove_relative", "--", "0", "-6"], env)
            time.sleep(0.1)
        run(["xdotool", "mouseup", "1"], env)

        # About 11 dB more drive on a sine below the threshold: the level rises well clear of
        # the meter's ripple.
        wait_until("the output level to follow the gain", lambda: next(
            (v for v in levels(jalv, "meter_out_l", mark) if v > before_level * 1.5), None))
        after_level = settled_level(jalv, "meter_out_l", "the output level after the drag")
        print("output level after the drag: %.4f" % after_level)
        after = pixels(env, editor, knob)
        if after == before:
            raise Failure("the Gain knob did not turn on screen")
        shot = screenshot(env, top, os.path.join(out_dir, "jalv-editor-dragged.png"))
        print("screenshot:", shot)
        if not jalv.alive():
            raise Hang("jalv.gtk3 exited during the drag")
        return 0
    except Skip as skip:
        print("SKIPPED:", skip)
        return SKIP
    except Failure as failure:
        print("HUNG:" if isinstance(failure, Hang) else "FAILED:", failure)
        if jalv is not None:
            said = [line for line in jalv.output() if not line.startswith("meter_")]
            print("jalv.gtk3 said:\n  " + "\n  ".join(said[-30:]))
        return "hang" if isinstance(failure, Hang) else 1
    finally:
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
                try:
                    child.wait(5)
                except subprocess.TimeoutExpired:
                    child.kill()
                    child.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
