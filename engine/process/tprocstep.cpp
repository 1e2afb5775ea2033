#include "engine/process/tprocstep.h"

#include <algorithm>
#include <limits>

#include "engine/dsp/listtext.h"
#include "engine/process/procregistry.h"
#include "engine/process/stepparams.h"
#include "engine/settings/tsetting.h"

namespace tessal {

tchannelproperties default_channelproperties(double defaultsampfreq) {
    tchannelproperties p;
    p.sampfreq = defaultsampfreq;
    return p;
}

void tprocenv::progress(double fraction) {
    if (cancelled()) throw EProcCancelled();
    if (onprogress) onprogress(stepno, fraction);
}

void tprocstep::run_process(tprocenv&) {
    outarr = inarr;
    props.resize(outarr.size());
}

void tprocstep::ask_for_settings(tprompter& prompter) {
    prompter.ask("No settings available", "Cannot change settings", tbuttons::ok,
                 ticon::information);
}

std::unique_ptr<tstepform> tprocstep::settings_form() const {
    const tparamlist* list = params();
    return list ? list->form(*this) : nullptr;
}

void tprocstep::apply_form(const tstepform& form) {
    const tparamlist* list = params();
    if (!list) return;
    // All or nothing: the values are read and checked on a copy.
    const std::unique_ptr<tprocstep> staged = clone();
    list->read_form(form, *staged);
    staged->check_applied();
    list->copy(*staged, *this);
}

std::string tprocstep::get_procid() const {
    const auto& reg = procinfo();
    if (procnum < 0 || procnum >= static_cast<int>(reg.size())) return "";
    return reg[procnum].procid;
}

void tprocstep::save_proc(const std::string& id, TSetting& setting) const {
    setting.WriteString(id, "procid", get_procid());
    setting.WriteBool(id, "Enabled", enabled);
    if (const tparamlist* list = params()) list->save(id, setting, *this);
}

void tprocstep::open_proc(const std::string& id, TSetting& setting) {
    const std::string stored = setting.ReadString(id, "procid", "");
    if (stored != get_procid())
        throw EProcessError("Invalid procids: \"" + stored + "\" <> \"" + get_procid() + "\"");
    enabled = setting.ReadBool(id, "Enabled", true);
    if (const tparamlist* list = params()) list->open(id, setting, *this);
}

void write_chanlist(TSetting& setting, const std::string& id, const tintarr& list) {
    setting.WriteInteger(id, "nChans", static_cast<std::int64_t>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i)
        setting.WriteInteger(id, "Channo" + std::to_string(i), list[i]);
}

namespace {

// A channel number from a file, which may hold any whole number: one past
// the 32 bits of a list entry stays out of range (the step refuses it when
// it runs) instead of wrapping round to a channel that exists.
std::int32_t channel_number(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void read_chanlist(TSetting& setting, const std::string& id, tintarr& list) {
    const std::int64_t n = setting.ReadInteger(id, "nChans", -2);
    if (n == -2) {
        list.assign(1, channel_number(setting.ReadInteger(id, "Channo", -1)));
        return;
    }
    // A hand-edited count is not trusted with memory: a list never holds
    // more channel numbers than there are keys in the section.
    const std::int64_t cap = static_cast<std::int64_t>(setting.ReadSection(id).size());
    list.assign(static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, cap)), -1);
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = channel_number(setting.ReadInteger(id, "Channo" + std::to_string(i), -1));
}

void write_reallist(TSetting& setting, const std::string& id, const std::string& key,
                    const tdoublearr& list) {
    setting.WriteInteger(id, "nChans", static_cast<std::int64_t>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i)
        setting.WriteFloat(id, key + std::to_string(i), list[i]);
}

void read_reallist(TSetting& setting, const std::string& id, const std::string& key,
                   tdoublearr& list, double missing) {
    const std::int64_t cap = static_cast<std::int64_t>(setting.ReadSection(id).size());
    const std::int64_t n =
        setting.ReadInteger(id, "nChans", static_cast<std::int64_t>(list.size()));
    tdoublearr old = list;
    list.assign(static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, cap)), missing);
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = setting.ReadFloat(id, key + std::to_string(i),
                                    i < old.size() && missing == 0 ? old[i] : missing);
}

std::string chanlist_text(const tintarr& list) { return intlist_to_text(list); }

}  // namespace tessal
