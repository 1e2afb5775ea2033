// The registry of step types and the factory. The registry is fixed: 45
// entries in the order the "Available steps" list shows them; an entry whose
// procid is "-" is a separator and creates no step. A step's procnum is its
// type's index here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/process/tprocstep.h"

namespace tessal {

struct tprocinfo {
    std::string procid;
    std::string listname;
    std::string helptext;
};

const std::vector<tprocinfo>& procinfo();

// Index of the last entry with this procid; -1 when none.
int find_procid(const std::string& procid);

// A new step of registry entry `index`: a copy of `copyfrom`'s parameters
// when given (a step of the same type), else the type's defaults, which for
// sampling frequencies are `defaultsampfreq`. procnum is set and the step is
// enabled. Null for a separator; EProcessError "Invalid procid: " + index
// for an index outside the registry.
std::unique_ptr<tprocstep> create_step(int index, const tprocstep* copyfrom = nullptr,
                                       double defaultsampfreq = 44100);

}  // namespace tessal
