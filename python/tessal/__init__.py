"""Tessal: voice and speech signals from Python, through Tessal's own engine.

Open a file, read its samples and analyse them:

    import tessal
    doc = tessal.open("vowel.wav")
    f0 = tessal.f0(doc, channel=0)          # {"time_s": array, "f0_Hz": array}

Every function takes the same choices as the tessal-cli command of the same
name and gives the numbers that command prints, as numpy arrays (names carry
the unit: time_s, frequency_Hz, level_dB) or as dicts keyed by the logged
heading ("RMS [V]"). What the engine refuses raises tessal.Error with the
engine's own message.

Files and documents:
    open(path)                 a Document of one file, or of a list of files
    Document.channels          its Channels: samples (numpy float32), rate_Hz,
                               name, unit, fsd, labels, notes
    Document.save(path, format=None)   any format tessal-cli convert writes
    Document.run(process)      runs a .tessalproc process file on it
    save_formats()             the save formats and their ids
    run_file(process, inputs, out, format=None)
                               what `tessal-cli run PROCESS IN -o OUT` does;
                               returns the run's notes (what it prints after
                               the run, "" for nothing)

Analyses (doc, channel, ...):
    measure, spectrum, ltas, spectrogram_levels, correlation, f0, glottal,
    epg, psub

Many files at once (tessal.corpus):
    corpus.run(process, files, out_dir, format=None, client=None)
                               over local processes or a dask.distributed
                               cluster; the outputs equal those of
                               `tessal-cli run PROCESS --each`.
"""

from ._tessal import (  # noqa: F401
    Channel,
    Document,
    Error,
    correlation,
    epg,
    f0,
    glottal,
    ltas,
    measure,
    open,
    psub,
    run_file,
    save_formats,
    spectrogram_levels,
    spectrum,
)
from . import corpus  # noqa: F401,E402

__all__ = [
    "Channel", "Document", "Error", "open", "save_formats", "run_file",
    "measure", "spectrum", "ltas", "spectrogram_levels", "correlation", "f0",
    "glottal", "epg", "psub", "corpus",
]
