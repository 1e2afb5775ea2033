// The steps that combine each signal of the working set with a channel of
// the document, aligned by time: add, subtract, multiply and divide by
// channel. Input i takes channel entry (i mod n) of the list, used as a
// channel index as it stands.
#pragma once

#include "engine/process/tprocstep.h"

namespace tessal {

enum class tchanop { add, subtract, multiply, divide };

class tchannelarith : public tstepof<tchannelarith> {
public:
    explicit tchannelarith(tchanop op) : op(op) {}
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    tchanop op;
    tintarr channo{0};

protected:
    void check_applied() const override;
};

// The step type of one operation.
template <tchanop Op>
class tchanarithof : public tchannelarith {
public:
    tchanarithof() : tchannelarith(Op) {}
};
using taddchannel = tchanarithof<tchanop::add>;
using tsubtractchannel = tchanarithof<tchanop::subtract>;
using tmultiplychannel = tchanarithof<tchanop::multiply>;
using tdividechannel = tchanarithof<tchanop::divide>;

}  // namespace tessal
