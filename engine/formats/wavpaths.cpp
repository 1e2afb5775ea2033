// The document's WAVE paths: reading a WAVE file's channels into the
// document, with names, stereo pairs, FSD and the electropalatography
// sidecar; and writing channels out with the dither decision and the
// overload question.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <thread>

#include "engine/formats/formatpaths.h"
#include "engine/formats/regularfile.h"
#include "engine/formats/savespan.h"
#include "engine/formats/formatregistry.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/saveformats.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/wavsource.h"

namespace tessal {

namespace {

// The ".epg" file beside a WAVE file: 8-byte frames at 100 per second, no
// more than the sound lasts.
void read_epg_sidecar(const std::string& wavpath, double duration_s, tchannel& ch) {
    std::string epgpath = wavpath;
    std::size_t dot = epgpath.find_last_of('.');
    std::size_t slash = epgpath.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) epgpath.erase(dot);
    epgpath += ".epg";
    if (!regular_file_problem(epgpath).empty()) return;
    std::ifstream in(epgpath, std::ios::binary | std::ios::ate);
    if (!in) return;
    std::streamoff bytes = in.tellg();
    if (bytes < 0) return;
    long long frames = std::min<long long>(bytes / 8, static_cast<long long>(duration_s * 100));
    if (frames < 0) frames = 0;
    in.seekg(0);
    std::vector<std::uint64_t> epg(static_cast<std::size_t>(frames));
    for (auto& f : epg) {
        unsigned char b[8];
        if (!in.read(reinterpret_cast<char*>(b), 8)) break;
        std::uint64_t v = 0;
        for (int r = 7; r >= 0; --r) v = (v << 8) | b[r];
        f = v;
    }
    ch.epgexists = true;
    ch.epgsampfreq = 100;
    ch.epg = std::move(epg);
}

// A WAVE file read, not yet in the document: its channels as sources that
// read the file when their blocks are asked for, and what the one pass over
// the file found.
struct twavload {
    std::vector<std::shared_ptr<twavsource>> sources;
    std::vector<std::vector<tsinglepair>> caches;
    std::vector<float> peaks;
    std::vector<double> sumsq, fullscale;
    int nbits = 0;
    tFormat format = tFormat::pcm;
    double rate = 0, duration = 0;
    std::int64_t promised = 0;
};

enum class tloadresult { read, failed, cancelled };

tloadresult load_wav(tformatio& io, const std::string& path, twavload& load) {
    TWavFile wav;
    if (!wav.open_file(path, true)) {
        std::string why = wav.Getopenerror();
        io.prompter.warn("Could not open file" + (why.empty() ? "" : "\r" + path + "\r" + why),
                      "Could not open file");
        return tloadresult::failed;
    }
    const int k = wav.Getnchans();
    // Every channel becomes a strip of the window with its own caches; a
    // header claiming tens of thousands of channels (of no samples, so the
    // file "holds" them) would keep the window busy for many seconds.
    constexpr int most_channels = 16384;
    if (k > most_channels) {
        io.prompter.warn("Could not open file\r" + path + "\rIts header gives " + std::to_string(k) +
                          " channels; at most " + std::to_string(most_channels) +
                          " channels are opened from one file",
                      "Could not open file");
        return tloadresult::failed;
    }
    // What the header promises, in samples per channel (a size of 0 means
    // "up to the end of the file" and promises nothing).
    const std::int64_t bytes = std::max<std::int64_t>(1, wav.Getnbits() / 8);
    load.promised = static_cast<std::int64_t>(wav.Getstateddatasize()) / bytes /
                    std::max<std::int64_t>(1, k);
    // Without the overview only the header is read: the frames are what the
    // file's size holds, and the channels build their overview when a
    // window first draws them.
    const bool scan = io.overview || io.keep_stats;
    // One pass: each block of the file is decoded and, while it is in the
    // cache, gives the min/max drawing cache, the peak and (when asked) the
    // sum of squares of every channel; the decoded samples are not kept (the
    // channels read the file again through sources when they need them).
    const auto expected = static_cast<std::size_t>(std::max<std::int64_t>(0, wav.Getnsamples()));
    const std::size_t nblocks = expected / sigcache_blocksize + 1;
    if (scan) load.caches.assign(static_cast<std::size_t>(k), std::vector<tsinglepair>(nblocks));
    load.peaks.assign(static_cast<std::size_t>(k), 0.0f);
    load.sumsq.assign(static_cast<std::size_t>(k), 0.0);
    const bool sumsq = io.keep_stats;
    treadpass pass;
    pass.align = sigcache_blocksize;
    pass.threads = io.threads > 0 ? io.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    pass.visit = [&load, sumsq](std::size_t first, std::size_t n, const int* chans, const float* const* samples,
                                int count) {
        for (int k = 0; k < count; ++k) {
            const auto ch = static_cast<std::size_t>(chans[k]);
            const float* s = samples[k];
            std::vector<tsinglepair>& cache = load.caches[ch];
            float peak = load.peaks[ch];
            for (std::size_t from = 0; from < n; from += sigcache_blocksize) {
                const std::size_t to = std::min(n, from + sigcache_blocksize);
                const tsinglepair p = tchannel::block_minmax(s, from, to);
                cache[(first + from) / sigcache_blocksize] = p;
                // |x| <= max(-lo, hi), NaN left out as the peak leaves it out.
                peak = std::max(peak, std::max(-p.lo, p.hi));
            }
            load.peaks[ch] = peak;
        }
        if (!sumsq) return;
        // Each channel's squares are summed in sample order, so the RMS is
        // the one a separate pass gives; the channels' sums advance side by
        // side, so their additions overlap instead of waiting on each other.
        constexpr int lanes = 4;
        for (int k0 = 0; k0 < count; k0 += lanes) {
            const int m = std::min(lanes, count - k0);
            double sum[lanes] = {};
            const float* s[lanes] = {};
            for (int j = 0; j < m; ++j) {
                sum[j] = load.sumsq[static_cast<std::size_t>(chans[k0 + j])];
                s[j] = samples[k0 + j];
            }
            if (m == lanes) {
                for (std::size_t i = 0; i < n; ++i)
                    for (int j = 0; j < lanes; ++j) sum[j] += static_cast<double>(s[j][i]) * s[j][i];
            } else {
                for (int j = 0; j < m; ++j)
                    for (std::size_t i = 0; i < n; ++i) sum[j] += static_cast<double>(s[j][i]) * s[j][i];
            }
            for (int j = 0; j < m; ++j) load.sumsq[static_cast<std::size_t>(chans[k0 + j])] = sum[j];
        }
    };
    if (io.progress)
        pass.progress = [&io, &path](std::int64_t done, std::int64_t total) {
            return io.progress(path, total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0);
        };
    try {
        // Everything is read before the document changes, so a read error
        // half way leaves the document as it was.
        if (!scan) {
            wav.check_decodable();
        } else if (!wav.scan_channels(pass)) {
            wav.close_file();
            load = twavload{};
            return tloadresult::cancelled;
        }
        // The sources open the file now, over the frames the pass read: a
        // file removed later (a codec's temporary) or replaced by a save
        // stays readable through the open handle.
        load.sources = wav_sources(wav);
    } catch (const std::exception& e) {
        wav.close_file();
        load = twavload{};
        io.prompter.warn(std::string("Could not open file\r") + path + "\r" + e.what(),
                      "Could not open file");
        return tloadresult::failed;
    }
    load.nbits = static_cast<int>(wav.Getnbits());
    load.format = wav.Getformat();
    load.rate = wav.Getsampfreq();
    load.duration = wav.Gettottime();
    for (int i = 0; i < k; ++i) load.fullscale.push_back(wav.Getfullscale(i));
    if (!sumsq) load.sumsq.clear();
    wav.close_file();
    return tloadresult::read;
}

// `shown`: the file the channels are named after and the recent-files list
// hears of (the original of a converted file); empty: `path`.
void install_wav(tformatio& io, const std::string& path, twavload& load, const std::string& shown) {
    const std::string& source = shown.empty() ? path : shown;
    const int k = static_cast<int>(load.sources.size());
    const int n0 = io.doc.totnchans();
    const std::shared_ptr<tblockcache> cache = io.doc.block_cache();
    io.doc.set_totnchans(n0 + k);
    const std::string name = file_name_part(source);
    for (int i = 0; i < k; ++i) {
        const auto u = static_cast<std::size_t>(i);
        tchannel& ch = io.doc.channel(n0 + i);
        ch.adopt_samples(wav_store(load.sources[u], cache));
        ch.sampfreq = ch.orgsampfreq = load.rate;
        ch.set_name(name + " Ch " + std::to_string(i));
        ch.stereochanno = k == 2 ? n0 + (1 - i) : -1;
        ch.dbreference = 1;
        ch.nbits = load.nbits;
        ch.format = load.format;
        ch.set_origin("Wav file");
        ch.set_file_fsd(load.fullscale[u]);
        ch.needsdither = false;
        // A file shorter than its header gives fewer blocks than were made.
        // Without the pass the overview stays to be built (adopt_samples
        // asked for it).
        if (!load.caches.empty()) {
            load.caches[u].resize(static_cast<std::size_t>(ch.sample_count()) / sigcache_blocksize + 1);
            ch.adopt_sigcache(std::move(load.caches[u]));
        }
        if (!load.sumsq.empty()) ch.set_sample_stats(load.peaks[u], true, load.sumsq[u]);
        read_epg_sidecar(source, load.duration, ch);
    }
    const std::int64_t read = k > 0 ? io.doc.channel(n0).sample_count() : 0;
    // A cut copy opens with what it holds, but the user hears of it before
    // saving over the file.
    if (read < load.promised)
        io.prompter.warn("The file is shorter than its header says: " + std::to_string(read) +
                          " of " + std::to_string(load.promised) + " samples were read",
                      "File is shorter than its header says");
    // The last save format follows the richest coding read, bits and coding
    // together, so it always names a coding a WAVE file can hold.
    if (wave_coding_rank(load.nbits, load.format) >
        wave_coding_rank(io.currentnbits, io.currentformat)) {
        io.currentnbits = load.nbits;
        io.currentformat = load.format;
    }
    // Only a file that was read enters the recent-files list.
    io.use(source);
}

}  // namespace

tloaded read_wav_document(tformatio& io, const std::string& path, const std::string& shown) {
    auto load = std::make_shared<twavload>();
    const tloadresult r = load_wav(io, path, *load);
    if (r == tloadresult::cancelled) io.cancelled = true;
    if (r != tloadresult::read) return {};
    return {static_cast<int>(load->sources.size()),
            [&io, path, shown, load] { install_wav(io, path, *load, shown); }};
}

tloaded read_through_codec(tformatio& io, const std::string& path, const std::string&) {
    std::string wav;
    if (!io.convert || !io.convert(path, wav)) return {};
    tloaded l = read_wav_document(io, wav, path);
    tfileops::system().remove(wav);
    return l;
}

bool write_wav_document(tformatio& io, const tsaverequest& save) {
    const std::string& path = save.path;
    const int nbits = save.nbits;
    const tFormat format = save.format;
    const double from = save.from, to = save.to;
    const std::vector<int>& chans = save.chans;
    if (io.doc.prefs.WarnSaveWav) {
        const char* text =
            format != tFormat::ieeefloat
                ? "Some features, calibration in particular, are not saved in wav files.\rYou "
                  "may want to use the Tessal file format instead.\rDo you want to save as "
                  "wav anyway?"
                : "Some features are not saved in wav files.\rYou may want to use the Tessal "
                  "file format instead.\rDo you want to save as wav anyway?";
        if (io.prompter.ask(text, "Save as wav", tbuttons::yesno, ticon::warning) != tanswer::yes)
            return false;
    }
    std::vector<int> list = io.channel_list(chans);
    bool dither = false;
    switch (io.doc.prefs.UseDither) {
        case 0: dither = true; break;
        case 2: dither = false; break;
        default:
            for (int c : list) {
                const tchannel& ch = io.doc.channel(c);
                if (ch.nbits > nbits || (ch.format == tFormat::ieeefloat && format == tFormat::pcm) ||
                    ch.get_usedither())
                    dither = true;
            }
    }
    io.currentnbits = nbits;
    io.currentformat = format;
    if (list.empty() || !io.same_rates(list)) {
        io.prompter.error("Cannot save file " + path + "\rIncompatible sample rates", "Error");
        return false;
    }
    // The header holds the rate as a whole number below 2^31: a rate beyond
    // that is refused, never cut down to another rate.
    const double fs = std::round(io.doc.channel(list.front()).sampfreq);
    if (!(fs >= 1 && fs <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        io.prompter.error("Cannot save file " + path + "\rA wave file cannot hold the sampling rate " +
                           float_to_text(io.doc.channel(list.front()).sampfreq) + " Hz",
                       "File was not saved");
        return false;
    }
    tfilespan span = file_span(io.doc, list, from, to);
    // The channels are padded out to the span before they are written, so a
    // span the file cannot hold (a channel shifted far from time 0) is
    // refused here, before anything is allocated.
    const std::uint64_t framebytes = list.size() * static_cast<std::uint64_t>((nbits + 7) / 8);
    if (static_cast<std::uint64_t>(span.length()) > 0xFFFFFFF0ull / std::max<std::uint64_t>(1, framebytes)) {
        long long shift = 0;
        for (int c : list)
            if (std::llabs(io.doc.channel(c).xshift) > std::llabs(shift)) shift = io.doc.channel(c).xshift;
        io.prompter.error("Cannot save file " + path + "\rThe channels span " + std::to_string(span.length()) +
                           " samples (x shift " + std::to_string(shift) +
                           "): more than a wave file can hold",
                       "File was not saved");
        return false;
    }
    if (!io.overload_ok(list, nbits, format, from, to)) return false;
    io.use(path);

    TWavFile wav;
    wav.Setsampfreq(static_cast<std::int32_t>(fs));
    wav.Setnbits(static_cast<std::uint32_t>(nbits));
    wav.Setformat(format);
    wav.Setnchans(static_cast<std::int32_t>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) wav.Setfullscale(i, io.doc.channel(list[i]).fsd());

    // Each channel is read a block at a time as the file is written, zeros
    // outside its samples.
    std::vector<const tchannel*> sources;
    for (int c : list) sources.push_back(&io.doc.channel(c));
    auto pull = [&sources, &span](std::size_t ch, std::size_t from, std::size_t n, float* out) {
        sources[ch]->read_shifted(span.begin + static_cast<long long>(from), n, out);
    };
    if (io.progress)
        wav.save_progress = [&io, &path](std::uint64_t done, std::uint64_t total) {
            return io.progress(path, total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0);
        };
    try {
        wav.save_file(path, list.size(), static_cast<std::size_t>(span.length()), pull, true, dither);
    } catch (const ESaveCancelled&) {
        io.cancelled = true;
        return false;
    } catch (const std::exception& e) {
        io.prompter.error(e.what(), "File was not saved");
        return false;
    }
    // A document saved whole is now that file: its channels keep the file's
    // coding, so Save writes it back the same way. Samples finer than the
    // new coding want dither when they are quantised again.
    if (chans.empty() && from == to)
        for (int c : list) {
            tchannel& ch = io.doc.channel(c);
            if (wave_coding_rank(nbits, format) < wave_coding_rank(ch.nbits, ch.format) ||
                !is_wave_coding(ch.nbits, ch.format))
                ch.needsdither = true;
            ch.nbits = nbits;
            ch.format = format;
        }
    return true;
}

}  // namespace tessal
