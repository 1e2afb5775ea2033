// The foreign "Orlet" recording: a tagged container written by another
// program, read only. Sounds and anchor sounds become channels; samples are
// 16-bit integers interleaved by channel, each read as value / 32767.
#include <algorithm>
#include <memory>
#include <vector>

#include "engine/formats/formatpaths.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/txiifile.h"

namespace tessal {

namespace {

struct tsound {
    int nchans = 1;
    double rate = 100;
    std::string name;
    std::string computer;
    tsmallintarr samples;
};

tsound read_sound(TXIIFile& x, const std::string& prefix, int q) {
    const std::string s = "Test_1", n = std::to_string(q);
    tsound d;
    d.nchans = x.readinteger(s, prefix + "nChans" + n, 1);
    d.rate = x.readinteger(s, prefix + "SampFreq" + n, 100);
    d.name = x.readstring(s, prefix + "FileName" + n, "-");
    d.computer = x.readstring(s, prefix + "ComputerOrigin" + n, "");
    d.samples = x.readsmallintarr(s, prefix + "Samples" + n, {});
    return d;
}

}  // namespace

tloaded read_orlet_document(tformatio& io, const std::string& path, const std::string&) {
    TXIIFile x;
    if (!x.open_file(path)) {
        io.prompter.warn("Could not open file\r" + path, "Could not open file");
        return {};
    }
    if (x.GetFileId() != "Orlet") {
        io.prompter.warn(path + " does not appear to be a Orlet file. FileID=" + x.GetFileId(),
                      "Could not open file");
        return {};
    }
    auto sounds = std::make_shared<std::vector<std::pair<tsound, std::string>>>();  // with their origin
    try {
        const double date = x.readfloat("Test_1", "Date", 0);
        (void)date;
        const int nsounds = x.readinteger("Test_1", "nSounds", 0);
        const int nanchors = x.readinteger("Test_1", "nAnchors", 0);
        // Each sound needs at least one key in the file, so the counts are
        // held against the number of values before anything is read.
        if (nsounds < 0 || nanchors < 0 || nsounds + static_cast<long long>(nanchors) > x.nnodes())
            throw std::runtime_error("Damaged sound counts");
        for (int q = 0; q < nsounds; ++q) sounds->push_back({read_sound(x, "", q), "Orlet sound"});
        for (int q = 0; q < nanchors; ++q)
            sounds->push_back({read_sound(x, "Anchor", q), "Orlet anchor sound"});
        // Each channel costs the document a channel whether or not the
        // sound holds samples, so the channels of all sounds together are
        // held to the limit of one sound.
        long long channels = 0;
        for (auto& [s, origin] : *sounds) {
            if (s.nchans < 1 || s.nchans > 1024 || !(s.rate > 0))
                throw std::runtime_error("Damaged sound: " + std::to_string(s.nchans) +
                                         " channels at " + std::to_string(s.rate) + " Hz");
            channels += s.nchans;
        }
        if (channels > 1024)
            throw std::runtime_error("Damaged channel counts (nChans): " + std::to_string(channels) +
                                     " channels in all, more than 1024");
    } catch (const std::exception& e) {
        io.prompter.warn("Could not open file\r" + path + "\r" + e.what(), "Could not open file");
        return {};
    }
    const double date = x.readfloat("Test_1", "Date", 0);
    int nchans = 0;
    for (auto& [s, origin] : *sounds) nchans += s.nchans;
    return {nchans, [&io, path, sounds, date] {
        for (auto& [s, origin] : *sounds) {
            const int n0 = io.doc.totnchans();
            io.doc.set_totnchans(n0 + s.nchans);
            const std::size_t frames = s.samples.size() / s.nchans;
            for (int c = 0; c < s.nchans; ++c) {
                tchannel& ch = io.doc.channel(n0 + c);
                // De-interleaved a bounded block at a time.
                std::vector<float> block(std::min<std::size_t>(frames, 65536));
                ch.set_samples({});
                for (std::size_t from = 0; from < frames; from += block.size()) {
                    const std::size_t n = std::min(block.size(), frames - from);
                    for (std::size_t i = 0; i < n; ++i)
                        block[i] = s.samples[(from + i) * s.nchans + c] / 32767.0f;
                    ch.append_samples(block.data(), n);
                }
                ch.sampfreq = ch.orgsampfreq = s.rate;
                ch.set_name(origin == "Orlet sound" ? s.name : "Anchor: " + s.name);
                ch.nbits = 16;
                ch.format = tFormat::pcm;
                ch.set_fsd(1);
                ch.needsdither = false;
                tcreatedata cd{date, s.computer, origin, ch.created().user};
                ch.set_created(cd);
                ch.stereochanno = s.nchans == 2 ? n0 + (1 - c) : -1;
            }
        }
        io.currentnbits = std::max(io.currentnbits, 16);
        io.currentformat = tFormat::pcm;
        // Only a file that was read enters the recent-files list.
        io.use(path);
    }};
}

}  // namespace tessal
