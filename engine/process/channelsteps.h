// The steps that connect a process with the document: load channels into
// the working set, save it into channels (replacing them or creating new
// ones), append or prepend it to channels, and delete channels. Every step
// resolves its channel numbers (and the codes N, S and C) when it runs, so it
// sees the channels earlier steps created or deleted.
#pragma once

#include "engine/process/tprocstep.h"

namespace tessal {

// FSD modes of save, append and prepend (dBaboverms: save only).
enum tfsdmode : int { fsdkeep = 0, fsdpeak = 1, fsdfixed = 2, fsddbaboverms = 3 };

class tloadchannel : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tloadchannel(*this));
    }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    tintarr channo{0};
    bool loadlabels = true;

    tloadchannel() = default;

protected:
    tloadchannel(const tloadchannel&) = default;
};

class tsavechannel : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tsavechannel(*this));
    }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int actualchanno = -1;
    tintarr channo{-1};
    std::string channelname;
    bool usechannelname = false;
    std::string yunit;
    bool useyunit = false;
    int fsdmode = fsdpeak;
    double fixedfsd = 1.0;
    double rmsdbfsd = 20.0;
    bool usedbreference = false;
    double dbreference = 1.0;
    bool usestereochanno = true;
    tintarr stereochanno{-1};

    tsavechannel() = default;

protected:
    tsavechannel(const tsavechannel&) = default;
    void check_applied() const override;
};

// Append and prepend share everything but the end they attach to.
class tappendchannel : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tappendchannel(*this));
    }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int actualchanno = -1;
    tintarr channo{0};
    int fsdmode = fsdpeak;
    double fixedfsd = 1.0;  // not stored in files

    tappendchannel() = default;

protected:
    tappendchannel(const tappendchannel&) = default;
    void check_applied() const override;
    virtual bool prepend() const { return false; }
};

class tprependchannel : public tappendchannel {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tprependchannel(*this));
    }
    std::string get_procname() const override;

    tprependchannel() = default;

protected:
    tprependchannel(const tprependchannel&) = default;
    bool prepend() const override { return true; }
};

class tdeletechannel : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::unique_ptr<tprocstep>(new tdeletechannel(*this));
    }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override { return "Delete channel " + chanlist_text(channo); }

    tintarr channo{0};

    tdeletechannel() = default;

protected:
    tdeletechannel(const tdeletechannel&) = default;
};

}  // namespace tessal
