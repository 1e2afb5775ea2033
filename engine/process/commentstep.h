// tcomment: a line of text in the step list; the working set passes through.
#pragma once

#include "engine/process/tprocstep.h"

namespace tessal {

class tcomment : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tcomment(*this));
    }
    const tparamlist* params() const override;
    std::string get_procname() const override { return "   " + comment; }

    std::string comment = "== Comment ==";

    tcomment() = default;

protected:
    tcomment(const tcomment&) = default;
};

}  // namespace tessal
