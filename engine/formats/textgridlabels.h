// Labels to and from Praat TextGrid files for a whole document: "Export
// labels as TextGrid..." and "Import labels from TextGrid..." of the File
// menu, and tessal-cli labels.
#pragma once

#include <cstddef>
#include <string>

#include "engine/formats/safereplace.h"
#include "engine/formats/textgrid.h"

namespace tessal {

class tdocument;

// The labels of every channel as one TextGrid over 0 .. the end of the
// longest channel or label, written through a temporary copy
// (EFileSaveError).
void export_textgrid_labels(const tdocument& doc, const std::string& path,
                            tfileops& ops = tfileops::system());

// Adds the labels of every tier of the file to channel `chno`, keeping the
// labels it has, and tells the listeners (a labels notice and a repaint).
// Raises ETextGridError with the sentence for the user when the file is no
// regular file, is larger than textgrid_max_bytes, cannot be read or is no
// TextGrid; nothing is added then. Channel numbers outside the document
// raise std::out_of_range. The number of labels added.
std::size_t import_textgrid_labels(tdocument& doc, int chno, const std::string& path);

}  // namespace tessal
