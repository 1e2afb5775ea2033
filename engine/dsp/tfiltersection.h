// Recursive filter sections that filter one sample at a time and keep their
// state between calls:
//   TFilterSection     a general second-order section, from raw coefficients
//                      or from pole and zero frequencies and bandwidths;
//   TLPFilterSection,  second-order low-pass and high-pass sections from a
//   THPFilterSection   corner frequency and a Q (bilinear design);
//   TRealFilterSection a first-order section with one real pole and zero.
// All of them compute, in direct form II with shared state,
//     w = a0 x + a1 w1 + a2 w2;  y = gain b0 (w + b1 w1 + b2 w2);
//     w2 := w1; w1 := w
// so that H(z) = gain b0 a0 (1 + b1/z + b2/z^2) / (1 - a1/z - a2/z^2); the
// first-order section drops the w2 terms. filter() is inline, allocates
// nothing and does only that arithmetic. filter_arr() runs filter() over a
// block (in and out may be the same array). A design whose numbers come out
// non-finite (a zero sampling frequency, a zero Q or corner) never reaches
// the coefficients.
#pragma once

#include <cstddef>
#include <vector>

namespace tessal {

enum class tfiltertype : int { ftnone = 0, ftpole = 1, ftzero = 2, ftboth = 3 };

// What the second-order sections share: gain, coefficients, sampling
// frequency and state, and the step through both poles and zeros.
class tbiquadsection {
public:
    void reset() { fw1 = fw2 = 0.0; }

    double Geta0() const { return fa0; }
    double Geta1() const { return fa1; }
    double Geta2() const { return fa2; }
    double Getb0() const { return fb0; }
    double Getb1() const { return fb1; }
    double Getb2() const { return fb2; }
    double GetGain() const { return fgain; }
    void SetGain(double g) { fgain = g; }
    double GetSampFreq() const { return fsf; }

protected:
    double both(double insample) {
        const double w = fa0 * insample + fa1 * fw1 + fa2 * fw2;
        const double y = fgain * fb0 * (w + fb1 * fw1 + fb2 * fw2);
        fw2 = fw1;
        fw1 = w;
        return y;
    }

    double fgain = 1.0;
    double fa0 = 1.0, fa1 = 0.0, fa2 = 0.0;
    double fb0 = 1.0, fb1 = 0.0, fb2 = 0.0;
    double fsf = 16000.0;
    double fw1 = 0.0, fw2 = 0.0;
};

class TFilterSection : public tbiquadsection {
public:
    double filter(double insample) {
        switch (ffiltertype) {
            case tfiltertype::ftnone:
                return fgain * insample;
            case tfiltertype::ftpole: {
                const double w = fa0 * insample + fa1 * fw1 + fa2 * fw2;
                fw2 = fw1;
                fw1 = w;
                return fgain * w;
            }
            case tfiltertype::ftzero: {
                // Here the state holds the last two inputs.
                const double y = fgain * fb0 * (insample + fb1 * fw1 + fb2 * fw2);
                fw2 = fw1;
                fw1 = insample;
                return y;
            }
            case tfiltertype::ftboth:
                break;
        }
        return both(insample);
    }
    void filter_arr(const float* inarr, float* outarr, std::size_t nsamps);
    void filter_arr(const double* inarr, double* outarr, std::size_t nsamps);

    // Coefficients. They are set directly only while UseF0BW is false (the
    // frequency design owns them otherwise); setting a1 or a2 then derives
    // PoleF0 and PoleBW, b1 or b2 derives ZeroF0 and ZeroBW (both 0 when
    // the coefficients are no complex pair).
    void Seta0(double v);
    void Seta1(double v);
    void Seta2(double v);
    void Setb0(double v);
    void Setb1(double v);
    void Setb2(double v);

    tfiltertype GetFilterType() const { return ffiltertype; }
    void SetFilterType(tfiltertype t) { ffiltertype = t; }
    bool GetUseF0BW() const { return fusef0bw; }
    void SetUseF0BW(bool on) { fusef0bw = on; }

    // Frequency design in Hz, only while UseF0BW is true (ignored otherwise):
    // a pole pair or a zero pair at F0 with bandwidth BW and unity gain at
    // 0 Hz.
    double GetPoleF0() const { return fpolef0; }
    double GetPoleBW() const { return fpolebw; }
    double GetZeroF0() const { return fzerof0; }
    double GetZeroBW() const { return fzerobw; }
    void SetPoleF0(double f);
    void SetPoleBW(double b);
    void SetZeroF0(double f);
    void SetZeroBW(double b);

    void SetSampFreq(double fs);

private:
    void design_pole();
    void design_zero();
    void derive_pole();
    void derive_zero();

    tfiltertype ffiltertype = tfiltertype::ftboth;
    bool fusef0bw = false;
    double fpolef0 = 0.0, fpolebw = 0.0, fzerof0 = 0.0, fzerobw = 0.0;
};

// The part the low-pass and high-pass sections share: the bilinear design
// of the analogue section 1 / (s^2 + s/Q + 1) (or s^2 over it) with the
// corner prewarped to F0.
class bilinear_filter_section : public tbiquadsection {
public:
    double filter(double insample) { return both(insample); }
    void filter_arr(const float* inarr, float* outarr, std::size_t nsamps);
    void filter_arr(const double* inarr, double* outarr, std::size_t nsamps);

    double GetF0() const { return ff0; }
    void SetF0(double f);
    double GetQ() const { return fq; }
    void SetQ(double q);
    // Bandwidth F0 / Q, read only.
    double Getbw() const { return ff0 / fq; }
    void SetSampFreq(double fs);

    void Seta0(double v) { fa0 = v; }
    void Seta1(double v) { fa1 = v; }
    void Seta2(double v) { fa2 = v; }
    void Setb0(double v) { fb0 = v; }
    void Setb1(double v) { fb1 = v; }
    void Setb2(double v) { fb2 = v; }

protected:
    explicit bilinear_filter_section(bool highpass);

private:
    // Keeps the previous coefficients when the design is not finite.
    void design();

    bool fhighpass;
    double ff0 = 1000.0, fq = 1.0;
};

class TLPFilterSection : public bilinear_filter_section {
public:
    TLPFilterSection() : bilinear_filter_section(false) {}
};

class THPFilterSection : public bilinear_filter_section {
public:
    THPFilterSection() : bilinear_filter_section(true) {}
};

// First order: one real zero at FZero and one real pole at FPole (Hz), both
// mapped by the bilinear transform, with unity gain at 0 Hz or (with
// UnityGainAtHF) at high frequencies.
class TRealFilterSection {
public:
    TRealFilterSection();

    double filter(double insample) {
        const double w = fa0 * insample + fa1 * fw1;
        const double y = fgain * fb0 * (w + fb1 * fw1);
        fw1 = w;
        return y;
    }
    void reset() { fw1 = 0.0; }
    void filter_arr(const float* inarr, float* outarr, std::size_t nsamps);
    void filter_arr(const double* inarr, double* outarr, std::size_t nsamps);

    // Limited to -fs/2.0001 .. fs/2.0001.
    double GetFZero() const { return ffzero; }
    void SetFZero(double f);
    // Limited to at most fs/2.0001.
    double GetFPole() const { return ffpole; }
    void SetFPole(double f);
    bool GetUnityGainAtHF() const { return funitygainathf; }
    void SetUnityGainAtHF(bool on);
    double GetGain() const { return fgain; }
    void SetGain(double g) { fgain = g; }
    double GetSampFreq() const { return fsf; }
    void SetSampFreq(double fs);

    double Geta0() const { return fa0; }
    double Geta1() const { return fa1; }
    double Getb0() const { return fb0; }
    double Getb1() const { return fb1; }
    void Seta0(double v) { fa0 = v; }
    void Seta1(double v) { fa1 = v; }
    void Setb0(double v) { fb0 = v; }
    void Setb1(double v) { fb1 = v; }

private:
    // Each keeps the previous coefficients when the design is not finite.
    void design_zero();
    void design_pole();

    double fgain = 1.0;
    double fa0 = 1.0, fa1 = 0.0;
    double fb0 = 1.0, fb1 = 0.0;
    double fsf = 16000.0;
    double ffzero = 1000.0, ffpole = 1000.0;
    bool funitygainathf = false;
    double fw1 = 0.0;
};

// The same sections in normalised form, for block loops that keep a chain of
// them in registers: the input scale a0 and the output scale gain*b0 are
// taken out (multiplied into `scale` by normalised(), for the caller to
// apply once at the end), leaving
//     w = x + a1 w1 + a2 w2;  y = w + b1 w1 + b2 w2
// with the older state added first, so only one multiply and one add wait
// for the previous sample. A kernel starts at rest.
struct tsecondorderkernel {
    double a1 = 0, a2 = 0, b1 = 0, b2 = 0, w1 = 0, w2 = 0;
    double step(double x) {
        const double w = (x + a2 * w2) + a1 * w1;
        const double y = (w + b2 * w2) + b1 * w1;
        w2 = w1;
        w1 = w;
        return y;
    }
};

struct tfirstorderkernel {
    double a1 = 0, b1 = 0, w1 = 0;
    double step(double x) {
        const double w = x + a1 * w1;
        const double y = w + b1 * w1;
        w1 = w;
        return y;
    }
};

// A second-order section (TFilterSection with both poles and zeros, or a
// low-pass or high-pass section) as a kernel.
template <class S>
tsecondorderkernel normalised(const S& s, double& scale) {
    scale *= s.Geta0() * s.GetGain() * s.Getb0();
    return {s.Geta1(), s.Geta2(), s.Getb1(), s.Getb2(), 0.0, 0.0};
}

inline tfirstorderkernel normalised(const TRealFilterSection& s, double& scale) {
    scale *= s.Geta0() * s.GetGain() * s.Getb0();
    return {s.Geta1(), s.Getb1(), 0.0};
}

// s high-passed at `hz` by one section forward and again backward: no
// phase shift, as the glottal-flow estimates prepare their input.
void highpass_both_ways(std::vector<double>& s, double fs, double hz);

}  // namespace tessal
