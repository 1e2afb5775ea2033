#include "engine/settings/settingsfile.h"

#include "engine/formats/regularfile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/core/measurementitems.h"
#include "engine/formats/regularfile.h"
#include "engine/formats/safereplace.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace fs = std::filesystem;

namespace {

const char* const general = "General";

// Reads one value; a value of the wrong type or length keeps the default,
// so one bad node never costs the others.
template <class F>
auto guarded(F read, decltype(read()) def) -> decltype(read()) {
    try {
        return read();
    } catch (const EXIIfileError&) {
        return def;
    }
}

int read_int(TXIIFile& f, const std::string& s, const std::string& k, int def, int lo, int hi) {
    const int v = guarded([&] { return f.readinteger(s, k, def); }, def);
    return v < lo || v > hi ? def : v;
}

bool read_bool(TXIIFile& f, const std::string& s, const std::string& k, bool def) {
    return guarded([&] { return f.readbool(s, k, def); }, def);
}

double read_float(TXIIFile& f, const std::string& s, const std::string& k, double def) {
    const double v = guarded([&] { return f.readfloat(s, k, def); }, def);
    return std::isfinite(v) ? v : def;
}

std::string read_string(TXIIFile& f, const std::string& s, const std::string& k,
                        const std::string& def) {
    return guarded([&] { return f.readstring(s, k, def); }, def);
}

// A number format the views can use: a short picture of digits and points.
bool plausible_format(const std::string& s) {
    if (s.empty() || s.size() > 40) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return c == '0' || c == '#' || c == '.'; });
}

TXIIFile settings_container(const std::string& appdatafolder) {
    TXIIFile f;
    f.SetFileId(settings_fileid);
    f.SetProgId(tessal_progid());
    f.SetSettingsFileName(settings_filename_only);
    f.SetAppDataFolder(appdatafolder);
    return f;
}

bool file_readable(const std::string& name) {
    // Asked before the open: a FIFO would block it and a device never end.
    if (!regular_file_problem(name).empty()) return false;
    std::ifstream in(name, std::ios::binary);
    return static_cast<bool>(in);
}

std::string damaged_copy_name(const std::string& name) {
    return insert_before_extension(name, "_damaged");
}

// A folder for the scratch file: empty (the default one) or a full path on
// one line of printable characters.
bool plausible_folder(const std::string& s) {
    if (s.empty()) return true;
    if (s.size() > 4096 || s.front() != '/') return false;
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// The values whose default is fixed rather than whatever is current.
void fixed_defaults(tdocument& doc) {
    const tpreferences d;
    tpreferences& p = doc.prefs;
    p.nSignificantDigits = d.nSignificantDigits;
    p.DefaultSampFreq = d.DefaultSampFreq;
    p.OverloadMargin = d.OverloadMargin;
    p.dBFormat = d.dBFormat;
    p.SecondsFormat = d.SecondsFormat;
    p.QuickDraw = d.QuickDraw;
    p.AntiAlias = d.AntiAlias;
    p.UseInfoColor = d.UseInfoColor;
    p.UseDither = d.UseDither;
    p.WarnSaveSmp = d.WarnSaveSmp;
    p.WarnSaveWav = d.WarnSaveWav;
    p.AskDeleteLabel = d.AskDeleteLabel;
    p.CtrlZUndoes = d.CtrlZUndoes;
    p.UndoMemoryMB = d.UndoMemoryMB;
    p.SampleMemoryMB = d.SampleMemoryMB;
    p.ScratchFolder = d.ScratchFolder;
    doc.selectmode = selmono;
}

}  // namespace

const std::vector<std::string>& persistent_window_names() {
    static const std::vector<std::string> names = {
        "Layout", "SpectrumWindow", "ProcessingWindow", "SpectrogramWindow", "TNAQWindow",
        "InverseWindow", "LogWindow", "EPGWindow", "RowogramWindow", "CorrelationWindow",
        "XYWindow", "CorrelogramWindow", "psubWindow", "HistWindow"};
    return names;
}

std::string settings_file_path(const std::string& appdatafolder) {
    const std::string dir = program_data_folder(tessal_progid(), appdatafolder);
    if (dir.empty())
        return (fs::temp_directory_path() / (tessal_progid().product + ".xiifile")).string();
    return (fs::path(dir) / settings_filename_only).string();
}

int find_device(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return 0;
}

tsettingsread open_settings(tdocument& doc, tmainwindowsettings& st, tprompter& prompter,
                            const std::string& appdatafolder) {
    doc.scratch_default = scratch_folder(appdatafolder);
    const std::string name = settings_file_path(appdatafolder);
    std::error_code ec;
    if (!fs::exists(name, ec)) return tsettingsread::missing;
    if (const std::string problem = regular_file_problem(name); !problem.empty()) {
        prompter.ask(problem, "Cannot open settings file", tbuttons::ok, ticon::error);
        return tsettingsread::rejected;
    }
    if (!file_readable(name)) return tsettingsread::missing;
    TXIIFile f = settings_container(appdatafolder);
    f.SetFileId("");
    if (!f.open_file(name) || f.GetFileId() != settings_fileid) {
        prompter.ask("Wrong settings file type", "Cannot open settings file", tbuttons::ok,
                     ticon::error);
        return tsettingsread::rejected;
    }
    fixed_defaults(doc);

    for (const std::string& w : persistent_window_names()) {
        auto it = st.layouts.find(w);
        if (it == st.layouts.end()) continue;
        twindowlayout& l = it->second;
        constexpr int far = 1 << 20;  // no screen is a million pixels away
        l.top = read_int(f, w, "Top", l.top, -far, far);
        l.left = read_int(f, w, "Left", l.left, -far, far);
        l.height = read_int(f, w, "Height", l.height, 1, far);
        l.width = read_int(f, w, "Width", l.width, 1, far);
    }

    auto device = [&](const std::string& key, const std::vector<std::string>& names, int& cur) {
        const std::string current =
            cur >= 0 && cur < static_cast<int>(names.size()) ? names[cur] : std::string();
        const std::string stored = read_string(f, general, key, current);
        cur = find_device(names, stored);
    };
    device("PlaySoundcard", st.playdevices, st.playdevice);
    device("RecordSoundcard", st.recorddevices, st.recorddevice);

    st.SaveFormat = read_int(f, general, "SaveFormat", st.SaveFormat, 0, 1000);
    doc.selectmode = read_int(f, general, "Selectmode", doc.selectmode, selmono, selvisible);
    tpreferences& p = doc.prefs;
    p.nSignificantDigits = read_int(f, general, "nSignificantDigits", p.nSignificantDigits, 0, 20);
    const double rate = read_float(f, general, "DefaultSampFreq", p.DefaultSampFreq);
    if (rate > 0) p.DefaultSampFreq = rate;
    p.OverloadMargin = read_float(f, general, "OverloadMargin", p.OverloadMargin);
    const std::string db = read_string(f, general, "dBFormat", p.dBFormat);
    if (plausible_format(db)) p.dBFormat = db;
    const std::string secs = read_string(f, general, "SecondsFormat", p.SecondsFormat);
    if (plausible_format(secs)) p.SecondsFormat = secs;
    p.QuickDraw = read_bool(f, general, "QuickDraw", p.QuickDraw);
    p.AntiAlias = read_bool(f, general, "AntiAlias", p.AntiAlias);
    p.UseInfoColor = read_bool(f, general, "UseInfoColor", p.UseInfoColor);
    st.ShowFSD = read_bool(f, general, "ShowFSD", st.ShowFSD);
    p.UseDither = read_int(f, general, "UseDither", p.UseDither, 0, 2);
    for (tsaveformatflag& u : st.usefileformat)
        u.used = read_bool(f, general, "UseFileFormat" + u.idstr, u.used);
    p.WarnSaveSmp = read_bool(f, general, "WarnSaveSmp", p.WarnSaveSmp);
    p.WarnSaveWav = read_bool(f, general, "WarnSaveWav", p.WarnSaveWav);
    p.AskDeleteLabel = read_bool(f, general, "AskDeleteLabel", p.AskDeleteLabel);
    p.CtrlZUndoes = read_bool(f, general, "CtrlZUndoes", p.CtrlZUndoes);
    p.UndoMemoryMB = read_int(f, general, "UndoMemoryMB", p.UndoMemoryMB, 1, 1 << 20);
    p.SampleMemoryMB = read_int(f, general, "SampleMemoryMB", p.SampleMemoryMB, 0, 1 << 24);
    const std::string scratch = read_string(f, general, "ScratchFolder", p.ScratchFolder);
    if (plausible_folder(scratch)) p.ScratchFolder = scratch;

    for (int i = 0; i < nmeasurementitems; ++i)
        doc.showmeasurement[i] =
            read_bool(f, "ShowMeasurement", measurement_item(i).key, doc.showmeasurement[i]);
    doc.measurementthreshold =
        read_float(f, "ShowMeasurement", "MeasurementThreshold", doc.measurementthreshold);

    // Each codec takes four nodes, so the file bounds the count it claims.
    const int ncodecs = read_int(f, "Codec", "nCodecs", -1, 0, f.nnodes() / 4);
    if (ncodecs >= 0) {
        st.codecs.clear();
        for (int i = 0; i < ncodecs; ++i) {
            const std::string s = "Codec" + std::to_string(i);
            st.codecs.push_back({read_string(f, s, "Name", ""), read_string(f, s, "Extension", ""),
                                 read_string(f, s, "Exename", ""),
                                 read_string(f, s, "Parameters", "")});
        }
    }
    st.ShowCodec = read_bool(f, "Codec", "ShowCodec", st.ShowCodec);
    return tsettingsread::read;
}

void save_settings(const tdocument& doc, const tmainwindowsettings& st,
                   const std::string& appdatafolder) {
    const std::string name = settings_file_path(appdatafolder);
    TXIIFile f = settings_container(appdatafolder);
    std::error_code ec;
    if (fs::exists(name, ec)) {
        // Whatever stands there that is no file (a FIFO, a folder) is not
        // replaced, nor waited on.
        if (const std::string problem = regular_file_problem(name); !problem.empty())
            throw EFileSaveError("Cannot save the settings file: " + problem);
        TXIIFile old = settings_container(appdatafolder);
        old.SetFileId("");
        if (old.open_file(name) && old.GetFileId() == settings_fileid) {
            f = std::move(old);
        } else if (file_readable(name)) {
            // Whatever it was, it is not ours to destroy.
            fs::copy_file(name, damaged_copy_name(name), fs::copy_options::overwrite_existing, ec);
            if (ec)
                throw EFileSaveError("Cannot keep a copy of the damaged settings file \r" + name +
                                     "\r" + os_error_text(ec.value()));
            f.clear();
        }
        f.SetFileId(settings_fileid);
    }

    for (const std::string& w : persistent_window_names()) {
        auto it = st.layouts.find(w);
        // A window never placed (no size) leaves its section unwritten.
        if (it == st.layouts.end() || it->second.maximized || it->second.width <= 0 ||
            it->second.height <= 0)
            continue;
        const twindowlayout& l = it->second;
        f.writeinteger(w, "Top", l.top);
        f.writeinteger(w, "Left", l.left);
        f.writeinteger(w, "Height", l.height);
        f.writeinteger(w, "Width", l.width);
    }

    auto device = [&](const std::string& key, const std::vector<std::string>& names, int cur) {
        if (cur >= 0 && cur < static_cast<int>(names.size()))
            f.writestring(general, key, names[cur]);
    };
    device("PlaySoundcard", st.playdevices, st.playdevice);
    device("RecordSoundcard", st.recorddevices, st.recorddevice);
    const tpreferences& p = doc.prefs;
    f.writeinteger(general, "SaveFormat", st.SaveFormat);
    f.writeinteger(general, "Selectmode", doc.selectmode);
    f.writeinteger(general, "nSignificantDigits", p.nSignificantDigits);
    f.writefloat(general, "DefaultSampFreq", p.DefaultSampFreq);
    f.writefloat(general, "OverloadMargin", p.OverloadMargin);
    f.writestring(general, "dBFormat", p.dBFormat);
    f.writestring(general, "SecondsFormat", p.SecondsFormat);
    f.writebool(general, "QuickDraw", p.QuickDraw);
    f.writebool(general, "AntiAlias", p.AntiAlias);
    f.writebool(general, "UseInfoColor", p.UseInfoColor);
    f.writebool(general, "ShowFSD", st.ShowFSD);
    f.writeinteger(general, "UseDither", p.UseDither);
    for (const tsaveformatflag& u : st.usefileformat)
        f.writebool(general, "UseFileFormat" + u.idstr, u.used);
    f.writebool(general, "WarnSaveSmp", p.WarnSaveSmp);
    f.writebool(general, "WarnSaveWav", p.WarnSaveWav);
    f.writebool(general, "AskDeleteLabel", p.AskDeleteLabel);
    f.writebool(general, "CtrlZUndoes", p.CtrlZUndoes);
    f.writeinteger(general, "UndoMemoryMB", p.UndoMemoryMB);
    f.writeinteger(general, "SampleMemoryMB", p.SampleMemoryMB);
    f.writestring(general, "ScratchFolder", p.ScratchFolder);

    for (int i = 0; i < nmeasurementitems; ++i)
        f.writebool("ShowMeasurement", measurement_item(i).key, doc.showmeasurement[i]);
    f.writefloat("ShowMeasurement", "MeasurementThreshold", doc.measurementthreshold);

    f.writeinteger("Codec", "nCodecs", static_cast<std::int32_t>(st.codecs.size()));
    f.writebool("Codec", "ShowCodec", st.ShowCodec);
    for (std::size_t i = 0; i < st.codecs.size(); ++i) {
        const std::string s = "Codec" + std::to_string(i);
        f.writestring(s, "Name", st.codecs[i].Name);
        f.writestring(s, "Extension", st.codecs[i].Extension);
        f.writestring(s, "Exename", st.codecs[i].Exename);
        f.writestring(s, "Parameters", st.codecs[i].Parameters);
    }
    f.save_file(name);
}

}  // namespace tessal
