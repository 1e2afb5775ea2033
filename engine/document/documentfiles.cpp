#include "engine/document/documentfiles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <utility>

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

tformatio tdocumentfiles::format_io() {
    tformatio io{doc, prompter, life.currentnbits, life.currentformat};
    io.progress = progress;
    io.used = [this](const std::string& path) {
        if (recent_file_used) recent_file_used(path);
    };
    io.keep_stats = keep_stats;
    io.threads = threads;
    io.overview = overview;
    const tcodecrunner runner{codecs, run_codec, codecfolder};
    io.converts = [runner](const std::string& path) { return runner.converts(path); };
    io.convert = [runner, this](const std::string& path, std::string& wavpath) {
        return runner.convert(path, wavpath, prompter);
    };
    return io;
}

bool tdocumentfiles::opens_through_codec(const std::string& path) const {
    return tcodecrunner{codecs, run_codec, codecfolder}.converts(path);
}

bool tdocumentfiles::open_document(const std::string& path) {
    if (life.busy()) return false;
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    fcancelled = false;
    if (!readable_to_its_end(path, prompter)) return false;
    tformatio io = format_io();
    const tfileformat* format = reader_of_path(path, io);
    if (!format) {
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
    tloaded loaded = format->read(io, path, "");
    fcancelled = io.cancelled;
    if (!loaded.install) return kept();
    if (loaded.nchans == 0) {
        prompter.warn("Could not open file\r" + path + "\rThe file holds no channels.",
                      "Could not open file");
        return kept();
    }
    life.close_document(false);
    loaded.install();
    const bool read = add_read_channels(path, 0);
    // A converted file stays untitled: Save could not write it back.
    life.setfilename(read && format->caps.names_document ? path : "");
    life.setmodified(false);
    if (life.zoomhistory) life.zoomhistory->clear();
    doc.theglobal.fix_things();
    doc.theglobal.document_state_changed();
    return true;
}

bool tdocumentfiles::add_file(const std::string& path) {
    if (life.busy()) return false;
    if (life.hooks.stop_playback) life.hooks.stop_playback();
    fcancelled = false;
    const int n0 = doc.totnchans();
    if (!readable_to_its_end(path, prompter)) return false;
    tformatio io = format_io();
    const tfileformat* format = reader_of_path(path, io);
    if (!format) return false;
    tloaded loaded = format->read(io, path, "");
    fcancelled = io.cancelled;
    if (!loaded.install) {
        if (!format->caps.names_document) doc.theglobal.document_state_changed();
        return false;
    }
    loaded.install();
    const bool read = add_read_channels(path, n0);
    if (!format->caps.names_document) doc.theglobal.document_state_changed();
    return read;
}

bool tdocumentfiles::add_read_channels(const std::string& path, int n0) {
    if (doc.totnchans() <= n0) return false;
    const std::string name = file_name_part(path);
    for (int i = n0; i < doc.totnchans(); ++i) {
        doc.channel(i).filename = name;
        // The channel was announced when it was made; now its samples are in.
        const long long n = doc.channel(i).sample_count();
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

std::optional<tsavecoding> tdocumentfiles::channels_wave_coding(
    const std::vector<int>& chans) const {
    std::optional<tsavecoding> best;
    int bestrank = -1;
    for (int c : channel_list(doc, chans)) {
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
    std::vector<int> list = channel_list(doc, chans);
    if (list.empty() || list.front() < 0 || list.front() >= doc.totnchans()) return std::nullopt;
    const std::string& from = doc.filename().empty() ? doc.channel(list.front()).filename
                                                     : doc.filename();
    if (!keeps_codings(from)) return std::nullopt;
    return channels_wave_coding(chans);
}

bool tdocumentfiles::save_document() {
    std::string name = doc.filename();
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!name.empty() && blank(static_cast<unsigned char>(name.back()))) name.pop_back();
    while (!name.empty() && blank(static_cast<unsigned char>(name.front()))) name.erase(0, 1);
    if (name.empty()) return false;
    tsavecoding coding{life.currentnbits, life.currentformat};
    if (keeps_codings(name)) {
        // A file of many codings (WAVE) is written back in the coding it was read with; the
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
        if (ch.sample_count() == 0) continue;
        const double first = std::round(from * ch.sampfreq);
        const double end = std::round(to * ch.sampfreq);
        if (first > static_cast<double>(ch.xshift) ||
            end < static_cast<double>(ch.xshift) + static_cast<double>(ch.sample_count()))
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
        !format_io().same_rates(chans)) {
        prompter.warn(
            "Channels have different sampling rates.\rSplit rate files can only be saved as "
            "Tessal files",
            "File was not saved");
        return false;
    }
    if (!fileformat || !fileformat->caps.writable || !fileformat->write) {
        prompter.warn("Cannot save file with extension " + ext, "Unknown file type");
        return false;
    }
    tformatio io = format_io();
    const bool saved = fileformat->write(io, {path, nbits, format, from, to, chans});
    fcancelled = io.cancelled;
    // Only a file that holds the whole document leaves nothing unsaved.
    if (saved && saves_whole_document(chans, from, to)) doc.set_modified(false);
    if (saved && chans.empty() && from == to) life.setfilename(path);
    doc.theglobal.document_state_changed();
    return saved;
}

}  // namespace tessal
