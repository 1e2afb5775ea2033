// The resampling step: converts every signal of the working set to a
// target rate by sample-and-hold, linear interpolation, a windowed sinc
// (the brick-wall low-pass kernel, cut at the lower of the two rates), a
// raised cosine or a cubic (Catmull-Rom) spline. The sinc and the raised
// cosine use a polyphase table when the ratio of the rates is a ratio of
// whole numbers with a denominator up to 2000 (44100 to 48000 Hz: 160
// phases), and evaluate the kernel directly otherwise.
#pragma once

#include <functional>
#include <string>

#include "engine/process/tprocstep.h"

namespace tessal {

class tresample : public tstepof<tresample> {
public:
    explicit tresample(double dsf = 44100) : targetfreq(dsf) {}
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    // x (n samples at fs) at the target rate; `usepolyphase` false forces
    // the direct kernel. `progress` gets 0..1.
    tsinglearr resample(const float* x, std::size_t n, double fs, bool usepolyphase = true,
                        const std::function<void(double)>& progress = {}) const;
    // The polyphase factor for the ratio r = fs / ft: the smallest M of
    // 1..2000 with |round(rM) - rM| below 1e-9, 0 when there is none.
    static int polyphase_factor(double r);

    int method = 2;  // 0 hold, 1 linear, 2 sinc, 3 raised cosine, 4 cubic
    double targetfreq;
    int windowsize = 40;
    double windowpower = 2.0;
    double lpcorner = 0.92;
};

}  // namespace tessal
