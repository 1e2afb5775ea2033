// Opening files through a codec: the external program writes a temporary
// WAVE file, which the codec format row reads as usual and removes whatever
// happens. A conversion that fails says why, with the program's own words.
#include "engine/settings/codecpaths.h"

#include <filesystem>

#include "engine/formats/formatregistry.h"
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

bool tcodecrunner::converts(const std::string& path) const {
    if (!run_codec) return false;
    const tfileformat* format = format_of_path(path);
    if (format && format->caps.readable) return false;
    return !matching_codecs(codecs, path).empty();
}

bool tcodecrunner::convert(const std::string& path, std::string& wavpath, tprompter& prompter) const {
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

}  // namespace tessal
