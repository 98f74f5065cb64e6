#!/usr/bin/env python3
"""Sets one parameter's value in the state Ardour keeps of a VST3 plug-in in a session file.

usage: vst3_chunk.py SESSION.ardour INDEX VALUE
Ardour holds the plug-in's state as a vstpreset inside <chunk> (base64): a header with the class
ID and the offset of a chunk list, whose entries 'Comp' and 'Cont' locate the component's and
the controller's state. Corvane's are its 96-byte parameter image (little-endian doubles in
parameter order); the value is written into both. Ardour shows no control for a parameter that
cannot be automated (Oversampling), so a session can only set it here, as a reload restores it.
"""
import base64, re, struct, sys
path, index, value = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
text = open(path).read()
m = re.search(r'<chunk>([^<]+)</chunk>', text)
chunk = bytearray(base64.b64decode(m.group(1)))
offset = struct.unpack('<q', chunk[40:48])[0]
count = struct.unpack('<i', chunk[offset + 4:offset + 8])[0]
for k in range(count):
    entry = offset + 8 + 20 * k
    start, size = struct.unpack('<qq', chunk[entry + 4:entry + 20])
    if size >= 8 * (index + 1):
        chunk[start + 8 * index:start + 8 * index + 8] = struct.pack('<d', value)
text = text[:m.start(1)] + base64.b64encode(bytes(chunk)).decode() + text[m.end(1):]
open(path, 'w').write(text)
