#!/usr/bin/env python3
"""What a user installs works without the build: the .deb unpacked into a scratch root, and the
user-folder install into a scratch home.

usage: install_test.py CPACK BUILD_DIR SOURCE_DIR WORK_DIR
The .deb must hold the tool, its module and both bundles in the places hosts look; nothing it
holds may name the build or the source tree; the installed tool must find its installed module
and render the demo bit for bit as the built one does; the installed LV2 bundle must pass
lv2_validate and be found on LV2_PATH; Ardour's scanner must list both plug-ins of the
installed VST3 bundle; the installed tool must validate the installed CLAP bundle.
`cmake --install --component user` must put the same into a home's ~/.lv2, ~/.vst3, ~/.clap
and ~/.local, and that tool must find its module there. Exits 0 when it
passes, 1 when it fails, 77 (skipped) when a tool it needs is missing.
"""
import filecmp
import glob
import os
import shutil
import subprocess
import sys
import time

SKIP = 77
SCANNER = "/usr/lib/ardour7/ardour-vst3-scanner"
URI = "http://pellumar.com/plugins/corvane#stereo"
STEREO_ID = "75D3206D9B6249C094F563AADE953B15"
MONO_ID = "B7178938DC2E40B6BAF1697A68708668"
MODULE = "lib/corvane/Corvane.aaxplugin/Contents/x86_64-linux/Corvane.so"
VST3_MODULE = "Corvane.vst3/Contents/x86_64-linux/Corvane.so"
CLAP_BUNDLE = "Corvane.clap"
LV2_FILES = ["corvane.so", "corvane_ui.so", "manifest.ttl", "corvane.ttl", "presets.ttl"]


class Failure(Exception):
    pass


def run(args, env=None, cwd=None, timeout=300):
    try:
        result = subprocess.run(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure(" ".join(args) + " did not finish in %d s" % timeout)
    if result.returncode != 0:
        raise Failure("%s failed (%d):\n%s%s" % (" ".join(args), result.returncode,
                                                 result.stdout[-2000:], result.stderr[-2000:]))
    return result.stdout + result.stderr


def expect(condition, message):
    if not condition:
        raise Failure(message)


def names_a_tree(root, trees):
    """The installed files whose bytes hold the path of one of the trees."""
    found = []
    needles = [t.encode() for t in trees]
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                data = f.read()
            found.extend("%s names %s" % (os.path.relpath(path, root), n.decode())
                         for n in needles if n in data)
    return found


def check_tool(prefix, build_dir, work, env):
    """The installed tool loads the installed module and renders as the built one does."""
    tool = os.path.join(prefix, "bin", "corvane-host")
    described = run([tool, "describe"], env=env)
    expected = os.path.join(prefix, MODULE)
    expect("module: " + expected in described,
           "the installed tool does not load the installed module:\n" + described)
    installed_out = os.path.join(work, "installed.wav")
    built_out = os.path.join(work, "built.wav")
    run([tool, "render", "-o", installed_out, "--set", "Gain=12"], env=env, cwd=work)
    run([os.path.join(build_dir, "bin", "corvane-host"), "render", "-o", built_out, "--set",
         "Gain=12"], env=env, cwd=work)
    expect(filecmp.cmp(installed_out, built_out, shallow=False),
           "the installed tool renders the demo otherwise than the built one")
    print("  %s: loads %s and renders the demo as the built tool does" % (tool, expected))


def check_lv2(lv2_dir, env):
    bundle = os.path.join(lv2_dir, "corvane.lv2")
    for name in LV2_FILES:
        expect(os.path.isfile(os.path.join(bundle, name)), "the LV2 bundle has no " + name)
    validated = run(["lv2_validate", os.path.join(bundle, "manifest.ttl"),
                     os.path.join(bundle, "corvane.ttl"), os.path.join(bundle, "presets.ttl")],
                    env=env)
    expect("Found 0 errors" in validated and "error:" not in validated,
           "lv2_validate finds faults in the installed bundle:\n" + validated)
    info = run(["lv2info", URI], env=dict(env, LV2_PATH=lv2_dir))
    expect(os.path.join(bundle, "corvane.so") in info,
           "lv2info does not find the plug-in in the installed bundle:\n" + info)
    print("  %s: passes lv2_validate, found on LV2_PATH" % bundle)


def check_vst3(vst3_dir, work, env):
    module = os.path.join(vst3_dir, VST3_MODULE)
    expect(os.path.isfile(module), "no VST3 module at " + module)
    home = os.path.join(work, "ardour-home")
    scan_env = dict(env, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"),
                    XDG_CONFIG_HOME=os.path.join(home, "config"), LD_LIBRARY_PATH="/usr/lib/ardour7")
    # The scanner keeps whole seconds: a module newer than its cache entry counts as unscanned.
    while time.time() - os.path.getmtime(module) < 1.1:
        time.sleep(0.1)
    run([SCANNER, "-f", "-v", os.path.join(vst3_dir, "Corvane.vst3")], env=scan_env)
    entries = glob.glob(os.path.join(home, "cache", "ardour7", "vst", "*.v3i"))
    expect(entries, "Ardour's scanner wrote no cache entry for the installed bundle")
    with open(entries[0]) as f:
        cache = f.read()
    for uid in (STEREO_ID, MONO_ID):
        expect('uid="%s"' % uid in cache, "Ardour's scanner does not list %s:\n%s" % (uid, cache))
    print("  %s: Ardour's scanner lists Corvane and Corvane Mono" % vst3_dir)


def check_clap(prefix, clap_dir, env):
    """The installed tool loads the installed CLAP bundle and passes it through its checks."""
    bundle = os.path.join(clap_dir, CLAP_BUNDLE)
    expect(os.path.isfile(bundle), "no CLAP bundle at " + bundle)
    tool = os.path.join(prefix, "bin", "corvane-host")
    for test in ("clap-describe", "clap-state"):
        checked = run([tool, "validate", "--module", bundle, "--only", test, "--strictness", "2"],
                      env=env)
        expect("1 passed, 0 failed" in checked,
               "the installed CLAP bundle fails %s:\n%s" % (test, checked))
    print("  %s: loads and passes the tool's CLAP checks" % bundle)


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    cpack, build_dir, source_dir, work = (os.path.abspath(a) for a in argv[1:])
    missing = [t for t in ("dpkg-deb", "lv2_validate", "lv2info", SCANNER)
               if shutil.which(t) is None and not os.path.exists(t)]
    if missing:
        print("SKIPPED: not installed: " + " ".join(missing))
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    try:
        print("the .deb:")
        packages = os.path.join(work, "packages")
        run([cpack, "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", packages],
            cwd=build_dir)
        debs = glob.glob(os.path.join(packages, "corvane_*_amd64.deb"))
        expect(len(debs) == 1, "cpack made %d .deb files" % len(debs))
        print("  " + os.path.basename(debs[0]))
        root = os.path.join(work, "root")
        run(["dpkg-deb", "-x", debs[0], root])
        usr = os.path.join(root, "usr")
        for path in ("bin/corvane-host", MODULE, "lib/vst3/" + VST3_MODULE,
                     "lib/clap/" + CLAP_BUNDLE,
                     "share/doc/corvane/README.md"):
            expect(os.path.isfile(os.path.join(usr, path)), "the .deb holds no usr/" + path)
        named = names_a_tree(root, [build_dir, source_dir])
        expect(not named, "installed files name the build machine's trees:\n  " +
               "\n  ".join(named))
        check_tool(usr, build_dir, work, env)
        check_lv2(os.path.join(usr, "lib", "lv2"), env)
        check_vst3(os.path.join(usr, "lib", "vst3"), work, env)
        check_clap(usr, os.path.join(usr, "lib", "clap"), env)

        print("the user's folders:")
        home = os.path.join(work, "home")
        os.makedirs(home)
        run(["cmake", "--install", build_dir, "--component", "user"], env=dict(env, HOME=home))
        check_tool(os.path.join(home, ".local"), build_dir, work, env)
        check_lv2(os.path.join(home, ".lv2"), env)
        expect(os.path.isfile(os.path.join(home, ".vst3", VST3_MODULE)),
               "no VST3 module in ~/.vst3")
        check_clap(os.path.join(home, ".local"), os.path.join(home, ".clap"), env)
        named = names_a_tree(home, [build_dir, source_dir])
        expect(not named, "installed files name the build machine's trees:\n  " +
               "\n  ".join(named))
        print("PASSED")
        return 0
    except Failure as failure:
        print("FAILED:", failure)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
