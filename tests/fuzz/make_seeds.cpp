// Writes the seed corpora of the fuzz targets that read files the program
// itself writes, each through the program's own writer, into
// tests/fuzz/corpus/<name>/. Run from the repository root after building
// the engine archives with scripts/fuzz:
//
//   clang++ -std=c++20 -fsanitize=address,undefined,fuzzer-no-link -I. -Itests \
//       tests/fuzz/make_seeds.cpp build-fuzz/libtessal_*.a... -o build-fuzz/make_seeds
//
// (the archives in the order scripts/fuzz lists them). The seeds are kept
// in the source tree; this only says how they were made. The journal and
// spool files it writes were then turned into the two input forms of
// framedinput.h: "R" and the file, and "F" and its records.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/analysis/correlogram.h"
#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/clipboardblock.h"
#include "engine/document/editcommands.h"
#include "engine/history/journal.h"
#include "engine/document/labelcommands.h"
#include "engine/document/levels.h"
#include "engine/history/recordspool.h"
#include "engine/history/undohistory.h"
#include "engine/formats/textgrid.h"
#include "engine/process/processfile.h"
#include "engine/process/procregistry.h"
#include "engine/settings/settingsfile.h"
#include "engine/tools/epg.h"
#include "engine/tools/invfilter.h"
#include "fuzz/seeddocument.h"

using namespace tessal;
namespace fs = std::filesystem;

namespace {

std::string dir(const std::string& name) {
    const std::string d = "tests/fuzz/corpus/" + name;
    fs::create_directories(d);
    return d + "/";
}

void put(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}
void put(const std::string& path, const std::string& b) { std::ofstream(path, std::ios::binary) << b; }

void clipblocks() {
    const std::string d = dir("clipblock");
    tclipblock b;
    b.start = 0.25f;
    put(d + "empty.bin", serialise_clipblock(b));
    tclipchannel c;
    c.sampfreq = 16000;
    c.fsd = 1;
    for (int i = 0; i < 32; ++i) c.samples.push_back(std::sin(0.3f * i));
    b.chans.push_back(c);
    put(d + "mono.bin", serialise_clipblock(b));
    c.sampfreq = 8000;
    c.fsd = 2.5f;
    c.samples.resize(5);
    b.chans.push_back(c);
    put(d + "two.bin", serialise_clipblock(b));
}

void textgrids() {
    const std::string d = dir("textgrid");
    ttextgridchannel a{"words", {}}, b{"phones", {}};
    a.labels.push_back(tsiglabel{.time = 0.1, .duration = 0.3, .text = "hello"});
    a.labels.push_back(tsiglabel{.time = 0.5, .duration = 0.2, .text = "\"quoted\" w\xc3\xb6rd"});
    b.labels.push_back(tsiglabel{.time = 0.2, .duration = 0, .text = "p"});
    put(d + "two_tiers.TextGrid", textgrid_text({a, b}, 0, 1));
    put(d + "empty_tier.TextGrid", textgrid_text({ttextgridchannel{"none", {}}}, 0, 2.5));
    // The short form Praat also writes, by hand.
    put(d + "short.TextGrid",
        "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\n0\n1\n<exists>\n2\n"
        "\"IntervalTier\"\n\"w\"\n0\n1\n2\n0\n0.5\n\"a\"\n0.5\n1\n\"\"\n"
        "\"TextTier\"\n\"p\"\n0\n1\n1\n0.25\n\"x\"\n");
}

void traces() {
    const std::string d = dir("ctr");
    std::string err;
    std::vector<TTracePoint> p;
    write_trace_file(d + "empty.ctr", p, "1.0", "a.smp", 0, err);
    p.push_back({false, 0.1, 80, 200, 0});
    p.push_back({true, 0.25, 90, 180, 0});
    p.push_back({false, 0.5, 100, 300, 0});
    write_trace_file(d + "three.ctr", p, "1.0", "a.smp", 1, err);
}

void filters() {
    const std::string d = dir("for");
    tinvfilter f;
    f.formants.clear();
    f.write_for_file(d + "none.for", "1.0");
    f.add_element(false, 700, 80);
    f.add_element(false, 1200, 90);
    f.add_element(true, 2500, 200);
    f.write_for_file(d + "three.for", "1.0");
}

void grids() {
    const std::string d = dir("epg");
    save_palate_grid(d + "grid.tessalEPGgrid", default_palate_grid());
    // The target reads an input starting with "G" as a grid file.
    std::ifstream in(d + "grid.tessalEPGgrid", std::ios::binary);
    const std::string g((std::istreambuf_iterator<char>(in)), {});
    fs::remove(d + "grid.tessalEPGgrid");
    put(d + "grid", "G" + g);
}

void processes() {
    const std::string d = dir("process");
    tprocsteps steps;
    save_process_file(d + "empty.tessalproc", steps);
    for (const char* id : {"load", "sine", "noise", "save"}) steps.push_back(create_step(find_procid(id), nullptr, 16000));
    save_process_file(d + "four.tessalproc", steps);
}

void settings() {
    const std::string d = dir("settings");
    const std::string tmp = (fs::temp_directory_path() / "tessal_make_seeds").string();
    tdocument doc;
    tmainwindowsettings st;
    for (const std::string& w : persistent_window_names()) st.layouts[w] = {10, 20, 300, 400};
    st.playdevices = {"Built-in", "USB headset"};
    st.recorddevices = {"Mic", "Line in"};
    st.usefileformat.push_back({"wav16i", true});
    save_settings(doc, st, tmp);
    fs::copy_file(settings_file_path(tmp), d + "settings.xiifile", fs::copy_options::overwrite_existing);
    fs::remove_all(tmp);
}

void journals() {
    const std::string d = dir("journal");
    tdocument doc;
    fuzz::journal_seed_document(doc);
    tundohistory h(doc);
    h.clear();
    tfixedprompter pr(tanswer::yes);
    tmemoryblockclipboard clip;
    teditcommands cmd(doc, pr, clip);
    {
        tjournal j(d + "edits.tjournal", "");
        h.onstep = [&](const tundohistory::tstep& st) { j.append_step(doc, st); };
        h.onmove = [&](bool undo) { j.append_move(undo); };
        doc.theglobal.set_selection(0.02, 0.06);
        doc.set_thischanno(0);
        doc.selectmode = 1;
        h.begin("Cut");
        cmd.cut();
        h.commit();
        h.begin("Label");
        add_manual_label(doc, "x");
        h.commit();
        h.undo();
        h.redo();
        h.begin("Zero");
        cmd.zero();
        h.commit();
        h.begin("Paste");
        cmd.paste();
        h.commit();
        j.flush();
    }
    {
        tjournal j(d + "origin.tjournal", "/nowhere/a.wav");
        j.flush();
    }
    // A spool of a recording into both channels, the second made by it.
    const std::string s = dir("spool");
    trecordspool sp(s + "two.spool", doc, {0, 1}, {false, true});
    std::vector<float> x(40);
    for (int i = 0; i < 40; ++i) x[i] = 0.01f * i;
    sp.append(0, x.data(), x.size());
    sp.append(1, x.data(), 20);
    sp.append(0, x.data(), 10);
    sp.flush();
}

}  // namespace

int main() {
    clipblocks();
    textgrids();
    traces();
    filters();
    grids();
    processes();
    settings();
    journals();
    return 0;
}
