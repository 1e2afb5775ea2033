#include "engine/dsp/notes.h"

#include <cmath>

#include "engine/dsp/numformat.h"

namespace tessal {

double freq_to_note(double f_hz) { return 12.0 * std::log2(f_hz / 440.0) + 69.0; }

double note_to_freq(double note) { return 440.0 * std::exp2((note - 69.0) / 12.0); }

std::string note_name(double note, bool withcents) {
    static const char* const names[12] = {"Ab", "A", "Bb", "B", "C", "C#",
                                          "D",  "Eb", "E", "F", "F#", "G"};
    if (!std::isfinite(note)) return "-";
    long k = std::lround(note + 4);
    // The octave uses truncating division, so it changes at C as musicians
    // count; the name table starts at Ab so that k mod 12 indexes it.
    long idx = ((k + 120) % 12 + 12) % 12;
    std::string s = names[idx] + std::to_string((k + 104) / 12 - 10);
    if (withcents) {
        std::string c = format_significant(2, (note - std::round(note)) * 100.0);
        if (c.empty() || c[0] != '-') c = "+" + c;
        s += " " + c + " cent";
    }
    return s;
}

std::string freq_to_notename(double f_hz, bool withcents) {
    if (!(f_hz > 0)) return "-";
    return note_name(freq_to_note(f_hz), withcents);
}

bool parse_note_name(const std::string& text, double& f_hz) {
    std::size_t b = text.find_first_not_of(' ');
    std::size_t e = text.find_last_not_of(' ');
    if (b == std::string::npos) return false;
    const std::string t = text.substr(b, e - b + 1);
    static const int semitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G from C
    const char c = static_cast<char>(t[0] >= 'a' ? t[0] - 32 : t[0]);
    if (c < 'A' || c > 'G') return false;
    int note = semitone[c - 'A'];
    std::size_t i = 1;
    if (i < t.size() && (t[i] == '#' || t[i] == 'b')) note += t[i++] == '#' ? 1 : -1;
    if (i >= t.size()) return false;
    bool negative = false;
    if (t[i] == '-') {
        negative = true;
        ++i;
    }
    if (i >= t.size() || t.size() - i > 2) return false;
    int octave = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        octave = octave * 10 + (t[i] - '0');
    }
    if (negative) octave = -octave;
    f_hz = note_to_freq(12.0 * (octave + 1) + note);
    return true;
}

bool is_black_key(int note) { return ((7 * note + 18) % 12 + 12) % 12 < 5; }

}  // namespace tessal
