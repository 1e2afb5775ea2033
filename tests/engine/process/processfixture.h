// A document with channels made from analytic signals, a prompter that
// records, and helpers to build and run a process.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <utility>

#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/process/channelsteps.h"
#include "engine/process/procregistry.h"
#include "engine/process/procrunner.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

namespace tessal::testing {

inline tsinglearr sine(int n, double amp, double freq, double rate) {
    tsinglearr s(n);
    for (int i = 0; i < n; ++i)
        s[i] = static_cast<float>(amp * std::sin(2 * std::numbers::pi * freq * i / rate));
    return s;
}

// Runs `step` alone on one signal x at rate fs, named "mic"; `record` sets
// the rest of its record first. The output and its record.
inline std::pair<tsinglearr, tchannelproperties> run_alone(
    tprocstep& step, const tsinglearr& x, double fs,
    const std::function<void(tchannelproperties&)>& record = {}, tdocument* doc = nullptr) {
    tdocument own;
    tscriptedprompter prompter;
    tprocenv env(doc ? *doc : own, prompter);
    step.inarr = {x};
    step.props.assign(1, default_channelproperties(fs));
    step.props[0].name = "mic";
    if (record) record(step.props[0]);
    step.run_process(env);
    return {step.outarr.at(0).to_array(), step.props.at(0)};
}

class tprocesstest : public ttempdirtest {
protected:
    // Channels: i has n samples of value (i + 1) at 1000 Hz, named "ch<i>".
    void make_channels(int n, int len = 10) {
        doc.set_totnchans(n);
        for (int i = 0; i < n; ++i) {
            tchannel& ch = doc.channel(i);
            ch.set_name("ch" + std::to_string(i));
            ch.sampfreq = 1000;
            ch.set_samples(tsinglearr(static_cast<std::size_t>(len), static_cast<float>(i + 1)));
            ch.set_fsd(i + 1);
        }
    }
    template <class T>
    T& add(const std::string& procid) {
        auto s = create_step(find_procid(procid), nullptr, doc.prefs.DefaultSampFreq);
        T& ref = dynamic_cast<T&>(*s);
        steps.push_back(std::move(s));
        return ref;
    }
    tprocresult run() { return runner.run(steps, env); }

    tdocument doc;
    tscriptedprompter prompter;
    tprocenv env{doc, prompter};
    tprocsteps steps;
    tprocrunner runner;
};

}  // namespace tessal::testing
