// The F0 step: turns every signal of the working set into a contour of its
// fundamental frequency (Hz) or period time (s).
//
// Peak picking and zero crossings are single period trackers: an event is
// the moment the signal rises above the decaying hold of its last peak, or
// crosses zero upwards, timed to a fraction of a sample by linear
// interpolation; every output sample carries the value of the cycle that
// ends at or after it. Multiple peak picking runs several band-limited peak
// pickers on both polarities of the high-passed signal, follows the one
// whose periods vary least, keeps the merged events whose periods are
// stable, removes short detections and closes short gaps and, with post
// processing, refines each 100th sample's period by the autocorrelation of
// the signal (the output then has one value per 100 input samples).
// Autocorrelation with path tracking (f0ac.h) analyses frames every time
// step and follows the best path through their candidates; its contour has
// the input's length, linear between voiced frames.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/process/f0ac.h"
#include "engine/process/tprocstep.h"

namespace tessal {

// One event of a detector: the sample it happened at and the period that
// ended there in seconds (0 when outside the allowed range).
struct tf0event {
    std::int64_t pos = 0;
    double period = 0;
    bool valid = false;
};

// The Pearson correlation of the w samples of x from p with those from q,
// summed in 64 bits; 0 when a window runs past the end, when either window
// is constant or when it cannot be evaluated.
double f0_correlation(const float* x, std::size_t n, std::size_t w, std::size_t p, std::size_t q);

class tf0 : public tstepof<tf0> {
public:
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    void apply_form(const tstepform& form) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    bool takes_stores() const override { return true; }

    // The single trackers (algorithms 0 and 1) over one signal, read
    // forward through its pieces: a contour of the same length, in new
    // blocks of `cache`.
    tsamplestore track(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache) const;
    // Multiple peak picking over one signal, read forward twice (detection,
    // then the post processing's windows of the high-passed signal, made
    // again): the contour, n / 100 values at fs / 100 with post processing,
    // n values otherwise. `progress` gets 0..1.
    tsamplestore multi(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache,
                       const std::function<void(double)>& progress = {}) const;
    // Autocorrelation with path tracking over one signal: its frames, and
    // the contour of the signal's length they give (F0, or T0 with
    // extractt0; 0 unvoiced).
    tf0acframes ac_frames(const tworksig& x, double fs, const std::function<void(double)>& progress = {}) const;
    tsamplestore ac(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache,
                    const std::function<void(double)>& progress = {}) const;
    tf0acsettings ac_settings() const;
    // The band frequencies of the extractors: minf0, then each twice the
    // one before.
    std::vector<double> peakrel() const;

    double peakrelease = 50.0;
    int algorithm = 1;
    bool invpolarity = false;
    bool extractt0 = false;
    double stdevthreshold = 200.0;
    double stdevwintime = 0.04;
    int nextractors = 4;
    double minf0 = 50, maxf0 = 400;
    double removeshortlength = 0.04;
    double removeshortgap = 0.02;
    bool postprocess = true;
    double corrthres = 0.5;  // not stored, not editable
    // Autocorrelation with path tracking (stored only with that algorithm).
    double timestep = 0.01;
    double voicingthreshold = 0.45;
    double silencethreshold = 0.03;
    double octavecost = 0.01;
    double octavejumpcost = 0.35;
    double voicedunvoicedcost = 0.14;

protected:
    void check(const tprocstep& step) const;
    void check_applied() const override;
};

}  // namespace tessal
