// The document's SMP paths: reading a .smp file's channels and labels into
// the document, with the warning for files of a known-bad calibration; and
// writing channels out with the producing process "Tessal".
#include <algorithm>
#include <memory>
#include <cmath>
#include <set>
#include <limits>
#include <tuple>

#include "engine/formats/formatpaths.h"
#include "engine/formats/savespan.h"
#include "engine/formats/textgrid.h"
#include "engine/formats/tsmpfile.h"

namespace tessal {

tloaded read_smp_document(tformatio& io, const std::string& path, const std::string&) {
    auto smp = std::make_shared<TSMPfile>();
    if (!smp->open_file(path, true)) {
        std::string why = smp->Getopenerror();
        io.prompter.warn("Could not open file" + (why.empty() ? "" : "\r" + path + "\r" + why),
                      "Could not open file");
        return {};
    }
    if (smp->calibration_suspect()) {
        std::string text =
            "This soundfile seems to have been created with a version of Kelp\rthat has a known "
            "audio level calibration bug.\rTherefore, the sound pressure of the audio channel "
            "cannot be trusted.\r" +
            path;
        if (io.prompter.ask(text, "Sound pressure cannot be trusted", tbuttons::okcancel,
                         ticon::warning) != tanswer::ok)
            return {};
    }
    const int k = smp->nChans();
    auto data = std::make_shared<std::vector<tsinglearr>>(k);
    auto labels = std::make_shared<tsiglabels>();
    try {
        for (int i = 0; i < k; ++i) smp->read_channel(i, (*data)[i]);
        *labels = smp->Getsiglabels();
    } catch (const std::exception& e) {
        io.prompter.warn(std::string("Could not open file\r") + path + "\r" + e.what(),
                      "Could not open file");
        return {};
    }
    smp->close_file();
    return {k, [&io, path, smp, data, labels, k] {
        const int n0 = io.doc.totnchans();
        io.doc.set_totnchans(n0 + k);
        for (int i = 0; i < k; ++i) {
            tchannel& ch = io.doc.channel(n0 + i);
            ch.set_samples(std::move((*data)[i]));
            ch.sampfreq = ch.orgsampfreq = smp->Getsampfreq(i);
            ch.set_name(smp->Getchannelname(i));
            ch.set_yunit(smp->Getchannelunit(i));
            ch.nbits = 16;
            ch.format = tFormat::pcm;
            ch.set_origin("SMP file");
            ch.set_file_fsd(smp->Getfsd(i));
            ch.needsdither = false;
        }
        if (k > 0) {
            tsiglabels list = *labels;
            for (tsiglabel& l : list) l.labeltype = "smp";
            add_labels(io.doc.channel(n0), list);
        }
        io.currentnbits = std::max(io.currentnbits, 16);
        io.currentformat = tFormat::pcm;
        // Only a file that was read enters the recent-files list.
        io.use(path);
    }};
}

bool write_smp_document(tformatio& io, const tsaverequest& save) {
    if (io.doc.prefs.WarnSaveSmp &&
        io.prompter.ask("Some features are not saved in smp files.\rYou may want to use the "
                        "Tessal file format instead.\rDo you want to save as smp anyway?",
                        "Save as smp", tbuttons::yesno, ticon::warning) != tanswer::yes)
        return false;
    const std::string& path = save.path;
    const double from = save.from, to = save.to;
    const std::vector<int>& chans = save.chans;
    std::vector<int> list = io.channel_list(chans);
    if (list.empty() || !io.same_rates(list)) {
        io.prompter.error("Cannot save file " + path + "\rIncompatible sample rates", "Error");
        return false;
    }
    if (!io.overload_ok(list, 16, tFormat::pcm, from, to)) return false;
    io.use(path);
    const bool dither = io.doc.prefs.UseDither == 0 ||
                        (io.doc.prefs.UseDither == 1 &&
                         std::any_of(list.begin(), list.end(), [&](int c) {
                             const tchannel& ch = io.doc.channel(c);
                             return ch.nbits > 16 || ch.format == tFormat::ieeefloat ||
                                    ch.get_usedither();
                         }));
    const double rate = io.doc.channel(list.front()).sampfreq;
    const int n = static_cast<int>(list.size());
    tfilespan span = file_span(io.doc, list, from, to);
    const double t0 = from < to ? from : span.begin / rate;
    // A whole-document save keeps labels that reach past the last sample.
    const double t1 = from < to ? to : std::numeric_limits<double>::infinity();
    try {
        TSMPfile smp;
        smp.new_file(path);
        smp.insert_nonpresent_defaults();
        smp.set_proc("Tessal");
        smp.SetnChans(n);
        smp.SetSfTot(std::round(rate * n));
        // Labels go straight to the external label list, in the order they
        // are found; a label shared by several channels is written once.
        smp.SetExternalLabels(true);
        std::vector<std::tuple<double, double, std::string>> seen;
        std::set<std::tuple<double, double, std::string>> known;
        for (int i = 0; i < n; ++i) {
            const tchannel& ch = io.doc.channel(list[i]);
            smp.set_channel(i, ch.name(), ch.yunit(), ch.fsd());
            tsinglearr s(static_cast<std::size_t>(span.length()));
            ch.read_shifted(span.begin, s.size(), s.data());
            smp.write_channel(i, s, dither);
            for (const tsiglabel& l : ch.labels) {
                // Labels are cut to the saved range like those of the native
                // file; one that starts before it starts with the file.
                double start = 0, length = 0;
                if (!label_in_range(l, t0, t1, start, length)) continue;
                auto key = std::make_tuple(start, length, l.text);
                if (!known.insert(key).second) continue;
                seen.push_back(key);
            }
        }
        for (const auto& [start, length, text] : seen) smp.add_label(start, length, text);
        smp.SetExternalLabels(true);
        if (!smp.save_file()) {
            io.prompter.error("Cannot save file " + path + "\r" + smp.Getsaveerror(),
                           "File was not saved");
            return false;
        }
        smp.close_file();
    } catch (const std::exception& e) {
        io.prompter.error(e.what(), "File was not saved");
        return false;
    }
    return true;
}

}  // namespace tessal
