// For the GUI tests: a few turns of the event loop for the windows to
// follow a change, and two channels of sines at f0 and 2·f0.
#pragma once

#include <QApplication>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "engine/core/tdocument.h"

namespace tessal::testing {

inline void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

inline void tone_channels(tdocument& doc, double seconds, double fs, double f0) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = fs;
        ch.set_name(c ? "b" : "a");
        tsinglearr s(static_cast<std::size_t>(seconds * fs));
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * f0 * (c + 1) * i / fs));
        ch.set_samples(std::move(s));
        ch.set_fsd(1);
    }
    doc.theglobal.channels_changed();
}

}  // namespace tessal::testing
