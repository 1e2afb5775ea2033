// libFuzzer target for the tagged container and the native signal file.
//
// Any bytes must either be refused (open_bytes false, or an exception derived
// from std::runtime_error carrying a message) or be read completely; nothing
// may crash, hang, read out of bounds or allocate beyond the input's size.
// Whatever is accepted must also survive the way back: a document read from
// the input, written and read again, writes the very same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "core/tdocument.h"
#include "formats/tessalfile.h"
#include "formats/txiifile.h"

using namespace tessal;

namespace {

// Every typed read of every node: a wrong type or length must raise, never
// read past the node's bytes.
void read_every_node(TXIIFile& x) {
    for (int i = 0; i < x.nnodes(); ++i) {
        const tnode n = x.get_nodeno(i);
        auto attempt = [&](auto&& f) {
            try {
                f();
            } catch (const EXIIfileError&) {
            }
        };
        attempt([&] { x.readbool(n.section, n.key, false); });
        attempt([&] { x.readinteger(n.section, n.key, 0); });
        attempt([&] { x.readfloat(n.section, n.key, 0); });
        attempt([&] { x.readstring(n.section, n.key, ""); });
        attempt([&] { x.readbytearr(n.section, n.key, {}); });
        attempt([&] { x.readsmallintarr(n.section, n.key, {}); });
        attempt([&] { x.readdoublearr(n.section, n.key, {}); });
        attempt([&] { x.readsinglearr(n.section, n.key, {}); });
        attempt([&] { x.readcomplexarr(n.section, n.key, {}); });
        attempt([&] { x.readsinglecomplexarr(n.section, n.key, {}); });
    }
}

tbytearr document_bytes(const tdocument& doc) {
    TXIIFile x;
    fill_tessal_container(x, doc, {}, 0, 0);
    return x.save_bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TXIIFile x;
    if (!x.open_bytes(data, size)) return 0;
    read_every_node(x);
    // The container itself must write back to an identical list.
    x.SetProgId(tessal_progid());
    TXIIFile again;
    const tbytearr saved = x.save_bytes();
    if (!again.open_bytes(saved.data(), saved.size()) || again.nnodes() != x.nnodes()) std::abort();

    tdocument doc;
    try {
        // Reading the native file needs its id; try the input as one either way.
        x.SetFileId(tessal_fileid);
        read_tessal_container(doc, x);
    } catch (const std::runtime_error&) {
        if (doc.totnchans() != 0) std::abort();  // a failed read adds nothing
        return 0;
    }
    const tbytearr first = document_bytes(doc);
    TXIIFile y;
    if (!y.open_bytes(first.data(), first.size())) std::abort();
    tdocument doc2;
    read_tessal_container(doc2, y);
    if (document_bytes(doc2) != first) std::abort();
    return 0;
}
