#!/usr/bin/env bash
# How each reader of the program handles damaged input, in two builds side by
# side: the same damaged files, made deterministically (fixed seeds) from
# valid files, are read by the commands that read them in both builds, and
# every run is classed as a clean error, a crash, a hang, an exhaustion, a
# success or a wrong success.
#
#   bench/damaged_inputs.sh OLD_BIN_DIR NEW_BIN_DIR [OUT.md]
#
# A BIN_DIR holds tessal-cli and tessal, or is a build folder (app/tessal-cli/
# and app/tessal/ under it). The valid files are made with NEW's tessal-cli
# and tessal, sox and python3, or taken from tests/fuzz/corpus. The table and
# the list of every case that did not end cleanly go to OUT.md (default
# standard output); JOBS (default 2) runs that many cases at a time (the
# window runs of OLD that wait on a message box use no processor, so they run
# four times as many at a time). KEEP=1 keeps the work folder.
#
# Each run: `timeout -k 5 20`, `ulimit -v 4194304` (4 GB of address space)
# in a subshell, a HOME and XDG folders of its own, QT_QPA_PLATFORM=offscreen.
#   exit 124/137 (timeout)                               -> hang
#   "bad_alloc", "Cannot allocate memory", "length_error" on stderr
#                                                        -> exhaustion
#   a signal, exit 134/139, a sanitizer or terminate report -> crash
#   exit 1 or 2 with a message on stderr                 -> clean error
#   exit 0                                               -> success, then checked:
#     the output printed (info, epg) holds nan or inf, a rate of 0 Hz or
#     less or no channel; or the file the command wrote (convert of the
#     case to .tessal for the document readers, the -o output of run,
#     invfilter, labels --import and recover) is refused by `tessal-cli
#     info` of the same build or its figures hold nan/inf -> wrong success.
#   A window run (tessal --screenshot) that exits 0 with a line "tessal: ..."
#   on stderr refused the file and said so -> clean error; exit 0 without a
#   picture -> wrong success.
set -euo pipefail

[ $# -ge 2 ] || { sed -n '2,12p' "$0" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
out=${3:-}

find_bin() {  # DIR NAME
    local d=$1 n=$2
    for p in "$d/$n" "$d/app/$n/$n"; do
        if [ -x "$p" ] && [ ! -d "$p" ]; then (cd "$(dirname "$p")" && echo "$PWD/$n"); return; fi
    done
    echo "no $n in $d" >&2
    exit 2
}
old_cli=$(find_bin "$1" tessal-cli); old_gui=$(find_bin "$1" tessal)
new_cli=$(find_bin "$2" tessal-cli); new_gui=$(find_bin "$2" tessal)
command -v python3 >/dev/null || { echo "python3 is needed (scripts/setup)" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is needed (scripts/setup)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal_damaged_XXXXXX")
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/base" "$work/cases" "$work/runs" "$work/home"
export QT_QPA_PLATFORM=offscreen PULSE_SERVER=/nonexistent LC_ALL=C

# A private HOME and XDG folders under $1.
private_env() {
    mkdir -p "$1/data" "$1/config" "$1/run"
    chmod 700 "$1/run"
    export HOME=$1 XDG_DATA_HOME=$1/data XDG_CONFIG_HOME=$1/config XDG_RUNTIME_DIR=$1/run
}

# ------------------------------------------------------------ valid files
(
    private_env "$work/home/base"
    cd "$work/base"
    corpus=$root/tests/fuzz/corpus
    sox -n -r 16000 -c 2 -b 16 base.wav synth 0.2 sine 220 sine 330 gain -3
    for f in wav8a wav24i wav32f wav16f; do "$new_cli" convert base.wav -o "b_$f.wav" --format "$f" --yes >/dev/null; done
    cp "$corpus/wav/pcm24_ext3.wav" "$corpus/wav/ulaw.wav" .
    "$new_cli" convert base.wav -o b.smp --format smp16i --yes >/dev/null
    "$new_cli" labels base.wav --import "$corpus/textgrid/two_tiers.TextGrid" -o lab.smp --yes >/dev/null
    "$new_cli" convert base.wav -o b.tessal >/dev/null
    "$new_cli" convert lab.smp -o lab.tessal >/dev/null
    cp "$corpus/for/three.for" "$corpus/ctr/three.ctr" "$corpus/settings/settings.xiifile" .
    cp "$corpus/textgrid/two_tiers.TextGrid" "$corpus/textgrid/short.TextGrid" .
    tail -c +2 "$corpus/epg/grid" >palate.tessalEPGgrid      # the seed's first byte says "grid"
    tail -c +2 "$corpus/spool/raw_two.spool" >two.spool       # ... and "raw file"
    # A journal as a crash leaves it: a cut in the window, then the end a crash makes.
    "$new_gui" --screenshot shot.png --select 0.05 0.1 --trigger cutaction --leave-journal \
        "$work/base/base.wav" >/dev/null 2>&1 || true
    j=$(find "$XDG_DATA_HOME" -name '*.tjournal' | head -n 1)
    [ -n "$j" ] || { echo "the window left no journal" >&2; exit 1; }
    cp "$j" cut.tjournal
    # A palate picture for the EPG window: any picture will do.
    "$new_gui" --screenshot palate.png "$work/base/base.wav" >/dev/null 2>&1
)
python3 - "$work" <<'PY'
# Valid files the program has no writer for here: an Orlet recording (the
# tagged container of another program), a process, a trace, an EPG sidecar.
import struct, sys, random
w = sys.argv[1] + "/base/"

def counted(s):
    b = s.encode("latin-1")
    return struct.pack("<i", len(b)) + b

def xii(magic, fileid, nodes):
    out = magic + counted(fileid) + counted("0.0") + counted("Tessal") + counted("1.0")
    out += struct.pack("<i", len(nodes))
    for sec, key, tid, data in nodes:
        out += counted(sec) + counted(key) + struct.pack("<iI", tid, len(data)) + data
    return out

def ext80(x):
    import math
    if x == 0: return bytes(10)
    m, e = math.frexp(abs(x))
    mant = int(m * (1 << 64))
    return struct.pack("<QH", mant, (e - 1 + 16383) | (0x8000 if x < 0 else 0))

rnd = random.Random(7)
nodes = [("Test_1", "Date", 12, ext80(45000.5)), ("Test_1", "nSounds", 11, struct.pack("<i", 2)),
         ("Test_1", "nAnchors", 11, struct.pack("<i", 1))]
for prefix, q, ch, rate, n in (("", 0, 2, 8000, 400), ("", 1, 1, 16000, 300), ("Anchor", 0, 1, 8000, 100)):
    s = str(q)
    samples = struct.pack("<%dh" % (n * ch), *[rnd.randint(-20000, 20000) for _ in range(n * ch)])
    nodes += [("Test_1", prefix + "nChans" + s, 11, struct.pack("<i", ch)),
              ("Test_1", prefix + "SampFreq" + s, 11, struct.pack("<i", rate)),
              ("Test_1", prefix + "FileName" + s, 13, counted("take%d.wav" % q)),
              ("Test_1", prefix + "ComputerOrigin" + s, 13, counted("lab pc")),
              ("Test_1", prefix + "Samples" + s, 14, samples)]
open(w + "b.orlet", "wb").write(xii(b"X\0I\0", "Orlet", nodes))

open(w + "p.tessalproc", "w").write(
    "[Common]\nnsteps=6\n\n"
    "[Step_0]\nprocid=load\nEnabled=1\nnChans=1\nChanno0=0\nLoadLabels=1\n\n"
    "[Step_1]\nprocid=lp2\nEnabled=1\nF0=1200\nQ=4\n\n"
    "[Step_2]\nprocid=resample\nEnabled=1\nMethod=4\nTargetFreq=8000\nWindowSize=80\nWindowPower=3\nLPCcorner=0.95\n\n"
    "[Step_3]\nprocid=delay\nEnabled=1\nnChans=1\nDelaySecs0=0.05\n\n"
    "[Step_4]\nprocid=mul\nEnabled=1\nnChans=1\nFactor0=0.5\n\n"
    "[Step_5]\nprocid=save\nEnabled=1\nnChans=1\nChanno0=-1\nChannelName=\nUseChannelName=0\nYunit=\n"
    "UseYUnit=0\nFSDMode=1\nUsedBReference=0\nUseStereoChanno=1\ndBReference= 1.0E+0000\n"
    "StereoChannos=N\nFixedFSD= 1.0E+0000\nRMSdBFSD= 2.0E+0001\n")

ctr = "[Common]\nVersion=1.0\nnPoints=8\nSMPFile=base.wav\nChanno=0\n\n"
for i in range(8):
    ctr += "[Point%d]\nTime=%.5f\nCenter=%.3f\nMax=%.3f\nMin=%.3f\nSelected=%d\n\n" % (
        i, 0.02 * (i + 1), 220 + i, 300.0, 150.0, i % 2)
open(w + "eight.ctr", "w").write(ctr)

open(w + "side.epg", "wb").write(bytes(rnd.randrange(256) for _ in range(8 * 20)))
PY

# ------------------------------------------------------------ damaged cases
python3 - "$work" <<'PY'
import os, re, struct, sys, random, math
work = sys.argv[1]
B = work + "/base/"
C = work + "/cases/"
manifest = open(work + "/manifest", "w")
counter = [0]

def read(name): return open(B + name, "rb").read()

MAXLEN = 255
def safe(label):
    return re.sub(r"[^A-Za-z0-9_.+=-]", "_", label)[:MAXLEN]

def emit(reader, label, args, check, setup="-", mode="cli", display=None, strictok=True):
    # One line: id, reader, mode, check, setup, display name; argv NUL-separated in its own file.
    counter[0] += 1
    cid = "%05d" % counter[0]
    base = label.split("/")[0] if "/" in label else label
    base = re.sub(r"~\d+$", "", base.rsplit(".", 1)[0] if "=" in base.rsplit(".", 1)[-1] or "." in base else base)
    key, _, value = base.rpartition("=")
    key = key.rpartition(".")[2].rpartition("_")[2] if "." in key else key.rpartition("_")[2]
    if strictok and value in NONNUMBERS and key not in UNUSED: check += "+strict"
    with open(work + "/runs/" + cid + ".argv", "wb") as f:
        f.write(b"\0".join(a.encode() for a in args) + b"\0")
    manifest.write("\t".join([cid, reader, mode, check, setup, display or label]) + "\n")
    return cid

def unique(p):
    # two cases of the same name would be one file: the second gets a number
    stem, dot, ext = p.rpartition(".")
    if "/" in ext or not dot: stem, ext = p, ""
    n = 2
    while os.path.lexists(p):
        p = "%s~%d%s" % (stem, n, "." + ext if ext else ""); n += 1
    return p

def put(reader, name, data):
    d = C + reader
    os.makedirs(d, exist_ok=True)
    p = unique(d + "/" + name)
    if isinstance(data, str): data = data.encode("latin-1")
    open(p, "wb").write(data)
    return p

def special(reader, name, kind):
    d = C + reader
    os.makedirs(d, exist_ok=True)
    p = d + "/" + name
    if kind == "fifo": os.mkfifo(p)
    elif kind == "folder": os.mkdir(p)
    elif kind == "devzero": os.symlink("/dev/zero", p)
    elif kind == "devnull": os.symlink("/dev/null", p)
    return p

SPECIALS = ("fifo", "folder", "devzero", "devnull")

# ---- mutations, each a list of (label, bytes)
def truncations(data, n, rnd):
    lens = set(range(0, min(len(data), 9)))
    step = max(1, len(data) // max(1, n))
    lens.update(range(0, len(data), step))
    while len(lens) < n + 9 and len(lens) < len(data):
        lens.add(rnd.randrange(len(data)))
    return [("trunc%d" % L, data[:L]) for L in sorted(lens) if L < len(data)]

def flips(data, n, rnd, head, multi=False):
    out = []
    for i in range(n):
        b = bytearray(data)
        zone = head if (i % 2 == 0 and head) else len(data)
        if multi:
            k = rnd.randint(2, 16)
            at = rnd.randrange(max(1, zone))
            for j in range(k):
                if at + j < len(b): b[at + j] ^= rnd.randint(1, 255)
            out.append(("flip%dx%d@%d" % (i, k, at), bytes(b)))
        else:
            at = rnd.randrange(max(1, zone))
            b[at] ^= rnd.randint(1, 255)
            out.append(("flip%d@%d" % (i, at), bytes(b)))
    return out

def u(width, v): return (v & ((1 << (8 * width)) - 1)).to_bytes(width, "little")

INTVALS = {"0": 0, "1": 1, "-1": -1, "2^31-1": 2**31 - 1, "2^32-1": 2**32 - 1, "2^63": 2**63}
def fieldsets(data, fields, extra=()):
    out = []
    for fname, off, width in fields:
        for vname, v in INTVALS.items():
            if width < 8 and vname == "2^63": continue
            if width == 2 and vname in ("2^31-1",): v = 0x7FFF
            b = bytearray(data)
            if off + width > len(b): continue
            b[off:off + width] = u(width, v)
            out.append(("%s=%s" % (fname, vname), bytes(b)))
    return out + list(extra)

TEXTVALS = ["nan", "-nan", "inf", "-inf", "1e308", "1e999", "-1", "0", "2147483648", "4294967296",
            "9223372036854775808", "99999999999999999999999", "0x7fffffff", ""]
def textnums(text, rnd, limit, vals=TEXTVALS):
    # each number of the text (up to limit, spread over the file) set to each value
    spans = [m.span() for m in re.finditer(r"(?<=[=\n])\s*-?[0-9][0-9.Ee+-]*", text)]
    if len(spans) > limit:
        spans = sorted(rnd.sample(spans, limit))
    out = []
    for a, b in spans:
        key = text[max(0, text.rfind("\n", 0, a) + 1):a].strip("= \r\n") or "n@%d" % a
        sec = re.findall(r"^\[([^\]\n]*)\]", text[:a], re.M)
        if sec: key = sec[-1] + "." + key
        for v in vals:
            out.append(("%s=%s" % (key, v if v else "empty"), text[:a] + v + text[b:]))
    return out

CAP = 290
def cap(cases):
    # no more than CAP cases a reader, chosen with the reader's own seed
    return choose(cases, CAP, random.Random(len(cases)))

# A number field set to something that is no number, which the reader then
# uses: accepted without a word, it was silently misread ("+strict" checks).
NONNUMBERS = ("nan", "-nan", "inf", "-inf", "1e999")
# Keys no reader takes a number from: versions, display-only views, dates,
# flags (read as "1" or not), a trace point's Center (computed again), and
# the SMP files' common "range", since both carry range0 and range1, which
# take its place.
UNUSED = {"Version", "date", "Date", "view", "view0", "view1", "Enabled", "LoadLabels", "UseChannelName",
          "UseYUnit", "UsedBReference", "UseStereoChanno", "SMPFile", "IsZero", "Selected", "Center",
          "Cut", "Pointkind", "range"}
def choose(cases, n, rnd):
    if len(cases) <= n: return cases
    idx = sorted(rnd.sample(range(len(cases)), n))
    return [cases[i] for i in idx]

# ---- WAVE
def wav_fields(data):
    f = [("riffsize", 4, 4)]
    pos = 12
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]; size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if cid == b"fmt ":
            f += [("fmtsize", pos + 4, 4), ("tag", pos + 8, 2), ("channels", pos + 10, 2),
                  ("rate", pos + 12, 4), ("byterate", pos + 16, 4), ("blockalign", pos + 20, 2),
                  ("bits", pos + 22, 2)]
            if size >= 18: f.append(("cbsize", pos + 24, 2))
            if size >= 40: f += [("validbits", pos + 26, 2), ("chanmask", pos + 28, 4), ("subtype", pos + 32, 2)]
        elif cid == b"data":
            f.append(("datasize", pos + 4, 4))
            break
        else:
            f.append((cid.decode("latin-1").strip() + "size", pos + 4, 4))
        pos += 8 + size + (size & 1)
    return f

def document_reader(reader, ext, bases, rnd, ntrunc, nflip, nmulti, textcases=None):
    cases, named = [], []
    for bname in bases:
        data = read(bname)
        stem = bname.rsplit(".", 1)[0]
        muts = truncations(data, ntrunc, rnd) + flips(data, nflip, rnd, 64) + flips(data, nmulti, rnd, 64, True)
        if reader == "wav": muts += fieldsets(data, wav_fields(data))
        if textcases: muts += textcases(data, rnd)
        if reader in ("native", "orlet"): muts += xii_fieldsets(data, rnd)
        named += [(safe(stem + "_" + label) + ext, d) for label, d in muts]
    for name, d in cap(named):
        cases.append(put(reader, name, d))
    for k in SPECIALS:
        cases.append(special(reader, k + ext, k))
    for p in cases:
        emit(reader, os.path.basename(p), ["@CLI@", "info", p], "doc")
    return cases

def gui_sample(reader, cases, n, rnd):
    for p in choose(cases, n, rnd):
        emit(reader, os.path.basename(p), ["@GUI@", "--screenshot", "@OUT@.png", p], "gui", mode="gui")

# ---- the tagged container (native, Orlet, settings, EPG grid)
def ext80(x):
    if x != x: return struct.pack("<QH", 0xC000000000000000, 0x7FFF)
    if x in (float("inf"), float("-inf")): return struct.pack("<QH", 1 << 63, 0x7FFF | (0x8000 if x < 0 else 0))
    if x == 0: return bytes(10)
    m, e = math.frexp(abs(x))
    return struct.pack("<QH", int(m * (1 << 64)), (e - 1 + 16383) | (0x8000 if x < 0 else 0))

def xii_nodes(data):
    # offsets of the node count and of each node's parts
    pos = 4
    for _ in range(4):
        n = struct.unpack("<i", data[pos:pos + 4])[0]; pos += 4 + n
    countat = pos
    n = struct.unpack("<i", data[pos:pos + 4])[0]; pos += 4
    nodes = []
    for _ in range(n):
        start = pos
        ls = struct.unpack("<i", data[pos:pos + 4])[0]; sec = data[pos + 4:pos + 4 + ls]; pos += 4 + ls
        keyat = pos
        lk = struct.unpack("<i", data[pos:pos + 4])[0]; key = data[pos + 4:pos + 4 + lk]; pos += 4 + lk
        tid, ln = struct.unpack("<iI", data[pos:pos + 8])
        nodes.append(dict(start=start, keyat=keyat, name=(sec + b"." + key).decode("latin-1"),
                          idat=pos, lenat=pos + 4, valat=pos + 8, tid=tid, ln=ln))
        pos += 8 + ln
    return countat, nodes

FLOATVALS = {"nan": float("nan"), "inf": float("inf"), "-inf": float("-inf"), "1e4000": 1e308 * 1e308,
             "0": 0.0, "-1": -1.0, "1e300": 1e300}
def xii_fieldsets(data, rnd, limit=40):
    countat, nodes = xii_nodes(data)
    fields = [("nodecount", countat, 4)]
    out = []
    picks = choose(nodes, limit, rnd)
    for nd in picks:
        nm = safe(nd["name"])
        if nd["tid"] == 11: fields.append((nm, nd["valat"], 4))
        if nd["tid"] == 12:
            for vname, v in FLOATVALS.items():
                b = bytearray(data); b[nd["valat"]:nd["valat"] + 10] = ext80(v)
                out.append(("%s=%s" % (nm, vname), bytes(b)))
    for nd in choose(picks, 8, rnd):
        fields += [(safe(nd["name"]) + ".len", nd["lenat"], 4), (safe(nd["name"]) + ".type", nd["idat"], 4),
                   (safe(nd["name"]) + ".keylen", nd["keyat"], 4)]
    return fieldsets(data, fields) + out

# ---- framed journal and spool
def fnv1a(b):
    h = 1469598103934665603
    for c in b:
        h ^= c; h = (h * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h

def framed(data, magiclen):
    recs = []; pos = magiclen
    while pos + 20 <= len(data):
        n = struct.unpack("<Q", data[pos + 4:pos + 12])[0]
        recs.append((pos, n)); pos += 20 + n
    return recs

def framed_cases(data, magiclen, rnd, nflip):
    out = []
    recs = framed(data, magiclen)
    fields = []
    for i, (pos, n) in enumerate(recs):
        fields += [("rec%d.len" % i, pos + 4, 8), ("rec%d.sum" % i, pos + 12, 8)]
    out += fieldsets(data, fields)
    # contents changed and sealed again, so the reader gets past the checksum
    def reseal(b):
        b = bytearray(b)
        for pos, n in framed(bytes(b), magiclen):
            if pos + 20 + n <= len(b):
                b[pos + 12:pos + 20] = struct.pack("<Q", fnv1a(bytes(b[pos + 20:pos + 20 + n])))
        return bytes(b)
    for i in range(nflip):
        pos, n = recs[rnd.randrange(len(recs))]
        if n == 0: continue
        b = bytearray(data)
        k = 1 if i % 2 == 0 else rnd.randint(2, 8)
        at = pos + 20 + rnd.randrange(n)
        for j in range(k):
            if at + j < pos + 20 + n: b[at + j] ^= rnd.randint(1, 255)
        out.append(("sealedflip%dx%d@%d" % (i, k, at), reseal(bytes(b))))
    words = [(i, pos, n, off) for i, (pos, n) in enumerate(recs) for off in range(0, n - 3, 4)]
    for i, pos, n, off in choose(words, 14, rnd):
        if True:
            for vname, v in INTVALS.items():
                width = 8 if off + 8 <= n and vname == "2^63" else 4
                if vname == "2^63" and width != 8: continue
                b = bytearray(data); b[pos + 20 + off:pos + 20 + off + width] = u(width, v)
                out.append(("rec%d+%d=%s" % (i, off, vname), reseal(bytes(b))))
            # the same word as a double
            for vname in ("nan", "inf"):
                if off + 8 > n: continue
                b = bytearray(data); b[pos + 20 + off:pos + 20 + off + 8] = struct.pack("<d", float(vname))
                out.append(("rec%d+%d=%s" % (i, off, vname), reseal(bytes(b))))
    return out

rnd = random.Random(2029)
counts = {}

# WAVE
wavcases = document_reader("wav", ".wav", ["base.wav", "b_wav24i.wav", "b_wav32f.wav", "b_wav8a.wav",
                                           "b_wav16f.wav", "pcm24_ext3.wav"], rnd, 10, 8, 4)
gui_sample("wav", wavcases, 30, rnd)

# SMP: header text numbers
def smp_text(data, rnd):
    head = int(re.search(rb"head=(\d+)", data).group(1))
    text = data[:head].decode("latin-1")
    out = []
    for label, t in textnums(text, rnd, 10, ["nan", "inf", "-1", "0", "2147483648", "4294967296",
                                              "9223372036854775808", "1e308", ""]):
        t = t.encode("latin-1")
        # the header keeps its length, as a program that edits it in place would
        t = (t + b"\0" * head)[:head] if len(t) <= head else t
        out.append((label, t + data[head:]))
    return out
smpcases = document_reader("smp", ".smp", ["b.smp", "lab.smp"], rnd, 15, 10, 6, smp_text)
gui_sample("smp", smpcases, 30, rnd)

# SMP label file: the .smp stays whole, its .csv is damaged
labsmp = read("lab.smp"); labcsv = read("lab.csv")
muts = truncations(labcsv, 20, rnd) + flips(labcsv, 20, rnd, 0) + flips(labcsv, 10, rnd, 0, True)
muts += [(l, t.encode("latin-1")) for l, t in textnums(labcsv.decode("latin-1").replace(",", "\n,"), rnd, 10)]
muts = [(l, d.replace(b"\n,", b",")) for l, d in muts]
muts += [("many_labels", labcsv + b"".join(b"L%d=%d,%d,x\r\n" % (i + 9, i, 1) for i in range(20000))),
         ("huge_time", labcsv + b"L99=99999999999999999999,1,x\r\n"),
         ("neg_duration", labcsv + b"L99=100,-5,x\r\n")]
for label, d in muts:
    dd = C + "smplabels/" + safe(label)
    os.makedirs(dd)
    open(dd + "/lab.smp", "wb").write(labsmp); open(dd + "/lab.csv", "wb").write(d)
    # a label item the SMP reader cannot read is left out, as it always was: no "+strict"
    emit("smplabels", safe(label) + "/lab.csv", ["@CLI@", "info", dd + "/lab.smp"], "doc", strictok=False)
for k in SPECIALS:
    dd = C + "smplabels/" + k
    os.makedirs(dd); open(dd + "/lab.smp", "wb").write(labsmp)
    special("smplabels/" + k, "lab.csv", k)
    emit("smplabels", k + "/lab.csv", ["@CLI@", "info", dd + "/lab.smp"], "doc")

# native file
nativecases = document_reader("native", ".tessal", ["b.tessal", "lab.tessal"], rnd, 12, 10, 6)
gui_sample("native", nativecases, 30, rnd)

# Orlet
orletcases = document_reader("orlet", ".orlet", ["b.orlet"], rnd, 25, 20, 10)
gui_sample("orlet", orletcases, 30, rnd)

# text files read by one command each: process, .for, TextGrid
def text_reader(reader, bases, ext, argv, check, ntrunc, nflip, nmulti, nnums, extra=()):
    paths = []
    for bname in bases:
        data = read(bname); stem = bname.rsplit(".", 1)[0]
        muts = truncations(data, ntrunc, rnd) + flips(data, nflip, rnd, 0) + flips(data, nmulti, rnd, 0, True)
        muts += [(l, t.encode("latin-1")) for l, t in textnums(data.decode("latin-1"), rnd, nnums)]
        for label, d in cap(muts):
            paths.append(put(reader, safe(stem + "_" + label) + ext, d))
    for label, d in extra:
        paths.append(put(reader, safe(label) + ext, d))
    for k in SPECIALS:
        paths.append(special(reader, k + ext, k))
    for p in paths:
        emit(reader, os.path.basename(p), [a.replace("@CASE@", p) for a in argv], check)
    return paths

text_reader("process", ["p.tessalproc"], ".tessalproc",
            ["@CLI@", "run", "@CASE@", B + "base.wav", "-o", "@OUT@.tessal", "--yes"], "out", 15, 12, 6, 12,
            [("nsteps_huge", "[Common]\nnsteps=2147483647\n"),
             ("procid_unknown", "[Common]\nnsteps=1\n[Step_0]\nprocid=nosuch\nEnabled=1\n")])
text_reader("for", ["three.for"], ".for",
            ["@CLI@", "invfilter", B + "base.wav", "--channel", "0", "--filter", "@CASE@", "-o", "@OUT@.wav", "--yes"],
            "out", 15, 12, 6, 10,
            [("nformants_huge", "[Common]\nVersion=1.0\nnFormants=2147483647\n")])
tg = read("two_tiers.TextGrid").decode("latin-1")
text_reader("textgrid", ["two_tiers.TextGrid", "short.TextGrid"], ".TextGrid",
            ["@CLI@", "labels", B + "base.wav", "--import", "@CASE@", "-o", "@OUT@.tessal", "--yes"],
            "out", 12, 10, 5, 8,
            [("utf16_cut", ("\ufeff" + tg).encode("utf-16-le")[:301]),
             ("size_huge", tg.replace("size = 2", "size = 2147483647")),
             ("many_intervals", tg.replace("intervals: size = 2", "intervals: size = 100000000"))])

# EPG sidecar beside base.wav
side = read("side.epg"); wav = read("base.wav")
muts = truncations(side, 20, rnd) + flips(side, 10, rnd, 0) + [("long", side * 500), ("empty", b"")]
for label, d in muts:
    dd = C + "epgside/" + safe(label); os.makedirs(dd)
    open(dd + "/take.wav", "wb").write(wav); open(dd + "/take.epg", "wb").write(d)
    emit("epgside", safe(label) + "/take.epg", ["@CLI@", "epg", dd + "/take.wav"], "doc")
for k in SPECIALS:
    dd = C + "epgside/" + k; os.makedirs(dd)
    open(dd + "/take.wav", "wb").write(wav); special("epgside/" + k, "take.epg", k)
    emit("epgside", k + "/take.epg", ["@CLI@", "epg", dd + "/take.wav"], "doc")

# journal and spool: tessal-cli recover
for reader, bname, ext, ml in (("journal", "cut.tjournal", ".tjournal", 8), ("spool", "two.spool", ".spool", 8)):
    data = read(bname)
    muts = truncations(data, 25, rnd) + flips(data, 12, rnd, 40) + flips(data, 6, rnd, 40, True)
    muts += framed_cases(data, ml, rnd, 30)
    paths = [put(reader, safe(label) + ext, d) for label, d in cap(muts)]
    paths += [special(reader, k + ext, k) for k in SPECIALS]
    for p in paths:
        # a journal carries what the document held, infinite samples a process made included
        emit(reader, os.path.basename(p), ["@CLI@", "recover", p, "-o", "@OUT@.tessal", "--yes"], "out",
             strictok=reader == "spool")

# window-only readers: the trace of the correlogram window, the EPG window's
# palate grid, the settings file; each set up in the run's private folders
def window_reader(reader, data, ext, nt, nf, nm, setup, window, extra):
    muts = truncations(data, nt, rnd) + flips(data, nf, rnd, 64) + flips(data, nm, rnd, 64, True) + extra
    # a window run takes about a second, and OLD waits 20 s on each refusal: fewer cases
    paths = [put(reader, safe(label) + ext, d) for label, d in choose(muts, 60, random.Random(len(muts)))]
    paths += [special(reader, k + ext, k) for k in SPECIALS]
    for p in paths:
        argv = ["@GUI@", "--screenshot", "@OUT@.png"] + (["--window", window] if window else []) + [B + "base.wav"]
        emit(reader, os.path.basename(p), argv, "gui", setup="%s:%s" % (setup, p), mode="gui")

ctrtext = read("eight.ctr").decode("latin-1")
window_reader("ctr", read("eight.ctr"), ".ctr", 12, 8, 4, "ctr", "Correlogram - Tessal",
              [(l, t.encode("latin-1")) for l, t in textnums(ctrtext, rnd, 8, ["nan", "inf", "-1", "0", "1e308",
                                                                                  "2147483648", "9223372036854775808"])])
grid = read("palate.tessalEPGgrid")
window_reader("epggrid", grid, ".tessalEPGgrid", 12, 8, 4, "epggrid", "EPG", xii_fieldsets(grid, rnd, 6))
sett = read("settings.xiifile")
window_reader("settings", sett, ".xiifile", 12, 8, 4, "settings", None, xii_fieldsets(sett, rnd, 6))
manifest.close()
PY

if [ "${GENERATE_ONLY:-0}" = 1 ]; then cut -f2,3 "$work/manifest" | sort | uniq -c; exit 0; fi

# ------------------------------------------------------------ runs
# The first figure line holding nan or inf, file names (lines from "/") and
# quoted names left out; fails when there is none.
nonfinite() {
    grep -v '^/' | sed 's/"[^"]*"//g' | grep -iE -m1 '(^|[^a-z])-?(nan|inf)([^a-z]|$)'
}

# One case under one build: writes runs/ID.BUILD.{rc,err,out,why}.
run_case() {
    local line=$1 build=$2
    local id reader mode check setup name
    IFS=$'\t' read -r id reader mode check setup name <<<"$line"
    local cli gui
    if [ "$build" = old ]; then cli=$old_cli gui=$old_gui; else cli=$new_cli gui=$new_gui; fi
    local r=$work/runs/$id.$build h=$work/home/$id.$build
    rm -rf "$h" "$r".d; mkdir -p "$h" "$r".d
    private_env "$h"
    local sf=$XDG_DATA_HOME/Tessal/Tessal/1.0
    mkdir -p "$sf"
    case $setup in
        ctr:*) printf '[Correlogram]\nBandwidth=100\nTraceFile=%s\n' "${setup#ctr:}" >"$sf/correlogramwindow.ini" ;;
        epggrid:*)  # a picture beside the grid, named as the window looks for it
            local g=${setup#epggrid:} pd=$h/palate; mkdir -p "$pd"
            cp "$work/base/palate.png" "$pd/palate.png"
            if [ -d "$g" ]; then mkdir "$pd/palate.tessalEPGgrid"; else ln -s "$g" "$pd/palate.tessalEPGgrid"; fi
            printf '[EPG]\nShowGrid=1\nShowPicture=1\nPicture=%s\n' "$pd/palate.png" >"$sf/epgwindow.ini" ;;
        settings:*)
            local s=${setup#settings:}
            if [ -d "$s" ]; then mkdir "$sf/tessalsettings.xiifile"; else ln -s "$s" "$sf/tessalsettings.xiifile"; fi ;;
    esac
    local args=()
    mapfile -d '' args <"$work/runs/$id.argv"
    args=("${args[@]//@CLI@/$cli}"); args=("${args[@]//@GUI@/$gui}"); args=("${args[@]//@OUT@/$r.d/out}")
    local rc=0
    ( ulimit -v 4194304; cd "$h" && exec timeout -k 5 20 "${args[@]}" ) </dev/null >"$r.out" 2>"$r.err" || rc=$?
    echo "$rc" >"$r.rc"
    [ "$rc" = 0 ] || return 0
    # A success is checked: what it printed, and what it wrote, read again.
    local why=""
    local said
    said=$(grep -vE "$noise" "$r.err" | grep -m1 . || true)
    if [[ $check == *+strict ]]; then
        # a field that is no number, used by the reader, accepted without a word
        if [ "$mode" = gui ]; then
            grep -q '^tessal: ' "$r.err" || why="a number field that is no number accepted without a word"
        else
            [ -n "$said" ] || why="a number field that is no number accepted without a word"
        fi
    fi
    if [ "$mode" = gui ]; then
        [ -n "$why" ] || [ -s "$r.d/out.png" ] || why="exit 0 without a picture"
    else
        if nonfinite <"$r.out" >/dev/null; then why="printed nan/inf: $(nonfinite <"$r.out")"
        elif grep -qE 'rate: (-|0 Hz)|channels: (0|-)' "$r.out"; then why="printed $(grep -m1 -E 'rate: (-|0 Hz)|channels: (0|-)' "$r.out")"
        fi
        local outs=()
        if [[ $check == doc* ]] && [ -z "$why" ]; then
            local c2=0
            ( ulimit -v 4194304; cd "$h" && exec timeout -k 5 20 "$cli" convert "${args[@]:2}" -o "$r.d/conv.tessal" --yes ) \
                </dev/null >/dev/null 2>"$r.cerr" || c2=$?
            if [ "$c2" = 124 ] || [ "$c2" = 137 ] || [ "$c2" -ge 128 ]; then echo "$c2" >"$r.rc"; cp "$r.cerr" "$r.err"; return 0; fi
            [ "$c2" = 0 ] && outs=("$r.d/conv.tessal")
        fi
        if [[ $check == out* ]] && [ -z "$why" ]; then
            for f in "$r.d"/out*; do [ -e "$f" ] && outs+=("$f"); done
            [ ${#outs[@]} -gt 0 ] || why="exit 0 without an output"
        fi
        for f in "${outs[@]}"; do
            [ -z "$why" ] || break
            local c3=0
            ( ulimit -v 4194304; exec timeout -k 5 20 "$cli" info "$f" ) </dev/null >"$r.info" 2>&1 || c3=$?
            if [ "$c3" != 0 ]; then why="its output $(basename "$f") refused: $(grep -v '^$' "$r.info" | head -n 2 | tr '\n' ' ')"
            elif nonfinite <"$r.info" >/dev/null; then why="its output holds nan/inf: $(nonfinite <"$r.info")"
            fi
        done
    fi
    [ -z "$why" ] || echo "$why" >"$r.why"
    rm -rf "$r.d" "$h"
}
export -f run_case private_env nonfinite
noise='PulseAudioService|This plugin does not support|QStandardPaths|^qt\.|propagateSizeHints'
export work old_cli old_gui new_cli new_gui noise

jobs=${JOBS:-2}
total=$(wc -l <"$work/manifest")
echo "$total cases, each under both builds ($work)" >&2
for build in new old; do
    grep -P '\tcli\t' "$work/manifest" | tr '\n' '\0' | xargs -0 -P "$jobs" -I{} bash -c 'run_case "$1" '"$build" _ {}
    grep -P '\tgui\t' "$work/manifest" | tr '\n' '\0' | xargs -0 -P $((jobs * 4)) -I{} bash -c 'run_case "$1" '"$build" _ {}
    echo "$build done" >&2
done

# ------------------------------------------------------------ table
python3 - "$work" "$root" "$*" >"$work/table.md" <<'PY'
import sys, os, re
work, root, argline = sys.argv[1], sys.argv[2], sys.argv[3]
NOISE = re.compile(r"PulseAudioService|This plugin does not support|QStandardPaths|^qt\.|propagateSizeHints")
READERS = [("wav", "WAVE (info)"), ("smp", "SMP (info)"), ("smplabels", "SMP label file .csv (info)"),
           ("native", "native .tessal (info)"), ("orlet", "Orlet container (info)"),
           ("process", "process file (run)"), ("for", "inverse filter .for (invfilter)"),
           ("ctr", "correlogram trace .ctr (window)"), ("epggrid", "EPG palate grid (window)"),
           ("epgside", "EPG sidecar .epg (epg)"), ("textgrid", "TextGrid (labels --import)"),
           ("settings", "settings file (window)"), ("journal", "journal (recover)"), ("spool", "spool (recover)")]
COLS = ["cases", "clean errors", "crashes", "hangs", "exhaustions", "wrong successes", "successes"]

def first_line(path):
    try:
        for l in open(path, errors="replace"):
            l = l.strip()
            if l and not NOISE.search(l): return l[:160]
    except FileNotFoundError: pass
    return ""

def classify(cid, build, mode):
    r = "%s/runs/%s.%s" % (work, cid, build)
    rc = int(open(r + ".rc").read().strip())
    err = open(r + ".err", errors="replace").read()
    msg = first_line(r + ".err")
    if rc in (124, 137): return "hang", msg or "(nothing on stderr after 20 s)"
    if re.search(r"bad_alloc|Cannot allocate memory|length_error|out of memory", err): return "exhaustion", msg
    if rc >= 128 or rc in (134, 139) or re.search(r"AddressSanitizer|runtime error:|terminate called|Segmentation", err):
        return "crash", msg or "(signal %d)" % (rc - 128)
    if rc == 0:
        if os.path.exists(r + ".why"): return "wrong success", open(r + ".why").read().strip()[:200]
        if mode == "gui" and re.search(r"(?m)^tessal: ", err): return "clean error", msg
        return "success", msg
    if rc in (1, 2) and msg: return "clean error", msg
    return "crash", "exit %d %s" % (rc, msg or "without a message")

rows = {}; bad = []
for line in open(work + "/manifest"):
    cid, reader, mode, check, setup, name = line.rstrip("\n").split("\t")
    key = (reader, mode)
    for build in ("old", "new"):
        out, msg = classify(cid, build, mode)
        t = rows.setdefault((key, build), dict.fromkeys(COLS, 0))
        t["cases"] += 1
        col = {"clean error": "clean errors", "crash": "crashes", "hang": "hangs", "exhaustion": "exhaustions",
               "wrong success": "wrong successes", "success": "successes"}[out]
        t[col] += 1
        if out not in ("clean error", "success"):
            bad.append((build, reader, mode, name, out, msg))

print("Damaged inputs, before (OLD) and after (NEW)\n")
print("Made by `bench/damaged_inputs.sh %s`; the rules of the classes are at the top of the script." % argline)
print("\"successes\" are files read without complaint and not found wrong (a cut WAVE data chunk, a flipped sample, a journal read up to its first damaged record).\n")
for mode, title in (("cli", "tessal-cli"), ("gui", "The window (tessal --screenshot, QT_QPA_PLATFORM=offscreen)")):
    print("### %s\n" % title)
    print("| reader | build | " + " | ".join(COLS) + " |")
    print("|---|---|" + "---|" * len(COLS))
    total = {b: dict.fromkeys(COLS, 0) for b in ("old", "new")}
    for reader, title2 in READERS:
        for build in ("old", "new"):
            t = rows.get(((reader, mode), build))
            if not t: continue
            for c in COLS: total[build][c] += t[c]
            shown = title2 if mode == "cli" or "(window)" in title2 else title2.split(" (")[0]
            print("| %s | %s | %s |" % (shown, "before" if build == "old" else "after", " | ".join(str(t[c]) for c in COLS)))
    for build in ("old", "new"):
        print("| **all** | %s | %s |" % ("before" if build == "old" else "after", " | ".join(str(total[build][c]) for c in COLS)))
    print()
print("The clipboard block is not in the table: only the window's Paste reads it, from the window system's clipboard, which no headless run can fill from outside the process.\n")
for build, title in (("new", "after"), ("old", "before")):
    print("### Cases that did not end cleanly, %s\n" % title)
    lst = [b for b in bad if b[0] == build]
    if not lst: print("None.\n"); continue
    print("| reader | how | case | outcome | first line of stderr / why |")
    print("|---|---|---|---|---|")
    for _, reader, mode, name, out, msg in lst:
        print("| %s | %s | `%s` | %s | %s |" % (reader, mode, name, out, msg.replace("|", "\\|")))
    print()
PY
if [ -n "$out" ]; then cp "$work/table.md" "$out"; else cat "$work/table.md"; fi
