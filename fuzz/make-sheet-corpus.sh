#!/usr/bin/env bash
# Makes the seed corpora of the disc image sheets' parsers (fuzz/corpus/cue, ccd, mds, nrg): CUE
# sheets and CloneCD descriptions of each kind the tests write, small Alcohol descriptors, and Nero
# images of 20 sectors (raw or cooked, disc at once or track at once) with their chunk lists.
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
import os, struct
def put(name, data):
    os.makedirs(os.path.dirname(name), exist_ok=True)
    open(name, 'wb').write(data)

put('corpus/cue/mode1', b'FILE "CD003.bin" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n')
put('corpus/cue/mixed', b'\xef\xbb\xbfREM made by hand\nFILE "\x82\xa8\x8a\x79CD 5.bin" BINARY\n  TRACK 01 MODE2/2352\n'
    b'    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 00 10:00:00\n    INDEX 01 10:02:00\n')
put('corpus/cue/multi', b'FILE "A (Track 1).bin" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n'
    b' TRACK 02 AUDIO\n  INDEX 00 05:00:00\nFILE "A (Track 2).bin" BINARY\n  INDEX 01 00:00:00\n'
    b'FILE A3.wav WAVE\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n')
put('corpus/cue/audio-first', b'FILE a.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE2/2336\n'
    b'  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n TRACK 03 CDG\n  INDEX 01 01:00:00\n')

def ccd(mode, tracks):
    text = '[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=5\r\nSessions=1\r\nDataTracksScrambled=0\r\n'
    text += '[Session 1]\r\nPreGapMode=1\r\nPreGapSubC=0\r\n[Entry 0]\r\nSession=1\r\nPoint=0xa0\r\nPLBA=4350\r\n'
    for n, (m, i0, i1) in enumerate(tracks, 1):
        text += '[TRACK %d]\r\nMODE=%d\r\n' % (n, m)
        if i0 is not None:
            text += 'INDEX 0=%d\r\n' % i0
        text += 'INDEX 1=%d\r\n' % i1
    return text.encode()
put('corpus/ccd/mode1', ccd(1, [(1, None, 0)]))
put('corpus/ccd/mixed', ccd(2, [(2, None, 0), (0, 3000, 3150), (0, 3450, 3600)]))

def mds(size, mode, sub, tracks):
    blocks = 3 + tracks
    track_at, extra_at = 112, 112 + 80 * blocks
    footer_at = extra_at + 8 * tracks
    b = bytearray(b'MEDIA DESCRIPTOR' + bytes([1, 3]) + bytes(70))
    struct.pack_into('<HH', b, 18, 0, 1)
    struct.pack_into('<I', b, 80, 88)
    b += struct.pack('<iiHBBHHII', -150, 3000 + 450 * (tracks - 1), 1, blocks, 3, 1, tracks, 0, track_at)
    for i in range(blocks):
        t = bytearray(80)
        if i < 3:
            t[2], t[4] = 0x14, 0xA0 + i
        else:
            n = i - 2
            lba = 0 if n == 1 else 3000 + 450 * (n - 2) + 150
            t[0], t[1], t[2], t[4] = (mode if n == 1 else 0xA9), sub, 0x14 if n == 1 else 0x10, n
            struct.pack_into('<IH', t, 12, extra_at + 8 * (n - 1), size)
            struct.pack_into('<IQII', t, 36, lba, lba * size, 1, footer_at)
        b += t
    for n in range(1, tracks + 1):
        b += struct.pack('<II', 150, 3000 if n == 1 else 300)
    b += struct.pack('<IIII', footer_at + 16, 0, 0, 0) + b'*.mdf\0'
    return bytes(b)
put('corpus/mds/mode1-2352', mds(2352, 0xAA, 0, 2))
put('corpus/mds/xa-2448', mds(2448, 0xEC, 8, 1))

def sectors(size, offset, count=20):
    out = bytearray()
    for i in range(count):
        s = bytearray(size)
        if size >= 2352:
            s[0:12] = b'\0' + b'\xff' * 10 + b'\0'
            s[15] = 1 if offset == 16 else 2
        if i == 16:
            s[offset:offset + 6] = b'\x01CD001'
        out += s
    return bytes(out)

def nrg(version, dao, mode, size, offset):
    data = sectors(size, offset)
    audio = bytes(2352 * 2)
    chunks = bytearray()
    field = 'Q' if version == 2 else 'I'
    if dao:
        body = bytearray(struct.pack('>I', 0) + bytes(14) + struct.pack('>HBB', 0, 1, 2))
        for (m, s, i0, i1, end) in [(mode, size, 0, 0, len(data)),
                                    (7, 2352, len(data), len(data), len(data) + len(audio))]:
            body += bytes(12) + struct.pack('>HBBH', s, m, 0, 1) + struct.pack('>3' + field, i0, i1, end)
        struct.pack_into('>I', body, 0, len(body))
        chunks += (b'DAOX' if version == 2 else b'DAOI') + struct.pack('>I', len(body)) + body
    else:
        body = bytearray()
        for (m, start, length, lba) in [(mode, 0, len(data), 0), (7, len(data), len(audio), 170)]:
            body += struct.pack('>2' + field, start, length) + struct.pack('>II', m, lba) + bytes(8 if version == 2 else 4)
        chunks += (b'ETN2' if version == 2 else b'ETNF') + struct.pack('>I', len(body)) + body
    chunks += b'SINF' + struct.pack('>II', 4, 2) + b'END!' + struct.pack('>I', 0)
    at = len(data) + len(audio)
    footer = b'NER5' + struct.pack('>Q', at) if version == 2 else b'NERO' + struct.pack('>I', at)
    return data + audio + bytes(chunks) + footer
put('corpus/nrg/v2-dao-raw', nrg(2, True, 0x05, 2352, 16))
put('corpus/nrg/v1-dao-cooked', nrg(1, True, 0x00, 2048, 0))
put('corpus/nrg/v1-tao-cooked', nrg(1, False, 0x00, 2048, 0))
put('corpus/nrg/v2-tao-xa', nrg(2, False, 0x06, 2352, 24))
PY
ls -l corpus/cue corpus/ccd corpus/mds corpus/nrg
