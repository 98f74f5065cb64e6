#!/usr/bin/env python3
"""The module on a processor without AVX: corvane-host renders the demo, every stage active and
oversampled, once natively (the widest path this processor has) and once under an emulated plain
x86-64 processor (qemu's qemu64 model: SSE2, no AVX, no FMA), where only the scalar path can run.
Both renders must succeed and sound the same to the curve's tolerance.

    plain_x86_64_test.py CORVANE_HOST OUT_DIR
Exit status 77 (skipped) when qemu-x86_64 is not installed.
"""
import os
import shutil
import struct
import subprocess
import sys

SETTINGS = ["--set", "Mod A=50", "--set", "Mod B=50", "--set", "Threshold=-20",
            "--set", "Nonlinearity=1.1", "--set", "Knee=3", "--set", "Gain=12",
            "--set", "Oversampling=on"]


def samples(path):
    """The float64 samples of a WAV file corvane-host wrote (format 3, 64 bits)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit("%s: not a WAV file" % path)
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            if not fmt or fmt[0] not in (3, 0xFFFE) or fmt[5] != 64:
                raise SystemExit("%s: not float64 samples" % path)
            return struct.unpack("<%dd" % (len(body) // 8), body)
        pos += 8 + size + (size & 1)
    raise SystemExit("%s: no data chunk" % path)


def render(command, out, env):
    result = subprocess.run(command + ["render", "-o", out, "--format", "float64"] + SETTINGS,
                            env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                            timeout=900)
    if result.returncode != 0:
        raise SystemExit("%s failed (%d):\n%s%s" % (" ".join(command), result.returncode,
                                                   result.stdout, result.stderr))
    print(result.stdout.strip())


def main(argv):
    host, out_dir = argv[1], argv[2]
    qemu = shutil.which("qemu-x86_64")
    if not qemu:
        print("qemu-x86_64 is not installed")
        return 77
    os.makedirs(out_dir, exist_ok=True)
    env = dict(os.environ)
    env.pop("CORVANE_SIMD", None)
    native, plain = os.path.join(out_dir, "native.wav"), os.path.join(out_dir, "plain.wav")
    render([host], native, env)
    render([qemu, "-cpu", "qemu64", host], plain, env)
    a, b = samples(native), samples(plain)
    if len(a) != len(b) or not a:
        raise SystemExit("the renders differ in length: %d and %d samples" % (len(a), len(b)))
    worst = max(abs(x - y) / max(1.0, abs(y)) for x, y in zip(a, b))
    loudest = max(abs(x) for x in a)
    print("%d samples, peak %.3f; largest difference %.3g" % (len(a), loudest, worst))
    if loudest < 0.1:
        raise SystemExit("the render is silent")
    if worst > 1e-12:
        raise SystemExit("the plain processor's render differs by %.3g" % worst)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
