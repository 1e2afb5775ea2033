#include "engine/process/stepsupport.h"

#include <cstdio>
#include <limits>

#include <unistd.h>

#include "engine/core/tdocument.h"

#include "engine/dsp/numformat.h"

namespace tessal::steps {

std::string num(double x) { return float_to_text(x); }

void step_error(const tprocstep& step, const std::string& text) {
    throw EProcessError(step.get_procname() + ": " + text);
}

void check_param(const tprocstep& step, const tnumberfield& range, double v) {
    if (!std::isfinite(v) || v < range.lo || v > range.hi) step_error(step, number_field_rule(range));
}

std::string whole_rule(const tnumberfield& range) {
    std::string t = number_field_rule(range);
    const std::string from = " must be a number from ";
    const std::size_t k = t.find(from);
    if (k != std::string::npos) t.replace(k, from.size(), " must be a whole number from ");
    return t;
}

void check_whole(const tprocstep& step, const tnumberfield& range, double v) {
    if (!std::isfinite(v) || v < range.lo || v > range.hi || v != std::floor(v))
        step_error(step, whole_rule(range));
}

int form_whole(const tstepform& form, const std::string& key, const tnumberfield& range) {
    double v = 0;
    if (!try_parse_float(form.text(key), v) || !std::isfinite(v) || v < range.lo ||
        v > range.hi || v != std::floor(v))
        throw EProcessError(whole_rule(range));
    return static_cast<int>(v);
}

std::size_t generated_length(const tprocstep& step, double fs, double duration) {
    const double n = round_even(fs * duration);
    if (!std::isfinite(n) || n < 0)
        step_error(step, "the duration must not be negative");
    if (n > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        step_error(step, "the signal would be longer than a channel can hold (" +
                             num(n) + " samples)");
    return static_cast<std::size_t>(n);
}

std::int32_t checked_xshift(const tprocstep& step, double shift, const std::string& what) {
    constexpr double lim = std::numeric_limits<std::int32_t>::max();
    const double v = round_even(shift);
    if (!std::isfinite(v) || v < -lim || v > lim)
        step_error(step, what + " would make the time shift " + num(v) +
                             " samples; a time shift must lie within -" + num(lim) + " and " +
                             num(lim) + " samples");
    return static_cast<std::int32_t>(v);
}

void new_signal_props(std::vector<tchannelproperties>& props, double fs) {
    if (props.empty()) props.resize(1);
    props.resize(1);
    tchannelproperties& p = props[0];
    p.sampfreq = fs;
    p.yunit.clear();
    p.dbreference = 1.0;
    p.fsd = 1.0;
    float_format(p);
}

void take_input(tprocstep& step) {
    step.outarr = std::move(step.inarr);
    step.inarr.clear();
    step.props.resize(step.outarr.size());
}

std::string bytes_text(double bytes) {
    char t[32];
    if (bytes >= 1e9)
        std::snprintf(t, sizeof t, "%.2f GB", bytes / 1e9);
    else
        std::snprintf(t, sizeof t, "%.1f MB", bytes / 1e6);
    return t;
}

std::size_t physical_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return 0;
    return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page);
}

void check_sample_memory(const tprocstep& step, const tprocenv& env, double bytes) {
    const double budget = static_cast<double>(env.doc.block_cache()->budget());
    if (bytes > budget)
        step_error(step, "needs " + bytes_text(bytes) + " for its signals as arrays, the sample memory is " +
                             bytes_text(budget));
    const double physical = static_cast<double>(physical_memory());
    if (physical > 0 && bytes > physical)
        step_error(step, "needs " + bytes_text(bytes) + " for its signals as arrays, the computer has " +
                             bytes_text(physical) + " of memory");
}

void arrays_for(tprocstep& step, const tprocenv& env) {
    double bytes = 0;
    bool stores = false;
    for (const tworksig& s : step.inarr) {
        bytes += static_cast<double>(s.size()) * sizeof(float);
        stores = stores || s.is_store();
    }
    if (!stores) return;
    check_sample_memory(step, env, bytes);
    for (tworksig& s : step.inarr) s.make_array();
}

void note_nonfinite(tprocenv& env, const tprocstep& step, std::size_t count) {
    if (count == 0) return;
    env.note(step.get_procname() + ": " + std::to_string(count) +
             (count == 1 ? " sample became" : " samples became") + " infinite or not a number");
}

}  // namespace tessal::steps
