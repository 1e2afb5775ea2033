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

class tloadchannel : public tstepof<tloadchannel> {
public:
    void run_process(tprocenv& env) override;
    bool takes_stores() const override { return true; }
    const tparamlist* params() const override;
    std::string get_procname() const override;

    tintarr channo{0};
    bool loadlabels = true;
};

class tsavechannel : public tstepof<tsavechannel> {
public:
    void run_process(tprocenv& env) override;
    bool takes_stores() const override { return true; }
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

protected:
    void check_applied() const override;
};

// Append and prepend share everything but the end they attach to.
class tappendchannel : public tstepof<tappendchannel> {
public:
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int actualchanno = -1;
    tintarr channo{0};
    int fsdmode = fsdpeak;
    double fixedfsd = 1.0;  // not stored in files

protected:
    void check_applied() const override;
    virtual bool prepend() const { return false; }
};

class tprependchannel : public tstepof<tprependchannel, tappendchannel> {
public:
    std::string get_procname() const override;

protected:
    bool prepend() const override { return true; }
};

class tdeletechannel : public tstepof<tdeletechannel> {
public:
    void run_process(tprocenv& env) override;
    // The working set passes through as it is.
    bool takes_stores() const override { return true; }
    const tparamlist* params() const override;
    std::string get_procname() const override { return "Delete channel " + chanlist_text(channo); }

    tintarr channo{0};
};

}  // namespace tessal
