// The rows of the known file formats (see formatregistry.h).
#include "engine/formats/formatregistry.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "engine/formats/formatpaths.h"
#include "engine/formats/saveformats.h"
#include "engine/formats/textexport.h"
#include "engine/formats/textgridlabels.h"

namespace tessal {

namespace {

// A signal file read (and written, when it has a writer) as a whole
// document: `kind` names its files in the dialogs, its codings stand at
// place saveorder in the save dialog.
tfileformat signal_format(const std::string& ext, const std::string& kind, int saveorder,
                          std::vector<tsavecodingrow> codings, tformatreader read, tformatwriter write) {
    const std::string shown = kind + " (*" + ext + ")";
    tfileformat f;
    f.ext = ext;
    f.openfilter = shown + "|*" + ext;
    f.dialogfilter = shown;
    f.codings = std::move(codings);
    f.saveorder = saveorder;
    f.read = read;
    f.write = write;
    return f;
}

tfileformat wav_format() {
    tfileformat f = signal_format(".wav", "Wave files", 2,
                                  {
                                      {"Wave file 8-bit (*.wav)|*.wav", "wav8i", false, 8, tFormat::pcm},
                                      {"Wave file 8-bit A-law (*.wav)|*.wav", "wav8a", false, 8, tFormat::alaw},
                                      {"Wave file 8-bit mu-law(*.wav)|*.wav", "wav8u", false, 8, tFormat::ulaw},
                                      {"Wave file 16-bit (*.wav)|*.wav", "wav16i", true, 16, tFormat::pcm},
                                      {"Wave file 24-bit (*.wav)|*.wav", "wav24i", true, 24, tFormat::pcm},
                                      {"Wave file 32-bit (*.wav)|*.wav", "wav32i", false, 32, tFormat::pcm},
                                      {"Wave file 16 bit float (*.wav)|*.wav", "wav16f", false, 16, tFormat::ieeefloat},
                                      {"Wave file 32-bit float (*.wav)|*.wav", "wav32f", true, 32, tFormat::ieeefloat},
                                  },
                                  read_wav_document, write_wav_document);
    f.caps.codings = true;  // one rate, many codings; an ".epg" sidecar is read, never written
    f.defaultcoding = "wav16i";
    return f;
}

tfileformat smp_format() {
    tfileformat f = signal_format(".smp", "Merivox files", 1,
                                  {{"Merivox file 16-bit (*.smp)|*.smp", "smp16i", true, 16, tFormat::pcm}},
                                  read_smp_document, write_smp_document);
    f.caps.labels = true;  // one rate, 16-bit samples with FSD, units and labels
    f.caps.calibration = true;
    return f;
}

tfileformat native_format() {
    tfileformat f = signal_format(
        ".tessal", "Tessal files", 0,
        {{"Tessal file 32-bit float(*.tessal)|*.tessal", "tessal32f", true, 32, tFormat::ieeefloat}},
        read_native_document, write_native_document);
    f.caps.mixed_rates = f.caps.labels = f.caps.notes = f.caps.calibration = f.caps.epg =
        true;  // the whole document
    return f;
}

tfileformat orlet_format() {
    tfileformat f = signal_format(".orlet", "Orlet files", 0, {}, read_orlet_document, nullptr);
    f.caps.writable = false;  // recordings of another program, read only
    return f;
}

}  // namespace

const std::vector<tfileformat>& file_formats() {
    static const std::vector<tfileformat> rows{wav_format(), smp_format(), native_format(),
                                               orlet_format()};
    return rows;
}

const tfileformat& codec_format() {
    // Whatever a codec entry names: read as the WAVE file the codec
    // writes, never written back, and the document stays untitled.
    static const tfileformat row = [] {
        tfileformat f;
        f.caps.writable = false;
        f.caps.names_document = false;
        f.read = read_through_codec;
        return f;
    }();
    return row;
}

const tfileformat& textgrid_format() {
    static const tfileformat row = [] {
        tfileformat f;
        f.ext = ".textgrid";
        f.dialogfilter = "Praat TextGrid (*.TextGrid)";
        f.caps.labels = true;
        f.readlabels = import_textgrid_labels;
        f.writelabels = export_textgrid_labels;
        return f;
    }();
    return row;
}

const tfileformat& text_table_format() {
    static const tfileformat row = [] {
        tfileformat f;
        f.ext = ".txt";
        f.dialogfilter = "Text files (*.txt)";
        f.caps.readable = false;
        f.writetable = export_text_file;
        return f;
    }();
    return row;
}

const tfileformat* format_for_extension(const std::string& ext) {
    for (const tfileformat& f : file_formats())
        if (f.ext == ext) return &f;
    return nullptr;
}

std::string lower_extension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

std::string file_name_part(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const tfileformat* format_of_path(const std::string& path) {
    return format_for_extension(lower_extension(path));
}

bool keeps_codings(const std::string& path) {
    const tfileformat* f = format_of_path(path);
    return f && f->caps.codings;
}

const tfileformat* reader_of_path(const std::string& path, const tformatio& io) {
    const tfileformat* f = format_of_path(path);
    if (f && f->caps.readable && f->read) return f;
    if (io.converts && io.converts(path)) return &codec_format();
    return nullptr;
}

std::string dialog_filter(const tfileformat& f) { return f.dialogfilter + ";;All files (*)"; }

std::string open_filter_text() {
    std::string patterns;
    for (const tsavefilter& r : default_savefilters()) {
        const std::string p = "*" + r.ext;
        if (patterns.find(p + ";") != std::string::npos || patterns.ends_with(p)) continue;
        patterns += (patterns.empty() ? "" : ";") + p;
    }
    std::string s = "All sound files |" + patterns;
    for (const tfileformat& f : file_formats())
        if (f.caps.readable) s += "|" + f.openfilter;
    return s + "|All files (*.*)|*.*";
}

}  // namespace tessal
