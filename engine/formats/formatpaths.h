// The document's readers and writers of the signal formats, one pair per
// format in its <format>paths.cpp, named by the format's registry row
// (formatregistry.cpp). `shown` is the name the channels and the recent-files
// list take (the original of a converted file); empty: `path`.
#pragma once

#include <string>

#include "engine/formats/formatio.h"

namespace tessal {

tloaded read_wav_document(tformatio& io, const std::string& path, const std::string& shown);
bool write_wav_document(tformatio& io, const tsaverequest& save);

tloaded read_smp_document(tformatio& io, const std::string& path, const std::string& shown);
bool write_smp_document(tformatio& io, const tsaverequest& save);

tloaded read_native_document(tformatio& io, const std::string& path, const std::string& shown);
bool write_native_document(tformatio& io, const tsaverequest& save);

tloaded read_orlet_document(tformatio& io, const std::string& path, const std::string& shown);

// Converts the file through the codec entries into a temporary WAVE file,
// reads that under the original name and removes it.
tloaded read_through_codec(tformatio& io, const std::string& path, const std::string& shown);

}  // namespace tessal
