// Opening and adding files through a codec: the external program writes a
// temporary WAVE file, which is read as usual and removed whatever happens.
// The channels take the original file's name; a conversion that fails
// leaves the document as it was and says why, with the program's own words.
#include <filesystem>

#include "engine/document/documentfiles.h"
#include "engine/document/title.h"
#include "engine/formats/safereplace.h"
#include "engine/settings/codecs.h"

namespace tessal {

namespace {

std::vector<const tcodecentry*> matching_codecs(const std::vector<tcodecentry>* codecs,
                                                const std::string& path) {
    std::vector<const tcodecentry*> found;
    if (!codecs) return found;
    for (const tcodecentry& c : *codecs)
        if (find_codec({c}, path) == 0) found.push_back(&c);
    return found;
}

}  // namespace

bool tdocumentfiles::opens_through_codec(const std::string& path) const {
    if (!run_codec) return false;
    const tfileformat* format = format_of_path(path);
    if (format && format->caps.readable) return false;
    return !matching_codecs(codecs, path).empty();
}

bool tdocumentfiles::convert_with_codec(const std::string& path, std::string& wavpath) {
    tfileops& fs = tfileops::system();
    std::error_code ec;
    std::filesystem::path folder =
        codecfolder.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(codecfolder);
    if (ec) folder = ".";
    if (!fs.exists(path)) {
        prompter.warn("Could not open file\r" + path + "\rThe file does not exist.",
                      "Could not open file");
        return false;
    }
    std::string why;
    for (const tcodecentry* c : matching_codecs(codecs, path)) {
        // A name no other file has, so the program never writes over one.
        static int counter = 0;
        std::string out;
        do {
            out = (folder / ("tessal_codec_" + std::to_string(++counter) + ".wav")).string();
        } while (fs.exists(out));
        std::string message;
        try {
            message = run_codec(*c, path, out);
        } catch (const std::exception& e) {
            message = e.what();
        }
        if (message.empty() && fs.exists(out)) {
            wavpath = out;
            return true;
        }
        if (fs.exists(out)) fs.remove(out);
        why += (why.empty() ? "" : "\r") + (message.empty() ? "The codec wrote no file." : message);
    }
    prompter.warn("Could not open file\r" + path + "\r" + why, "Could not open file");
    return false;
}

bool tdocumentfiles::open_through_codec(const std::string& path, bool add) {
    if (!add && !life.ask_before_close()) return false;
    std::string wav;
    if (!convert_with_codec(path, wav)) {
        doc.theglobal.document_state_changed();
        return false;
    }
    twavload load;
    const tloadresult r = load_wav(wav, load);
    tfileops::system().remove(wav);
    if (r != tloadresult::read) {
        fcancelled = r == tloadresult::cancelled;
        doc.theglobal.document_state_changed();
        return false;
    }
    if (!add) {
        life.close_document(false);
        if (life.zoomhistory) life.zoomhistory->clear();
    }
    const int n0 = doc.totnchans();
    install_wav(wav, load, path);
    const bool read = add_read_channels(path, n0);
    if (!add) {
        // Save could not write the foreign format back under its name.
        life.setfilename("");
        life.setmodified(false);
    }
    doc.theglobal.fix_things();
    doc.theglobal.document_state_changed();
    return read;
}

}  // namespace tessal
