// The small document the journal seeds were recorded on and the journal
// target replays onto: two channels of 1000 samples per second, a stereo
// pair, 200 samples each and one label.
#pragma once

#include <cmath>
#include <string>

#include "engine/core/tcreatedata.h"
#include "engine/core/tdocument.h"

namespace tessal::fuzz {

inline void journal_seed_document(tdocument& doc) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 1000;
        ch.set_name("ch" + std::to_string(c));
        ch.set_created(tcreatedata{});
        tsinglearr v;
        for (int i = 0; i < 200; ++i) v.push_back(0.5f * static_cast<float>(std::sin(0.1 * i * (c + 1))));
        ch.set_samples(std::move(v));
        ch.add_label(0.05, 0.02, "a", "manual");
    }
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.set_modified(false);
}

}  // namespace tessal::fuzz
