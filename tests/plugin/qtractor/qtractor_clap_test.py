#!/usr/bin/env python3
"""The CLAP Corvane in Qtractor, a host nobody here wrote, on a JACK server and an X server of
the test's own.

usage: qtractor_clap_test.py CLAP_BUNDLE SEQUENCER_STUB OUTPUT_DIR [--sanitized]
A session names the bundle on an audio track and holds a state image longer than the plug-in
writes (as a later version would): Qtractor loads the plug-in, activates it and hands it the
image. Saved by Qtractor (SIGUSR1), the session must hold the plug-in's own image again: the
first 96 bytes of the one it was given, which only the plug-in can have written. A screenshot of
Qtractor's window goes to OUTPUT_DIR. Qtractor will not start without the ALSA sequencer, which a
test machine lacks; SEQUENCER_STUB stands in for it. Exits 0 when it passes, 1 when it fails and
77 (skipped) when Qtractor, JACK or the X tools cannot run here, saying why. --sanitized: a
sanitized bundle, which Qtractor cannot load without the sanitizer's runtime (skipped).
"""
import base64
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "support"))
from xsession import (SKIP, Failure, Hang, Process, Skip, need, pixels, run,  # noqa: E402
                      screenshot, start_x_server, stop, wait_until, window_tree, with_attempts)

ATTEMPTS = 3
# The parameters in their order, as plain values on their steps: Threshold -12 dB, Nonlinearity
# 1.05, Knee 3 dB, Mod A 30 %, Gain 18 dB, Mix 70 %, Output -6 dB and oversampling on, which has
# the plug-in ask Qtractor for a restart while it loads the state.
VALUES = [-12.0, 0.0, 1.05, 0.0, 3.0, 0.0, 30.0, 0.0, 18.0, 70.0, -6.0, 1.0]
# Where the plug-in sits in the track's list of Qtractor's main window, at its default size.
PLUGIN_ITEM = (180, 180)
EDITOR_WIDTH, EDITOR_HEIGHT = 650, 400
# What a later version might append to the image; the plug-in must leave it out.
TAIL = b"\x7f" * 8


def qcompress(data):
    """Qt's qCompress: the length, big-endian, before the zlib stream."""
    return struct.pack(">I", len(data)) + zlib.compress(data)


def quncompress(data):
    (length,) = struct.unpack(">I", data[:4])
    out = zlib.decompress(data[4:])
    if len(out) != length:
        raise Failure("the saved state says %d bytes and holds %d" % (length, len(out)))
    return out


def session_text(folder, bundle, state):
    """A session as Qtractor writes one. Without its devices, the Master bus comes up after the
    track's plug-ins were made, and Qtractor then never activates them nor hands them their
    state."""
    return """<!DOCTYPE qtractorSession>
<session name="corvane" version="Qtractor 0.9.31">
 <properties>
  <directory>%s</directory>
  <sample-rate>48000</sample-rate>
  <tempo>120</tempo>
  <ticks-per-beat>960</ticks-per-beat>
  <beats-per-bar>4</beats-per-bar>
  <beat-divisor>2</beat-divisor>
 </properties>
 <files>
  <audio-list/>
  <midi-list/>
 </files>
 <devices>
  <audio-engine>
   <audio-control>
    <transport-mode>duplex</transport-mode>
    <timebase>1</timebase>
   </audio-control>
   <audio-bus name="Master" mode="duplex">
    <monitor>0</monitor>
    <channels>2</channels>
    <auto-connect>1</auto-connect>
    <input-gain>1</input-gain>
    <input-panning>0</input-panning>
    <input-plugins/>
    <input-connects/>
    <output-gain>1</output-gain>
    <output-panning>0</output-panning>
    <output-plugins/>
    <output-connects/>
   </audio-bus>
  </audio-engine>
  <midi-engine>
   <midi-bus name="Master" mode="duplex">
    <monitor>0</monitor>
    <input-plugins/>
    <input-connects/>
    <output-plugins/>
    <output-connects/>
   </midi-bus>
  </midi-engine>
 </devices>
 <tracks>
  <track type="audio" name="Audio 1">
   <properties>
    <input-bus>Master</input-bus>
    <output-bus>Master</output-bus>
   </properties>
   <state>
    <mute>0</mute>
    <solo>0</solo>
    <record>0</record>
    <monitor>1</monitor>
    <gain>1</gain>
    <panning>0</panning>
   </state>
   <clips/>
   <plugins>
    <plugin type="CLAP">
     <filename>%s</filename>
     <index>0</index>
     <label>Corvane</label>
     <preset/>
     <direct-access-param>-1</direct-access-param>
     <activated>1</activated>
     <configs>
      <config key="state">%s</config>
     </configs>
    </plugin>
   </plugins>
  </track>
 </tracks>
</session>
""" % (folder, bundle, base64.b64encode(qcompress(state)).decode())


def saved_state(path):
    with open(path) as f:
        text = f.read()
    match = re.search(r'<plugin type="CLAP">.*?<config key="state">([^<]*)</config>', text, re.S)
    if not match:
        raise Failure("the saved session holds no state for the plug-in:\n" + text[-2000:])
    return quncompress(base64.b64decode(match.group(1)))


def open_session(env, stub, session, children):
    """Qtractor on the session, once its main window is up and the track's plug-ins are made."""
    qtractor = Process(["qtractor", session], dict(env, LD_PRELOAD=stub))
    children.append(qtractor.process)

    def window():
        if not qtractor.alive():
            raise Hang("Qtractor exited:\n" + "\n".join(qtractor.output()[-20:]))
        # Qtractor names its main window after the session's file (and a dash no regular
        # expression of xdotool's gets across).
        found = run(["xdotool", "search", "--name", "corvane\\.qtr"], env, check=False).split()
        return found[0] if found else None
    top = wait_until("Qtractor's window with the session", window, timeout=40)
    # The plug-ins are activated and given their state as the session opens, after the window.
    time.sleep(3)
    return qtractor, top


def save_session(qtractor, session):
    """Has Qtractor save the session (SIGUSR1, no dialog); the plug-in's state it saved."""
    mtime = os.path.getmtime(session)
    qtractor.process.send_signal(signal.SIGUSR1)
    wait_until("Qtractor to save the session",
               lambda: os.path.getmtime(session) != mtime or None, timeout=20)
    time.sleep(0.5)
    if not qtractor.alive():
        raise Hang("Qtractor exited as it saved")
    return saved_state(session)


def check_reported_values(session):
    """The parameter values Qtractor read from the plug-in and saved beside its state."""
    with open(session) as f:
        text = f.read()
    reported = {int(i): float(v) for i, v in re.findall(
        r'<param [^>]*index="(\d+)"[^>]*>([^<]*)</param>', text)}
    if len(reported) < 11:
        raise Failure("Qtractor saved %d parameter values: %s" % (len(reported), reported))
    wrong = {i: v for i, v in reported.items() if abs(v - VALUES[i]) > 1e-6}
    if wrong:
        raise Failure("the plug-in reported %s to Qtractor where the state holds %s" % (
            wrong, {i: VALUES[i] for i in wrong}))


def main(argv):
    if len(argv) < 4:
        print(__doc__)
        return 2
    return with_attempts(attempt_once, argv, "Qtractor", ATTEMPTS)


def attempt_once(argv):
    """0, 1 or SKIP; "hang" when Qtractor stopped answering (the caller tries again)."""
    bundle, stub, out_dir = os.path.abspath(argv[1]), os.path.abspath(argv[2]), argv[3]
    children = []
    qtractor = None
    home = tempfile.mkdtemp(prefix="corvane-qtractor-")
    try:
        if "--sanitized" in argv[4:]:
            raise Skip("Qtractor cannot load a sanitized bundle without the sanitizer's runtime")
        need("qtractor", stub, "jackd", "jack_wait", "Xvfb", "xdpyinfo", "xdotool", "xwininfo",
             "import")
        os.makedirs(out_dir, exist_ok=True)
        config = os.path.join(home, "config", "rncbc.org")
        os.makedirs(config)
        with open(os.path.join(config, "Qtractor.conf"), "w") as f:
            # No autosave and no capture of standard error: what the plug-in logs stays ours.
            f.write("[AutoSave]\nEnabled=false\n\n[Display]\nStdoutCapture=false\n")
        image = struct.pack("<12d", *VALUES)
        session = os.path.join(home, "corvane.qtr")
        with open(session, "w") as f:
            f.write(session_text(home, bundle, image + TAIL))

        xserver, display = start_x_server("1600x1000")
        children.append(xserver)
        env = dict(os.environ)
        env.pop("LD_PRELOAD", None)
        env.update({
            "DISPLAY": display,
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_CACHE_HOME": os.path.join(home, "cache"),
            "XDG_RUNTIME_DIR": home,
            "JACK_DEFAULT_SERVER": "corvane-qtractor-%d" % os.getpid(),
            "JACK_NO_START_SERVER": "1",
            "JACK_NO_AUDIO_RESERVATION": "1",
            "NO_AT_BRIDGE": "1",
        })
        jackd = Process(["jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"],
                        env)
        children.append(jackd.process)
        if subprocess.run(["jack_wait", "-w", "-t", "10"], env=env, capture_output=True,
                          timeout=15).returncode != 0 or not jackd.alive():
            raise Skip("jackd cannot run here:\n" + "\n".join(jackd.output()[-10:]))

        qtractor, top = open_session(env, stub, session, children)
        saved = save_session(qtractor, session)
        shutil.copy(session, os.path.join(out_dir, "saved.qtr"))
        shot = screenshot(env, top, os.path.join(out_dir, "qtractor-session.png"))
        print("screenshot:", shot)
        if saved != image:
            raise Failure("Qtractor saved %d bytes of state, %s; the plug-in's image is %s" % (
                len(saved), saved.hex(), image.hex()))
        print("Qtractor kept the plug-in's 96-byte image (given %d bytes)" % len(image + TAIL))
        check_reported_values(session)

        # Reopened from what Qtractor saved, and saved again: every value is still there.
        qtractor.process.terminate()
        try:
            qtractor.process.wait(20)
        except subprocess.TimeoutExpired:
            raise Hang("Qtractor did not quit with nothing left unsaved")
        qtractor, top = open_session(env, stub, session, children)
        resaved = save_session(qtractor, session)
        if resaved != image:
            raise Failure("reopened and saved again, the state is %s, not %s" % (
                resaved.hex(), image.hex()))
        check_reported_values(session)
        print("reopened and saved again: the same image and values")
        refusals = [l for l in qtractor.output() if "refused" in l]
        if refusals:
            raise Failure("the plug-in refused calls of Qtractor's:\n  " + "\n  ".join(refusals))

        # A double click on the plug-in in the track's list opens its editor: Corvane's window,
        # at its size, inside a window of Qtractor's.
        run(["xdotool", "mousemove", "--window", top, str(PLUGIN_ITEM[0]), str(PLUGIN_ITEM[1]),
             "click", "--repeat", "2", "--delay", "80", "1"], env)

        def editor():
            if not qtractor.alive():
                raise Hang("Qtractor exited as the editor opened")
            roots = run(["xdotool", "search", "--name", "Corvane"], env, check=False).split()
            for root in roots:
                for w, width, height in [(root, 0, 0)] + window_tree(env, hex(int(root))):
                    if (width, height) == (EDITOR_WIDTH, EDITOR_HEIGHT):
                        return root, w
            return None
        frame, view = wait_until("Corvane's editor in Qtractor", editor)
        time.sleep(1.0)  # a few display ticks
        shot = screenshot(env, frame, os.path.join(out_dir, "qtractor-editor.png"))
        print("the editor %s opened in Qtractor's window %s; screenshot: %s" % (view, frame, shot))
        if len(set(pixels(env, view, (150, 260, 80, 80)))) < 8:
            raise Failure("the editor shows nothing where the Gain knob is")
        return 0
    except Skip as skip:
        print("SKIPPED:", skip)
        return SKIP
    except Failure as failure:
        print("HUNG:" if isinstance(failure, Hang) else "FAILED:", failure)
        if qtractor is not None:
            print("Qtractor said:\n  " + "\n  ".join(qtractor.output()[-30:]))
        return "hang" if isinstance(failure, Hang) else 1
    finally:
        stop(children)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
