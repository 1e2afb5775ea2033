// libFuzzer target for the tagged container and the native signal file.
//
// Any bytes must either be refused (open_bytes false, or an exception derived
// from std::runtime_error carrying a message) or be read completely; nothing
// may crash, hang, read out of bounds or allocate beyond the input's size.
// Whatever is accepted must also survive the way back: a document read from
// the input, written and read again, writes the very same bytes. The input
// is also read from a file (a quarter of the inputs), which must agree with
// reading it from memory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/txiifile.h"

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

// One file per process, removed at exit.
const std::string& scratch_file() {
    static const std::string* name = [] {
        auto* n = new std::string((std::filesystem::temp_directory_path() /
                                   ("fuzz_xii_" + std::to_string(::getpid()) + ".xii"))
                                      .string());
        std::atexit([] { std::remove(scratch_file().c_str()); });
        return n;
    }();
    return *name;
}

// Reading the same bytes from a file gives the same answer and the same list.
void compare_with_file(const std::uint8_t* data, std::size_t size, bool ok, const TXIIFile& mem) {
    std::FILE* f = std::fopen(scratch_file().c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    TXIIFile x;
    if (x.open_file(scratch_file()) != ok || x.nnodes() != mem.nnodes()) std::abort();
    for (int i = 0; i < x.nnodes(); ++i)
        if (x.get_nodeno(i).data.arr != mem.get_nodeno(i).data.arr) std::abort();
}

tbytearr document_bytes(const tdocument& doc) {
    TXIIFile x;
    fill_tessal_container(x, doc, {}, 0, 0);
    return x.save_bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TXIIFile x;
    const bool ok = x.open_bytes(data, size);
    // A quarter of the inputs, chosen by size so a run is repeatable: the
    // file round trip costs as much as all the rest.
    if (size % 4 == 0) compare_with_file(data, size, ok, x);
    if (!ok) return 0;
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
