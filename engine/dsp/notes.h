// Musical notes from frequencies: MIDI-style note numbers (A4 = 69 = 440 Hz)
// and their names with octave and optional cents ("A4", "C#5 +12 cent").
#pragma once

#include <string>

namespace tessal {

double freq_to_note(double f_hz);
double note_to_freq(double note);
std::string note_name(double note, bool withcents);
// "-" for frequencies <= 0.
std::string freq_to_notename(double f_hz, bool withcents);
// Reads a note name: a letter A to G (either case), an optional "#" or "b",
// and an octave number (C4 is middle C, A4 440 Hz), blanks around it
// allowed. False for any other text; f_hz is set only on success.
bool parse_note_name(const std::string& text, double& f_hz);
// A black key of the piano (C#, Eb, F#, Ab, Bb) for a whole note number.
bool is_black_key(int note);

}  // namespace tessal
