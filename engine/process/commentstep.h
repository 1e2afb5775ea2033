// tcomment: a line of text in the step list; the working set passes through.
#pragma once

#include "engine/process/tprocstep.h"

namespace tessal {

class tcomment : public tstepof<tcomment> {
public:
    // The working set passes through as it is.
    bool takes_stores() const override { return true; }
    const tparamlist* params() const override;
    std::string get_procname() const override { return "   " + comment; }

    std::string comment = "== Comment ==";
};

}  // namespace tessal
