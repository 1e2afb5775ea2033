// tessal.open, Document, Channel and Label: a document's channels with
// their samples as numpy arrays, their properties, labels and notes, and
// saving and processing the document.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "bindings.h"
#include "engine/formats/saveformats.h"
#include "pydocument.h"

namespace py = pybind11;

namespace tessal::py_bind {

using tessal::pymodule::terror;
using tessal::pymodule::tpydocument;
using tdocptr = std::shared_ptr<tpydocument>;

namespace {

// A channel of a document: the document is kept alive while it is held.
struct tchannelref {
    tdocptr d;
    long long channo;
    tchannel& ch() const { return d->channel(channo); }
};

py::dict label_dict(const tsiglabel& l) {
    py::dict values;
    for (const tentity& e : l.entities.no) {
        py::dict v;
        v["value"] = e.value;
        v["unit"] = e.yunit;
        values[py::str(e.entityname)] = v;
    }
    py::dict d;
    d["time_s"] = l.time;
    d["duration_s"] = l.duration;
    d["text"] = l.text;
    d["type"] = l.labeltype;
    d["descriptor"] = l.entities.descriptor;
    d["values"] = values;
    return d;
}

// The samples, copied once out of the block store into a new numpy array.
// Samples still in the file are decoded straight into the array
// (read_through: no block enters the cache, so a long file does not fill
// it), in as many stretches as there are cores, each on its own thread,
// without the GIL.
py::array_t<float> samples_array(const tchannel& ch) {
    const tsamplestore& store = ch.samples();
    const std::int64_t n = store.size();
    py::array_t<float> out(static_cast<py::ssize_t>(n));
    float* dst = out.mutable_data();
    {
        py::gil_scoped_release nogil;
        const auto copy = [&store, dst](std::int64_t from, std::int64_t to) {
            store.read_through(from, static_cast<std::size_t>(to - from), dst + from);
        };
        // Stretches of whole blocks, and none for a short channel.
        const std::int64_t per = static_cast<std::int64_t>(block_samples) * 16;
        const std::int64_t parts = std::clamp<std::int64_t>(
            n / per, 1, std::max(1u, std::thread::hardware_concurrency()));
        const std::int64_t step = (n / parts + per - 1) / per * per;
        std::vector<std::thread> threads;
        std::exception_ptr error;
        std::mutex error_mutex;
        for (std::int64_t from = step; from < n; from += step)
            threads.emplace_back([&, from] {
                try {
                    copy(from, std::min(n, from + step));
                } catch (...) {
                    std::lock_guard lock(error_mutex);
                    error = std::current_exception();
                }
            });
        try {
            copy(0, std::min(n, step));
        } catch (...) {
            std::lock_guard lock(error_mutex);
            error = std::current_exception();
        }
        for (std::thread& t : threads) t.join();
        if (error) {
            // A file that became shorter or unreadable since it was opened.
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                throw terror(tessal::pymodule::plain_text(e.what()));
            }
        }
    }
    return out;
}

}  // namespace

void bind_document(py::module_& m) {
    py::class_<tchannelref>(m, "Channel", R"(One channel of a Document.

Its samples are 32-bit floats in the channel's unit; sample k lies at
(k + shift) / rate_Hz seconds.)")
        .def_property_readonly(
            "samples", [](const tchannelref& c) { return samples_array(c.ch()); },
            "The samples as a new 1-D numpy float32 array on each call (keep it rather than "
            "reading it again; samples still in the file are read from it then).")
        .def_property_readonly(
            "rate_Hz", [](const tchannelref& c) { return c.ch().sampfreq; }, "The sampling rate in Hz (0: none).")
        .def_property_readonly(
            "name", [](const tchannelref& c) { return c.ch().name(); }, "The channel's name.")
        .def_property_readonly(
            "unit", [](const tchannelref& c) { return c.ch().yunit(); }, "The unit of the samples (\"V\", \"Pa\", ...).")
        .def_property_readonly(
            "fsd", [](const tchannelref& c) { return c.ch().fsd(); }, "The full scale, in the channel's unit.")
        .def_property_readonly(
            "shift", [](const tchannelref& c) { return c.ch().xshift; },
            "The time shift in samples: sample k lies at (k + shift) / rate_Hz seconds.")
        .def_property_readonly(
            "duration_s", [](const tchannelref& c) { return c.ch().duration(); }, "The length in seconds.")
        .def_property_readonly(
            "sample_count", [](const tchannelref& c) { return c.ch().sample_count(); }, "The number of samples.")
        .def_property_readonly(
            "file_name", [](const tchannelref& c) { return c.ch().filename; }, "The file the channel came from.")
        .def_property_readonly(
            "labels",
            [](const tchannelref& c) {
                py::list out;
                for (const tsiglabel& l : c.ch().labels) out.append(label_dict(l));
                return out;
            },
            "The labels in time order, each a dict: time_s, duration_s (0 for a point), text, type, "
            "descriptor and values ({name: {\"value\": number, \"unit\": text}}).")
        .def_property_readonly(
            "notes", [](const tchannelref& c) { return c.ch().notes; }, "The channel's notes, one text per line.")
        .def_property_readonly(
            "has_epg", [](const tchannelref& c) { return c.ch().epgexists && !c.ch().epg.empty(); },
            "Whether the channel carries electropalatograph frames.")
        .def("__repr__", [](const tchannelref& c) {
            const tchannel& ch = c.ch();
            return "<tessal.Channel " + std::to_string(c.channo) + " \"" + ch.name() + "\" " +
                   std::to_string(ch.sample_count()) + " samples at " + std::to_string(ch.sampfreq) + " Hz>";
        });

    py::class_<tpydocument, tdocptr>(m, "Document", R"(A document: the channels of one or more files.

Made by tessal.open(). Channels are numbered from 0 as in tessal-cli.)")
        .def_property_readonly(
            "channels",
            [](const tdocptr& d) {
                py::list out;
                for (int i = 0; i < d->doc.totnchans(); ++i) out.append(tchannelref{d, i});
                return out;
            },
            "The channels, a list of Channel.")
        .def(
            "channel", [](const tdocptr& d, long long n) { d->channel(n); return tchannelref{d, n}; },
            py::arg("number"), "Channel `number` (from 0); raises tessal.Error when there is none.")
        .def_property_readonly(
            "file_name", [](const tdocptr& d) { return d->doc.filename(); }, "The document's file name.")
        .def_property_readonly(
            "start_s", [](const tdocptr& d) { return d->doc.first_time(); }, "The earliest time of any channel, in seconds.")
        .def_property_readonly(
            "end_s", [](const tdocptr& d) { return d->doc.last_time(); }, "The latest time of any channel, in seconds.")
        .def(
            "add", [](const tdocptr& d, const py::object& path) { d->open_more(path_of(path)); },
            py::arg("path"), "Adds the channels of another file, as Add does.")
        .def(
            "save",
            [](const tdocptr& d, const py::object& path, std::optional<std::string> format, bool yes) {
                d->save(path_of(path), format, yes);
            },
            py::arg("path"), py::arg("format") = py::none(), py::arg("yes") = false,
            R"(Saves every channel to `path`.

format: a save format id (see tessal.save_formats()); without it the
extension's format, and a WAVE file keeps the coding its channels came with.
yes: answer the questions a save may ask with yes (without it they are
refused and the save raises tessal.Error). A failed save leaves an existing
file as it was.)")
        .def(
            "run", [](const tdocptr& d, const py::object& proc) { return d->run(path_of(proc)); },
            py::arg("process"),
            R"(Runs a process file (.tessalproc) on the document, as "Run process" does.

Returns the run's notes besides "Done" ("" for none); raises tessal.Error
with the failing step's message.)")
        .def("__len__", [](const tdocptr& d) { return d->doc.totnchans(); })
        .def("__repr__", [](const tdocptr& d) {
            return "<tessal.Document \"" + d->doc.filename() + "\" " + std::to_string(d->doc.totnchans()) +
                   " channels>";
        });

    m.def(
        "open",
        [](py::object paths) {
            const std::vector<std::string> list = paths_of(paths);
            auto d = std::make_shared<tpydocument>();
            d->open(list);
            return d;
        },
        py::arg("path"),
        R"(Opens a file (or a list of files, the first as the document and the others added) in any
format the engine reads (WAVE, SMP, the native .tessal file, ...).

Returns a Document; raises tessal.Error with the engine's message when a file
cannot be read.)");

    m.def(
        "save_formats",
        []() {
            py::list out;
            for (const tsavefilter& r : default_savefilters()) {
                py::dict d;
                d["id"] = r.idstr;
                d["extension"] = r.ext;
                d["bits"] = r.nbits;
                d["caption"] = r.filterstr;
                out.append(d);
            }
            return out;
        },
        "The formats Document.save writes: a list of dicts (id, extension, bits, caption).");

    m.def(
        "run_file",
        [](const py::object& process_path, const py::object& inputs, const py::object& out_path,
           std::optional<std::string> format, bool yes) {
            const std::string process = path_of(process_path), out = path_of(out_path);
            const std::vector<std::string> list = paths_of(inputs);
            py::gil_scoped_release nogil;
            return tessal::pymodule::run_process_job(process, list, out, format, yes);
        },
        py::arg("process"), py::arg("inputs"), py::arg("out"), py::arg("format") = py::none(),
        py::arg("yes") = false,
        R"(Opens `inputs` (a path or a list: the first as the document, the others added), runs the
process file on it and saves the result to `out`: the file
`tessal-cli run PROCESS IN... -o OUT [--format ID]` writes, byte for byte but
for the time a channel was made, which a native file records.

Returns the run's notes: what it said besides "Done" (steps that went on
without something, samples that became infinite), the text tessal-cli prints
on stderr after the run; "" for nothing.

Raises tessal.Error with the message tessal-cli prints; nothing is written then.)");
}

}  // namespace tessal::py_bind
