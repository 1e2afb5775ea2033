// The steps that filter every signal of the working set one by one: the
// derivative and the integral, a windowed-sinc brick-wall low-pass, the
// resonant second-order low-pass and high-pass sections, a second-order
// pole-zero pair, a first-order real pole-zero pair (a shelf), and a filter
// of selectable slope made of a cascade of first-order sections. The
// recursive ones drive the filter sections of engine/dsp, each started from
// rest for every signal.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/dsp/tfiltersection.h"
#include "engine/process/tprocstep.h"

namespace tessal {

// The unit of a quantity divided by seconds: "" gives "1/s", "s" gives "",
// "Pa*s" gives "Pa", "s/m" gives "1/m", "m/s" gives "m/s2", "m/s2" gives
// "m/s3", "Pa" gives "Pa/s".
std::string unit_per_second(const std::string& unit);

class tdiff : public tstepof<tdiff> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Derivative"; }
};

class tint : public tstepof<tint> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Integral"; }
};

// The presets of the brick-wall dialog.
struct tbrickpreset {
    const char* name;
    int windowsize;
    double windowpower;
    double cornermargin;
};
const std::vector<tbrickpreset>& brick_presets();
// The preset whose three values all equal these, or -1 ("Custom").
int brick_preset_index(double windowsize, double windowpower, double cornermargin);

// The sinc group of the brick-wall dialog (the step's declared parameters
// "cornermargin" in per cent, "windowpower", "windowsize", and the combo
// "preset"), and what the group does when one of them changes: a preset
// fills the three values in, and values that match a preset choose it
// ("Custom" otherwise). The resampling dialog has the same group.
void add_brick_fields(tstepform& f, const tprocstep& step);
void brick_preset_refresh(tstepform& f, const std::string& key);

// The brick-wall kernel for corner fc at rate fs: the half kernel h[0..N]
// (a sinc windowed by a raised cosine to the given power) and the gain g.
struct tbrickkernel {
    std::vector<double> h;  // N + 1 values
    double g = 1;
    std::size_t N() const { return h.size() - 1; }
};
tbrickkernel brick_kernel(double fc, double fs, double windowsize, double windowpower);
// y[j] = g * sum over k = -N..N of x[j+k] h[|k|], the signal being zero
// outside 0..n-1, summed in 64 bits: the direct sum, and the same kernel
// applied by overlap-add of FFT blocks (which may be given y == x).
// `progress` (0..1) may throw to stop.
void brick_direct(const float* x, std::size_t n, const tbrickkernel& k, float* y,
                  const std::function<void(double)>& progress = {});
void brick_overlap_add(const float* x, std::size_t n, const tbrickkernel& k, float* y,
                       const std::function<void(double)>& progress = {});
// The step sums kernels of up to this many taps a side directly and longer
// ones by overlap-add (the "Decent" preset at 48 kHz has 261).
constexpr std::size_t brick_overlap_add_from = 128;

class tlpbrick : public tstepof<tlpbrick> {
public:
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int windowsize = 40;
    double windowpower = 2.0;
    double cornerfreq = 8000;
    double cornermargin = 0.92;
};

// The low-pass ("lp2") and high-pass ("hp2") sections.
template <class Section>
class tfilter2 : public tstepof<tfilter2<Section>> {
public:
    bool takes_stores() const override { return true; }
    tfilter2(double f0, double dsf) {
        filter.SetSampFreq(dsf);
        filter.SetQ(0.5);
        filter.SetF0(f0);
        filter.SetGain(1.0);
    }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    Section filter;

protected:
    static bool highpass();
};
using tlp2 = tfilter2<TLPFilterSection>;
using thp2 = tfilter2<THPFilterSection>;

class tpolezero : public tstepof<tpolezero> {
public:
    bool takes_stores() const override { return true; }
    explicit tpolezero(double dsf = 44100);
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
    // Sets the four design values at once.
    void set_design(double polef0, double polebw, double zerof0, double zerobw);

    TFilterSection filter;
};

class trealpolezero : public tstepof<trealpolezero> {
public:
    bool takes_stores() const override { return true; }
    explicit trealpolezero(double dsf = 44100);
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    TRealFilterSection filter;
};

class tslope : public tstepof<tslope> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
    // The cascade for rate fs (empty when the range holds no section).
    std::vector<TRealFilterSection> sections(double fs) const;

    double flo = 20, fhi = 20000, nperoctave = 1.0, slope = -3.0;

protected:
    void check_applied() const override;
};

}  // namespace tessal
