"""Each analysis of the module gives the numbers tessal-cli prints for the
same input and choices, and the analytic truth where the signal fixes it."""
import numpy as np
import pytest

import tessal
from conftest import cli_table, run_cli, sox


def floats(column):
    return np.array([float(v) for v in column])


def test_measure_equals_tessal_cli(signals, cli):
    doc = tessal.open(signals / "sine.wav")
    for channel, args in ((None, []), (1, ["--channel", "1"])):
        got = tessal.measure(doc, channel=channel, from_s=0.1, to_s=0.4)
        head, line = cli_table(run_cli(cli, "measure", signals / "sine.wav", *args, "--from", "0.1",
                                       "--to", "0.4").stdout)[:2]
        _row_equals(got, head, line)
    # A sine of peak -3 dB re full scale: Leq lies 20 log10(sqrt 2) dB lower
    # and the crest factor is that difference (logged to two decimals).
    row = tessal.measure(doc, channel=0)
    assert row["Lpeak [dB re FSD]"] == pytest.approx(-3, abs=0.006)
    assert row["Leq [dB re FSD]"] == pytest.approx(-3 - 20 * np.log10(np.sqrt(2)), abs=0.006)
    assert row["Crest [dB]"] == pytest.approx(20 * np.log10(np.sqrt(2)), abs=0.006)


@pytest.mark.parametrize("ltas", [False, True])
def test_spectrum_and_ltas_equal_tessal_cli(signals, cli, ltas):
    doc = tessal.open(signals / "sine.wav")
    if ltas:
        got = tessal.ltas(doc, channel=1, from_s=0.1, to_s=0.4, window="Hanning", bandwidth_Hz=50)
        args = ["--ltas", "--from", "0.1", "--to", "0.4"]
    else:
        got = tessal.spectrum(doc, channel=1, at_s=0.25, window="Hanning", bandwidth_Hz=50)
        args = ["--at", "0.25"]
    rows = cli_table(run_cli(cli, "spectrum", signals / "sine.wav", "--channel", "1", "--window", "Hanning",
                             "--bandwidth", "50", *args).stdout)
    assert rows[0][:2] == ["f [Hz]", "Level [dB]"]
    body = rows[1:]
    # tessal-cli prints frequencies to five significant digits.
    np.testing.assert_allclose(got["frequency_Hz"], floats(r[0] for r in body), rtol=5.1e-5)
    np.testing.assert_allclose(got["level_dB"], floats(r[1] for r in body), atol=0.01)
    # The 1000 Hz tone is the peak.
    assert got["frequency_Hz"][np.argmax(got["level_dB"])] == pytest.approx(1000, abs=40)


def test_spectrogram_levels_equal_the_matrix(tmp_path, signals, cli):
    doc = tessal.open(signals / "sine.wav")
    got = tessal.spectrogram_levels(doc, channel=0, width=20, height=16, fmax_Hz=4000)
    m = tmp_path / "m.tsv"
    run_cli(cli, "spectrogram", signals / "sine.wav", "--width", 20, "--height", 16, "--fmax", 4000,
            "--matrix", m)
    rows = cli_table(m.read_text())[1:]
    assert got["level_dB"].shape == (20, 16)
    np.testing.assert_allclose(got["time_s"], floats(r[0] for r in rows[::16]), rtol=1e-7)
    np.testing.assert_allclose(got["frequency_Hz"], floats(r[1] for r in rows[:16]), rtol=1e-7)
    np.testing.assert_allclose(got["level_dB"].ravel(), floats(r[2] for r in rows), atol=1e-4)


def test_correlation_equals_tessal_cli_and_peaks_at_the_period(signals, cli):
    doc = tessal.open(signals / "sine.wav")
    got = tessal.correlation(doc, channel=0, at_s=0.25, window_ms=30, lags_ms=10)
    rows = cli_table(run_cli(cli, "correlation", signals / "sine.wav", "--at", 0.25, "--window", 30,
                             "--lags", 10).stdout)[1:]
    np.testing.assert_allclose(got["lag_ms"], floats(r[0] for r in rows), rtol=1e-9)
    np.testing.assert_allclose(got["r"], floats(r[1] for r in rows), rtol=1e-9, atol=1e-12)
    # 440 Hz: r = cos(2 pi 440 lag), so the first maximum after lag 0 lies at
    # 1/440 s (to a sample, 1/16 ms) and r is -1 half a period earlier.
    r, lag = got["r"], got["lag_ms"]
    k = next(i for i in range(1, len(r) - 1) if r[i - 1] < r[i] >= r[i + 1])
    assert lag[k] == pytest.approx(1000 / 440, abs=1 / 16)
    np.testing.assert_allclose(r, np.cos(2 * np.pi * 440 * lag / 1000), atol=0.02)


@pytest.mark.parametrize("algorithm", [0, 1, 2, 3, 4])
def test_f0_every_algorithm_equals_tessal_cli(signals, cli, algorithm):
    doc = tessal.open(signals / "voice.wav")
    got = tessal.f0(doc, algorithm=algorithm, min_Hz=60, max_Hz=400)
    rows = cli_table(run_cli(cli, "f0", signals / "voice.wav", "--algorithm", algorithm, "--min", 60,
                             "--max", 400).stdout)
    np.testing.assert_allclose(got["time_s"], floats(r[0] for r in rows), atol=1e-6)
    np.testing.assert_allclose(got["f0_Hz"], floats(r[1] for r in rows), rtol=1e-5)
    voiced = got["f0_Hz"][got["f0_Hz"] > 0]
    assert len(voiced) > 0
    assert np.median(voiced) == pytest.approx(120, rel=0.05)


def _isnum(v):
    try:
        float(v)
        return v != ""
    except ValueError:
        return False


def _row_equals(got, heading, line):
    want = {h: v for h, v in zip(heading, line) if h}
    assert list(got) == list(want)
    for k, w in want.items():
        assert got[k] == (float(w) if _isnum(w) else w), k


def test_psub_equals_tessal_cli(tmp_path, cli):
    # Plateaus of 0.5 lasting 0.3 s (from 0.5 s) and 0.45 s (from 1.5 s).
    p = tmp_path / "p.wav"
    sox("-D", "-n", "-r", 1000, "-e", "floating-point", "-b", 32, p, "synth", 0.5, "sine", 0, ":",
        "synth", 0.3, "sine", 0, "dcshift", 0.5, ":", "synth", 0.7, "sine", 0, ":", "synth", 0.45, "sine", 0,
        "dcshift", 0.5, ":", "synth", 0.55, "sine", 0)
    got = tessal.psub(tessal.open(p), threshold=0.1)
    rows = cli_table(run_cli(cli, "psub", p, "--threshold", 0.1).stdout)
    assert len(got["peaks"]) == 2 and len(rows) == 5
    for d, line in zip(got["peaks"], rows[1:3]):
        _row_equals(d, rows[0], line)
    _row_equals(got["statistics"], rows[3], rows[4])
    assert got["peaks"][0]["Time [s]"] == pytest.approx(0.5)
    assert [v for k, v in got["peaks"][1].items() if k.startswith("Duration")][0] == pytest.approx(0.45)


def test_glottal_equals_tessal_cli(tmp_path, cli):
    # Triangles of height 0.8, period 10 ms: rising for 3 ms, falling for 3 ms.
    dat = tmp_path / "tri.dat"
    lines = ["; Sample Rate 10000", "; Channels 1"]
    for i in range(10000):
        q = i % 100
        v = q / 30 if q < 30 else ((60 - q) / 30 if q < 60 else 0)
        lines.append("%.8f %.10f" % (i / 10000, 0.8 * v))
    dat.write_text("\n".join(lines) + "\n")
    tri = tmp_path / "tri.wav"
    sox("-D", dat, "-e", "floating-point", "-b", 32, tri)
    doc = tessal.open(tri)
    head, line = cli_table(run_cli(cli, "glottal", tri, "--channel", 0, "--at", 0.5, "--period", 0.5131,
                                   0.5231, "--closed", 0.516, 0.52).stdout)[:2]
    got = tessal.glottal(doc, 0, 0.5, (0.5131, 0.5231), closed_s=(0.516, 0.52))
    _row_equals(got, head, line)
    # Counted by hand: F0 100 Hz, NAQ 0.3, CQ 0.4.
    assert got["F0 [Hz]"] == pytest.approx(100) and got["NAQ"] == pytest.approx(0.3)
    assert got["CQ"] == pytest.approx(0.4)
    with pytest.raises(tessal.Error, match="outside the segment"):
        tessal.glottal(doc, 0, 0.5, (0.1, 0.2))


def test_epg_equals_tessal_cli(tmp_path, cli):
    wav = tmp_path / "p.wav"
    sox("-n", "-r", 8000, "-b", 16, wav, "synth", 0.05, "sine", 200)
    (tmp_path / "p.epg").write_bytes(b"\0\0\0\0\0\0\0\x81\xff\xff\xff\0\0\0\0\0\0\0\0\0\0\0\0\0")
    doc = tessal.open(wav)
    assert doc.channels[0].has_epg
    got = tessal.epg(doc)
    rows = cli_table(run_cli(cli, "epg", wav).stdout)
    assert got["title"] == rows[0][0]
    for line in rows[2:10]:
        np.testing.assert_allclose(got["palate"][int(line[0])], floats(line[1:9]), rtol=1e-5)
    assert got["cog"] == rows[10][0]
    head = rows[12]
    assert list(got["frames"]) == head
    for j, h in enumerate(head):
        np.testing.assert_allclose(got["frames"][h], floats(r[j] for r in rows[13:]), rtol=1e-6)
    # Rows 0..2 touched in one frame of three: a third each (counted by hand).
    np.testing.assert_allclose(got["palate"][0], np.full(8, 1 / 3), rtol=1e-5)
    with pytest.raises(tessal.Error, match="has no EPG data"):
        tessal.epg(_plain(tmp_path))


def _plain(tmp_path):
    plain = tmp_path / "plain.wav"
    sox("-n", "-r", 8000, "-b", 16, plain, "synth", 0.05, "sine", 200)
    return tessal.open(plain)


def test_bad_choices_raise_with_the_reason(signals):
    doc = tessal.open(signals / "voice.wav")
    with pytest.raises(tessal.Error, match="algorithm is 0"):
        tessal.f0(doc, algorithm=7)
    with pytest.raises(tessal.Error, match="channel 3 does not exist"):
        tessal.spectrum(doc, channel=3)
    with pytest.raises(tessal.Error, match="window is one of"):
        tessal.ltas(doc, window="triangle")
