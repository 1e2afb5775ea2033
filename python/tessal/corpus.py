"""Corpus runs: one process file over many files, each file on its own.

    import tessal
    table = tessal.corpus.run("f0.tessalproc", files, "out/", format="tessal32f")

or spread over a dask.distributed cluster (a LocalCluster or any other):

    from dask.distributed import Client, LocalCluster
    with Client(LocalCluster(n_workers=2, threads_per_worker=1)) as client:
        table = tessal.corpus.run("f0.tessalproc", files, "out/", format="tessal32f", client=client)

Each file gives out_dir/<name>.<ext> (the format's extension, else the file's
own), the file `tessal-cli run PROCESS --each FILE... --out-dir DIR
[--format ID]` writes, byte for byte but for the time a channel was made
(which a native file records). The table has one dict per file, in the
order given: file, status ("ok" or "failed"), message ("" or the engine's
reason), notes (what the run said after "Done", as tessal-cli prints it on
stderr; "" for nothing) and seconds (the time the file took).
"""

import os
import time

__all__ = ["run", "out_path", "shard"]


def out_path(file, out_dir, extension=None):
    """The output a file gives: out_dir/<stem><extension>, the file's own extension
    when `extension` is None."""
    stem, ext = os.path.splitext(os.path.basename(os.fspath(file)))
    return os.path.join(os.fspath(out_dir), stem + (ext if extension is None else extension))


def shard(files, k, n):
    """The k-th (1..n) of n shares of the sorted file list, as `tessal-cli run --each
    --shard K/N` takes it: file i of the sorted list (from 0) belongs to share
    i mod n + 1, so the n shares together hold every file exactly once."""
    if not (isinstance(k, int) and isinstance(n, int) and 1 <= k <= n):
        raise ValueError("a shard is K/N with 1 <= K <= N")
    return [f for i, f in enumerate(sorted(files)) if i % n == k - 1]


def _one(process, file, out, format, yes):
    # Runs in a worker: the extension is imported there.
    from . import _tessal
    start = time.perf_counter()
    notes = ""
    try:
        notes = _tessal.run_file(process, file, out, format, yes)
        status, message = "ok", ""
    except _tessal.Error as e:
        status, message = "failed", str(e)
    return {"file": file, "status": status, "message": message, "notes": notes,
            "seconds": time.perf_counter() - start}


def run(process, files, out_dir, format=None, client=None, jobs=None, yes=False):
    """Runs the process file on every file on its own and writes out_dir/<name>.<ext>.

    process: a .tessalproc file; files: paths; out_dir: an existing folder;
    format: a save format id (tessal.save_formats()), else each file's own
    format; client: a dask.distributed.Client to spread the files over its
    cluster, else `jobs` local processes (default: the number of cores);
    yes: answer the questions a save may ask with yes.

    Returns the table: a list of dicts (file, status, message, notes, seconds), in the
    order of `files`. Raises tessal.Error before anything runs when out_dir is
    no folder, the format is unknown or two files would give one output.
    """
    from . import _tessal
    process = os.path.abspath(os.fspath(process))
    files = [os.fspath(f) for f in files]
    out_dir = os.fspath(out_dir)
    if not os.path.isdir(out_dir):
        raise _tessal.Error(out_dir + " is not a folder")
    extension = None
    if format is not None:
        rows = [r for r in _tessal.save_formats() if r["id"] == format]
        if not rows:
            raise _tessal.Error('no save format "%s"' % format)
        extension = rows[0]["extension"]
    outs = [out_path(f, out_dir, extension) for f in files]
    first = {}
    for f, o in zip(files, outs):
        key = os.path.normpath(o)
        if key in first:
            raise _tessal.Error("%s and %s would both be saved as %s; nothing was run"
                                % (first[key], f, key))
        first[key] = f
    if not files:
        return []
    if client is not None:
        futures = client.map(_one, [process] * len(files), files, outs,
                             [format] * len(files), [yes] * len(files), pure=False)
        return client.gather(futures)
    # Imported here: multiprocessing takes a while to import, and a script
    # that only reads files should not wait for it.
    from concurrent.futures import ProcessPoolExecutor
    workers = jobs or os.cpu_count() or 1
    with ProcessPoolExecutor(max_workers=min(workers, len(files))) as pool:
        return list(pool.map(_one, [process] * len(files), files, outs,
                             [format] * len(files), [yes] * len(files)))
