#!/usr/bin/env bash
# The Python module beside its references, in one run:
#  1. A corpus run: twenty 30 s files (sox, 16 kHz, 16-bit) through an F0
#     process (load, multiple peak picking, save) by tessal.corpus.run on a
#     two-worker dask LocalCluster, beside `tessal-cli run --each -j 2` over
#     the same files. Prints both times and the module's throughput over the
#     command's (goal: 0.8 or more). The outputs are compared byte for byte, creation times of channels aside.
#  2. Reading: a 1-hour mono 48 kHz 16-bit WAVE file into numpy through
#     tessal.open(...).channels[0].samples, beside np.fromfile of its data
#     chunk (and that converted to float32). Prints the times and the
#     module's over np.fromfile's (goal: 1.5 or less). Each reading runs in
#     a fresh process, after one untimed read that brings the file into the
#     page cache.
# Usage: bench/python_corpus.sh BUILD-DIR [FOLDER]
# FOLDER (a temporary folder by default) keeps the files for another run.
# BASE_BUILD=DIR times that build's module beside (another commit's, for a
# before/after in one run); PARTS=read runs the reading part only.
set -eu
build=$(cd "$1" && pwd)
base=${BASE_BUILD:+$(cd "$BASE_BUILD" && pwd)}
parts=${PARTS:-corpus,read}
dir=${2:-}
py=/usr/bin/python3
cli=$build/app/tessal-cli/tessal-cli
command -v sox >/dev/null || { echo "sox is not installed"; exit 77; }
[ -x "$cli" ] && ls "$build"/python/tessal/_tessal*.so >/dev/null || { echo "build tessal-cli and tessal_python first"; exit 77; }
if [ -z "$dir" ]; then
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
fi
home=$(mktemp -d)
export HOME=$home XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home PYTHONPATH=$build/python
if [[ $parts == *corpus* ]]; then
mkdir -p "$dir/in"
for i in $(seq -w 1 20); do
  f=$dir/in/take$i.wav
  [ -s "$f" ] || sox -n -r 16000 -b 16 "$f" synth 30 sawtooth $((80 + 5 * 10#$i)) gain -6 lowpass 1500 tremolo 3 80
done
cat >"$dir/f0.tessalproc" <<'P'
[Common]
nsteps=3
[Step_0]
procid=load
nChans=1
Channo0=0
[Step_1]
procid=f0
Algorithm=2
MinF0=60
MaxF0=400
[Step_2]
procid=save
nChans=1
Channo0=-1
P
rm -rf "$dir/cli" "$dir/py"
mkdir "$dir/cli" "$dir/py"
t0=$(date +%s.%N)
"$cli" run "$dir/f0.tessalproc" --each "$dir"/in/*.wav --out-dir "$dir/cli" --format tessal32f -j 2 >/dev/null
t1=$(date +%s.%N)
# A file, not standard input: the cluster's worker processes are started
# by multiprocessing, which runs the main script again in each.
cat >"$dir/corpus_run.py" <<'PY'
import glob, sys, time
import tessal
from distributed import Client, LocalCluster

if __name__ == "__main__":
    d = sys.argv[1]
    files = sorted(glob.glob(d + "/in/*.wav"))
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0") as cluster, \
            Client(cluster) as client:
        client.run(lambda: __import__("tessal"))  # workers up, the module loaded, as a real cluster is
        start = time.perf_counter()
        table = tessal.corpus.run(d + "/f0.tessalproc", files, d + "/py", format="tessal32f", client=client)
        open(d + "/py.seconds", "w").write("%.3f" % (time.perf_counter() - start))
    assert all(r["status"] == "ok" for r in table), table
PY
"$py" "$dir/corpus_run.py" "$dir" 2>"$dir/cluster.log" || { cat "$dir/cluster.log"; exit 1; }
cli_s=$(echo "$t1 - $t0" | bc -l)
py_s=$(cat "$dir/py.seconds")
# The same bytes but for the time each channel was made (a 10-byte float
# after its key in a native file).
same=$("$py" - "$dir" <<'PY'
import os, re, sys
d = sys.argv[1]
key = re.compile(rb"(CreatedDate\x0c\x00\x00\x00\x0a\x00\x00\x00).{10}", re.S)
def norm(p):
    return key.sub(lambda m: m.group(1) + bytes(10), open(p, "rb").read())
names = sorted(os.listdir(d + "/cli"))
ok = names == sorted(os.listdir(d + "/py")) and all(
    norm(os.path.join(d, "cli", n)) == norm(os.path.join(d, "py", n)) for n in names)
print("yes" if ok else "no")
PY
)
printf 'corpus: 20 x 30 s, F0 process\n  tessal-cli run --each -j 2:        %.2f s\n  tessal.corpus.run, LocalCluster(2): %.2f s\n  throughput ratio (module / cli):    %.2f (goal >= 0.8); outputs identical: %s\n' \
  "$cli_s" "$py_s" "$(echo "$cli_s / $py_s" | bc -l)" "$same"
fi

hour=$dir/hour.wav
[ -s "$hour" ] || sox -n -r 48000 -c 1 -b 16 -e signed-integer "$hour" synth 3600 sine 100 vol 0.5
"$py" - "$hour" "$base" <<'PY'
import os, subprocess, sys
hour, base = sys.argv[1], sys.argv[2]
def data_chunk(path):
    with open(path, "rb") as f:
        f.seek(12)
        while True:
            h = f.read(8)
            size = int.from_bytes(h[4:], "little")
            if h[:4] == b"data":
                return f.tell(), size
            f.seek(size + (size & 1), 1)
off, size = data_chunk(hour)
cases = {
    "tessal.open(...).channels[0].samples": "import tessal; x = tessal.open(P).channels[0].samples",
    "np.fromfile of the data chunk (int16)": "import numpy as np; x = np.fromfile(P, '<i2', count=%d, offset=%d)" % (size // 2, off),
    "np.fromfile, then float32 / 32768": "import numpy as np; x = np.fromfile(P, '<i2', count=%d, offset=%d).astype(np.float32) / 32768" % (size // 2, off),
}
envs = {name: None for name in cases}
if base:
    name = "baseline module (BASE_BUILD)"
    cases[name] = cases["tessal.open(...).channels[0].samples"]
    envs[name] = dict(os.environ, PYTHONPATH=base + "/python")
t = {}
for name, code in cases.items():
    prog = "import time; P = %r; s = time.perf_counter(); %s; print(time.perf_counter() - s)" % (hour, code)
    subprocess.run([sys.executable, "-c", prog], check=True, capture_output=True, env=envs[name])  # page cache
    t[name] = min(float(subprocess.run([sys.executable, "-c", prog], check=True, capture_output=True,
                                      text=True, env=envs[name]).stdout) for _ in range(3))
print("reading a 1-hour 48 kHz 16-bit file into numpy (best of 3):")
for name, s in t.items():
    print("  %-40s %.3f s" % (name, s))
ref = t["np.fromfile of the data chunk (int16)"]
print("  module / np.fromfile: %.2f (goal <= 1.5); module / fromfile+float32: %.2f"
      % (t["tessal.open(...).channels[0].samples"] / ref,
         t["tessal.open(...).channels[0].samples"] / t["np.fromfile, then float32 / 32768"]))
if base:
    print("  baseline module / np.fromfile: %.2f" % (t["baseline module (BASE_BUILD)"] / ref))
PY
