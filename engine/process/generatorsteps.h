// The steps that make signals: a sine wave or harmonic series, white
// noise, an impulse train, exponential and linear ramps, and babble (many
// time-shifted copies of the input laid over each other). The sine and
// noise generators either make a new signal of their own duration and rate
// or work on the working set, by its input mode.
#pragma once

#include <cstdint>

#include "engine/process/tprocstep.h"

namespace tessal {

// The program's pseudo-random source for noise and babble: a linear
// congruential generator (seed := seed * 134775813 + 1, 32 bits), giving
// seed / 2^32 in [0, 1).
double proc_random();
void proc_randomize();                 // reseeds from the high-resolution clock
void proc_setseed(std::uint32_t seed);
std::uint32_t proc_seed();

class tsinewave : public tstepof<tsinewave> {
public:
    explicit tsinewave(double dsf = 44100) : sampfreq(dsf) {}
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double freq = 1000, phase = 0, delay = 0, adddelay = 0, amplitude = 1.0;
    int inputmode = 0;  // 0 not used, 1 controls duration, 2 controls frequency, 3 added
    double duration = 10;
    int nharm = 1;
    double tilt = -6.0;
    bool oddonly = false;
    double sampfreq;

protected:

private:
    void check() const;
};

class tnoise : public tstepof<tnoise> {
public:
    explicit tnoise(double dsf = 44100) : sampfreq(dsf) {}
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double duration = 10, amplitude = 1.0;
    int inputmode = 0;  // 0 not used, 1 controls duration, 2 added
    double sampfreq;
};

class timpulses : public tstepof<timpulses> {
public:
    explicit timpulses(double dsf = 44100) : sampfreq(dsf) {}
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
    // Samples between impulses: round(sampfreq / freq); 0 when there is none.
    double period() const;

    double duration = 10, amplitude = 1.0, freq = 10;
    double sampfreq;

protected:
    void check_applied() const override;
};

// The linear ramp and, with `exponential`, the exponential one.
class tramp : public tstepof<tramp> {
public:
    explicit tramp(double dsf = 44100) : sampfreq(dsf) {}
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double startvalue = 0, endvalue = 20000, duration = 10;
    double sampfreq;

protected:
    void check_applied() const override;
    virtual bool exponential() const { return false; }
    // Why these values make no ramp, empty when they do.
    std::string refusal(double start, double end, double dur, double fs) const;
};

class texponential : public tstepof<texponential, tramp> {
public:
    explicit texponential(double dsf = 44100) : tstepof(dsf) { startvalue = 20; }

protected:
    bool exponential() const override { return true; }
};

class tbabble : public tstepof<tbabble> {
public:
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int nvoices = 20;
    bool monotostereo = false;
    double delayrange = 0.00034;  // seconds
};

}  // namespace tessal
