"""Opening and saving through the module: every save format round-trips a
sox-made file, WAVE codings read as sox decodes them, files equal those
tessal-cli convert writes, and bad input raises tessal.Error with the
engine's message."""
import os
import subprocess

import numpy as np
import pytest

import tessal
from conftest import run_cli, sox, without_creation_dates


def sox_floats(path):
    """The samples as sox decodes them: interleaved 32-bit floats, -1..1."""
    raw = subprocess.run(["sox", str(path), "-t", "f32", "-e", "floating-point", "-"],
                         check=True, capture_output=True).stdout
    return np.frombuffer(raw, dtype="<f4")


WAVE_CODINGS = [  # sox options, tolerance of the decoded sample
    (["-b", "8", "-e", "unsigned-integer"], 1 / 64),
    (["-b", "8", "-e", "a-law"], 1 / 16),
    (["-b", "8", "-e", "mu-law"], 1 / 16),
    (["-b", "16", "-e", "signed-integer"], 0),
    (["-b", "24", "-e", "signed-integer"], 0),
    (["-b", "32", "-e", "signed-integer"], 0),
    (["-b", "32", "-e", "floating-point"], 0),
]


@pytest.mark.parametrize("coding,tol", WAVE_CODINGS, ids=lambda c: "-".join(c) if isinstance(c, list) else "")
def test_wave_codings_read_as_sox_decodes_them(tmp_path, signals, coding, tol):
    path = tmp_path / "c.wav"
    sox(signals / "sine.wav", *coding, path)
    doc = tessal.open(path)
    assert len(doc) == 2
    want = sox_floats(path).reshape(-1, 2)
    for c, ch in enumerate(doc.channels):
        assert ch.rate_Hz == 16000
        got = ch.samples / ch.fsd if ch.fsd != 1 else ch.samples
        assert got.dtype == np.float32 and got.shape == (8000,)
        # The G.711 and 8-bit codings: sox and the engine may round the
        # last step differently; the others are exact.
        np.testing.assert_allclose(got, want[:, c], atol=tol + 1e-7)


def test_a_long_channel_reads_as_sox_decodes_it(tmp_path):
    # 2.4 million samples: read in stretches of a million on several threads
    # (when there are several cores); a sweep puts different samples in
    # every stretch, so a stretch in the wrong place or left out shows.
    path = tmp_path / "long.wav"
    sox("-n", "-r", 16000, "-b", 16, path, "synth", 150, "sine", "100-7000", "gain", -1)
    x = tessal.open(path).channels[0].samples
    want = sox_floats(path)
    assert x.shape == want.shape == (2400000,)
    np.testing.assert_array_equal(x, want)


@pytest.mark.parametrize("fmt", [r["id"] for r in tessal.save_formats()])
def test_every_save_format_round_trips_and_equals_tessal_cli(tmp_path, signals, cli, fmt):
    row = next(r for r in tessal.save_formats() if r["id"] == fmt)
    src = tessal.open(signals / "sine.wav")
    ours = tmp_path / ("ours" + row["extension"])
    src.save(ours, format=fmt, yes=True)
    theirs = tmp_path / ("cli" + row["extension"])
    run_cli(cli, "convert", signals / "sine.wav", "-o", theirs, "--format", fmt, "--yes")
    step = 2.0 ** (1 - row["bits"]) if fmt.endswith("i") else 0
    if fmt == "wav8i":
        # 16-bit samples saved as 8-bit PCM get a random triangular dither of
        # one code (a code reads back as 1/127 of full scale), so two saves
        # agree in the header and within two codes.
        a, b = ours.read_bytes(), theirs.read_bytes()
        assert len(a) == len(b) and a[:a.find(b"data") + 8] == b[:b.find(b"data") + 8]
        for x, y in zip(tessal.open(ours).channels, tessal.open(theirs).channels):
            np.testing.assert_allclose(x.samples, y.samples, atol=2.01 / 127 * x.fsd)
        # Dithered 8-bit codes are sample * 125 / full scale (headroom for the
        # dither) plus the dither and rounding, within 1.5 codes; they read
        # back as code / 127 of full scale.
        for a, b in zip(src.channels, tessal.open(ours).channels):
            np.testing.assert_allclose(b.samples, a.samples * 125 / 127, atol=1.51 / 127 * a.fsd)
        return
    # A native file records when each channel was made, a headed file when it
    # was saved (to the second); nothing else differs.
    assert without_creation_dates(ours.read_bytes()) == without_creation_dates(theirs.read_bytes())

    back = tessal.open(ours)
    assert len(back) == 2
    if fmt in ("wav8a", "wav8u"):
        step = 1 / 16
    if fmt == "wav16f":
        step = 1e-3
    for a, b in zip(src.channels, back.channels):
        assert b.rate_Hz == a.rate_Hz
        np.testing.assert_allclose(b.samples, a.samples, atol=step * a.fsd + 1e-7)
    if row["extension"] == ".wav" and fmt != "wav16f":
        # sox reads what the module wrote as the module reads it (sox reads
        # no 16-bit float WAVE files).
        np.testing.assert_allclose(sox_floats(ours).reshape(-1, 2)[:, 0], back.channels[0].samples,
                                   atol=1e-6)


def test_channel_properties_and_labels_survive_the_native_file(tmp_path, signals, cli):
    tg = tmp_path / "l.TextGrid"
    tg.write_text('File type = "ooTextFile"\nObject class = "TextGrid"\n\nxmin = 0\nxmax = 0.5\n'
                  'tiers? <exists>\nsize = 1\nitem []:\n    item [1]:\n        class = "IntervalTier"\n'
                  '        name = "words"\n        xmin = 0\n        xmax = 0.5\n'
                  '        intervals: size = 2\n        intervals [1]:\n            xmin = 0\n'
                  '            xmax = 0.2\n            text = "one"\n        intervals [2]:\n'
                  '            xmin = 0.2\n            xmax = 0.5\n            text = "two"\n')
    labelled = tmp_path / "l.tessal"
    run_cli(cli, "labels", signals / "sine.wav", "--import", tg, "-o", labelled)
    doc = tessal.open(labelled)
    texts = [(round(l["time_s"], 6), round(l["duration_s"], 6), l["text"]) for l in doc.channels[0].labels]
    assert ("one" in [t[2] for t in texts]) and ("two" in [t[2] for t in texts])
    two = next(l for l in doc.channels[0].labels if l["text"] == "two")
    assert two["time_s"] == pytest.approx(0.2) and two["duration_s"] == pytest.approx(0.3)
    again = tmp_path / "again.tessal"
    doc.save(again)
    back = tessal.open(again)
    assert back.channels[0].labels == doc.channels[0].labels
    assert back.channels[0].name == doc.channels[0].name and back.channels[0].unit == doc.channels[0].unit
    assert back.channels[0].fsd == doc.channels[0].fsd


def test_several_files_make_one_document(signals):
    doc = tessal.open([signals / "sine.wav", signals / "voice.wav"])
    assert len(doc) == 3
    doc.add(signals / "voice.wav")
    assert len(doc) == 4
    with pytest.raises(tessal.Error, match="channel 9 does not exist"):
        doc.channel(9)


def test_bad_input_raises_the_engines_message(tmp_path, signals, cli):
    bad = tmp_path / "bad.wav"
    bad.write_bytes(b"RIFF\x10\x00\x00\x00WAVEfmt \x02\x00\x00\x00\x01")
    r = run_cli(cli, "info", bad, check=False)
    assert r.returncode != 0
    with pytest.raises(tessal.Error) as e:
        tessal.open(bad)
    assert str(e.value) and str(e.value) in r.stderr
    with pytest.raises(tessal.Error, match="cannot read|No such file|does not exist"):
        tessal.open(tmp_path / "missing.wav")
    with pytest.raises(tessal.Error, match='no save format "nope"'):
        tessal.open(signals / "sine.wav").save(tmp_path / "x.wav", format="nope")


def test_a_failed_save_leaves_the_old_file(tmp_path, signals):
    out = tmp_path / "keep.wav"
    out.write_bytes(b"old contents")
    # An F0 contour has a rate of its own, and a WAVE file holds one rate.
    proc = tmp_path / "f0.tessalproc"
    proc.write_text("[Common]\nnsteps=3\n[Step_0]\nprocid=load\nnChans=1\nChanno0=0\n"
                    "[Step_1]\nprocid=f0\nAlgorithm=2\nMinF0=60\nMaxF0=400\n"
                    "[Step_2]\nprocid=save\nnChans=1\nChanno0=-1\n")
    split = tessal.open(signals / "voice.wav")
    assert split.run(proc) == ""
    assert len(split) == 2 and split.channels[1].rate_Hz != split.channels[0].rate_Hz
    with pytest.raises(tessal.Error, match="different sampling rates"):
        split.save(out, format="wav16i", yes=True)
    assert out.read_bytes() == b"old contents"
    # A folder that may not be written.
    doc = tessal.open(signals / "sine.wav")
    os.chmod(tmp_path, 0o500)
    try:
        if os.access(tmp_path, os.W_OK):
            pytest.skip("running as a user who may write anywhere")
        with pytest.raises(tessal.Error):
            doc.save(out)
    finally:
        os.chmod(tmp_path, 0o700)
    assert out.read_bytes() == b"old contents"


def test_help_reads_like_a_manual():
    text = tessal.__doc__
    for name in tessal.__all__:
        assert name in text
        obj = getattr(tessal, name)
        assert obj.__doc__ and len(obj.__doc__) > 40, name
