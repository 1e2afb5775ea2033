// The level step: turns every signal of the working set into its amplitude
// envelope or its level in dB, optionally A- or C-weighted (the weighting
// chain of the measurement pass), by an RMS detector with a smoothing
// low-pass, a peak follower (with or without hold), a moving RMS over a
// fixed window or one set sample by sample from a channel holding a period
// or a frequency, or by the sound-level time weightings slow, fast and
// impulse. The output has the input's length and rate.
#pragma once

#include <string>

#include "engine/dsp/tfiltersection.h"
#include "engine/process/tprocstep.h"

namespace tessal {

class textractlevel : public tstepof<textractlevel> {
public:
    textractlevel();
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    // Weights the signal in place (weighting 1 A, 3 C) at rate fs.
    static void weight(float* x, std::size_t n, double fs, int weighting);

    bool zerophase = false;
    int extractmode = 1;   // 0 amplitude, 1 level, 2 slow, 3 fast, 4 impulse
    int detectmode = 0;    // 0 RMS, 1 peak, 2 moving average
    int windowmode = 0;    // 0 fixed, 1 T from a channel, 2 1/T from a channel
    int windurchanno = 0;
    double winduration = 0.01;
    double minwinduration = 0.001;
    double maxwinduration = 0.1;
    bool hold = false;
    int peakmode = 2;      // 0 positive, 1 negative, 2 absolute value
    TLPFilterSection lpfilter;
    int referenceid = 0;   // 0 the signal's dB reference, 1 its full scale (not stored)
    int weighting = 0;     // 0 none, 1 A, 3 C

protected:
    void check_applied() const override;
};

}  // namespace tessal
