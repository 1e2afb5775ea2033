#include "engine/tools/correlogramchannels.h"

#include <algorithm>

#include "engine/core/prompter.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

namespace tessal {

tf0channels make_f0_channels(tdocument& doc, int chno, const std::vector<TTracePoint>& trace,
                             const tcorrelogramsettings& s, const tf0settings& e,
                             const tf0targets& targets, double f0t0fsd, tprompter& prompter,
                             const std::function<bool(double)>& progress) {
    tf0channels result;
    if (chno < 0 || chno >= doc.totnchans()) return result;
    if (trace.empty()) {
        prompter.error("No trace set", "Correlogram");
        return result;
    }
    tf0extraction out;
    {
        // Nothing is written until the whole channel is done.
        const tchannel& src = doc.channel(chno);
        if (!extract_f0(sample_view(src), s, trace, e, out, nullptr, progress)) {
            result.outcome = tf0channels::toutcome::interrupted;
            return result;
        }
    }
    return write_f0_channels(doc, chno, out, s, e, targets, f0t0fsd);
}

tf0channels write_f0_channels(tdocument& doc, int chno, tf0extraction& out, const tcorrelogramsettings& s,
                              const tf0settings& e, const tf0targets& targets, double f0t0fsd) {
    tf0channels result;
    if (chno < 0 || chno >= doc.totnchans()) return result;
    result.outcome = tf0channels::toutcome::done;
    const tchannel& src = doc.channel(chno);
    const long long step = e.keeprate ? 1 : std::max(1LL, e.skip);
    const double fs = src.sampfreq / static_cast<double>(step);
    const long long xshift = src.xshift / step;
    const std::string name = src.name();
    const bool timeaxis = s.fvertaxistype == 0;
    struct tout {
        std::vector<double>* v;
        std::string name, unit;
        double fsd;
    };
    std::vector<tout> outs;
    std::vector<int> into;
    if (targets.f0t0) {
        outs.push_back({&out.f0t0, name + (timeaxis ? " T0" : " F0"), timeaxis ? "s" : "Hz", f0t0fsd});
        into.push_back(targets.f0t0chan);
    }
    if (targets.correlation) {
        outs.push_back({&out.correlation, name + " Correlation", "", 1.1});
        into.push_back(targets.correlationchan);
    }
    if (targets.width) {
        outs.push_back({&out.width, name + " Candidate Width", "%", 100});
        into.push_back(targets.widthchan);
    }
    if (outs.empty()) return result;
    // A chosen channel is written over; the others are appended.
    int next = doc.totnchans();
    for (int& c : into)
        if (c < 0 || c >= doc.totnchans() || c == chno) c = next++;
    const int first = doc.totnchans();
    doc.set_totnchans(next);
    for (std::size_t k = 0; k < outs.size(); ++k) {
        tchannel& ch = doc.channel(into[k]);
        ch.sampfreq = fs;
        ch.xshift = xshift;
        ch.set_name(outs[k].name);
        ch.set_yunit(outs[k].unit);
        ch.set_fsd(outs[k].fsd > 0 ? outs[k].fsd : 1);
        ch.dbreference = 1;
        ch.stereochanno = -1;
        // Periods, frequencies and correlations are no audio: kept and
        // saved as they were computed, whatever the channel held before.
        ch.format = tFormat::ieeefloat;
        ch.nbits = 32;
        ch.set_origin("Tessal correlogram");
        // a chosen channel is written over
        doc.samples_changing(ch, 0, static_cast<std::size_t>(ch.sample_count()));
        ch.set_samples(tsinglearr(outs[k].v->begin(), outs[k].v->end()));
        ch.showcorrelation = false;
        if (into[k] < first) {
            ch.sigcachedirty = true;
            doc.theglobal.channel_changed(tchannelchange::properties(into[k]));
        }
    }
    doc.set_modified(true);
    doc.theglobal.channels_changed();
    doc.theglobal.fix_things();
    doc.theglobal.invalidate_paintboxes(true);
    result.channels = std::move(into);
    return result;
}

}  // namespace tessal
