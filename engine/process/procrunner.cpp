#include "engine/process/procrunner.h"

#include <ctime>

#include "engine/core/tdocument.h"
#include "engine/measurements/datalog.h"
#include "engine/dsp/numformat.h"
#include "engine/process/procregistry.h"
#include "engine/process/stepsupport.h"
#include "engine/view/viewrange.h"

namespace tessal {

std::int64_t proc_counter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string done_status(const tprocsteps& steps) {
    std::string pending;
    for (const auto& s : steps)
        if (s->enabled && !s->available()) {
            const int k = s->procnum;
            const std::string name =
                k >= 0 && k < static_cast<int>(procinfo().size()) ? procinfo()[k].listname : "?";
            if (pending.find(name) == std::string::npos) pending += (pending.empty() ? "" : ", ") + name;
        }
    return pending.empty() ? "Done " : "Done (not available yet: " + pending + ")";
}

tprocresult tprocrunner::run(tprocsteps& steps, tprocenv& env) {
    tprocresult r;
    auto status = [&](const std::string& s) {
        r.status = s;
        if (onstatus) onstatus(s);
    };
    if (steps.empty()) {
        env.prompter.warn("Process is empty", "No process");
        r.error = "Process is empty";
        return r;
    }
    run_start = std::chrono::system_clock::now();
    run_end = {};
    env.notes.clear();
    tprocstep* prev = nullptr;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        tprocstep& s = *steps[i];
        if (!s.enabled) {
            s.profiling_timestamp[0] = s.profiling_timestamp[1] = proc_counter();
            continue;
        }
        if (env.cancelled()) {
            status("Cancelled");
            r.cancelled = true;
            return r;
        }
        status("Running " + s.get_procname());
        env.stepno = static_cast<int>(i);
        if (env.onprogress) env.onprogress(env.stepno, 0.0);
        if (!prev) {
            s.props.assign(1, default_channelproperties(env.doc.prefs.DefaultSampFreq));
            s.inarr.clear();
        } else {
            s.props = prev->props;
            s.inarr = std::move(prev->outarr);
            prev->outarr.clear();
        }
        s.profiling_timestamp[0] = proc_counter();
        try {
            if (!s.takes_stores()) steps::arrays_for(s, env);
            s.run_process(env);
        } catch (const EProcCancelled&) {
            s.profiling_timestamp[1] = proc_counter();
            s.inarr.clear();
            s.outarr.clear();
            status("Cancelled");
            r.cancelled = true;
            return r;
        } catch (const std::exception& e) {
            s.profiling_timestamp[1] = proc_counter();
            s.inarr.clear();
            s.outarr.clear();
            r.error = e.what();
            return r;
        }
        s.profiling_timestamp[1] = proc_counter();
        s.inarr.clear();
        if (env.onprogress) env.onprogress(env.stepno, 1.0);
        prev = &s;
    }
    run_end = std::chrono::system_clock::now();
    std::string done = done_status(steps);
    if (!env.notes.empty()) {
        std::string all;
        for (const std::string& n : env.notes) all += (all.empty() ? "" : "; ") + n;
        done += (done.back() == ' ' ? "(" : " (") + all + ")";
    }
    status(done);
    steps.back()->outarr.clear();
    if (prev) prev->outarr.clear();

    tdocument& doc = env.doc;
    // Steps may have rewritten any channel: nothing computed from one holds.
    for (int c = 0; c < doc.totnchans(); ++c)
        doc.theglobal.channel_changed(tchannelchange::properties(c));
    doc.set_modified(true);
    doc.measurementdirty = true;
    fix_xaxis(doc, false);
    doc.theglobal.channels_changed();
    doc.theglobal.fix_things();
    doc.theglobal.invalidate_paintboxes(true);
    r.ok = true;
    return r;
}

std::vector<std::string> tprocrunner::profile_lines(const tprocsteps& steps) const {
    std::vector<std::string> lines;
    if (run_end == std::chrono::system_clock::time_point{}) return lines;
    const std::time_t t = std::chrono::system_clock::to_time_t(run_start);
    std::tm tm{};
    localtime_r(&t, &tm);
    char when[64];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    lines.push_back(std::string(" ---- Process performance profiling ") + when);
    if (steps.empty()) {
        lines.push_back("No process available");
        return lines;
    }
    const double total = std::chrono::duration<double>(run_end - run_start).count();
    lines.push_back("Total process execution time: " + float_to_text(total) + " s");
    const double whole = static_cast<double>(steps.back()->profiling_timestamp[1] -
                                             steps.front()->profiling_timestamp[0]);
    for (const auto& s : steps) {
        const double d = static_cast<double>(s->profiling_timestamp[1] - s->profiling_timestamp[0]);
        const double share = whole > 0 ? 100.0 * d / whole : 0.0;
        lines.push_back(float_to_text(d / 1e9) + " s \t" + format_float_pattern("0.000", share) +
                        "% \t" + s->get_procname());
    }
    return lines;
}

bool tprocrunner::write_profile(const tprocsteps& steps, tdatalog& log) {
    const std::vector<std::string> lines = profile_lines(steps);
    if (lines.empty()) return false;
    for (const std::string& l : lines) log.add_text_line(l);
    run_end = {};
    return true;
}

}  // namespace tessal
