#include "engine/history/checkpoint.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "engine/history/undohistory.h"

namespace tessal {

namespace {

// The channel's samples made equal to `saved`, bit for bit: only the span
// between the first and the last sample that differ is replaced, so the
// min/max cache computes only the blocks the command changed.
void put_back(tchannel& c, const tsamplestore& saved) {
    const std::int64_t cn = c.sample_count();
    const std::int64_t sn = saved.size();
    const auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; };
    // The saved samples beside each piece of the channel, `shift` further on.
    std::vector<float> other;
    const auto saved_beside = [&](std::size_t n, std::int64_t pos, std::int64_t shift) {
        other.resize(n);
        saved.read(pos + shift, n, other.data());
        return other.data();
    };
    // The first sample that differs.
    std::int64_t head = std::min(cn, sn);
    bool found = false;
    c.for_each_chunk(0, std::min(cn, sn), [&](const float* p, std::size_t n, std::int64_t pos) {
        if (found) return;
        const float* q = saved_beside(n, pos, 0);
        for (std::size_t j = 0; j < n; ++j)
            if (!same(p[j], q[j])) {
                head = pos + static_cast<std::int64_t>(j);
                found = true;
                return;
            }
    });
    if (!found && cn == sn) return;
    // The last one: the `tail` samples after it equal the saved ones at the
    // same distance from the end.
    const std::int64_t room = std::min(cn, sn) - head;
    std::int64_t tail = room;
    c.for_each_chunk(cn - room, cn, [&](const float* p, std::size_t n, std::int64_t pos) {
        const float* q = saved_beside(n, pos, sn - cn);
        for (std::size_t j = 0; j < n; ++j)
            if (!same(p[j], q[j])) tail = cn - (pos + static_cast<std::int64_t>(j)) - 1;
    });
    replace_samples(c, head, cn - tail, saved.slice(head, sn - tail));
}

}  // namespace

tdocumentcheckpoint::tdocumentcheckpoint(const tdocument& doc, std::size_t samplebudget) {
    std::size_t total = 0;
    for (int i = 0; i < doc.totnchans(); ++i)
        total += static_cast<std::size_t>(doc.channel(i).sample_count());
    withsamples_ = samplebudget > 0 && total <= samplebudget;
    channels_.reserve(static_cast<std::size_t>(doc.totnchans()));
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        tsavedchannel s;
        s.object = &c;
        s.state = tchannelstate::of(c);
        // A copy of the store: it shares the channel's blocks.
        if (withsamples_) s.samples = c.samples_slice(0, c.sample_count());
        channels_.push_back(std::move(s));
    }
    state_ = tdocumentstate::of(doc);
}

void tdocumentcheckpoint::restore(tdocument& doc) const {
    // Channels the command made go first, highest number first.
    attempt([&] {
        for (int i = doc.totnchans() - 1; i >= 0; --i) {
            const tchannel* c = &doc.channel(i);
            if (std::none_of(channels_.begin(), channels_.end(),
                             [c](const tsavedchannel& s) { return s.object == c; }))
                doc.delete_channel(i);
        }
    });
    for (int i = 0; i < doc.totnchans(); ++i) {
        tchannel& c = doc.channel(i);
        auto it = std::find_if(channels_.begin(), channels_.end(),
                               [&c](const tsavedchannel& s) { return s.object == &c; });
        if (it == channels_.end()) continue;
        const tsavedchannel& s = *it;
        s.state.apply(c, doc.totnchans());
        attempt([&] {
            if (withsamples_) put_back(c, s.samples);
        });
        doc.theglobal.channel_changed(tchannelchange::properties(i));
    }
    attempt([&] {
        doc.prefs = state_.prefs;
        doc.showmeasurement = state_.showmeasurement;
        doc.measurementthreshold = state_.measurementthreshold;
        doc.selectmode = state_.selectmode;
        doc.set_thischanno(state_.thischanno);
        doc.xaxis.restore_scale_state(state_.xscale);
    });
    attempt([&] {
        doc.theglobal.set_sel1cursor(state_.sel1);
        doc.theglobal.set_sel2cursor(state_.sel2);
        doc.theglobal.set_timecursor(state_.timecursor);
    });
    doc.measurementdirty = true;
    attempt([&] { doc.set_filename(state_.filename); });
    attempt([&] { doc.set_modified(state_.modified); });
    attempt([&] { doc.theglobal.channels_changed(); });
    attempt([&] { doc.theglobal.fix_things(); });
    attempt([&] { doc.theglobal.invalidate_paintboxes(true); });
}

std::string failure_text(const std::exception& e) {
    std::string what = e.what();
    std::string cause;
    if (dynamic_cast<const EAxisError*>(&e)) {
        if (what.find("log scale") != std::string::npos)
            cause = "A logarithmic axis can only show values above 0, and this command needed "
                    "it to show 0 or less. Switch the axis to a linear scale (double-click the "
                    "axis) and try again.";
        else
            cause = "An axis could not show the values this command asked for.";
    } else if (dynamic_cast<const std::bad_alloc*>(&e)) {
        cause = "There is not enough memory for this command.";
        what.clear();
    } else {
        cause = "The command could not be completed.";
    }
    std::string text = cause;
    if (!what.empty()) text += "\r(" + what + ")";
    text += "\rNothing was changed.";
    return text;
}

}  // namespace tessal
