#include "engine/process/channelsteps.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tdocument.h"
#include "engine/dsp/listtext.h"
#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"

namespace tessal {
namespace {

std::string plural(const std::string& one, const tintarr& list, bool singular) {
    return one + (singular ? " " : "s ") + chanlist_text(list);
}

double peak_of(const tworksig& s) {
    double m = 0;
    s.for_each_chunk(0, static_cast<std::int64_t>(s.size()), [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i) m = std::max(m, static_cast<double>(std::fabs(p[i])));
    });
    return m;
}

double sum_of_squares(const tworksig& s) {
    double sum = 0;
    s.for_each_chunk(0, static_cast<std::int64_t>(s.size()), [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(p[i]) * p[i];
    });
    return sum;
}

double peak_of(const tchannel& ch) {
    double m = 0;
    ch.for_each_chunk(0, ch.sample_count(), [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i) m = std::max(m, static_cast<double>(std::fabs(p[i])));
    });
    return m;
}

// The channel's FSD, unless the value cannot be one (0 or not finite): then
// the channel keeps what it had.
void put_fsd(tchannel& ch, double fsd) { ch.set_fsd(fsd); }

const std::vector<std::string>& fsd_items() {
    static const std::vector<std::string> items = {"Do not set", "Set to peak value",
                                                   "Set to fixed value", "Set to dB above RMS"};
    return items;
}

// The value fields of the FSD group take input only in their own mode.
std::function<bool(const tstepform&)> fsd_mode_is(int mode) {
    return [mode](const tstepform& f) { return f.index("fsdmode") == mode; };
}

const tnumberfield fixedfsdfield{"Fixed FSD", -1e30, 1e30, ""};
const tnumberfield rmsdbfield{"dB above RMS", -400, 400, "dB"};
const tnumberfield dbreffield{"Level reference", 1e-30, 1e30, ""};

void check_fixed_fsd(double v) {
    if (v == 0) throw EProcessError("Fixed FSD must not be 0");
}

// The highest channel number a save may create channels up to (a document
// of 4096 channels); a document already longer takes one more at its end.
constexpr int maxsavechannel = 4095;

// A channel number past the last channel makes the channels up to it; one
// that would make more than that is refused naming the field, before any
// channel is made (a number near the top of the integers would otherwise
// wrap the new channel count round and empty the document).
void check_save_target(const tprocstep& step, const tdocument& doc, int c) {
    if (c < 0 || c <= doc.totnchans() || c <= maxsavechannel) return;
    steps::step_error(step, "Channel number (N=new channel) " + std::to_string(c) +
                                " would make " + std::to_string(c - doc.totnchans() + 1) +
                                " new channels; a save makes channels up to number " +
                                std::to_string(std::max(maxsavechannel, doc.totnchans())));
}

}  // namespace

// --- load ------------------------------------------------------------------

void tloadchannel::run_process(tprocenv& env) {
    tdocument& doc = env.doc;
    std::vector<tworksig> out(channo.size());
    std::vector<tchannelproperties> p(channo.size());
    for (std::size_t i = 0; i < channo.size(); ++i) {
        const int c = doc.translate_channo(channo[i]);
        if (c < 0 || c >= doc.totnchans())
            throw EProcessError("Channel " + std::to_string(channo[i]) + " does not exist");
        const tchannel& ch = doc.channel(c);
        // The channel's store, sharing its blocks: nothing is copied or
        // read here. A step that needs an array gets one from the runner,
        // after the check against the sample memory.
        out[i] = tworksig(ch.samples());
        tchannelproperties& r = p[i];
        r.name = ch.name();
        r.fsd = ch.fsd();
        r.xshift = steps::checked_xshift(*this, static_cast<double>(ch.xshift),
                                         "Channel " + std::to_string(c));
        r.yunit = ch.yunit();
        r.dbreference = ch.dbreference;
        r.sampfreq = ch.sampfreq;
        r.nbits = ch.nbits;
        r.format = ch.format;
        r.stereochanno = -1;
        if (loadlabels) r.labels = ch.labels;
    }
    outarr = std::move(out);
    props = std::move(p);
}

const tparamlist* tloadchannel::params() const {
    static const tparamlist list = tparams<tloadchannel>("Load signal from channel")
                                       .channels("Channo", "channo", "Channel number",
                                                 &tloadchannel::channo)
                                       .flag("LoadLabels", "loadlabels", "Load labels",
                                             &tloadchannel::loadlabels);
    return &list;
}

std::string tloadchannel::get_procname() const {
    return plural("Load from channel", channo, channo.size() < 2);
}

// --- save ------------------------------------------------------------------

void tsavechannel::run_process(tprocenv& env) {
    tdocument& doc = env.doc;
    if (inarr.size() != channo.size())
        throw EProcessError(
            "Savechannel: Number of channels to save to does not match number of input "
            "channels, (fitting " +
            std::to_string(inarr.size()) + " channels into channel(s): " +
            chanlist_text(channo) + ")");
    props.resize(inarr.size());
    // Numbers past the last channel make new channels; one that would make
    // more than a document can sensibly hold is refused before anything is
    // written.
    for (int c : channo) check_save_target(*this, doc, c);
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        env.progress(static_cast<double>(i) / static_cast<double>(inarr.size()));
        const int c = doc.translate_channo(channo[i]);
        // A code that resolves to nothing (C without a stereo partner) names
        // no channel to write to.
        if (c < 0)
            throw EProcessError("Channel " + std::to_string(channo[i]) + " does not exist");
        check_save_target(*this, doc, c);
        actualchanno = c;
        if (c >= doc.totnchans()) {
            const int old = doc.totnchans();
            doc.set_totnchans(c + 1);
            for (int k = old; k <= c; ++k) {
                doc.channel(k).set_name("<empty>");
                doc.channel(k).sampfreq = doc.prefs.DefaultSampFreq;
            }
        }
        tchannelproperties& p = props[i];
        if (usechannelname) p.name = channelname;
        if (useyunit) p.yunit = yunit;
        if (usedbreference) p.dbreference = dbreference;
        if (usestereochanno && !stereochanno.empty())
            p.stereochanno = stereochanno[i % stereochanno.size()];
        const tworksig& s = inarr[i];
        switch (fsdmode) {
            case fsdpeak: {
                const double m = peak_of(s);
                p.fsd = m == 0 ? 1.0 : m;
                break;
            }
            case fsdfixed: p.fsd = fixedfsd; break;
            case fsddbaboverms: {
                const double sum = sum_of_squares(s);
                const double rms = s.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(s.size()));
                p.fsd = s.empty() ? 1.0 : rms * std::pow(10.0, rmsdbfsd / 20.0);
                break;
            }
            default: break;
        }
        tchannel& ch = doc.channel(c);
        ch.set_name(p.name);
        put_fsd(ch, p.fsd);
        ch.xshift = p.xshift;
        ch.set_yunit(p.yunit);
        ch.dbreference = p.dbreference;
        ch.sampfreq = p.sampfreq;
        ch.stereochanno = p.stereochanno;
        ch.nbits = p.nbits;
        ch.format = p.format;
        ch.labels = p.labels;
        ch.sort_labels();
        ch.set_origin("Tessal process");
        doc.samples_changing(ch, 0, static_cast<std::size_t>(ch.sample_count()));
        // A store is taken as it is (the history keeps the old samples by
        // their own store); an array's samples go into new blocks.
        ch.adopt_samples(s.to_store(doc.block_cache()));
    }
    outarr = inarr;
}

// The file holds the keys in this order; the form groups the FSD fields.
const tparamlist* tsavechannel::params() const {
    static const tparamlist list =
        tparams<tsavechannel>("Save signal to channel")
            .channels("Channo", "channo", "Channel number (N=new channel)", &tsavechannel::channo)
            .text("ChannelName", "channelname", "", &tsavechannel::channelname)
            .flag("UseChannelName", "usechannelname", "Set channel name to",
                  &tsavechannel::usechannelname, "channelname")
            .text("Yunit", "yunit", "", &tsavechannel::yunit)
            .flag("UseYUnit", "useyunit", "Set channel unit to", &tsavechannel::useyunit, "yunit")
            .choice("FSDMode", "fsdmode", "FSD", &tsavechannel::fsdmode, fsd_items(), false)
            .stored_range(fsdkeep, fsddbaboverms)
            .flag("UsedBReference", "usedbreference", "Set level reference to",
                  &tsavechannel::usedbreference, "dbreference")
            .flag("UseStereoChanno", "usestereochanno",
                  "Set stereo companion channel to (N=play in mono)",
                  &tsavechannel::usestereochanno, "stereochanno")
            .real("dBReference", "dbreference", &tsavechannel::dbreference, dbreffield)
            .caption("")
            .channels("StereoChannos", "stereochanno", "", &tsavechannel::stereochanno, true)
            .real("FixedFSD", "fixedfsd", &tsavechannel::fixedfsd, fixedfsdfield)
            .caption("Fixed value")
            .enabled_if(fsd_mode_is(fsdfixed))
            .read_when_disabled()
            .real("RMSdBFSD", "rmsdbfsd", &tsavechannel::rmsdbfsd, rmsdbfield)
            .caption("dB above RMS")
            .enabled_if(fsd_mode_is(fsddbaboverms))
            .read_when_disabled()
            .form_order({"channo", "usechannelname", "channelname", "useyunit", "yunit",
                         "group:FSD", "fsdmode", "fixedfsd", "rmsdbfsd", "endgroup",
                         "usedbreference", "dbreference", "usestereochanno", "stereochanno"});
    return &list;
}

void tsavechannel::check_applied() const { check_fixed_fsd(fixedfsd); }

std::string tsavechannel::get_procname() const {
    std::string s = plural("Save to channel", channo, channo.size() == 1);
    if (usechannelname) s += " (" + channelname + ")";
    return s;
}

// --- append and prepend ----------------------------------------------------

void tappendchannel::run_process(tprocenv& env) {
    tdocument& doc = env.doc;
    const std::string who = prepend() ? "Prependchannel" : "Appendchannel";
    const std::string verb = prepend() ? "prepend" : "append";
    if (inarr.size() != channo.size())
        throw EProcessError(who + ": Number of channels to " + verb +
                            " to does not match number of input channels, (fitting " +
                            std::to_string(inarr.size()) + " channels into channel(s): " +
                            chanlist_text(channo) + ")");
    props.resize(inarr.size());
    std::vector<int> target(channo.size());
    for (std::size_t i = 0; i < channo.size(); ++i) {
        const int c = doc.translate_channo(channo[i]);
        if (c < 0 || c >= doc.totnchans())
            throw EProcessError(who +
                                ": Channel number is higher than the highest existing channel "
                                "number. \r(Trying to " +
                                verb + " to channel number " + std::to_string(c) +
                                "; highest available channel number is " +
                                std::to_string(doc.totnchans() - 1) + ")");
        target[i] = c;
    }
    for (std::size_t i = 0; i < channo.size(); ++i) {
        const double chrate = doc.channel(target[i]).sampfreq;
        if (chrate != props[i].sampfreq)
            throw EProcessError(who + ": Sample rates do not match: " +
                                float_to_text(props[i].sampfreq) + " vs " + float_to_text(chrate) +
                                " Hz" + "\r(Trying to " + verb + " to channel number " +
                                std::to_string(target[i]) + ")");
    }
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        env.progress(static_cast<double>(i) / static_cast<double>(inarr.size()));
        tchannel& ch = doc.channel(target[i]);
        actualchanno = target[i];
        const tsinglearr& in = inarr[i];
        const tchannelproperties& p = props[i];
        const auto L = static_cast<std::size_t>(ch.sample_count());
        const std::size_t M = in.size();
        doc.samples_changing(ch, prepend() ? 0 : L, prepend() ? 0 : L);
        if (prepend()) {
            ch.insert_samples(0, in.data(), M);
            const double dt = static_cast<double>(M) / ch.sampfreq;
            for (tsiglabel& l : ch.labels) l.time += dt;
            for (const tsiglabel& l : p.labels) ch.labels.push_back(l);
        } else {
            ch.append_samples(in.data(), M);
            const double dt = static_cast<double>(L) / ch.sampfreq;
            for (tsiglabel l : p.labels) {
                l.time += dt;
                ch.labels.push_back(l);
            }
        }
        // The insert marked the drawing cache's blocks it moved or filled;
        // the labels are drawn again even when nothing was inserted.
        ch.sort_labels();
        ch.bmpdirty = true;
        ch.nbits = std::max(ch.nbits, p.nbits);
        if (p.format == tFormat::ieeefloat) ch.format = tFormat::ieeefloat;
        double fsd = p.fsd;
        if (fsdmode == fsdpeak) {
            const double m = peak_of(ch);
            fsd = m == 0 ? 1.0 : m;
        } else if (fsdmode == fsdfixed) {
            fsd = fixedfsd;
        }
        put_fsd(ch, fsd);
    }
    outarr = inarr;
}

// The fixed FSD is set in the form only; a file does not hold it.
const tparamlist* tappendchannel::params() const {
    static const tparamlist list =
        tparams<tappendchannel>("Save signal to channel")
            .channels("Channo", "channo", "Channel number", &tappendchannel::channo)
            .choice("FSDMode", "fsdmode", "FSD", &tappendchannel::fsdmode,
                    std::vector<std::string>(fsd_items().begin(), fsd_items().begin() + 3), false)
            .stored_range(fsdkeep, fsdfixed)
            .real("", "fixedfsd", &tappendchannel::fixedfsd, fixedfsdfield)
            .caption("Fixed value")
            .enabled_if(fsd_mode_is(fsdfixed))
            .read_when_disabled()
            .form_order({"channo", "group:FSD", "fsdmode", "fixedfsd", "endgroup"});
    return &list;
}

void tappendchannel::check_applied() const { check_fixed_fsd(fixedfsd); }

std::string tappendchannel::get_procname() const {
    return plural("Append to channel", channo, channo.size() == 1);
}

std::string tprependchannel::get_procname() const {
    return plural("Prepend to channel", channo, channo.size() == 1);
}

// --- delete ----------------------------------------------------------------

void tdeletechannel::run_process(tprocenv& env) {
    tdocument& doc = env.doc;
    for (std::size_t k = channo.size(); k-- > 0;) {
        const int c = doc.translate_channo(channo[k]);
        if (c < 0 || c >= doc.totnchans()) {
            env.prompter.warn("Channel " + std::to_string(channo[k]) + " does not exist!",
                              "Cannot delete channel");
            env.missing.push_back("Channel " + std::to_string(channo[k]) + " does not exist");
            continue;
        }
        doc.delete_channel(c);
    }
    tprocstep::run_process(env);
}

const tparamlist* tdeletechannel::params() const {
    static const tparamlist list =
        tparams<tdeletechannel>("Delete channel number")
            .channels("Channo", "channo", "Channel number(s)", &tdeletechannel::channo);
    return &list;
}

}  // namespace tessal
