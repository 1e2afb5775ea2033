#include "engine/dsp/weighting.h"

#include <initializer_list>

namespace tessal {

void tweightingfilters::set_rate(double fs) {
    weightfilter1.SetSampFreq(fs);
    weightfilter1.SetF0(20.6);
    weightfilter1.SetQ(0.5);
    for (TRealFilterSection* s : {&weightfilter2, &weightfilter3}) {
        s->SetSampFreq(fs);
        s->SetUnityGainAtHF(true);
        s->SetFZero(0.01);
    }
    weightfilter2.SetFPole(107.7);
    weightfilter3.SetFPole(737.9);
    weightfilter4.SetSampFreq(fs);
    weightfilter4.SetF0(12194.2);
    weightfilter4.SetQ(0.5);
    weightfilter1.reset();
    weightfilter2.reset();
    weightfilter3.reset();
    weightfilter4.reset();
    // The bilinear low-pass has no meaning with its corner at or above half
    // the rate; the gains then normalise the chain without it.
    fuselowpass = !(2.0 * weightfilter4.GetF0() >= fs);
    if (fuselowpass) {
        fgainA = 1.2589046226564824;
        fgainC = 1.0071522301259535;
    } else {
        fgainA = 1.2504950225227347;
        fgainC = 1.0004243600050269;
    }
}

tweightingchain weighting_chain(const tweightingfilters& filters) {
    tweightingchain chain;
    double scale = 1;
    chain.hp = normalised(filters.weightfilter1, scale);
    if (filters.uselowpass()) chain.lp = normalised(filters.weightfilter4, scale);
    chain.scaleC = scale * filters.gainC();
    chain.s2 = normalised(filters.weightfilter2, scale);
    chain.s3 = normalised(filters.weightfilter3, scale);
    chain.scaleA = scale * filters.gainA();
    return chain;
}

}  // namespace tessal
