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
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "support"))
from xsession import (SKIP, Failure, Hang, Process, Skip, drag, need, pixels, run,  # noqa: E402
                      screenshot, start_x_server, stop, visible_window, wait_until,
                      window_tree, with_attempts)

URI = "http://pellumar.com/plugins/corvane#stereo"
# A factory preset as the bundle names it, and the selector's plate that shows its name.
PRESET = URI + "-preset-tube-drive"
PLATE = (250, 12, 150, 21)
WIDTH, HEIGHT = 650, 400
# The Gain knob's centre, in the editor's pixels at zoom 1.
GAIN = (186, 300)
ATTEMPTS = 3


def jalv_window(env, jalv, title="^Corvane$"):
    def probe():
        if not jalv.alive():
            raise Hang("jalv.gtk3 exited:\n" + "\n".join(jalv.output()[-20:]))
        return visible_window(env, title)
    return wait_until("jalv's window", probe)


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


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    return with_attempts(attempt_once, argv, "jalv", ATTEMPTS)


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
        plate = pixels(env, editor, PLATE)

        # The user drags the Gain knob upwards, in steps of a mouse's.
        mark = len(jalv.output())
        drag(env, editor, GAIN, 8)

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

        # jalv again, loading a factory preset by its URI: the editor opens on its values, the
        # Gain knob turned to 12 dB and the selector naming it.
        jalv.process.terminate()
        jalv.process.wait(10)
        jalv = Process(["jalv.gtk3", "--print-controls", "--jack-name", "Corvane", "--preset",
                        PRESET, URI], env)
        children.append(jalv.process)
        # jalv names its window after the preset it loaded.
        top = jalv_window(env, jalv, "^Corvane")
        editor = wait_until("the editor with the preset", lambda: ([
            w for w, width, height in window_tree(env, top) if (width, height) == (WIDTH, HEIGHT)]
            or [None])[-1])
        time.sleep(0.5)
        if pixels(env, editor, PLATE) == plate:
            raise Failure("the preset selector shows no preset after jalv loaded one")
        if pixels(env, editor, knob) == before:
            raise Failure("the Gain knob stands where it did without the preset")
        shot = screenshot(env, top, os.path.join(out_dir, "jalv-editor-preset.png"))
        print("screenshot with the preset:", shot)
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
        stop(children)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
