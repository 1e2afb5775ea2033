// libFuzzer target for the electropalatography files: the palate grid file
// (a tagged container) and the ".epg" sidecar of a WAVE file.
//
// An input starting with "G" is the rest as a grid file, read by
// load_palate_grid: refused with EEPGError or read to positions in 0..1
// that save and read back the same. Any other input is a WAVE file,
// optionally followed by the marker "\n#epg#\n" and the bytes of its
// sidecar, opened through the document's Open as a user does: the EPG
// frames never outnumber the sidecar's bytes / 8.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "engine/tools/epg.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

namespace {

void grid(std::string_view bytes) {
    static const std::string in = fuzz::path("in.tessalEPGgrid"), out = fuzz::path("out.tessalEPGgrid");
    fuzz::put(in, bytes);
    tpalategrid g;
    try {
        g = load_palate_grid(in);
    } catch (const EEPGError& e) {
        if (!*e.what()) std::abort();
        return;
    }
    for (int r = 0; r < epg_rows; ++r)
        for (int c = 0; c < epg_cols; ++c)
            if (!(g.x[r][c] >= 0 && g.x[r][c] <= 1 && g.y[r][c] >= 0 && g.y[r][c] <= 1)) std::abort();
    (void)palate_midpos(g);
    save_palate_grid(out, g);
    const tpalategrid again = load_palate_grid(out);
    if (again.x != g.x || again.y != g.y) std::abort();
}

void sidecar(std::string_view all) {
    static const std::string wav = fuzz::path("in.wav"), epg = fuzz::path("in.epg");
    const std::size_t mark = all.find("\n#epg#\n");
    const std::string_view side = mark == std::string_view::npos ? std::string_view() : all.substr(mark + 7);
    fuzz::put(wav, all.substr(0, mark));
    fuzz::put(epg, side);
    tfixedprompter prompter(tanswer::no);
    tdocument doc;
    tdocumentlifecycle life(doc, prompter);
    tdocumentfiles files(doc, life, prompter);
    files.threads = 1;
    if (!files.open_document(wav)) return;
    for (int i = 0; i < doc.totnchans(); ++i)
        if (doc.channel(i).epg.size() > side.size() / 8) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view all = fuzz::view(data, size);
    if (!all.empty() && all[0] == 'G')
        grid(all.substr(1));
    else
        sidecar(all);
    return 0;
}
