// The steps that combine each signal of the working set with a channel of
// the document, aligned by time: add, subtract, multiply and divide by
// channel. Input i takes channel entry (i mod n) of the list, used as a
// channel index as it stands.
#pragma once

#include "engine/process/tprocstep.h"

namespace tessal {

enum class tchanop { add, subtract, multiply, divide };

class tchannelarith : public tprocstep {
public:
    explicit tchannelarith(tchanop op) : op(op) {}
    std::unique_ptr<tprocstep> clone() const override {
        return std::make_unique<tchannelarith>(*this);
    }
    tchannelarith(const tchannelarith&) = default;
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    tchanop op;
    tintarr channo{0};

protected:
    void check_applied() const override;
};

class taddchannel : public tchannelarith {
public:
    taddchannel() : tchannelarith(tchanop::add) {}
};
class tsubtractchannel : public tchannelarith {
public:
    tsubtractchannel() : tchannelarith(tchanop::subtract) {}
};
class tmultiplychannel : public tchannelarith {
public:
    tmultiplychannel() : tchannelarith(tchanop::multiply) {}
};
class tdividechannel : public tchannelarith {
public:
    tdividechannel() : tchannelarith(tchanop::divide) {}
};

}  // namespace tessal
