#!/usr/bin/env python3
"""Corvane's VST3 editor in Ardour 7.3's GUI, on an X server of the test's own, driven with the
mouse as a user would.

usage: ardour_gui_test.py VST3_DIR OUTPUT_DIR [--sanitizer-runtime LIB] [--keep]
Ardour scans the bundle in VST3_DIR, opens a session with Corvane on a track playing a tone,
and shows the plug-in's editor when its entry in the mixer strip is double-clicked. The editor
must be a window inside Ardour's plug-in window; a drag on the Gain knob must turn it on
screen and move Ardour's own Gain parameter (read from the session Ardour writes back every
second); the window must close and reopen 20 times while the transport plays, and come back
drawn each time; Ardour must save and quit cleanly with the plug-in's values in the session.
Screenshots go to OUTPUT_DIR. With --sanitizer-runtime the bundle is a sanitized build: the
runtime is preloaded into Ardour, and every leak or error report whose stack reaches the
module fails the test (Ardour's own reports are counted and ignored). Exits 0 when it
passes, 1 when it fails and 77 (skipped) when Ardour or the X tools cannot run here.

Ardour takes no keys without a window manager, so everything is done with the mouse, at the
places Ardour 7.3 lays its buttons out on a 1600 x 1000 screen; the test checks after each
click that the click did what it was for, and says which one did not.
"""
import glob
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "support"))
from xsession import (SKIP, Failure, Hang, Process, Skip, drag, is_mapped, need,  # noqa: E402
                      pixels, run, screenshot, start_x_server, stop, visible_window,
                      wait_until, window_tree)

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARY = "/usr/lib/ardour7"
SCANNER = os.path.join(LIBRARY, "ardour-vst3-scanner")
SCREEN = "1600x1000"
EDITOR = (650, 400)
GAIN = (186, 300)  # the Gain knob's centre in the editor, at zoom 1
RATE = 48000
TONE_SECONDS = 240  # longer than the test: the transport never reaches the session's end
CYCLES = 20
ATTEMPTS = 2
SESSION = "corvane-gui"

# Where Ardour 7.3 puts what the test clicks, in screen pixels, with its main window at the
# top left of a 1600 x 1000 screen.
MIX_BUTTON = (1326, 73)
PLAY_BUTTON = (157, 43)
STRIP_ENTRY = (331, 207)  # the first processor of the first strip in the mixer
CLOCK = (665, 30, 150, 26)  # the secondary (timecode) clock's digits
SESSION_MENU = (29, 12)
SAVE_ITEM = (41, 113)
QUIT_ITEM = (39, 494)
# Where the plug-in window is moved so that it hides none of the above.
PARKED = (700, 420)

CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="periodic-safety-backups" value="1"/>
    <Option name="periodic-safety-backup-interval" value="1"/>
    <Option name="check-announcements" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device=""
               output-device="" sample-rate="48000" buffer-size="1024" n-periods="0"
               input-latency="0" output-latency="0" lm-input="" lm-output="" active="1"
               use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
"""


def click(env, where, count=1):
    run(["xdotool", "mousemove", str(where[0]), str(where[1])], env)
    time.sleep(0.2)
    run(["xdotool", "click", "--repeat", str(count), "--delay", "80", "1"], env)


def gain_in_session(path):
    """Ardour's Gain parameter of the plug-in, as the session file at `path` holds it."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return None
    match = re.search(r'<Controllable name="Gain" [^>]*value="([-0-9.eE+]+)"', text)
    return float(match.group(1)) if match else None


def settled(read, quiet, timeout):
    """What `read` returns once it has returned the same for `quiet` seconds."""
    deadline = time.time() + timeout
    value, since = read(), time.time()
    while time.time() < deadline:
        time.sleep(0.2)
        now = read()
        if now != value:
            value, since = now, time.time()
        elif value is not None and time.time() - since >= quiet:
            return value
    raise Hang("timed out waiting for Ardour's Gain parameter to settle (last %s)" % value)


def write_tone(path, seconds, frequency, level):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        period = RATE // math.gcd(RATE, frequency)
        cycle = b"".join(struct.pack("<h", int(32767 * level * math.sin(
            2 * math.pi * frequency * i / RATE))) for i in range(period))
        w.writeframes(cycle * (seconds * RATE // period))


def make_session(env, root, vst3_dir, runtime):
    """Scans the bundle and makes the session: Corvane on track "T", a tone on the track."""
    module = glob.glob(os.path.join(vst3_dir, "Corvane.vst3", "Contents", "*", "Corvane.so"))
    if not module:
        raise Failure("no Corvane.vst3 module in " + vst3_dir)
    # The scanner keeps whole seconds: a module newer than its cache entry counts as unscanned.
    while time.time() - os.path.getmtime(module[0]) < 1.1:
        time.sleep(0.1)
    scan_env = dict(env, LD_LIBRARY_PATH=LIBRARY)
    if runtime:
        # A sanitized module loads only where the runtime came first; these tools' own leaks
        # are none of this test's business.
        scan_env.update(LD_PRELOAD=runtime, ASAN_OPTIONS="detect_leaks=0")
    bundle = os.path.join(vst3_dir, "Corvane.vst3")
    if not runtime:
        run([SCANNER, "-f", "-v", bundle], scan_env, timeout=120)
    else:
        # With the runtime preloaded the scanner hangs in its exit, in a library's destructor
        # waiting on glibc's locale lock, after it has written its cache: the cache entry is
        # the end of the scan.
        scanner = Process([SCANNER, "-f", "-v", bundle], scan_env)
        cache = os.path.join(env["XDG_CACHE_HOME"], "ardour7", "vst", "*.v3i")
        try:
            wait_until("the scanner's cache entry", lambda: scanner.alive() is False or glob.glob(
                cache), 120)
            time.sleep(0.5)
        finally:
            stop([scanner.process])
        if not glob.glob(cache):
            raise Failure("the scanner wrote no cache entry:\n" + "\n".join(scanner.output()))
    session_dir = os.path.join(root, SESSION)
    lua_env = dict(scan_env, SESSION_DIR=session_dir, SESSION_NAME=SESSION, PLUGIN_TYPE="VST3",
                   PLUGIN_URI="Corvane", PARAMS="", RUN_BEFORE_SAVE="1")
    lua_env.pop("LD_LIBRARY_PATH")
    run(["ardour7-lua", os.path.join(HERE, "create_session.lua")], lua_env, timeout=120)
    audio = os.path.join(session_dir, "interchange", SESSION, "audiofiles")
    os.makedirs(audio, exist_ok=True)
    names = []
    for channel, frequency in ((0, 220), (1, 330)):
        name = "tone-%d.wav" % channel
        write_tone(os.path.join(audio, name), TONE_SECONDS, frequency, 0.3)
        names.append(name)
    run([sys.executable, os.path.join(HERE, "place_take.py"), session_dir, SESSION, "T",
         str(TONE_SECONDS * RATE)] + names, env)
    return session_dir


def check_runtime_runs_ardour(env, runtime, root):
    """Ardour's programs with the runtime preloaded, on a script that does nothing: on Debian
    12 they deadlock in ARDOUR::init, in bindtextdomain on glibc's locale lock, before any
    plug-in is loaded. Nothing of the module can be checked there, so the test is skipped."""
    script = os.path.join(root, "nothing.lua")
    with open(script, "w") as f:
        f.write("print('ready')\n")
    probe_env = dict(env, LD_PRELOAD=runtime, ASAN_OPTIONS="detect_leaks=0")
    try:
        result = subprocess.run(["ardour7-lua", script], env=probe_env, capture_output=True,
                                text=True, timeout=30, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise Skip("Ardour's programs hang at start with a sanitizer's runtime preloaded "
                   "(ardour7-lua on an empty script did not finish in 30 s); the release "
                   "bundle runs this test, and the validator runs the sanitized editor")
    if result.returncode != 0:
        raise Skip("ardour7-lua fails with a sanitizer's runtime preloaded: " +
                   result.stderr.strip()[-300:])


def module_reports(log_dir):
    """The sanitizer's reports, split into those whose stacks reach our module and the rest."""
    ours, theirs = [], []
    for path in sorted(glob.glob(os.path.join(log_dir, "sanitizer.*"))):
        with open(path, errors="replace") as f:
            text = f.read()
        # A leak report is a run of "Direct/Indirect leak of" blocks; any other report is one
        # block on its own.
        blocks = re.split(r"\n(?=(?:Direct|Indirect) leak of )", text)
        for block in blocks:
            if not re.search(r"ERROR: |leak of |runtime error", block):
                continue
            (ours if "Corvane.so" in block else theirs).append(block.strip())
    return ours, theirs


def attempt_once(vst3_dir, out_dir, runtime):
    """0, 1 or SKIP; "hang" when Ardour stopped answering (the caller tries again)."""
    need("ardour", "ardour7-lua", SCANNER, "Xvfb", "xdpyinfo", "xdotool", "xwininfo", "import")
    children = []
    ardour = None
    env = dict(os.environ)
    root = tempfile.mkdtemp(prefix="corvane-ardour-gui-")
    try:
        home = os.path.join(root, "home")
        config = os.path.join(home, "config", "ardour7")
        os.makedirs(config)
        with open(os.path.join(config, "config"), "w") as f:
            f.write(CONFIG)
        # Its presence tells Ardour that its first-run dialog has been seen.
        open(os.path.join(config, ".a7"), "w").close()
        env.pop("LD_PRELOAD", None)
        env.update({
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_CACHE_HOME": os.path.join(home, "cache"),
            "XDG_DATA_HOME": os.path.join(home, "data"),
            "XDG_RUNTIME_DIR": home,
            "VST3_PATH": vst3_dir,
            "NO_AT_BRIDGE": "1",
        })
        if runtime:
            check_runtime_runs_ardour(env, runtime, root)
        session_dir = make_session(env, root, vst3_dir, runtime)
        session_file = os.path.join(session_dir, SESSION + ".ardour")
        pending_file = os.path.join(session_dir, SESSION + ".pending")
        gain_before = gain_in_session(session_file)
        if gain_before is None:
            raise Failure("the new session holds no Gain parameter of the plug-in")

        xserver, display = start_x_server(SCREEN)
        children.append(xserver)
        env["DISPLAY"] = display
        ardour_env = dict(env)
        log_dir = os.path.join(root, "sanitizer")
        if runtime:
            os.makedirs(log_dir)
            ardour_env["LD_PRELOAD"] = runtime
            # Ardour is no sanitized program: only reports are wanted from it, not stops on
            # what its own code does with its allocations.
            ardour_env["ASAN_OPTIONS"] = (
                "detect_leaks=1:log_path=%s:alloc_dealloc_mismatch=0:"
                "new_delete_type_mismatch=0:detect_odr_violation=0:halt_on_error=0:"
                "fast_unwind_on_malloc=0:malloc_context_size=30" % os.path.join(
                    log_dir, "sanitizer"))
            ardour_env["UBSAN_OPTIONS"] = "print_stacktrace=1:log_path=%s" % os.path.join(
                log_dir, "sanitizer")
        ardour = Process(["ardour", "-n", "-a", session_dir], ardour_env, cwd=root)
        children.append(ardour.process)

        def alive():
            if not ardour.alive():
                raise Hang("Ardour exited:\n" + "\n".join(ardour.output()[-20:]))

        def main_window():
            alive()
            return visible_window(env, "^%s - Ardour" % SESSION)
        top = wait_until("Ardour's main window", main_window, 120)
        # The session was made headless: Ardour says once that its device has changed. The
        # dialog is the one visible window besides the main one with an OK button at its
        # bottom right; it goes when any of it is clicked with Return... which needs keys, so
        # its button is clicked.
        time.sleep(3)
        dialog = visible_window(env, "^Ardour$|Engine")
        if dialog is not None and dialog != top:
            geometry = run(["xdotool", "getwindowgeometry", dialog], env)
            x, y = map(int, re.search(r"Position: (-?\d+),(-?\d+)", geometry).groups())
            w, h = map(int, re.search(r"Geometry: (\d+)x(\d+)", geometry).groups())
            click(env, (x + w - 55, y + h - 25))
            time.sleep(2)
        screenshot(env, "root", os.path.join(out_dir, "ardour-main.png"))

        click(env, MIX_BUTTON)
        time.sleep(2)
        clock = pixels(env, "root", CLOCK)
        click(env, PLAY_BUTTON)
        wait_until("the transport to roll (the clock to move)",
                   lambda: pixels(env, "root", CLOCK) != clock, 10)

        def open_editor(what):
            click(env, STRIP_ENTRY, 2)

            def probe():
                alive()
                return visible_window(env, r"^T: Corvane \(by Pellumar\)")
            return wait_until(what, probe, 30)
        window = open_editor("the plug-in window after a double-click on Corvane in the strip")
        run(["xdotool", "windowmove", window, str(PARKED[0]), str(PARKED[1])], env)
        editor = wait_until("the editor inside Ardour's plug-in window", lambda: ([
            w for w, width, height in window_tree(env, window) if (width, height) == EDITOR]
            or [None])[-1])
        print("Ardour's plug-in window %s holds the editor's window %s" % (window, editor))
        time.sleep(1.5)  # the first frames
        shot = screenshot(env, window, os.path.join(out_dir, "ardour-vst3-editor.png"))
        print("screenshot:", shot)
        knob = (GAIN[0] - 32, GAIN[1] - 32, 64, 64)
        before = pixels(env, editor, knob)
        if len(set(before)) < 8:
            raise Failure("the editor shows nothing where the Gain knob is")

        drag(env, editor, GAIN, 10)
        wait_until("Ardour's Gain parameter to follow the drag", lambda: (
            lambda v: v is not None and v > gain_before + 3.0)(
                gain_in_session(pending_file)), 30)
        # Under load Ardour's backup can be written while the drag's last moves are still on
        # their way, so the value is taken once it has held for a few backups.
        gain_after = settled(lambda: gain_in_session(pending_file), 3.0, 30)
        print("Ardour's Gain parameter: %g before the drag, %g after" % (gain_before,
                                                                         gain_after))
        turned = pixels(env, editor, knob)
        if turned == before:
            raise Failure("the Gain knob did not turn on screen")
        screenshot(env, window, os.path.join(out_dir, "ardour-vst3-editor-dragged.png"))

        # Close and reopen while the transport plays: the editor must come back drawn as it
        # was, the knob where the drag left it.
        for cycle in range(1, CYCLES + 1):
            click(env, STRIP_ENTRY, 2)
            wait_until("the plug-in window to close (cycle %d)" % cycle,
                       lambda: alive() or not is_mapped(env, window), 30)
            time.sleep(0.3)
            open_editor("the plug-in window to reopen (cycle %d)" % cycle)
            time.sleep(0.7)
            editors = [w for w, width, height in window_tree(env, window)
                       if (width, height) == EDITOR]
            if not editors:
                raise Failure("cycle %d: the reopened window holds no editor" % cycle)
            shown = pixels(env, editors[-1], knob)
            if shown != turned:
                screenshot(env, window, os.path.join(out_dir, "ardour-vst3-cycle-%d.png" %
                                                     cycle))
                raise Failure("cycle %d: the reopened editor does not show the Gain knob as "
                              "it was" % cycle)
        clock = pixels(env, "root", CLOCK)
        time.sleep(1.2)
        if pixels(env, "root", CLOCK) == clock:
            raise Failure("the transport stopped during the cycles")
        print("closed and reopened %d times while playing" % CYCLES)
        reopened = gain_in_session(pending_file)
        if reopened is None or abs(reopened - gain_after) > 1e-9:
            raise Failure("Ardour's Gain parameter moved from %g to %s while the editor was "
                          "closed and reopened" % (gain_after, reopened))
        screenshot(env, window, os.path.join(out_dir, "ardour-vst3-editor-reopened.png"))

        click(env, SESSION_MENU)
        time.sleep(1)
        click(env, SAVE_ITEM)
        try:
            wait_until("the saved session to hold the new Gain", lambda: (
                lambda v: v is not None and abs(v - gain_after) < 1e-9)(
                    gain_in_session(session_file)), 30)
        except Hang as hang:
            raise Hang("%s (the session file holds %s, the pending one %s)" % (
                hang, gain_in_session(session_file), gain_in_session(pending_file)))
        click(env, SESSION_MENU)
        time.sleep(1)
        click(env, QUIT_ITEM)
        try:
            code = ardour.process.wait(90)
        except subprocess.TimeoutExpired:
            raise Hang("Ardour did not quit")
        if code != 0:
            raise Failure("Ardour quit with %d:\n%s" % (code, "\n".join(ardour.output()[-20:])))
        print("Ardour saved and quit; the session holds Gain %g" % gain_in_session(
            session_file))

        if runtime:
            ours, theirs = module_reports(log_dir)
            print("sanitizer reports: %d reaching the module, %d of Ardour's own (ignored)" %
                  (len(ours), len(theirs)))
            if ours:
                raise Failure("the sanitizer reports faults in the module:\n\n" +
                              "\n\n".join(ours[:5]))
        return 0
    except Skip as skip:
        print("SKIPPED:", skip)
        return SKIP
    except Failure as failure:
        print("HUNG:" if isinstance(failure, Hang) else "FAILED:", failure)
        if "DISPLAY" in env:
            try:
                screenshot(env, "root", os.path.join(out_dir, "ardour-failure.png"))
            except Failure:
                pass
        if ardour is not None:
            print("Ardour said:\n  " + "\n  ".join(ardour.output()[-30:]))
        return "hang" if isinstance(failure, Hang) else 1
    finally:
        stop(children)
        if "--keep" not in sys.argv:
            shutil.rmtree(root, ignore_errors=True)
        else:
            print("kept:", root)


def main(argv):
    args = [a for a in argv[1:] if a != "--keep"]
    runtime = None
    if "--sanitizer-runtime" in args:
        at = args.index("--sanitizer-runtime")
        runtime = args[at + 1]
        del args[at:at + 2]
    if len(args) != 2:
        print(__doc__)
        return 2
    vst3_dir, out_dir = (os.path.abspath(a) for a in args)
    os.makedirs(out_dir, exist_ok=True)
    for attempt in range(1, ATTEMPTS + 1):
        print("--- attempt %d of %d" % (attempt, ATTEMPTS))
        result = attempt_once(vst3_dir, out_dir, runtime)
        if result != "hang":
            return result
    print("FAILED: Ardour hung in every attempt")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
