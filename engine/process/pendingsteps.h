// The step types whose computation is not in the program yet (F0, level,
// resampling). Each already keeps its
// parameters with their defaults and reads and writes them under its keys,
// so a process file holding such a step opens, saves and runs; the step
// passes its input through and says so in its list text ("F0 (not available
// yet)") and through available().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/process/tprocstep.h"

namespace tessal {

// One stored parameter: a number, a flag, a text, a channel list ("nChans"
// and "Channo" keys) or a real list ("nChans" and the key with an index).
struct tpendingparam {
    enum tkind { real, integer, realasint, boolean, text, chanlist, reallist };
    tpendingparam(tkind kind, std::string key, double number = 0)
        : kind(kind), key(std::move(key)), number(number) {}
    tkind kind;
    std::string key;
    double number = 0;
    std::string str;
    tintarr chans;
    tdoublearr reals;
    double missing = 0;  // a real-list value missing from a file
};

class tpendingstep : public tprocstep {
public:
    tpendingstep(std::string listname, std::vector<tpendingparam> params)
        : listname(std::move(listname)), params(std::move(params)) {}
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tpendingstep(*this));
    }
    void save_proc(const std::string& id, TSetting& setting) const override;
    void open_proc(const std::string& id, TSetting& setting) override;
    std::string get_procname() const override { return listname + " (not available yet)"; }
    bool available() const override { return false; }

    // The parameter stored under `key` (null when none).
    tpendingparam* param(const std::string& key);

    std::string listname;
    std::vector<tpendingparam> params;

protected:
    tpendingstep(const tpendingstep&) = default;
};

// The pending step for a registry id, with the type's defaults; null for an
// id that is not one of them.
std::unique_ptr<tprocstep> make_pending_step(const std::string& procid, double defaultsampfreq);

}  // namespace tessal
