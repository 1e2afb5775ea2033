// The analyses tessal-cli prints, as numpy arrays and plain Python values:
// measure, spectrum and LTAS, spectrogram levels, correlation, F0, glottal
// parameters, EPG indices and subglottal-pressure peaks. Each takes the
// same choices as the command's options and computes through the same
// engine functions, so its numbers are the ones the command prints.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <thread>

#include "bindings.h"
#include "engine/analysis/correlation.h"
#include "engine/analysis/spectrogram.h"
#include "engine/analysis/spectrum.h"
#include "engine/core/measurementitems.h"
#include "engine/dsp/numberfield.h"
#include "engine/dsp/numformat.h"
#include "engine/measurements/measurements.h"
#include "engine/process/f0step.h"
#include "engine/tools/epg.h"
#include "engine/tools/glottalflow.h"
#include "engine/tools/psub.h"
#include "pydocument.h"

namespace py = pybind11;

namespace tessal::py_bind {

using tessal::pymodule::terror;
using tessal::pymodule::tpydocument;
using tdocptr = std::shared_ptr<tpydocument>;

namespace {

std::vector<std::string> split_tabs(const std::string& s) {
    std::vector<std::string> out;
    std::string item;
    std::stringstream in(s);
    while (std::getline(in, item, '\t')) out.push_back(item);
    return out;
}

// A logged value: a number when it reads as one, the text otherwise.
py::object log_value(const std::string& text) {
    double v = 0;
    if (!text.empty() && try_parse_float(text, v)) return py::float_(v);
    return py::str(text);
}

// A log row as a dict keyed by its heading's columns (which carry the
// units, "RMS [V]").
py::dict row_dict(const std::string& heading, const std::string& line) {
    const std::vector<std::string> h = split_tabs(heading), v = split_tabs(line);
    py::dict d;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (!h[i].empty()) d[py::str(h[i])] = log_value(i < v.size() ? v[i] : std::string());
    return d;
}

py::array_t<double> array_of(const std::vector<double>& v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

int relative_from_name(const std::string& r) {
    if (r == "1") return 0;
    if (r == "fsd") return 1;
    if (r == "reference") return 2;
    throw terror("relative is \"1\", \"fsd\" or \"reference\"");
}

TFFTWindow window_from_name(const std::string& name) {
    TFFTWindow w = TFFTWindow::Hanning;
    if (!spectrum_window_from_name(name, w))
        throw terror("window is one of rectangular, Bartlett, Hamming, Hanning, Blackman");
    return w;
}

py::dict spectrum_result(const tspectrum& sp, double R) {
    std::vector<double> f, level;
    for (std::size_t k = 1; k < sp.M / 2 && sp.M >= 4; ++k) {
        f.push_back(sp.bin_freq(static_cast<double>(k)));
        level.push_back(spectrum_level(sp, static_cast<long long>(k), R));
    }
    py::dict d;
    d["frequency_Hz"] = array_of(f);
    d["level_dB"] = array_of(level);
    d["from_s"] = sp.t1;
    d["to_s"] = sp.t2;
    d["frames"] = sp.frames;
    return d;
}

tspectrumsettings spectrum_settings(const std::optional<std::string>& window, std::optional<double> bw) {
    tspectrumsettings s;
    if (window) s.fftwin = window_from_name(*window);
    if (bw) {
        if (!(*bw > 0)) throw terror("bandwidth_Hz takes a positive frequency in Hz");
        s.bw = *bw;
    }
    return s;
}

}  // namespace

void bind_analyses(py::module_& m) {
    m.def(
        "measure",
        [](const tdocptr& d, std::optional<long long> channel, std::optional<double> from_s,
           std::optional<double> to_s, std::optional<std::string> items) {
            std::array<bool, nmeasurementitems> shown{};
            for (int i = 0; i < nmeasurementitems; ++i) shown[i] = measurement_shown_by_default(i);
            if (items) {
                std::string error;
                if (!parse_measurement_items(*items, shown, error)) throw terror(error);
            }
            tdocument& doc = d->doc;
            if (channel) {
                d->channel(*channel);
                doc.selectmode = selmono;
                doc.set_thischanno(static_cast<int>(*channel));
            } else {
                doc.selectmode = selall;
            }
            doc.showmeasurement = shown;
            doc.theglobal.set_selection(from_s ? *from_s : doc.first_time(), to_s ? *to_s : doc.last_time());
            const tlogrow row = measure_log_row_now(doc);
            return row_dict(row.heading, row.line);
        },
        py::arg("doc"), py::arg("channel") = py::none(), py::arg("from_s") = py::none(),
        py::arg("to_s") = py::none(), py::arg("items") = py::none(),
        R"(The measurement pass over from_s..to_s (default the whole document) for one channel or,
without `channel`, all of them: the row "Log measurements" adds, as a dict
keyed by its heading ("RMS [V]": 0.707, ...). items: a comma-separated list of
item numbers or keys, as `tessal-cli measure --items`.)");

    m.def(
        "spectrum",
        [](const tdocptr& d, long long channel, double at_s, std::optional<std::string> window,
           std::optional<double> bandwidth_Hz, const std::string& relative) {
            const tchannel& ch = d->channel(channel);
            const tspectrumsettings s = spectrum_settings(window, bandwidth_Hz);
            if (spectrum_frame_length(s, ch.sampfreq) < 2)
                throw terror("the bandwidth gives no analysis window at this sampling rate");
            const double R = level_reference(relative_from_name(relative), ch.fsd(), ch.dbreference);
            tspectrumworkspace ws;
            tspectrum sp;
            ws.frame(sample_view(ch), s, at_s, sp);
            return spectrum_result(sp, R);
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("at_s") = 0.0, py::arg("window") = py::none(),
        py::arg("bandwidth_Hz") = py::none(), py::arg("relative") = "1",
        R"(The spectrum of the frame at at_s, as `tessal-cli spectrum --at`: a dict with
frequency_Hz and level_dB (numpy arrays, the bins "Log spectrum" lists), from_s,
to_s and frames. window: rectangular, Bartlett, Hamming, Hanning or Blackman;
relative: "1", "fsd" or "reference" (the level's reference).)");

    m.def(
        "ltas",
        [](const tdocptr& d, long long channel, std::optional<double> from_s, std::optional<double> to_s,
           std::optional<std::string> window, std::optional<double> bandwidth_Hz, const std::string& relative) {
            const tchannel& ch = d->channel(channel);
            const tspectrumsettings s = spectrum_settings(window, bandwidth_Hz);
            if (spectrum_frame_length(s, ch.sampfreq) < 2)
                throw terror("the bandwidth gives no analysis window at this sampling rate");
            const double R = level_reference(relative_from_name(relative), ch.fsd(), ch.dbreference);
            double t1 = from_s ? *from_s : d->doc.first_time();
            double t2 = to_s ? *to_s : d->doc.last_time();
            if (t2 < t1) std::swap(t1, t2);
            tspectrumworkspace ws;
            tspectrum sp;
            {
                py::gil_scoped_release nogil;
                ws.ltas(sample_view(ch), s, t1, t2, sp);
            }
            return spectrum_result(sp, R);
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("from_s") = py::none(), py::arg("to_s") = py::none(),
        py::arg("window") = py::none(), py::arg("bandwidth_Hz") = py::none(), py::arg("relative") = "1",
        R"(The long-term average spectrum over from_s..to_s (default the whole document), as
`tessal-cli spectrum --ltas`; the same dict as spectrum().)");

    m.def(
        "spectrogram_levels",
        [](const tdocptr& d, long long channel, std::optional<double> from_s, std::optional<double> to_s,
           int width, int height, double fmax_Hz, std::optional<std::string> window,
           std::optional<double> bandwidth_Hz, double tilt_dB, const std::string& relative) {
            const tchannel& ch = d->channel(channel);
            if (width < 2 || height < 2 || width > 20000 || height > 20000)
                throw terror("width and height take whole pixels, 2 to 20000");
            if (!(fmax_Hz > 0)) throw terror("fmax_Hz takes a positive frequency in Hz");
            tspectrogramsettings s;
            if (window) s.fftwin = window_from_name(*window);
            if (bandwidth_Hz) {
                if (!(*bandwidth_Hz > 0)) throw terror("bandwidth_Hz takes a positive frequency in Hz");
                s.bw = *bandwidth_Hz;
            }
            double t1 = from_s ? *from_s : d->doc.first_time();
            double t2 = to_s ? *to_s : d->doc.last_time();
            if (t2 < t1) std::swap(t1, t2);
            if (!(t2 > t1)) throw terror("the time range is empty");
            if (spectrogram_frame_length(s, ch.sampfreq) < 16)
                throw terror("the bandwidth gives no analysis window of 16 to " +
                             std::to_string(spectrogram_max_frame) + " samples at this sampling rate");
            std::vector<double> times(static_cast<std::size_t>(width)), rows(static_cast<std::size_t>(height));
            for (int x = 0; x < width; ++x) times[static_cast<std::size_t>(x)] = t1 + x * (t2 - t1) / (width - 1);
            for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = y * fmax_Hz / (height - 1);
            tspectrogramstrip strip;
            tspegpicture p;
            p.R = level_reference(relative_from_name(relative), ch.fsd(), ch.dbreference);
            p.tilt = tilt_dB;
            py::array_t<double> levels({static_cast<py::ssize_t>(width), static_cast<py::ssize_t>(height)});
            {
                py::gil_scoped_release nogil;
                const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
                compute_spectrogram(sample_view(ch), s, times, rows, strip, threads);
            }
            auto L = levels.mutable_unchecked<2>();
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    L(x, y) = spectrogram_shown_level(p, rows[static_cast<std::size_t>(y)], strip.at(x, y));
            py::dict out;
            out["time_s"] = array_of(times);
            out["frequency_Hz"] = array_of(rows);
            out["level_dB"] = levels;
            return out;
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("from_s") = py::none(), py::arg("to_s") = py::none(),
        py::arg("width") = 800, py::arg("height") = 256, py::arg("fmax_Hz") = 10000.0,
        py::arg("window") = py::none(), py::arg("bandwidth_Hz") = py::none(), py::arg("tilt_dB") = 6.0,
        py::arg("relative") = "1",
        R"(The spectrogram's levels as `tessal-cli spectrogram --matrix` writes them: a dict with
time_s (width columns from from_s to to_s), frequency_Hz (height rows from 0 to
fmax_Hz) and level_dB, a width x height array (with the tilt in dB per octave
applied, as shown).)");

    m.def(
        "correlation",
        [](const tdocptr& d, long long channel, double at_s, double window_ms, double lags_ms) {
            const tchannel& ch = d->sampled_channel(channel);
            double winms = 0;
            const std::string rule = read_number_field(format_significant(15, window_ms), fields::correlationlength, winms);
            if (!rule.empty()) throw terror("window_ms: " + rule);
            if (!(lags_ms > 0)) throw terror("lags_ms takes a positive largest lag in ms");
            if (std::round(lags_ms / 1000 * ch.sampfreq) > max_correlation_lags)
                throw terror("lags_ms takes at most " + std::to_string(static_cast<long long>(max_correlation_lags)) + " lags");
            const std::vector<double> r = correlation_at(sample_view(ch), winms / 1000, at_s, lags_ms);
            std::vector<double> lag(r.size());
            for (std::size_t i = 0; i < r.size(); ++i) lag[i] = static_cast<double>(i) / ch.sampfreq * 1000;
            py::dict out;
            out["lag_ms"] = array_of(lag);
            out["r"] = array_of(r);
            return out;
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("at_s") = 0.0, py::arg("window_ms") = 50.0,
        py::arg("lags_ms") = 40.0,
        R"(The autocorrelation of the window_ms window at at_s, as `tessal-cli correlation`:
a dict with lag_ms and r (numpy arrays, lags from 0 up to lags_ms).)");

    m.def(
        "f0",
        [](const tdocptr& d, long long channel, int algorithm, std::optional<double> min_Hz,
           std::optional<double> max_Hz, std::optional<double> step_s, double from_s, std::optional<double> to_s) {
            tf0 step;
            step.algorithm = 4;
            if (algorithm < 0 || algorithm > 4)
                throw terror("algorithm is 0 (peak picking), 1 (zero crossings), 2 (multiple peak picking), "
                             "3 (multiple peak picking, old) or 4 (autocorrelation with path tracking)");
            step.algorithm = algorithm;
            if (min_Hz) step.minf0 = *min_Hz;
            if (max_Hz) step.maxf0 = *max_Hz;
            if (!(step.minf0 > 0) || !(step.maxf0 > 0)) throw terror("min_Hz and max_Hz take frequencies in Hz above 0");
            if (!(step.minf0 < step.maxf0)) throw terror("min_Hz must lie below max_Hz");
            if (step_s) {
                if (!(*step_s >= 0.0001 && *step_s <= 1)) throw terror("step_s takes seconds from 0.0001 to 1");
                step.timestep = *step_s;
            }
            if (from_s < 0) throw terror("from_s lies before the start");
            if (to_s && *to_s <= from_s) throw terror("to_s must lie after from_s");
            const tchannel& ch = d->sampled_channel(channel);
            const double fs = ch.sampfreq;
            const auto n = static_cast<std::int64_t>(ch.samples().size());
            const std::int64_t i0 = std::min<std::int64_t>(n, static_cast<std::int64_t>(std::llround(from_s * fs)));
            const std::int64_t i1 =
                to_s ? std::clamp<std::int64_t>(static_cast<std::int64_t>(std::llround(*to_s * fs)), i0, n) : n;
            const tworksig x(ch.samples_slice(i0, i1));
            const double t0 = static_cast<double>(i0) / fs;
            std::vector<double> t, f;
            try {
                py::gil_scoped_release nogil;
                if (step.algorithm == 4) {
                    if (!(step.maxf0 < fs / 2)) throw terror("max_Hz must lie below half the sampling rate");
                    const tf0acframes fr = step.ac_frames(x, fs);
                    for (std::size_t i = 0; i < fr.f0.size(); ++i) {
                        t.push_back(t0 + fr.time(i));
                        f.push_back(fr.f0[i]);
                    }
                } else {
                    // The step's contour, read at the middle of each time step.
                    step.inarr = {x};
                    step.props.assign(1, default_channelproperties(fs));
                    tprocenv env(d->doc, d->prompter);
                    step.run_process(env);
                    const tworksig& y = step.outarr.at(0);
                    const double rate = step.props.at(0).sampfreq;
                    const double dur = static_cast<double>(i1 - i0) / fs;
                    for (double tt = step.timestep / 2; tt < dur; tt += step.timestep) {
                        const auto k = static_cast<std::int64_t>(std::floor(tt * rate));
                        float v = 0;
                        if (k >= 0 && static_cast<std::size_t>(k) < y.size()) y.read(k, 1, &v);
                        t.push_back(t0 + tt);
                        f.push_back(std::isfinite(v) && v > 0 ? v : 0.0);
                    }
                }
            } catch (const terror&) {
                throw;
            } catch (const std::exception& e) {
                throw terror(tessal::pymodule::plain_text(e.what()));
            }
            py::dict out;
            out["time_s"] = array_of(t);
            out["f0_Hz"] = array_of(f);
            return out;
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("algorithm") = 4, py::arg("min_Hz") = py::none(),
        py::arg("max_Hz") = py::none(), py::arg("step_s") = py::none(), py::arg("from_s") = 0.0,
        py::arg("to_s") = py::none(),
        R"(The F0 contour of a channel, as `tessal-cli f0`: a dict with time_s and f0_Hz (numpy
arrays, 0 where unvoiced). algorithm: 0 peak picking, 1 zero crossings, 2
multiple peak picking, 3 multiple peak picking (old), 4 autocorrelation with
path tracking (its own frames; the others are read at the middle of each
step_s).)");

    m.def(
        "glottal",
        [](const tdocptr& d, long long channel, double at_s, std::pair<double, double> period_s,
           std::optional<std::pair<double, double>> closed_s) {
            tglottalflow g;
            g.load_segment(d->channel(channel), at_s);
            if (g.filename.empty()) g.filename = d->doc.filename();
            const double seglen = glottal_seglen / g.sampfreq;
            const auto [p1, p2] = period_s;
            if (p1 < at_s || p2 < at_s || p1 > at_s + seglen || p2 > at_s + seglen)
                throw terror("the period lies outside the segment that starts at at_s");
            g.mark_period(p1 - at_s, p2 - at_s);
            if (!g.period_ok()) {
                if (g.periodstate == tperiodstate::click)
                    throw terror("period_s needs two different times, one MDR peak and the next");
                throw terror(g.period_problem() + ": give period_s the times of two neighbouring MDR peaks");
            }
            if (closed_s) g.mark_closed(closed_s->first - at_s, closed_s->second - at_s);
            if (closed_s && !g.closedvalid) throw terror("the closed phase lies outside the period");
            return row_dict(g.heading(), g.datarow(d->doc.prefs));
        },
        py::arg("doc"), py::arg("channel"), py::arg("at_s"), py::arg("period_s"), py::arg("closed_s") = py::none(),
        R"(The glottal-flow parameters of one cycle as the T-naq window measures them, as
`tessal-cli glottal`: the segment starts at at_s, the period is marked between
the two times of period_s (snapped onto the MDR peaks) and the closed phase
between those of closed_s. A dict keyed by the logged row's heading.)");

    m.def(
        "epg",
        [](const tdocptr& d, long long channel, std::optional<double> from_s, std::optional<double> to_s,
           std::optional<std::vector<int>> methods) {
            const tchannel& c = d->channel(channel);
            if (!c.epgexists || c.epg.empty() || !(c.epgsampfreq > 0))
                throw terror("channel " + std::to_string(channel) + " has no EPG data");
            std::vector<int> ms;
            if (methods) ms = *methods;
            else for (int i = 0; i < 11; ++i) ms.push_back(i);
            for (int k : ms)
                if (k < 0 || k > 10) throw terror("methods are contact index numbers 0 to 10");
            double from = from_s.value_or(0), to = 0;
            if (!from_s && !to_s) to = (static_cast<double>(c.epg.size()) - 1) / c.epgsampfreq;
            else to = to_s ? *to_s : from;
            std::stringstream in(epg_report(c, from, to, ms));
            // The report: a heading, eight palate rows, the centre of gravity,
            // an empty line, then the frames' heading and rows.
            std::string line;
            std::vector<std::string> lines;
            while (std::getline(in, line)) lines.push_back(line);
            // The report: a title, the palate's heading and its eight rows
            // (front row first, each led by its row number), the centre of
            // gravity, an empty line, then the frames' heading and rows.
            if (lines.size() < 11) throw terror("the EPG report is incomplete");
            py::dict out;
            out["title"] = lines[0];
            py::array_t<double> palate({8, 8});
            auto P = palate.mutable_unchecked<2>();
            for (std::size_t r = 0; r < 8; ++r) {
                const std::vector<std::string> v = split_tabs(lines[2 + r]);
                double row = 0;
                if (v.size() < 9 || !try_parse_float(v[0], row) || row < 0 || row > 7)
                    throw terror("the EPG report's palate row is unreadable");
                for (std::size_t c = 0; c < 8; ++c) {
                    double x = std::nan("");
                    try_parse_float(v[c + 1], x);
                    P(static_cast<py::ssize_t>(row), static_cast<py::ssize_t>(c)) = x;
                }
            }
            out["palate"] = palate;
            out["cog"] = lines[10];
            std::size_t i = 11;
            while (i < lines.size() && lines[i].empty()) ++i;
            py::dict frames;
            if (i < lines.size()) {
                const std::vector<std::string> head = split_tabs(lines[i]);
                std::vector<std::vector<double>> cols(head.size());
                for (std::size_t k = i + 1; k < lines.size(); ++k) {
                    const std::vector<std::string> v = split_tabs(lines[k]);
                    for (std::size_t j = 0; j < head.size(); ++j) {
                        double x = std::nan("");
                        if (j < v.size()) try_parse_float(v[j], x);
                        cols[j].push_back(x);
                    }
                }
                for (std::size_t j = 0; j < head.size(); ++j) frames[py::str(head[j])] = array_of(cols[j]);
            }
            out["frames"] = frames;
            return out;
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("from_s") = py::none(), py::arg("to_s") = py::none(),
        py::arg("methods") = py::none(),
        R"(The average palate and the contact indices of the channel's electropalatograph
frames over from_s..to_s, as `tessal-cli epg`: a dict with title, palate (an 8 x 8
array of contact fractions indexed [row, column], row 0 at the back), cog (the
centre of gravity line) and
frames ({column heading: numpy array}, "Time [s]" and one per index).
methods: index numbers 0 to 10 (default all).)");

    m.def(
        "psub",
        [](const tdocptr& d, long long channel, std::optional<double> from_s, std::optional<double> to_s,
           std::optional<double> threshold, std::optional<double> min_duration_s,
           std::optional<double> max_duration_s, std::optional<double> min_score_pct,
           std::optional<double> peak_percentile_pct, std::optional<double> variability_percentile_pct) {
            if (from_s.has_value() != to_s.has_value()) throw terror("give both from_s and to_s or neither");
            tpsubparams p;
            auto number = [](std::optional<double> v, double& into, double scale, bool nonnegative) {
                if (!v) return;
                if (!std::isfinite(*v)) throw terror("psub parameters need finite numbers");
                into = (nonnegative && *v < 0 ? 0 : *v) / scale;
            };
            number(threshold, p.fthreshold, 1, false);
            number(min_duration_s, p.fminduration, 1, true);
            number(max_duration_s, p.fmaxduration, 1, true);
            number(min_score_pct, p.fminscore, 100, true);
            number(peak_percentile_pct, p.fpeakpercentile, 100, true);
            number(variability_percentile_pct, p.fvariabilitypercentile, 100, true);
            p.fpeakpercentile = std::min(p.fpeakpercentile, 1.0);
            p.fvariabilitypercentile = std::min(p.fvariabilitypercentile, 1.0);
            const tchannel& ch = d->channel(channel);
            tsection s{from_s.value_or(0), to_s.value_or(0)};
            if (!from_s) {
                s.from = ch.sampfreq > 0 ? static_cast<double>(ch.xshift) / ch.sampfreq : 0;
                s.to = s.from + ch.duration();
            }
            const std::vector<tpeak> peaks = detect_peaks(ch, s, p);
            const tpeakstatistics st = peak_statistics(peaks, ch, s);
            const int digits = d->doc.prefs.nSignificantDigits;
            const tpsublog pl = peaks_log(peaks, st, digits);
            const tpsublog sl = statistics_log(st, digits);
            py::list rows;
            for (const std::string& r : pl.rows) rows.append(row_dict(pl.heading, r));
            py::dict out;
            out["peaks"] = rows;
            out["statistics"] = sl.rows.empty() ? py::dict() : row_dict(sl.heading, sl.rows.front());
            return out;
        },
        py::arg("doc"), py::arg("channel") = 0, py::arg("from_s") = py::none(), py::arg("to_s") = py::none(),
        py::arg("threshold") = py::none(), py::arg("min_duration_s") = py::none(),
        py::arg("max_duration_s") = py::none(), py::arg("min_score_pct") = py::none(),
        py::arg("peak_percentile_pct") = py::none(), py::arg("variability_percentile_pct") = py::none(),
        R"(The subglottal-pressure peaks of the channel over from_s..to_s (default all of it),
as `tessal-cli psub`: a dict with peaks (a list of dicts, one per logged peak,
keyed by the heading of "Log peaks") and statistics (the row of "Log
statistics" as a dict).)");
}

}  // namespace tessal::py_bind
