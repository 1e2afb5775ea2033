// The steps that transform each signal of the working set sample by sample
// (reverse, square, square root, logarithm, exponential, absolute value,
// clip, threshold, quantize), shift it in time (delay), add or multiply
// constants, or merge every signal into one (min/max).
#pragma once

#include <string>

#include "engine/process/tprocstep.h"

namespace tessal {

class treverse : public tstepof<treverse> {
public:
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Reverse"; }
};

class tsquare : public tstepof<tsquare> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Square"; }
};

// sign(x) sqrt(|x|).
class tsqrt : public tstepof<tsqrt> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Square root"; }
};

class tabs : public tstepof<tabs> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::string get_procname() const override { return "Absolute value"; }
};

// y = A log_base(x / B), with `minvalue` for everything at or below the
// value that gives it; with `exponential`, y = B base^(x / A).
class tlogarithm : public tstepof<tlogarithm> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    std::unique_ptr<tstepform> settings_form() const override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double a = 1200, b = 1.0;
    int base = 0;  // 0: 2, 1: e, 2: 10
    std::string yunit;
    double minvalue = -1e10;

    virtual bool exponential() const { return false; }

protected:
    void check_applied() const override;
};

class texp : public tstepof<texp, tlogarithm> {
public:

    bool exponential() const override { return true; }
};

class tmax : public tstepof<tmax> {
public:
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int operation = 0;  // 0 maximum, 1 minimum
};

class tclip : public tstepof<tclip> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double max = 1.0, min = -1.0;
    bool usemax = true, usemin = true, symmetrical = true;

protected:
    void check_applied() const override;

private:
    std::string describe(const std::string& x) const;
};

class tthreshold : public tstepof<tthreshold> {
public:
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    double lothres = 0, hithres = 0, outlo = 0, outhi = 1.0;
    bool usehysteresis = false;

protected:
    void check_applied() const override;
};

class tquantize : public tstepof<tquantize> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;

    int method = 0;  // 0 steps within the FSD, 1 absolute step size
    int nsteps = 255;
    double absolutesize = 0.001;
};

// A list of values, one per signal, used cyclically: delay in seconds, a
// term to add or a factor to multiply by.
class tvaluelist : public tprocstep {
public:
    tdoublearr values{0.0};

protected:
    // The list of a step type: its form's caption, the file key before the
    // index, the field's caption, and the value of an index a file lacks.
    template <class S>
    static tparamlist values_list(const char* caption, const char* key, const char* prompt,
                                  double missing = 0);
    // The value for input i; refuses an empty list.
    double value(std::size_t i) const;
    // The file key before the index, and the field's caption.
    const std::string& key() const;
    const std::string& prompt() const;
};

class tdelay : public tstepof<tdelay, tvaluelist> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
};

class tadd : public tstepof<tadd, tvaluelist> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
};

class tmultiply : public tstepof<tmultiply, tvaluelist> {
public:
    bool takes_stores() const override { return true; }
    void run_process(tprocenv& env) override;
    const tparamlist* params() const override;
    std::string get_procname() const override;
};

}  // namespace tessal
