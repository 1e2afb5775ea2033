"""Corpus runs: tessal.corpus.run over local processes and over a two-worker
dask LocalCluster writes the files tessal-cli run --each writes, byte for
byte but for the channels' creation times; a failing file is a row of the table, not an exception; the shares of
tessal.corpus.shard (and tessal-cli's --shard) cover a list exactly once."""
import os
import subprocess

import pytest

import tessal
from conftest import run_cli, sox, without_creation_dates

F0_PROCESS = """[Common]
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
"""


# The F0 contour has its own rate, so a WAVE file can hold it only alone:
# this one deletes the signal after the F0 step.
F0_ONLY_PROCESS = F0_PROCESS.replace("nsteps=3", "nsteps=4") + """[Step_3]
procid=delete
nChans=1
Channo0=0
"""


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    d = tmp_path_factory.mktemp("corpus")
    files = []
    for i in range(10):
        f = d / ("take%02d.wav" % i)
        sox("-n", "-r", 16000, "-b", 16, f, "synth", 0.4, "sawtooth", 90 + 15 * i, "gain", -6, "lowpass", 1500)
        files.append(str(f))
    proc = d / "f0.tessalproc"
    proc.write_text(F0_PROCESS)
    (d / "f0only.tessalproc").write_text(F0_ONLY_PROCESS)
    return d, proc, files


def cli_outputs(cli, proc, files, out, fmt):
    out.mkdir()
    run_cli(cli, "run", proc, "--each", *files, "--out-dir", out, "--format", fmt, "-j", 2, "--yes")
    return outputs(out)


def outputs(folder):
    """The files of a folder by name, their creation times left out."""
    return {p.name: without_creation_dates(p.read_bytes()) for p in folder.iterdir()}


@pytest.mark.parametrize("fmt,procname", [("tessal32f", "f0.tessalproc"), ("wav32f", "f0only.tessalproc")])
def test_local_processes_write_what_tessal_cli_writes(tmp_path, corpus, cli, fmt, procname):
    d, _, files = corpus
    proc = d / procname
    want = cli_outputs(cli, proc, files, tmp_path / "cli", fmt)
    (tmp_path / "py").mkdir()
    table = tessal.corpus.run(proc, files, tmp_path / "py", format=fmt, jobs=2, yes=True)
    assert [r["file"] for r in table] == files
    assert all(r["status"] == "ok" and r["message"] == "" and r["seconds"] >= 0 for r in table)
    got = outputs(tmp_path / "py")
    assert got == want and len(got) == 10


def test_a_local_cluster_of_two_workers_writes_what_tessal_cli_writes(tmp_path, corpus, cli):
    distributed = pytest.importorskip("distributed")
    d, proc, files = corpus
    want = cli_outputs(cli, proc, files, tmp_path / "cli", "tessal32f")
    (tmp_path / "py").mkdir()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        table = tessal.corpus.run(proc, files, tmp_path / "py", format="tessal32f", client=client)
    assert [r["status"] for r in table] == ["ok"] * 10
    got = outputs(tmp_path / "py")
    assert got == want


def test_a_bad_file_is_a_row_with_the_engines_message(tmp_path, corpus, cli):
    d, proc, files = corpus
    bad = tmp_path / "broken.wav"
    bad.write_bytes(b"not a signal")
    (tmp_path / "out").mkdir()
    table = tessal.corpus.run(proc, [files[0], str(bad)], tmp_path / "out", format="tessal32f", jobs=2)
    assert table[0]["status"] == "ok"
    assert table[1]["status"] == "failed" and table[1]["message"]
    r = subprocess.run([cli, "run", str(proc), "--each", str(bad), "--out-dir", str(tmp_path / "out"),
                        "--format", "tessal32f"], capture_output=True, text=True)
    assert table[1]["message"].replace("\n", " ") in r.stdout
    assert not (tmp_path / "out" / "broken.tessal").exists()


def test_refusals_before_anything_runs(tmp_path, corpus):
    d, proc, files = corpus
    with pytest.raises(tessal.Error, match="is not a folder"):
        tessal.corpus.run(proc, files, tmp_path / "none")
    with pytest.raises(tessal.Error, match='no save format "x"'):
        tessal.corpus.run(proc, files, tmp_path, format="x")
    os.makedirs(tmp_path / "a")
    os.makedirs(tmp_path / "b")
    with pytest.raises(tessal.Error, match="would both be saved"):
        tessal.corpus.run(proc, [tmp_path / "a" / "t.wav", tmp_path / "b" / "t.wav"], tmp_path)
    assert tessal.corpus.run(proc, [], tmp_path) == []


def test_shards_cover_a_list_once(tmp_path, corpus, cli):
    names = ["c.wav", "a.wav", "e.wav", "b.wav", "d.wav", "g.wav", "f.wav"]
    shares = [tessal.corpus.shard(names, k, 3) for k in (1, 2, 3)]
    assert sorted(sum(shares, [])) == sorted(names)
    assert shares[0] == ["a.wav", "d.wav", "g.wav"]
    with pytest.raises(ValueError):
        tessal.corpus.shard(names, 0, 3)
    # tessal-cli's shares of the same corpus, each given another order, are
    # the module's.
    d, proc, files = corpus
    for k, order in zip((1, 2, 3), (files, files[::-1], files[3:] + files[:3])):
        out = tmp_path / ("s%d" % k)
        out.mkdir()
        run_cli(cli, "run", proc, "--each", *order, "--out-dir", out, "--shard", "%d/3" % k,
                "--format", "tessal32f")
        want = [os.path.basename(tessal.corpus.out_path(f, out, ".tessal"))
                for f in tessal.corpus.shard(files, k, 3)]
        assert sorted(p.name for p in out.iterdir()) == want


# Channel 0 divided by channel 1 (silent): every sample a zero divisor.
DIVIDE_PROCESS = """[Common]
nsteps=3
[Step_0]
procid=load
Channo=0
[Step_1]
procid=divch
Channo=1
[Step_2]
procid=save
Channo=-1
FSDMode=0
"""


def test_the_runs_notes_are_what_tessal_cli_prints_after_the_run(tmp_path, corpus, cli):
    # Stereo files with a silent second channel, 0.1 s and 0.25 s at 8 kHz:
    # 800 and 2000 zero divisors.
    files = []
    for name, seconds in (("short.wav", 0.1), ("long.wav", 0.25)):
        f = tmp_path / name
        sox("-D", "-n", "-r", 8000, "-c", 2, "-b", 16, f, "synth", seconds, "sine", 300, "sine", 0)
        files.append(str(f))
    proc = tmp_path / "div.tessalproc"
    proc.write_text(DIVIDE_PROCESS)
    want = []
    for f, n in zip(files, (800, 2000)):
        r = run_cli(cli, "run", proc, f, "-o", tmp_path / "cli.tessal")
        assert r.stderr == "Done (Divide by channel 1: %d samples divided by 0 set to 0)\n" % n
        want.append(r.stderr[:-1])
        assert tessal.run_file(proc, f, tmp_path / "py.tessal") == want[-1]
        doc = tessal.open(f)
        assert doc.run(proc) == want[-1]
    (tmp_path / "out").mkdir()
    table = tessal.corpus.run(proc, files, tmp_path / "out", format="tessal32f", jobs=2)
    assert [r["notes"] for r in table] == want
    # A run with nothing to say: tessal-cli prints nothing, the notes are "".
    d, f0proc, f0files = corpus
    r = run_cli(cli, "run", f0proc, f0files[0], "-o", tmp_path / "f0cli.tessal")
    assert r.stderr == ""
    assert tessal.run_file(f0proc, f0files[0], tmp_path / "f0py.tessal") == ""
    table = tessal.corpus.run(f0proc, f0files[:2], tmp_path / "out", format="tessal32f", jobs=2)
    assert [r["notes"] for r in table] == ["", ""]
