// Codecs: external programs that turn a file of another format into a WAVE
// file the program reads. An entry names the program and its command-line
// template, in which "%i" stands for the input file and "%o" for the output
// file. The template is cut into arguments first and the names put in
// afterwards, so a file name with blanks, quotes or ";" stays one argument;
// nothing goes through a shell.
#pragma once

#include <string>
#include <vector>

#include "engine/settings/settingsfile.h"

namespace tessal {

// The extension with one leading "." (".flac" for "flac" or ".flac").
std::string codec_extension(const std::string& ext);

// The arguments of `parameters` with "%i" and "%o" replaced. Arguments are
// separated by blanks; a part in double or single quotes keeps its blanks
// (the quotes themselves are dropped). A name starting with "-" goes in
// as "./" and the name, so the program cannot take it for an option.
std::vector<std::string> codec_arguments(const std::string& parameters, const std::string& in,
                                         const std::string& out);

// The first codec whose extension matches the file name's (case ignored),
// or -1.
int find_codec(const std::vector<tcodecentry>& codecs, const std::string& filename);

// The entry "Add" makes.
tcodecentry new_codec();

// The entries of a fresh settings file: FLAC through flac, and MP3, OGG and
// FLAC through sox.
std::vector<tcodecentry> default_codecs();

}  // namespace tessal
