#include "engine/tools/invfilter.h"

#include <cstdio>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/core/prompter.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/channelsegment.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace {

constexpr double air_density = 1.204;  // kg/m^3
constexpr double pi = 3.14159265358979323846;

std::string trimmed_lower(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
    while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
    std::string r = s.substr(a, b - a);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// The bins 1 .. N/2 of an N-point transform just run: their frequencies at
// the rate fs, and their levels in dB as `level` makes them.
template <class F>
void half_spectrum(TFFT& fft, double fs, tinvspectrum& out, F level) {
    const tdoublearr& db = fft.GetOutdB();
    const std::size_t nfft = fft.GetFFTSize();
    const std::size_t half = nfft / 2;
    out.freq.resize(half);
    out.db.resize(half);
    for (std::size_t j = 1; j <= half; ++j) {
        out.freq[j - 1] = static_cast<double>(j) / static_cast<double>(nfft) * fs;
        out.db[j - 1] = level(db[j]);
    }
}

}  // namespace

void sort_formants(std::vector<tformant>& f) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (std::size_t i = 1; i < f.size(); ++i) {
            if (f[i].f0 < f[i - 1].f0) {
                std::swap(f[i], f[i - 1]);
                swapped = true;
            }
        }
    }
}

double handle_level(double f0, double bw) {
    const double v = 20.0 * std::log10(f0 / bw);
    return std::isfinite(v) ? v : 200.0;
}

double bandwidth_at_level(double f, double db) { return f / std::pow(10.0, db / 20.0); }

std::string formant_memo_line(const tformant& f, int n, int digits) {
    auto num = [digits](double v) { return digits > 0 ? format_significant(digits, v) : float_to_text(v); };
    return std::string(f.iszero ? "Z" : "F") + std::to_string(n) + ": f=" + num(f.f0) +
           " Hz, BW=" + num(f.bw) + " Hz";
}

std::string sampling_rate_warning(double fs) {
    if (fs < 4000)
        return "The signal has a very low sampling rate (" + float_to_text(fs) +
               " Hz), you may want to use another signal.";
    if (fs > 32000)
        return "The signal has a very high sampling rate (" + float_to_text(fs) +
               " Hz), you may want to change it to eg 16000 Hz.";
    return {};
}

std::vector<std::pair<double, double>> bandwidth_guide(bool upper) {
    std::vector<std::pair<double, double>> g;
    const double low = upper ? 80.0 : 25.0;
    for (double f = 100; f <= 2000; f = (f < 200 ? 200 : f + 200)) g.emplace_back(f, low);
    g.emplace_back(3000.0, upper ? 200.0 : 50.0);
    g.emplace_back(4000.0, upper ? 400.0 : 100.0);
    return g;
}

// ---- tinvfilter ----

tinvfilter::tinvfilter()
    : flowarr(invfilter_total, 0.0),
      derarr(invfilter_total, 0.0),
      invflowarr(invfilter_total, 0.0),
      invderarr(invfilter_total, 0.0),
      addarr(invfilter_seglen + 1, 0.0),
      rawarr(invfilter_total, 0.0) {
    hpfilter.SetF0(fhpfilterfreq);
    // The impulse response sums to its DC gain times its length; taking
    // that mean away would change the low end of the cascade's spectrum.
    filterfft.Setremovedc(false);
}

void tinvfilter::set_sampfreq(double fs) {
    fsampfreq = fs;
    hpfilter.SetSampFreq(fs);
    for (TFilterSection& s : invfilters) s.SetSampFreq(fs);
}

void tinvfilter::clear_segment() {
    for (auto* a : {&flowarr, &derarr, &invflowarr, &invderarr, &addarr, &rawarr})
        std::fill(a->begin(), a->end(), 0.0);
    std::fill(invfilterarr.begin(), invfilterarr.end(), 0.0);
    faddsampfreq = -1.0;
}

void tinvfilter::load_segment(const tchannel& ch, double time) {
    cursortime = time;
    load_samples(ch.sampfreq, tchannelsegment(ch, time, -invfilter_lead, invfilter_seglen));
}

void tinvfilter::load_extra(const tchannel* ch, double time) {
    if (!ch) {
        faddsampfreq = -1.0;
        std::fill(addarr.begin(), addarr.end(), 0.0);
        return;
    }
    faddsampfreq = ch->sampfreq;
    const tchannelsegment extra(*ch, time, 0, invfilter_seglen);
    for (int i = 0; i <= invfilter_seglen; ++i) addarr[static_cast<std::size_t>(i)] = extra(i);
}

void tinvfilter::derive_segment() {
    const std::size_t n = invfilter_total;
    if (signaltype == tinvsignaltype::mic) {
        for (std::size_t i = 0; i < n; ++i) derarr[i] = fflipfactor * rawarr[i];
        hpfilter.SetSampFreq(fsampfreq);
        hpfilter.SetF0(fhpfilterfreq);
        hpfilter.reset();
        for (std::size_t i = 0; i < n; ++i) flowarr[i] = hpfilter.filter(derarr[i]);
        hpfilter.reset();
        for (std::size_t i = n; i-- > 0;) flowarr[i] = hpfilter.filter(flowarr[i]);
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) flowarr[i] = sum += flowarr[i];
    } else {
        for (std::size_t i = 0; i < n; ++i) flowarr[i] = fflipfactor * rawarr[i];
        derarr[0] = 0.0;
        for (std::size_t i = 1; i < n; ++i) derarr[i] = (flowarr[i] - flowarr[i - 1]) * fsampfreq;
    }
}

std::vector<std::string> tinvfilter::memo_lines(int digits) const {
    std::vector<std::string> memo;
    int n = 0;
    for (const tformant& f : formants)
        if (in_use(f)) memo.push_back(formant_memo_line(f, ++n, digits));
    return memo;
}

std::string tinvfilter::element_name(int index) const {
    if (index < 0 || index >= static_cast<int>(formants.size())) return {};
    const tformant& e = formants[static_cast<std::size_t>(index)];
    if (!in_use(e)) return {};
    int n = 0;
    for (int i = 0; i <= index; ++i)
        if (in_use(formants[static_cast<std::size_t>(i)])) ++n;
    return std::string(e.iszero ? "Z" : "F") + std::to_string(n);
}

std::string tinvfilter::element_status(int index, double f, double bw) const {
    std::string name = element_name(index);
    if (name.empty()) name = "F";
    return "*" + name + "=" + format_float_pattern("0", f) + " Hz, BW=" + format_float_pattern("0.00", bw) +
           " Hz";
}

void tinvfilter::rebuild_cascade() {
    std::size_t p = 0, z = 0;
    for (const tformant& f : formants) (f.iszero ? z : p)++;
    const std::size_t nsec = std::max(p, z);
    while (invfilters.size() > nsec) invfilters.pop_back();
    while (invfilters.size() < nsec) {
        TFilterSection s;
        s.SetUseF0BW(true);
        s.SetGain(1.0);
        s.SetSampFreq(fsampfreq);
        invfilters.push_back(s);
    }
    for (TFilterSection& s : invfilters) {
        s.SetFilterType(tfiltertype::ftnone);
        s.SetSampFreq(fsampfreq);
    }
    std::size_t nextzero = 0, nextpole = 0;
    for (const tformant& f : formants) {
        if (!in_use(f)) continue;
        if (!f.iszero) {
            TFilterSection& s = invfilters[nextzero++];
            s.SetFilterType(s.GetFilterType() == tfiltertype::ftpole ? tfiltertype::ftboth
                                                                     : tfiltertype::ftzero);
            s.SetZeroF0(f.f0);
            s.SetZeroBW(f.bw);
        } else {
            TFilterSection& s = invfilters[nextpole++];
            s.SetFilterType(s.GetFilterType() == tfiltertype::ftzero ? tfiltertype::ftboth
                                                                     : tfiltertype::ftpole);
            s.SetPoleF0(f.f0);
            s.SetPoleBW(f.bw);
        }
    }
}

void tinvfilter::run_cascade(double* x, std::size_t n) {
    for (TFilterSection& s : invfilters) {
        s.reset();
        if (s.GetFilterType() == tfiltertype::ftnone && s.GetGain() == 1.0) continue;
        for (std::size_t i = 0; i < n; ++i) x[i] = s.filter(x[i]);
    }
}

void tinvfilter::recompute_outputs() {
    std::copy(flowarr.begin(), flowarr.end(), invflowarr.begin());
    run_cascade(invflowarr.data(), invflowarr.size());
    std::copy(derarr.begin(), derarr.end(), invderarr.begin());
    run_cascade(invderarr.data(), invderarr.size());
    const long long len = std::llround(fsampfreq / 10.0);
    invfilterarr.resize(static_cast<std::size_t>(std::max(0LL, len)));
    std::fill(invfilterarr.begin(), invfilterarr.end(), 0.0);
    if (len >= 1) {
        invfilterarr[static_cast<std::size_t>((len - 1) / 2)] = static_cast<double>(len - 1);
        run_cascade(invfilterarr.data(), invfilterarr.size());
    }
}

int tinvfilter::add_element(bool iszero, double f, double bw) {
    formants.push_back({iszero, f, bw});
    const std::size_t before = formants.size() - 1;
    sort_formants(formants);
    // The appended element is the last one with its frequency after the
    // stable sort.
    int idx = static_cast<int>(before);
    for (int i = static_cast<int>(formants.size()) - 1; i >= 0; --i)
        if (formants[i].f0 == f && formants[i].bw == bw && formants[i].iszero == iszero) {
            idx = i;
            break;
        }
    return idx;
}

void tinvfilter::delete_element(int index) {
    if (index < 0 || index >= static_cast<int>(formants.size())) return;
    std::swap(formants[static_cast<std::size_t>(index)], formants.back());
    formants.pop_back();
    sort_formants(formants);
}

int tinvfilter::set_element(int index, double f, double bw) {
    if (index < 0 || index >= static_cast<int>(formants.size())) return -2;
    tformant& e = formants[static_cast<std::size_t>(index)];
    e.f0 = f;
    e.bw = bw;
    // Keep following the same element through the re-sort.
    while (index > 0 && formants[index].f0 < formants[index - 1].f0) {
        std::swap(formants[index], formants[index - 1]);
        --index;
    }
    while (index + 1 < static_cast<int>(formants.size()) &&
           formants[index + 1].f0 < formants[index].f0) {
        std::swap(formants[index], formants[index + 1]);
        ++index;
    }
    return index;
}

void tinvfilter::signal_spectrum(const std::vector<double>& arr, int from, int to,
                                 tinvspectrum& out) {
    from = std::max(from, -invfilter_lead);
    to = std::min(to, invfilter_seglen + 1);
    const int n = to - from;
    if (n < 3 || !(fsampfreq > 0)) {
        out.clear();
        return;
    }
    double ss = 0;
    for (int i = from; i < to; ++i) ss += at(arr, i) * at(arr, i);
    const double p = ss / (n - 1);
    if (!(p > 0)) {
        out.clear();
        return;
    }
    const double ref = 10.0 * std::log10(p) - 40.0;
    fftin.resize(static_cast<std::size_t>(n));
    std::copy(arr.begin() + (from + invfilter_lead), arr.begin() + (to + invfilter_lead), fftin.begin());
    fft.SwapInRe(fftin);
    half_spectrum(fft, fsampfreq, out, [ref](double db) { return db - ref; });
}

void tinvfilter::filter_spectrum(tinvspectrum& out) {
    const std::size_t n = invfilterarr.size();
    if (n < 3) {
        out.clear();
        return;
    }
    filterin.resize(n);
    std::copy(invfilterarr.begin(), invfilterarr.end(), filterin.begin());
    filterfft.SwapInRe(filterin);
    half_spectrum(filterfft, fsampfreq, out, [](double db) { return -db; });  // the inverse's response
}

// ---- files ----

bool tinvfilter::read_for_file(const std::string& path, std::string* error) {
    try {
        TSetting ini;
        ini.SetManualIniClose(true);
        ini.SetLocation(Location::slfile);
        ini.SetFilename(path);
        if (!ini.ValueExists("Common", "nFormants") && ini.ReadSections().empty())
            throw std::runtime_error("The file " + path + " holds no filter");
        // A key that is missing takes its default; one that is there but is
        // no finite number is damage, named with its section.
        auto nonumber = [&](const std::string& sec, const std::string& key, const std::string& t) {
            return std::runtime_error("The file " + path + " holds no valid filter: \"" + key + "\"" +
                                      (sec == "Common" ? "" : " of " + sec) + " is \"" + t + "\", not a number");
        };
        const std::string count = ini.ReadString("Common", "nFormants", "");
        const std::int64_t n = ini.ReadInteger("Common", "nFormants", 0);
        if (!count.empty() && n == 0 && ini.ReadInteger("Common", "nFormants", 1) == 1)
            throw nonumber("Common", "nFormants", count);
        if (n < 0 || n > 10000) throw std::runtime_error("The file " + path + " holds no valid filter");
        std::vector<tformant> f(static_cast<std::size_t>(n));
        auto number = [&](const std::string& sec, const std::string& key, double def) {
            double v = def;
            const std::string t = ini.ReadString(sec, key, "");
            if (t.empty()) return def;
            if (!try_parse_float(t, v) || !std::isfinite(v)) throw nonumber(sec, key, t);
            return v;
        };
        for (std::int64_t i = 0; i < n; ++i) {
            const std::string sec = "Formant" + std::to_string(i);
            tformant& e = f[static_cast<std::size_t>(i)];
            e.iszero = ini.ReadBool(sec, "IsZero", false);
            e.f0 = number(sec, "F0", static_cast<double>(i) * 500.0);
            e.bw = number(sec, "Bandwidth", 100.0);
            // A bandwidth of 0 or less puts an inverse zero's pole on or
            // outside the unit circle: the flow would grow without bound.
            // An element at 0 Hz or below takes no part in the filter.
            if (e.f0 > 0 && !(e.bw > 0))
                throw std::runtime_error("The file " + path + " holds no valid filter: \"Bandwidth\" of " + sec +
                                         " is " + float_to_text(e.bw) + " Hz; it must be above 0");
        }
        sort_formants(f);
        formants = std::move(f);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

bool tinvfilter::write_for_file(const std::string& path, const std::string& version,
                                std::string* error) const {
    try {
        TSetting ini;
        ini.SetManualIniClose(true);
        ini.SetLocation(Location::slfile);
        ini.SetFilename(path);
        for (const std::string& s : ini.ReadSections()) ini.DeleteSection(s);
        ini.WriteString("Common", "Version", version);
        ini.WriteInteger("Common", "nFormants", static_cast<std::int64_t>(formants.size()));
        for (std::size_t i = 0; i < formants.size(); ++i) {
            const std::string sec = "Formant" + std::to_string(i);
            ini.WriteBool(sec, "IsZero", formants[i].iszero);
            ini.WriteString(sec, "F0", float_to_text(formants[i].f0));
            ini.WriteString(sec, "Bandwidth", float_to_text(formants[i].bw));
        }
        ini.IniClose();
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

void tinvfilter::log_lines(const std::string& filename, const std::string& channelname,
                           const std::string& timetext, int sigdigits, std::string& heading,
                           std::string& line) const {
    heading = "File name\tChannel\tTime [s]\t";
    line = filename + "\t" + channelname + "\t" + timetext + "\t";
    std::string bwhead, bwline;
    int n = 0;
    for (const tformant& f : formants) {
        if (!in_use(f)) continue;
        ++n;
        heading += (f.iszero ? "Z" : "F") + std::to_string(n) + " [Hz]\t";
        bwhead += "B" + std::to_string(n) + " [Hz]\t";
        line += format_significant(sigdigits, f.f0) + "\t";
        bwline += format_significant(sigdigits, f.bw) + "\t";
    }
    heading += bwhead;
    line += bwline;
}

tentities tinvfilter::label_entities() const {
    tentities e;
    int n = 0;
    for (const tformant& f : formants) {
        ++n;
        e.no.push_back({(f.iszero ? "Z" : "F") + std::to_string(n), f.f0, "Hz"});
        e.no.push_back({"B" + std::to_string(n), f.bw, "Hz"});
    }
    return e;
}

// ---- making channels ----

double invfilter_scale(tinvsignaltype type, bool convert, const std::string& unit,
                       double distance_cm) {
    if (type == tinvsignaltype::flow) return 1.0;
    const double r = convert && trimmed_lower(unit) == "pa" ? distance_cm / 100.0 : 0.3;
    return r * 4.0 * pi / air_density * 1000.0;
}

tinvmakeplan plan_invfilter_channels(const tdocument& doc, int src, const tinvfilter& filter,
                                     const tinvmakeoptions& opt, tprompter& prompter) {
    tinvmakeplan plan;
    if (src < 0 || src >= doc.totnchans()) throw std::runtime_error("There is no channel to inverse filter");
    if (!opt.saveflow && !opt.saveder) throw std::runtime_error("Choose at least one signal to save");
    const tchannel& sc = doc.channel(src);
    const double fs = sc.sampfreq;
    if (!(fs > 0)) throw std::runtime_error("The channel has no sampling frequency");
    const long long len = sc.sample_count();
    if (len < 2) throw std::runtime_error("The channel holds too few samples to inverse filter");
    for (int c : {opt.saveflow ? opt.savechanno : -1, opt.saveder ? opt.savederchanno : -1})
        if (c >= doc.totnchans()) throw std::runtime_error("Channel " + std::to_string(c) + " does not exist");
    if (opt.saveflow && opt.saveder && opt.savechanno >= 0 && opt.savechanno == opt.savederchanno)
        throw std::runtime_error("The flow and its derivative cannot go to the same channel");
    if ((opt.saveflow && opt.savechanno == src) || (opt.saveder && opt.savederchanno == src))
        throw std::runtime_error("The inverse filtered signals cannot replace the channel they are made from");

    auto index_of = [&](double t) { return std::llround(t * fs) - sc.xshift; };
    long long r0 = 0, r1 = len;  // written range, half open
    if (opt.range == tinvrange::visible) {
        r0 = index_of(opt.visiblefrom);
        r1 = index_of(opt.visibleto);
    } else if (opt.range == tinvrange::pink) {
        const double a = std::min(sc.cursors[7], sc.cursors[8]);
        const double b = std::max(sc.cursors[7], sc.cursors[8]);
        if (opt.timecursor < a || opt.timecursor > b) {
            if (prompter.ask("The cursor is not positioned between the pink cursors,\r do you want to make the channels anyway?",
                             "Are the pink cursors positioned correctly?", tbuttons::yesno,
                             ticon::question) != tanswer::yes)
                return plan;
        }
        r0 = index_of(a);
        r1 = index_of(b);
    }
    r0 = std::clamp(r0, 0LL, len);
    r1 = std::clamp(r1, 0LL, len);
    if (r1 <= r0) throw std::runtime_error("The range to inverse filter holds no samples");
    long long p0 = r0, p1 = r1;
    if (opt.range != tinvrange::entire) {
        const long long lead = std::llround(fs);
        p0 = std::max(0LL, r0 - lead);
        p1 = std::min(len, r1 + lead);
    }
    if (opt.beforemaking) opt.beforemaking();
    plan.go = true;
    plan.src = src;
    plan.opt = opt;
    plan.opt.beforemaking = nullptr;
    plan.filter = filter;
    plan.samples = sc.samples_slice(p0, p1);
    plan.fs = fs;
    plan.len = len;
    plan.r0 = r0, plan.r1 = r1, plan.p0 = p0, plan.p1 = p1;
    plan.mic = filter.signaltype == tinvsignaltype::mic;
    plan.converted = plan.mic && opt.convert && trimmed_lower(sc.yunit()) == "pa";
    plan.factor = invfilter_scale(filter.signaltype, opt.convert, sc.yunit(), opt.distance_cm) * filter.fflipfactor;
    plan.srcname = sc.name();
    plan.srcunit = sc.yunit();
    plan.srcxshift = sc.xshift;
    return plan;
}

tinvmakedata compute_invfilter_channels(const tinvmakeplan& plan, tjobcontext* job) {
    tinvmakedata data;
    if (!plan.go) return data;
    tinvfilter filter = plan.filter;
    const double fs = plan.fs;
    filter.set_sampfreq(fs);
    filter.rebuild_cascade();
    const std::size_t n = static_cast<std::size_t>(plan.p1 - plan.p0);
    // The passes over the samples, for the progress: reading and the
    // cascade for each signal, three more for a microphone's flow.
    const double passes = (plan.opt.saveflow ? (plan.mic ? 5.0 : 2.0) : 0.0) + (plan.opt.saveder ? 2.0 : 0.0);
    double done = 0;
    constexpr std::size_t block = 1 << 16;
    // Looks at the job every block of a pass.
    auto look = [&](std::size_t i) {
        if (job && i % block == 0) {
            job->check();
            job->progress((done + static_cast<double>(i) / std::max<std::size_t>(n, 1)) / passes);
        }
    };
    auto pass_done = [&] { done += 1; };
    auto fill = [&](std::vector<double>& x) {
        x.resize(n);
        plan.samples.for_each_chunk(0, static_cast<std::int64_t>(n), [&](const float* p, std::size_t m, std::int64_t pos) {
            double* out = x.data() + pos;
            look(static_cast<std::size_t>(pos));
            for (std::size_t i = 0; i < m; ++i) out[i] = plan.factor * p[i];
        });
        pass_done();
    };
    // As run_cascade, section after section, looking at the job between blocks.
    auto cascade = [&](std::vector<double>& x) {
        const double share = 1.0 / std::max<std::size_t>(filter.invfilters.size(), 1);
        const double start = done;
        for (std::size_t s = 0; s < filter.invfilters.size(); ++s) {
            TFilterSection& f = filter.invfilters[s];
            f.reset();
            if (f.GetFilterType() == tfiltertype::ftnone && f.GetGain() == 1.0) continue;
            for (std::size_t i = 0; i < n; i += block) {
                if (job) {
                    job->check();
                    job->progress((start + share * (static_cast<double>(s) + static_cast<double>(i) / n)) / passes);
                }
                const std::size_t e = std::min(i + block, n);
                for (std::size_t k = i; k < e; ++k) x[k] = f.filter(x[k]);
            }
        }
        done = start;
        pass_done();
    };
    if (plan.opt.saveflow) {
        std::vector<double>& flow = data.flow;
        fill(flow);
        if (plan.mic) {
            THPFilterSection& hp = filter.hpfilter;
            hp.SetSampFreq(fs);
            hp.SetF0(filter.fhpfilterfreq);
            hp.reset();
            for (std::size_t i = n; i-- > 0;) {
                look(n - 1 - i);
                flow[i] = hp.filter(flow[i]);
            }
            pass_done();
            double sum = 0;
            for (std::size_t i = 0; i < n; ++i) flow[i] = (sum += flow[i]) / fs;
            pass_done();
            hp.reset();
            for (std::size_t i = 0; i < n; ++i) {
                look(i);
                flow[i] = hp.filter(flow[i]);
            }
            pass_done();
        }
        cascade(flow);
    }
    if (plan.opt.saveder) {
        std::vector<double>& der = data.der;
        fill(der);
        if (!plan.mic) {
            for (std::size_t i = 0; i + 1 < n; ++i) der[i] = (der[i + 1] - der[i]) * fs;
            der[n - 1] = n >= 2 ? der[n - 2] : 0.0;
        }
        cascade(der);
    }
    if (job) job->progress(1.0);
    return data;
}

tinvmakeresult apply_invfilter_channels(tdocument& doc, const tinvmakeplan& plan, const tinvmakedata& data) {
    tinvmakeresult res;
    if (!plan.go) return res;
    const tinvmakeoptions& opt = plan.opt;
    const int src = plan.src;
    if (src < 0 || src >= doc.totnchans()) throw std::runtime_error("There is no channel to inverse filter");
    for (int c : {opt.saveflow ? opt.savechanno : -1, opt.saveder ? opt.savederchanno : -1})
        if (c >= doc.totnchans()) throw std::runtime_error("Channel " + std::to_string(c) + " does not exist");
    const double fs = plan.fs;
    const long long len = plan.len, r0 = plan.r0, r1 = plan.r1, p0 = plan.p0;
    const bool mic = plan.mic;
    const std::string& srcname = plan.srcname;
    const std::string& srcunit = plan.srcunit;
    const long long srcxshift = plan.srcxshift;
    const tentities entities = plan.filter.label_entities();
    auto target = [&](int chosen, int newpos) -> int {
        if (chosen >= 0) return chosen;
        tchannel& ch = doc.create_channel(newpos);
        // As long as the source, silent outside the range written below.
        const std::vector<float> zeros(static_cast<std::size_t>(std::min(len, 1LL << 16)), 0.0f);
        for (long long k = 0; k < len; k += static_cast<long long>(zeros.size()))
            ch.append_samples(zeros.data(),
                              static_cast<std::size_t>(std::min<long long>(len - k, zeros.size())));
        ch.nbits = 32;
        ch.format = tFormat::ieeefloat;
        ch.set_fsd(1.0);
        ch.sampfreq = fs;
        ch.orgsampfreq = fs;
        ch.xshift = srcxshift;
        ch.color = doc.new_channel_color(ch.channo());
        doc.set_axis_minmax(ch.channo(), {-1.7, 1.7});
        return ch.channo();
    };
    auto write = [&](int chno, const std::vector<double>& x, const std::string& name,
                     const std::string& unit) {
        tchannel& ch = doc.channel(chno);
        ch.set_name(name);
        ch.set_yunit(unit);
        ch.set_origin("Tessal inverse filter");
        const long long clen = ch.sample_count();
        // Tell the undo history what is overwritten (a chosen existing channel).
        doc.samples_changing(ch, static_cast<std::size_t>(std::clamp(r0, 0LL, clen)),
                             static_cast<std::size_t>(std::clamp(r1, 0LL, clen)));
        // Written one buffer at a time; the writes mark the drawing cache.
        std::vector<float> buf;
        constexpr long long piece = 1 << 16;
        for (long long i = r0; i < std::min(r1, clen); i += piece) {
            const long long m = std::min({piece, r1 - i, clen - i});
            buf.resize(static_cast<std::size_t>(m));
            for (long long k = 0; k < m; ++k)
                buf[static_cast<std::size_t>(k)] = static_cast<float>(x[static_cast<std::size_t>(i + k - p0)]);
            ch.write_samples(i, buf.data(), buf.size());
        }
        ch.bmpdirty = true;
        ch.add_label((static_cast<double>(r0 + ch.xshift)) / fs, static_cast<double>(r1 - r0) / fs,
                     "Inverse filter", "invfilt", entities);
        if (opt.autofsd) {
            float pk = 0;
            ch.for_each_chunk(0, ch.sample_count(), [&pk](const float* p, std::size_t m, std::int64_t) {
                for (std::size_t k = 0; k < m; ++k) pk = std::max(pk, std::fabs(p[k]));
            });
            if (pk > 0) ch.set_fsd(pk);
        }
        doc.theglobal.channel_changed(tchannelchange::samples(chno, r0, std::min(r1, clen)));
        doc.theglobal.channel_changed(tchannelchange::labels(chno));
        doc.theglobal.channel_changed(tchannelchange::properties(chno));
    };
    std::string flowunit, derunit;
    if (plan.converted) {
        flowunit = "l/s";
        derunit = "l/s2";
    } else if (!mic) {
        flowunit = srcunit;
        derunit = srcunit.empty() ? std::string("1/s") : srcunit + "/s";
    }
    if (opt.saveflow) {
        res.flowchanno = target(opt.savechanno, doc.totnchans());
        write(res.flowchanno, data.flow, srcname + " inverse filtered flow", flowunit);
    }
    if (opt.saveder) {
        const int pos = opt.saveflow && opt.savechanno < 0 ? res.flowchanno + 1 : doc.totnchans();
        res.derchanno = target(opt.savederchanno, pos);
        write(res.derchanno, data.der, srcname + " inverse filtered flow derivative", derunit);
    }
    doc.set_modified(true);
    doc.theglobal.channels_changed();
    doc.theglobal.fix_things();
    res.made = true;
    return res;
}

tinvmakeresult make_invfilter_channels(tdocument& doc, int src, tinvfilter& filter,
                                       const tinvmakeoptions& opt, tprompter& prompter) {
    const tinvmakeplan plan = plan_invfilter_channels(doc, src, filter, opt, prompter);
    if (!plan.go) return {};
    const tinvmakedata data = compute_invfilter_channels(plan);
    filter.set_sampfreq(plan.fs);
    return apply_invfilter_channels(doc, plan, data);
}

}  // namespace tessal
