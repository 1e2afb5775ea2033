#include "engine/process/pendingsteps.h"

#include <algorithm>
#include <cmath>

#include "engine/process/procregistry.h"
#include "engine/settings/tsetting.h"

namespace tessal {
namespace {

using P = tpendingparam;

P R(const char* key, double v) { return P(P::real, key, v); }
P I(const char* key, double v) { return P(P::integer, key, v); }
P B(const char* key, bool v) { return P(P::boolean, key, v ? 1.0 : 0.0); }
[[maybe_unused]] P S(const char* key, const char* v) {
    P p(P::text, key);
    p.str = v;
    return p;
}
[[maybe_unused]] P L() {
    P p(P::chanlist, "Channo");
    p.chans = {0};
    return p;
}
[[maybe_unused]] P RL(const char* key, double missing) {
    P p(P::reallist, key);
    p.reals = {0.0};
    p.missing = missing;
    return p;
}

std::vector<P> params_of(const std::string& id, double dsf) {
    if (id == "level")
        return {B("ZeroPhase", false),    I("ExtractMode", 1),     I("DetectMode", 0),
                I("Weighting", 0),        R("F0", 50),             I("WindowMode", 0),
                I("WinDurChanno", 0),     R("WinDuration", 0.01),  R("MinWinDuration", 0.001),
                R("MaxWinDuration", 0.1), B("Hold", false),        I("PeakMode", 2)};
    if (id == "f0")
        return {I("Algorithm", 1),         R("PeakRelease", 50),       B("ExtractT0", false),
                B("InvPolarity", false),   R("StDevThreshold", 200),   R("StDevWinTime", 0.04),
                R("MinF0", 50),            R("MaxF0", 400),
                P(P::realasint, "nExtractors", 4),                     R("RemoveShortLength", 0.04),
                R("RemoveShortGap", 0.02), B("PostProcess", true)};
    if (id == "resample")
        return {I("Method", 2), R("TargetFreq", dsf), I("WindowSize", 40), R("WindowPower", 2),
                R("LPCcorner", 0.92)};
    throw EProcessError("Invalid procid: \"" + id + "\"");
}

}  // namespace

tpendingparam* tpendingstep::param(const std::string& key) {
    for (tpendingparam& p : params)
        if (p.key == key) return &p;
    return nullptr;
}

void tpendingstep::save_proc(const std::string& id, TSetting& setting) const {
    tprocstep::save_proc(id, setting);
    for (const tpendingparam& p : params) switch (p.kind) {
            case P::real:
            case P::realasint: setting.WriteFloat(id, p.key, p.number); break;
            case P::integer:
                setting.WriteInteger(id, p.key, static_cast<std::int64_t>(p.number));
                break;
            case P::boolean: setting.WriteBool(id, p.key, p.number != 0); break;
            case P::text: setting.WriteString(id, p.key, p.str); break;
            case P::chanlist: write_chanlist(setting, id, p.chans); break;
            case P::reallist: write_reallist(setting, id, p.key, p.reals); break;
        }
}

void tpendingstep::open_proc(const std::string& id, TSetting& setting) {
    tprocstep::open_proc(id, setting);
    for (tpendingparam& p : params) switch (p.kind) {
            case P::real: p.number = setting.ReadFloat(id, p.key, p.number); break;
            case P::integer:
                p.number = static_cast<double>(
                    setting.ReadInteger(id, p.key, static_cast<std::int64_t>(p.number)));
                break;
            case P::realasint: {
                // Written as a real, kept as a whole number.
                const double v = setting.ReadFloat(id, p.key, p.number);
                if (std::isfinite(v) && std::fabs(v) < 1e9) p.number = std::round(v);
                break;
            }
            case P::boolean: p.number = setting.ReadBool(id, p.key, p.number != 0) ? 1 : 0; break;
            case P::text: p.str = setting.ReadString(id, p.key, p.str); break;
            case P::chanlist: read_chanlist(setting, id, p.chans); break;
            case P::reallist: read_reallist(setting, id, p.key, p.reals, p.missing); break;
        }
}

std::unique_ptr<tprocstep> make_pending_step(const std::string& procid, double defaultsampfreq) {
    const int k = find_procid(procid);
    if (k < 0 || procid == "-") return nullptr;
    return std::make_unique<tpendingstep>(procinfo()[k].listname,
                                          params_of(procid, defaultsampfreq));
}

}  // namespace tessal
