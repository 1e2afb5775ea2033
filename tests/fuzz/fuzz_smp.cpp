// libFuzzer target for the .smp signal file and its label file.
//
// The input is the .smp file, optionally followed by the marker "\n#csv#\n"
// and the bytes of its label file "f.csv". Any bytes must either be refused
// (open_file false with a message) or be read completely: every channel,
// every label. Nothing may crash, hang, read out of bounds or allocate beyond
// the input's size. Whatever is accepted must survive the way back: saved
// under another name and opened again, it gives the same channels, samples
// and labels.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/formats/tsmpfile.h"

using namespace tessal;

namespace {

// One private folder per process, removed at exit (kept alive on purpose:
// the exit handler runs after static destructors).
const std::string& folder() {
    static const std::string* dir = [] {
        std::string templ = (std::filesystem::temp_directory_path() / "fuzz_smp_XXXXXX").string();
        if (!::mkdtemp(templ.data())) std::abort();
        auto* d = new std::string(templ);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder(), ec);
        });
        return d;
    }();
    return *dir;
}

void put(const std::string& name, std::string_view bytes) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

struct tcontent {
    int nchans = 0;
    std::vector<tsmallintarr> samples;
    std::vector<std::string> labels;
};

tcontent read_all(TSMPfile& s) {
    tcontent c;
    c.nchans = s.nChans();
    std::int64_t total = 0;
    for (int ch = 0; ch < c.nchans; ++ch) {
        tsmallintarr raw;
        s.read_channel_raw(ch, raw);
        tsinglearr v;
        s.read_channel(ch, v);
        if (v.size() != raw.size() || static_cast<std::int64_t>(raw.size()) != s.Getnsamples(ch)) std::abort();
        total += static_cast<std::int64_t>(raw.size());
        (void)s.Getchannelname(ch);
        (void)s.Getchannelunit(ch);
        (void)s.Getsampfreq(ch);
        c.samples.push_back(std::move(raw));
    }
    for (int i = 0; i < s.nlabels(); ++i) {
        (void)s.Getlabelstart(i);
        (void)s.Getlabellength(i);
        c.labels.push_back(s.Getlabelstr(i));
    }
    (void)s.Getsiglabels();
    (void)total;
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = all.find("\n#csv#\n");
    const std::string smp = folder() + "/f.smp", csv = folder() + "/f.csv";
    const std::string copy = folder() + "/g.smp", copycsv = folder() + "/g.csv";
    std::remove(csv.c_str());
    std::remove(copy.c_str());
    std::remove(copycsv.c_str());
    put(smp, all.substr(0, mark));
    if (mark != std::string_view::npos) put(csv, all.substr(mark + 7));

    TSMPfile s;
    if (!s.open_file(smp, false)) {
        if (s.Getopenerror().empty()) std::abort();
        return 0;
    }
    // A header item that only matters when the samples are read (a channel's
    // range) is refused then, with the reader's own error, as the program's
    // SMP reader expects.
    tcontent first;
    try {
        first = read_all(s);
    } catch (const ESMPfileError& e) {
        if (std::string_view(e.what()).empty()) std::abort();
        return 0;
    }
    if (!s.save_file(copy)) {
        if (s.Getsaveerror().empty()) std::abort();  // a header that cannot grow enough
        return 0;
    }
    // The component goes on with the copy it saved.
    if (read_all(s).samples != first.samples) std::abort();
    s.close_file();
    TSMPfile again;
    if (!again.open_file(copy, true)) std::abort();
    const tcontent second = read_all(again);
    if (second.nchans != first.nchans || second.samples != first.samples || second.labels != first.labels)
        std::abort();
    return 0;
}
