// tprocstep: the base of every processing step, and what a step works on.
//
// A step takes the working set `inarr` (one signal per channel being
// processed, each a sample store or an array: tworksig.h) with its `props`,
// computes `outarr` and leaves `props` with one record per output. The runner hands a step its input, calls run_process
// and passes the output on to the next enabled step. Steps reach the
// document, the prompter and the cancel flag through the tprocenv the runner
// sets before run_process. A step fails by throwing; a long step calls
// env().progress() now and then, which throws EProcCancelled once the run
// has been cancelled.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tsiglabel.h"
#include "engine/dsp/arrays.h"
#include "engine/process/tstepform.h"
#include "engine/process/tworksig.h"

namespace tessal {

class tdocument;
class TSetting;
class tparamlist;

// Errors of steps, of the factory and of process files; the text is for
// the user.
class EProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Thrown when a run is cancelled inside a step.
class EProcCancelled : public std::runtime_error {
public:
    EProcCancelled() : std::runtime_error("Cancelled") {}
};

// The properties of one signal of the working set.
struct tchannelproperties {
    std::string name;
    std::int32_t xshift = 0;
    double sampfreq = 44100;
    double fsd = 1.0;
    std::string yunit;
    double dbreference = 1.0;
    std::int32_t stereochanno = -1;
    std::int32_t nbits = 16;
    tFormat format = tFormat::pcm;
    tsiglabels labels;
};

// The record a process starts with when no step has produced anything yet.
tchannelproperties default_channelproperties(double defaultsampfreq);

// What a running step may use besides its own fields.
class tprocenv {
public:
    tprocenv(tdocument& doc, tprompter& prompter) : doc(doc), prompter(prompter) {}
    tdocument& doc;
    tprompter& prompter;
    // Set (from any thread) to stop the run; null for a run that cannot be
    // cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Told the running step's position in the list and how far it has got
    // (0..1).
    std::function<void(int stepno, double fraction)> onprogress;
    int stepno = 0;

    // Remarks of the run's steps ("Divide by channel 1: 3 samples divided
    // by 0 set to 0"), which the runner appends to its "Done" status.
    std::vector<std::string> notes;
    // Channels a step named that did not exist, where the step warned and
    // went on (delete): a run nobody watches treats them as a failure.
    std::vector<std::string> missing;

    bool cancelled() const { return cancel && cancel->load(); }
    void note(const std::string& text) { notes.push_back(text); }
    // Reports progress of the running step; throws EProcCancelled when the
    // run has been cancelled.
    void progress(double fraction);
};

class tprocstep {
public:
    tprocstep() : props(1) {}
    virtual ~tprocstep() = default;
    tprocstep& operator=(const tprocstep&) = delete;

    // A copy of this step with its parameters (not its working set or
    // timing); the factory uses it for "Copy".
    virtual std::unique_ptr<tprocstep> clone() const = 0;
    // Computes outarr and props from inarr and props. The base passes the
    // input through.
    virtual void run_process(tprocenv& env);
    // The parameter dialog: a form filled with the current values, or null
    // for a step without settings. apply_form takes the values of a
    // confirmed form; it throws EProcessError naming the field when a value
    // is refused, and then leaves the step as it was.
    // The base builds them from params(), when the step declares any.
    virtual std::unique_ptr<tstepform> settings_form() const;
    virtual void apply_form(const tstepform& form);
    // The step type's parameters (stepparams.h), or null for a step that
    // keeps its own forms and file sections.
    virtual const tparamlist* params() const { return nullptr; }
    // For a step without a form: tells the user there is nothing to set.
    virtual void ask_for_settings(tprompter& prompter);
    // Write and read the step as section `id` of a process file; the base
    // writes "procid" and "Enabled", then the declared parameters.
    virtual void save_proc(const std::string& id, TSetting& setting) const;
    virtual void open_proc(const std::string& id, TSetting& setting);
    // The registry id of the step's type.
    std::string get_procid() const;
    // The text of the step in the step list and the status bar.
    virtual std::string get_procname() const { return "<Empty>"; }
    // False for step types whose computation is not in the program yet: they
    // pass their input through.
    virtual bool available() const { return true; }

    // True for a step that reads its input through tworksig's store-or-array
    // functions; the runner hands any other step arrays (stepsupport.h,
    // arrays_for), refusing when they would not fit the sample memory.
    virtual bool takes_stores() const { return false; }

    std::vector<tworksig> inarr;
    std::vector<tworksig> outarr;
    std::vector<tchannelproperties> props;
    int procnum = -1;
    bool selected = false;
    bool enabled = false;
    // steady-clock readings (ns) at the start and the end of the last run.
    std::int64_t profiling_timestamp[2] = {0, 0};

protected:
    // Called by apply_form on a copy holding the form's values, before the
    // step takes them: throws EProcessError with the sentence when the
    // values do not go together.
    virtual void check_applied() const {}
    // Parameters and procnum come along; the working set, selection and
    // timing do not (props keeps only its length).
    tprocstep(const tprocstep& from)
        : props(from.props.empty() ? 1 : from.props.size()), procnum(from.procnum) {}
};

// The base of step type D, derived from B (the step base or a step type D
// shares its parameters and run with): gives D its clone.
template <class D, class B = tprocstep>
class tstepof : public B {
public:
    using B::B;
    std::unique_ptr<tprocstep> clone() const override {
        return std::make_unique<D>(static_cast<const D&>(*this));
    }
};

using tprocsteps = std::vector<std::unique_ptr<tprocstep>>;

// Channel lists in process files: "nChans" and "Channo0".."ChannoN-1". A file
// without "nChans" holds a single number under "Channo".
void write_chanlist(TSetting& setting, const std::string& id, const tintarr& list);
void read_chanlist(TSetting& setting, const std::string& id, tintarr& list);
// Real lists: "nChans" and the key followed by the index.
void write_reallist(TSetting& setting, const std::string& id, const std::string& key,
                    const tdoublearr& list);
void read_reallist(TSetting& setting, const std::string& id, const std::string& key,
                   tdoublearr& list, double missing);

// "s" when a list of n channels is named in the plural.
std::string chanlist_text(const tintarr& list);

}  // namespace tessal
