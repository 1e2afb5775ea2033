#include "engine/process/chanarithsteps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/dsp/listtext.h"
#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"

namespace tessal {

namespace {

const char* const verbs[4] = {"add channels (", "subtract channels (", "multiply channels(",
                              "divide channels("};
const char* const joins[4] = {") + (", ") - (", ") * (", ") / ("};
const char* const listnames[4] = {"Add channel ", "Subtract channel ", "Multiply by channel ",
                                  "Divide by channel "};
const char* const captions[4] = {"Add channel", "Subtract channel", "Muliply by channel",
                                 "Divide by channel"};

}  // namespace

void tchannelarith::run_process(tprocenv& env) {
    const int k = static_cast<int>(op);
    if (channo.empty() && !inarr.empty()) steps::step_error(*this, "no channel given");
    props.resize(inarr.size());
    outarr.resize(inarr.size());
    std::size_t zerodiv = 0, bad = 0;
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        const int c = channo[i % channo.size()];
        if (c < 0 || c >= env.doc.totnchans())
            throw EProcessError("Channel " + std::to_string(c) + " does not exist");
        const tchannel& ch = env.doc.channel(c);
        tchannelproperties& p = props[i];
        if (ch.sampfreq != p.sampfreq)
            throw EProcessError(std::string("Sampling rates must be the same to ") + verbs[k] +
                                float_to_text(p.sampfreq) + " vs " + float_to_text(ch.sampfreq) +
                                ")");
        const tsinglearr& x = inarr[i];
        const long long xs = p.xshift, cs = ch.xshift;
        const long long s0 = std::min(xs, cs);
        const long long end = std::max(xs + static_cast<long long>(x.size()),
                                       cs + ch.sample_count());
        // The channel's own time shift may lie further away than a signal
        // of the working set can be shifted or be long.
        const std::int32_t xshift = steps::checked_xshift(*this, static_cast<double>(s0),
                                                          "Channel " + std::to_string(c));
        if (end - s0 > std::numeric_limits<std::int32_t>::max())
            steps::step_error(*this, "channel " + std::to_string(c) + " and the signal lie " +
                                         std::to_string(end - s0) +
                                         " samples apart end to end, longer than a channel can hold");
        tsinglearr y(static_cast<std::size_t>(std::max(0LL, end - s0)));
        const float missing_b = op == tchanop::divide ? 1.0f : 0.0f;
        // The channel is read in bounded buffers, each the samples under
        // y[j0..j1).
        const long long bn = ch.sample_count();
        constexpr std::size_t bufsamples = 65536;
        std::vector<float> bbuf;
        for (std::size_t j0 = 0; j0 < y.size(); j0 += bufsamples) {
            const std::size_t j1 = std::min(y.size(), j0 + bufsamples);
            const long long b0 = std::clamp(static_cast<long long>(j0) + s0 - cs, 0LL, bn);
            const long long b1 = std::clamp(static_cast<long long>(j1) + s0 - cs, 0LL, bn);
            bbuf.resize(static_cast<std::size_t>(b1 - b0));
            if (b1 > b0) ch.read_samples(b0, bbuf.size(), bbuf.data());
            for (std::size_t j = j0; j < j1; ++j) {
                const long long t = static_cast<long long>(j) + s0;
                const long long ia = t - xs, ib = t - cs;
                const double av = ia >= 0 && ia < static_cast<long long>(x.size()) ? x[ia] : 0.0f;
                const double bv =
                    ib >= 0 && ib < bn ? bbuf[static_cast<std::size_t>(ib - b0)] : missing_b;
                double r = 0;
                switch (op) {
                    case tchanop::add: r = av + bv; break;
                    case tchanop::subtract: r = av - bv; break;
                    case tchanop::multiply: r = av * bv; break;
                    case tchanop::divide:
                        if (bv == 0) {
                            ++zerodiv;
                            r = 0;
                        } else {
                            r = av / bv;
                        }
                        break;
                }
                y[j] = static_cast<float>(r);
                if (!std::isfinite(y[j]) && std::isfinite(av) && std::isfinite(bv)) ++bad;
            }
        }
        outarr[i] = std::move(y);
        p.name = "(" + p.name + joins[k] + ch.name() + ")";
        p.xshift = xshift;
        steps::float_format(p);
        env.progress(static_cast<double>(i + 1) / inarr.size());
    }
    if (zerodiv)
        env.note(get_procname() + ": " + std::to_string(zerodiv) +
                 (zerodiv == 1 ? " sample" : " samples") + " divided by 0 set to 0");
    steps::note_nonfinite(env, *this, bad);
}

// One list per operation: the form's caption names it.
const tparamlist* tchannelarith::params() const {
    static const std::vector<tparamlist> lists = [] {
        std::vector<tparamlist> v;
        for (const char* caption : captions)
            v.push_back(tparams<tchannelarith>(caption).channels("Channo", "channo",
                                                                  "Channel number",
                                                                  &tchannelarith::channo));
        return v;
    }();
    return &lists[static_cast<int>(op)];
}

void tchannelarith::check_applied() const {
    if (channo.empty()) throw EProcessError("Channel number must hold at least one channel");
    for (int c : channo)
        if (c < 0) throw EProcessError("Channel number must be a channel number of 0 or more");
}

std::string tchannelarith::get_procname() const {
    return listnames[static_cast<int>(op)] + chanlist_text(channo);
}

}  // namespace tessal
