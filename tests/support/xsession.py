"""What the scripts that drive a real host's GUI share: an X server of their own, children whose
output is kept, xdotool and xwininfo calls with a time limit, and the outcomes (a skip, a
failure, a hang worth another attempt)."""
import os
import re
import shutil
import subprocess
import threading
import time

SKIP = 77
TIMEOUT = 20.0


class Skip(Exception):
    pass


class Failure(Exception):
    pass


class Hang(Failure):
    """The host (or a server under it) stopped answering or went away: worth another attempt,
    since these hosts now and then hang for reasons of their own."""


def with_attempts(attempt_once, argv, host, attempts=3):
    """attempt_once(argv) until it passes, fails or skips: a "hang" is tried again, and only
    a host that hung in every attempt fails the test."""
    for attempt in range(1, attempts + 1):
        print("--- attempt %d of %d" % (attempt, attempts))
        result = attempt_once(argv)
        if result != "hang":
            return result
    print("FAILED: %s hung in every attempt" % host)
    return 1


def need(*tools):
    missing = [tool for tool in tools if shutil.which(tool) is None and not os.path.exists(tool)]
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

    def __init__(self, args, env, cwd=None):
        self.lines = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
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


def start_x_server(size="1280x1024"):
    # Servers started side by side by other tests may race for a display number, and the loser
    # exits after announcing it: take a server only once a client has reached it.
    for _ in range(3):
        process, display = _start_one_x_server(size)
        reached = subprocess.run(["xdpyinfo"], env=dict(os.environ, DISPLAY=display),
                                 stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        if reached.returncode == 0 and process.poll() is None:
            return process, display
        process.kill()
        process.wait()
    raise Skip("no Xvfb server could be reached")


def _start_one_x_server(size):
    read, write = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", size + "x24", "-nolisten", "tcp"],
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


def run(args, env, check=True, timeout=30):
    try:
        result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Hang(" ".join(args) + " did not finish in %d s" % timeout)
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


def visible_window(env, name):
    """The first mapped window whose name matches the regular expression, or None."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=env,
                            capture_output=True, text=True, timeout=30)
    ids = result.stdout.split()
    return hex(int(ids[0])) if ids else None


def is_mapped(env, window):
    return "IsViewable" in run(["xwininfo", "-id", window], env)


def screenshot(env, window, path):
    run(["import", "-window", window, path], env)
    return path


def pixels(env, window, geometry):
    """The raw RGB pixels of a rectangle of a window (x, y, w, h)."""
    x, y, w, h = geometry
    args = ["import", "-window", window, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "rgb:-"]
    try:
        result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=30)
    except subprocess.TimeoutExpired:
        raise Hang(" ".join(args) + " did not finish in 30 s")
    if result.returncode != 0:
        raise Failure("import failed: " + result.stderr.decode(errors="replace"))
    return result.stdout


def drag(env, window, start, steps, step=(0, -6)):
    """A left-button drag as a hand makes it: press, move in small steps, release."""
    run(["xdotool", "mousemove", "--window", window, str(start[0]), str(start[1])], env)
    time.sleep(0.2)
    run(["xdotool", "mousedown", "1"], env)
    time.sleep(0.2)
    for _ in range(steps):
        run(["xdotool", "mousemove_relative", "--", str(step[0]), str(step[1])], env)
        time.sleep(0.1)
    run(["xdotool", "mouseup", "1"], env)


def stop(children):
    for child in reversed(children):
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
