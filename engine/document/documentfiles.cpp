#include "engine/document/documentfiles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <utility>

#include "engine/document/savespan.h"
#include "engine/formats/regularfile.h"
#include "engine/document/title.h"
#include "engine/view/viewrange.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

// A FIFO or a device would block the open or never end; a missing file is
// left to the reader, which says so in its own words.
bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool readable_to_its_end(const std::string& path, tprompter& prompter) {
    if (!exists(path)) return true;
    const std::string why = regular_file_problem(path);
    if (why.empty()) return true;
    prompter.warn("Could not open file\r" + why, "Could not open file");
    return false;
}

}  // namespace

bool tdocumentfiles::open_document(const std::string& path) {
    if (life.busy()) return false;
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    fcancelled = false;
    if (!readable_to_its_end(path, prompter)) return false;
    if (opens_through_codec(path)) return open_through_codec(path, false);
    const tfileformat* format = format_of_path(path);
    if (!format || !format->caps.readable) {
        prompter.warn("Cannot open file: \r" + path, "Unknown file type");
        return false;
    }
    // The file is read before the document closes: a read that fails or
    // that the user cancels leaves the document as it was.
    if (!life.ask_before_close()) return false;
    const auto kept = [this] {
        doc.theglobal.document_state_changed();
        return false;
    };
    twavload load;
    tloaded other;
    if (format->kind == tfilekind::wav) {
        const tloadresult r = load_wav(path, load);
        if (r == tloadresult::cancelled) fcancelled = true;
        if (r != tloadresult::read) return kept();
    } else {
        other = load_other(path, format->kind);
        if (!other.install) return kept();
        if (other.nchans == 0) {
            prompter.warn("Could not open file\r" + path + "\rThe file holds no channels.",
                          "Could not open file");
            return kept();
        }
    }
    life.close_document(false);
    if (format->kind == tfilekind::wav)
        install_wav(path, load);
    else
        other.install();
    const bool read = add_read_channels(path, 0);
    life.setfilename(read ? path : "");
    life.setmodified(false);
    if (life.zoomhistory) life.zoomhistory->clear();
    doc.theglobal.fix_things();
    doc.theglobal.document_state_changed();
    return true;
}

tdocumentfiles::tloaded tdocumentfiles::load_other(const std::string& path, tfilekind kind) {
    switch (kind) {
        case tfilekind::smp: return load_smp(path);
        case tfilekind::tessal: return load_native(path);
        case tfilekind::orlet: return load_orlet(path);
        case tfilekind::wav: break;
    }
    return {};
}

bool tdocumentfiles::add_file(const std::string& path) {
    if (life.busy()) return false;
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    fcancelled = false;
    const int n0 = doc.totnchans();
    if (!readable_to_its_end(path, prompter)) return false;
    if (opens_through_codec(path)) return open_through_codec(path, true);
    const tfileformat* format = format_of_path(path);
    if (!format || !format->caps.readable) return false;
    if (format->kind == tfilekind::wav) {
        if (!read_wav(path)) return false;
    } else {
        tloaded l = load_other(path, format->kind);
        if (!l.install) return false;
        l.install();
    }
    return add_read_channels(path, n0);
}

bool tdocumentfiles::add_read_channels(const std::string& path, int n0) {
    if (doc.totnchans() <= n0) return false;
    const std::string name = file_name_part(path);
    for (int i = n0; i < doc.totnchans(); ++i) {
        doc.channel(i).filename = name;
        // The channel was announced when it was made; now its samples are in.
        const auto n = static_cast<long long>(doc.channel(i).sig.size());
        doc.theglobal.channel_changed(tchannelchange::samples(i, 0, 0, n));
    }
    doc.set_thischanno(n0);
    fix_xaxis(doc, true);
    doc.measurementdirty = true;
    if (n0 > 0) doc.set_modified(true);
    life.setfilename("");
    doc.theglobal.fix_things();
    // Every reader leaves its channels' drawing caches built or marked for
    // building, and the channels already there did not change.
    doc.theglobal.invalidate_paintboxes(true);
    return true;
}

std::vector<int> tdocumentfiles::channel_list(const std::vector<int>& chans) const {
    if (!chans.empty()) return chans;
    std::vector<int> all(doc.totnchans());
    for (int i = 0; i < doc.totnchans(); ++i) all[i] = i;
    return all;
}

bool tdocumentfiles::same_rates(const std::vector<int>& chans) const {
    std::vector<int> list = channel_list(chans);
    for (int c : list)
        if (doc.channel(c).sampfreq != doc.channel(list.front()).sampfreq) return false;
    return true;
}

std::optional<tsavecoding> tdocumentfiles::channels_wave_coding(
    const std::vector<int>& chans) const {
    std::optional<tsavecoding> best;
    int bestrank = -1;
    for (int c : channel_list(chans)) {
        if (c < 0 || c >= doc.totnchans()) continue;
        const tchannel& ch = doc.channel(c);
        const int rank = wave_coding_rank(ch.nbits, ch.format);
        if (rank > bestrank) {
            bestrank = rank;
            best = tsavecoding{ch.nbits, ch.format};
        }
    }
    return best;
}

std::optional<tsavecoding> tdocumentfiles::proposed_wave_coding(
    const std::vector<int>& chans) const {
    std::vector<int> list = channel_list(chans);
    if (list.empty() || list.front() < 0 || list.front() >= doc.totnchans()) return std::nullopt;
    const std::string& from = doc.filename().empty() ? doc.channel(list.front()).filename
                                                     : doc.filename();
    if (lower_extension(from) != ".wav") return std::nullopt;
    return channels_wave_coding(chans);
}

bool tdocumentfiles::save_document() {
    std::string name = doc.filename();
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!name.empty() && blank(static_cast<unsigned char>(name.back()))) name.pop_back();
    while (!name.empty() && blank(static_cast<unsigned char>(name.front()))) name.erase(0, 1);
    if (name.empty()) return false;
    tsavecoding coding{life.currentnbits, life.currentformat};
    if (lower_extension(name) == ".wav") {
        // A WAVE file is written back in the coding it was read with; the
        // last save format is only a fallback for channels that carry none.
        if (auto c = channels_wave_coding({}))
            coding = *c;
        else if (!is_wave_coding(coding.nbits, coding.format))
            coding = tsavecoding{};
    }
    return save_file(name, coding.nbits, 0, 0, {}, coding.format);
}

bool tdocumentfiles::saves_whole_document(const std::vector<int>& chans, double from,
                                          double to) const {
    for (int c = 0; c < doc.totnchans(); ++c)
        if (!chans.empty() && std::find(chans.begin(), chans.end(), c) == chans.end())
            return false;
    if (from == to) return true;
    for (int c = 0; c < doc.totnchans(); ++c) {
        const tchannel& ch = doc.channel(c);
        if (ch.sig.empty()) continue;
        const double first = std::round(from * ch.sampfreq);
        const double end = std::round(to * ch.sampfreq);
        if (first > static_cast<double>(ch.xshift) ||
            end < static_cast<double>(ch.xshift) + static_cast<double>(ch.sig.size()))
            return false;
    }
    return true;
}

bool tdocumentfiles::save_file(const std::string& path, int nbits, double from, double to,
                               const std::vector<int>& chans, tFormat format) {
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    fcancelled = false;
    // Every format saves the same half-open span from the earlier time.
    if (from > to) std::swap(from, to);
    for (int c : chans)
        if (c < 0 || c >= doc.totnchans()) {
            prompter.error("Channel " + std::to_string(c) + " does not exist");
            return false;
        }
    const std::string ext = lower_extension(path);
    const tfileformat* fileformat = format_for_extension(ext);
    if (!(fileformat && fileformat->caps.mixed_rates) && doc.totnchans() > 0 &&
        !same_rates(chans)) {
        prompter.warn(
            "Channels have different sampling rates.\rSplit rate files can only be saved as "
            "Tessal files",
            "File was not saved");
        return false;
    }
    if (!fileformat || !fileformat->caps.writable) {
        prompter.warn("Cannot save file with extension " + ext, "Unknown file type");
        return false;
    }
    bool saved = false;
    if (fileformat->kind == tfilekind::wav) {
        if (doc.prefs.WarnSaveWav) {
            const char* text =
                format != tFormat::ieeefloat
                    ? "Some features, calibration in particular, are not saved in wav files.\rYou "
                      "may want to use the Tessal file format instead.\rDo you want to save as "
                      "wav anyway?"
                    : "Some features are not saved in wav files.\rYou may want to use the Tessal "
                      "file format instead.\rDo you want to save as wav anyway?";
            if (prompter.ask(text, "Save as wav", tbuttons::yesno, ticon::warning) != tanswer::yes)
                return false;
        }
        saved = write_wav(path, nbits, from, to, chans, format);
    } else if (fileformat->kind == tfilekind::smp) {
        if (doc.prefs.WarnSaveSmp &&
            prompter.ask("Some features are not saved in smp files.\rYou may want to use the "
                         "Tessal file format instead.\rDo you want to save as smp anyway?",
                         "Save as smp", tbuttons::yesno, ticon::warning) != tanswer::yes)
            return false;
        saved = write_smp(path, from, to, chans);
    } else if (fileformat->kind == tfilekind::tessal) {
        saved = write_native(path, from, to, chans);
    }
    // Only a file that holds the whole document leaves nothing unsaved.
    if (saved && saves_whole_document(chans, from, to)) doc.set_modified(false);
    if (saved && chans.empty() && from == to) life.setfilename(path);
    doc.theglobal.document_state_changed();
    return saved;
}

bool tdocumentfiles::overload_ok(const std::vector<int>& list, int nbits, tFormat format,
                                 double from, double to) {
    if (format == tFormat::ieeefloat && nbits == 32) return true;
    const bool half = format == tFormat::ieeefloat;
    std::vector<int> failing;
    for (int c : list) {
        const tchannel& ch = doc.channel(c);
        const double limit = half ? 65504.0 : ch.fsd();
        tsavespan span = save_span_of(ch, from, to);
        const float* s = ch.sig.data();
        bool over = false;
        // Blocks of branch-free maxima (vector code), stopping at the first
        // block that goes over.
        constexpr long long chunk = 4096;
        for (long long a = span.first; a < span.last && !over; a += chunk) {
            const long long b = std::min(span.last, a + chunk);
            float m = 0;
            for (long long i = a; i < b; ++i) {
                const float x = std::fabs(s[i]);
                m = x > m ? x : m;
            }
            over = m > limit;
        }
        if (over) failing.push_back(c);
    }
    if (failing.empty()) return true;
    std::string list_text;
    for (int c : failing) list_text += std::to_string(c) + " ";
    std::string text;
    if (half)
        text = "Signal is stronger than " + float_to_text(65504) +
               (failing.size() == 1 ? " in channel " : " in channels: ") + list_text;
    else
        text = std::string(failing.size() == 1 ? "Signal is stronger than FSD in channel "
                                               : "Signal is stronger than FSD in channels: ") +
               list_text;
    text += "\rSaving the file will cause clipping.\rDo you still want to save it?";
    return prompter.ask(text, "Amplitude overload", tbuttons::okcancel, ticon::warning) ==
           tanswer::ok;
}

}  // namespace tessal
