#!/usr/bin/env python3
"""place_take.py SESSION_DIR SESSION_NAME TRACK FRAMES FILE [FILE...]

Ardour 7 has no headless import. This puts mono files that are already in the session's
interchange/<session folder>/audiofiles folder onto a track from position 0, as one region, the way
Ardour writes a recorded take: one source per file, the whole-file region, the playlist's
region (with its fades off, so that no sample is changed), and the session range. The session
must be closed.
"""
import sys
import xml.etree.ElementTree as ET

SUPERCLOCK = 282240000  # Ardour 7's position ticks per second


def main():
    session_dir, name, track, frames = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    files = sys.argv[5:]
    path = f"{session_dir}/{name}.ardour"
    tree = ET.parse(path)
    root = tree.getroot()
    rate = int(root.get("sample-rate"))
    if SUPERCLOCK % rate:
        sys.exit(f"place_take: the rate {rate} does not divide the position clock")
    length = frames * (SUPERCLOCK // rate)
    next_id = int(root.get("id-counter"))

    def new_id():
        nonlocal next_id
        next_id += 1
        return str(next_id)

    sources = []
    for file in files:
        source = new_id()
        ET.SubElement(root.find("Sources"), "Source", {
            "name": file, "type": "audio", "flags": "", "id": source, "natural-position": "a0",
            "channel": "0", "origin": "", "gain": "1"})
        sources.append(source)

    region = {
        "muted": "0", "opaque": "1", "locked": "0", "video-locked": "0", "import": "1",
        "external": "0", "sync-marked": "0", "left-of-split": "0", "right-of-split": "0",
        "hidden": "0", "position-locked": "0", "valid-transients": "0", "start": "a0",
        "length": f"a{length}@a0", "sync-position": "a0", "ancestral-start": "a0",
        "ancestral-length": "a0@a0", "stretch": "1", "shift": "1", "layering-index": "0",
        "tags": "", "contents": "0", "envelope-active": "0", "default-fade-in": "0",
        "default-fade-out": "0", "fade-in-active": "0", "fade-out-active": "0",
        "scale-amplitude": "1", "type": "audio", "first-edit": "nothing",
        "channels": str(len(files))}
    for i, source in enumerate(sources):
        region[f"source-{i}"] = source
        region[f"master-source-{i}"] = source
    ET.SubElement(root.find("Regions"), "Region",
                  dict(region, name="take", automatic="1", **{"whole-file": "1"}, id=new_id()))

    route = next((r for r in root.iter("Route") if r.get("name") == track), None)
    if route is None:
        sys.exit(f"place_take: no track named {track}")
    playlist = next(p for p in root.find("Playlists") if p.get("id") == route.get("audio-playlist"))
    placed = ET.SubElement(playlist, "Region",
                           dict(region, name="take.1", automatic="0", **{"whole-file": "0"},
                                id=new_id()))
    ET.SubElement(placed, "Envelope", {"default": "yes"})

    locations = root.find("Locations")
    for location in list(locations):
        if "IsSessionRange" in location.get("flags", ""):
            locations.remove(location)
    ET.SubElement(locations, "Location", {
        "id": new_id(), "name": "session", "start": "a0", "end": f"a{length}",
        "flags": "IsSessionRange", "locked": "0", "timestamp": "0", "cue": "0"})
    for option in root.iter("Option"):
        if option.get("name") == "use-region-fades":
            option.set("value", "0")
    root.set("id-counter", str(next_id))
    tree.write(path, encoding="UTF-8", xml_declaration=True)


main()
