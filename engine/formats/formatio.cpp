// The helpers the formats' readers and writers share (see formatio.h).
#include "engine/formats/formatio.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/numformat.h"
#include "engine/formats/savespan.h"

namespace tessal {

std::vector<int> tformatio::channel_list(const std::vector<int>& chans) const {
    return tessal::channel_list(doc, chans);
}

std::vector<int> channel_list(const tdocument& doc, const std::vector<int>& chans) {
    if (!chans.empty()) return chans;
    std::vector<int> all(doc.totnchans());
    for (int i = 0; i < doc.totnchans(); ++i) all[i] = i;
    return all;
}

bool tformatio::same_rates(const std::vector<int>& chans) const {
    std::vector<int> list = channel_list(chans);
    for (int c : list)
        if (doc.channel(c).sampfreq != doc.channel(list.front()).sampfreq) return false;
    return true;
}

bool tformatio::overload_ok(const std::vector<int>& list, int nbits, tFormat format,
                                 double from, double to) {
    if (format == tFormat::ieeefloat && nbits == 32) return true;
    const bool half = format == tFormat::ieeefloat;
    std::vector<int> failing;
    for (int c : list) {
        const tchannel& ch = doc.channel(c);
        const double limit = half ? 65504.0 : ch.fsd();
        tsavespan span = save_span_of(ch, from, to);
        bool over = false;
        // Blocks read into a buffer, each with branch-free maxima (vector
        // code), stopping at the first block that goes over.
        constexpr long long chunk = 4096;
        float s[chunk];
        for (long long a = span.first; a < span.last && !over; a += chunk) {
            const auto n = static_cast<std::size_t>(std::min(span.last - a, chunk));
            ch.read_samples(a, n, s);
            float m = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const float x = std::fabs(s[i]);
                m = x > m ? x : m;
            }
            over = m > limit;
        }
        if (over) failing.push_back(c);
    }
    if (failing.empty()) return true;
    std::string list_text;
    for (int c : failing) list_text += std::to_string(c) + " ";
    std::string text;
    if (half)
        text = "Signal is stronger than " + float_to_text(65504) +
               (failing.size() == 1 ? " in channel " : " in channels: ") + list_text;
    else
        text = std::string(failing.size() == 1 ? "Signal is stronger than FSD in channel "
                                               : "Signal is stronger than FSD in channels: ") +
               list_text;
    text += "\rSaving the file will cause clipping.\rDo you still want to save it?";
    return prompter.ask(text, "Amplitude overload", tbuttons::okcancel, ticon::warning) ==
           tanswer::ok;
}

}  // namespace tessal
