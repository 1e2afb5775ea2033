#include "engine/process/procregistry.h"

#include "engine/process/chanarithsteps.h"
#include "engine/process/channelsteps.h"
#include "engine/process/commentstep.h"
#include "engine/process/filtersteps.h"
#include "engine/process/generatorsteps.h"
#include "engine/process/f0step.h"
#include "engine/process/levelstep.h"
#include "engine/process/pointwisesteps.h"
#include "engine/process/resamplestep.h"

namespace tessal {

const std::vector<tprocinfo>& procinfo() {
    static const std::vector<tprocinfo> reg = {
        {"load", "Load channel", "Loads a channel from the editor window"},
        {"save", "Save result to channel", "Saves the signal(s) to a channel in the editor window"},
        {"append", "Append result to channel",
         "Attaches the signal(s) to the end of a channel in the editor window"},
        {"prepend", "Prepend result to channel",
         "Attaches the signal(s) to the beginning of a channel in the editor window"},
        {"delete", "Delete channel", "Deletes a channel from the editor window"},
        {"sine", "Sine wave", "Generates a sine wave or a harmonic series"},
        {"noise", "White noise", "Generates white noise"},
        {"impulses", "Impulses", "Generates impulses"},
        {"exponential", "Exponential ramp", "Generates an exponential function"},
        {"ramp", "Linear ramp", "Generates a linear ramp function"},
        {"comment", "Comment", "Adds a comment to the list of processing steps"},
        {"-", "-", ""},
        {"diff", "Derivative", "Takes the derivative of the signal(s)"},
        {"int", "Integral", "Takes the integral of the signal(s)"},
        {"lpbrick", "Brickwall LP filter", "A sinc based \"ideal\" lowpass filter"},
        {"lp2", "2nd order LP filter", "Resonant 2nd order lowpass (\"formant\") filter"},
        {"hp2", "2nd order HP filter", "Resonant 2nd order highpass filter"},
        {"polezero", "Pole-zero pairs", "2nd order filter with one resonance peak and one dip"},
        {"realpolezero", "Real pole-zero pair", "1st order shelf filter"},
        {"slope", "Variable slope filter", "Filter with a selectable slope, such as 3.8 dB/octave"},
        {"-", "-", ""},
        {"level", "Amplitude/level",
         "Extracts the amplitude (linear) or level (logarithmic (dB))"},
        {"f0", "F0", "Extracts fundamental frequency"},
        {"reverse", "Reverse", "Reverses the signal(s) (makes it go backwards)"},
        {"resample", "ReSample", "Changes the sampling rate of the signal(s)"},
        {"-", "-", ""},
        {"square", "Square", "Takes the square of the signal(s)"},
        {"sqrt", "Square root",
         "Takes the square root of the absolute value of the signal(s), keeping the sign"},
        {"log", "Logarithm", "Takes the logarithm of the signal(s)"},
        {"exp", "Exponential", "Takes the exponential of the signal(s)"},
        {"abs", "Absolute value", "Takes the absolute value of the signal(s)"},
        {"max", "Min/Max value",
         "Takes the smallest or largest value of all input signal(s) and generates one single "
         "output signal"},
        {"clip", "Clip signal", "Limits the signal(s) to a maximum and/or minimum value"},
        {"threshold", "Threshold", "Detects if the signal is above a threshold"},
        {"quantize", "Quantize signal", "Makes the sample amplitudes quantized"},
        {"-", "-", ""},
        {"delay", "Delay", "Shifts the signal(s) timewise"},
        {"babble", "Babble", "Overlay multiple copies of the signal with random delays"},
        {"add", "Add constant", "Adds a constant number to the signal(s)"},
        {"mul", "Multiply by constant", "Multiplies the signal(s) with a constant number"},
        {"-", "-", ""},
        {"addch", "Add channel", "Adds the signal(s) with channel(s) from the editor window"},
        {"subch", "Subtract channel",
         "Subtracts channel(s) from the editor window from the signal(s)"},
        {"mulch", "Multiply by channel",
         "Multiplies the signal(s) with channel(s) from the editor window"},
        {"divch", "Divide by channel",
         "Divides the signal(s) with channel(s) from the editor window"},
    };
    return reg;
}

int find_procid(const std::string& procid) {
    const auto& reg = procinfo();
    for (int i = static_cast<int>(reg.size()) - 1; i >= 0; --i)
        if (reg[i].procid == procid) return i;
    return -1;
}

namespace {

std::unique_ptr<tprocstep> new_step(const std::string& id, double dsf) {
    if (id == "load") return std::make_unique<tloadchannel>();
    if (id == "save") return std::make_unique<tsavechannel>();
    if (id == "append") return std::make_unique<tappendchannel>();
    if (id == "prepend") return std::make_unique<tprependchannel>();
    if (id == "delete") return std::make_unique<tdeletechannel>();
    if (id == "comment") return std::make_unique<tcomment>();
    if (id == "sine") return std::make_unique<tsinewave>(dsf);
    if (id == "noise") return std::make_unique<tnoise>(dsf);
    if (id == "impulses") return std::make_unique<timpulses>(dsf);
    if (id == "exponential") return std::make_unique<texponential>(dsf);
    if (id == "ramp") return std::make_unique<tramp>(dsf);
    if (id == "babble") return std::make_unique<tbabble>();
    if (id == "diff") return std::make_unique<tdiff>();
    if (id == "int") return std::make_unique<tint>();
    if (id == "lpbrick") return std::make_unique<tlpbrick>();
    if (id == "lp2") return std::make_unique<tlp2>(500, dsf);
    if (id == "hp2") return std::make_unique<thp2>(50, dsf);
    if (id == "polezero") return std::make_unique<tpolezero>(dsf);
    if (id == "realpolezero") return std::make_unique<trealpolezero>(dsf);
    if (id == "slope") return std::make_unique<tslope>();
    if (id == "reverse") return std::make_unique<treverse>();
    if (id == "square") return std::make_unique<tsquare>();
    if (id == "sqrt") return std::make_unique<tsqrt>();
    if (id == "log") return std::make_unique<tlogarithm>();
    if (id == "exp") return std::make_unique<texp>();
    if (id == "abs") return std::make_unique<tabs>();
    if (id == "max") return std::make_unique<tmax>();
    if (id == "clip") return std::make_unique<tclip>();
    if (id == "threshold") return std::make_unique<tthreshold>();
    if (id == "quantize") return std::make_unique<tquantize>();
    if (id == "delay") return std::make_unique<tdelay>();
    if (id == "add") return std::make_unique<tadd>();
    if (id == "mul") return std::make_unique<tmultiply>();
    if (id == "addch") return std::make_unique<taddchannel>();
    if (id == "subch") return std::make_unique<tsubtractchannel>();
    if (id == "mulch") return std::make_unique<tmultiplychannel>();
    if (id == "divch") return std::make_unique<tdividechannel>();
    if (id == "level") {
        auto s = std::make_unique<textractlevel>();
        s->lpfilter.SetSampFreq(dsf);
        return s;
    }
    if (id == "f0") return std::make_unique<tf0>();
    if (id == "resample") return std::make_unique<tresample>(dsf);
    throw EProcessError("Invalid procid: \"" + id + "\"");
}

}  // namespace

std::unique_ptr<tprocstep> create_step(int index, const tprocstep* copyfrom,
                                       double defaultsampfreq) {
    const auto& reg = procinfo();
    if (index < 0 || index >= static_cast<int>(reg.size()))
        throw EProcessError("Invalid procid: " + std::to_string(index));
    if (reg[index].procid == "-") return nullptr;
    std::unique_ptr<tprocstep> s;
    if (copyfrom && copyfrom->get_procid() == reg[index].procid)
        s = copyfrom->clone();
    else
        s = new_step(reg[index].procid, defaultsampfreq);
    s->procnum = index;
    s->enabled = true;
    return s;
}

}  // namespace tessal
