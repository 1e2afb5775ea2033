#include "engine/core/tchannel.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tdocument.h"

namespace tessal {

tchannel::tchannel(tdocument* doc, int chno) : fdoc(doc) {
    axis.SetTickSpaceAim(1);
    axis.SetHeight(100);
    axis.fallowloscroll = true;
    axis.fallowhiscroll = true;
    axis.fallowmidscroll = true;
    axis.fallowdoubleclick = true;
    axis.fallowlogarithmicchange = true;
    axis.SetBackgroundColor(0xFFFFFF);
    axis.set_hilovalues(1, -1);
    axis.SetMinLoValue(-1);
    axis.SetMaxLoValue(1e300);
    axis.SetMinHiValue(-1e300);
    axis.SetMaxHiValue(1);
    axis.SetMaxValueDifference(1e300);
    if (doc) {
        axis.set_textmetrics(&doc->theglobal.axisfont());
        axis.SetWidth(doc->theglobal.channelaxiswidth());
        id = doc->maxchannelid++;
        color = doc->new_channel_color(chno);
    }
    fchanno = chno;
    showspectrum = showltas = showcorrelation = (chno == 0);
    set_origin("Unknown");
}

void tchannel::set_yunit(const std::string& v) {
    fyunit = v;
    axis.SetAxisText(v.empty() ? "" : "[" + v + "]");
}

void tchannel::set_visible(bool v) { fvisible = v; }

void tchannel::set_origin(const std::string& proc) { fcreated = make_createdata(proc); }

bool tchannel::usable_fsd(double v) { return std::isnormal(v); }

bool tchannel::set_fsd(double v) {
    if (!usable_fsd(v)) return false;
    ffsd = std::fabs(v);
    needsdither = true;
    if (fdoc) {
        fdoc->measurementdirty = true;
        fdoc->theglobal.channel_changed(tchannelchange::properties(fchanno));
    }
    axis.SetMaxHiValue(std::max(1.7 * ffsd, static_cast<double>(sigmax)));
    axis.SetMinLoValue(std::min(-1.7 * ffsd, static_cast<double>(sigmin)));
    if (axis.GetLogarithmic()) {
        // A logarithmic axis cannot show the negative half; only the ends
        // that stay positive move.
        if (axis.GetMaxHiValue() > 0) axis.SetHiValue(1.2 * ffsd);
        if (axis.GetMinLoValue() > 0) axis.SetLoValue(-1.2 * ffsd);
    } else {
        axis.set_hilovalues(1.2 * ffsd, -1.2 * ffsd);
    }
    return true;
}

void tchannel::set_file_fsd(double v) {
    if (set_fsd(v)) return;
    float peak = 0;
    for (float x : sig)
        if (std::isfinite(x)) peak = std::max(peak, std::fabs(x));
    if (!set_fsd(peak)) set_fsd(1);
}

bool tchannel::get_usedither() const {
    int mode = fdoc ? fdoc->prefs.UseDither : 1;
    if (mode == 0) return true;
    if (mode == 1) return needsdither;
    return false;
}

double tchannel::shifted_signal(long long n) const {
    long long i = n - xshift;
    if (i < 0 || i >= static_cast<long long>(sig.size())) return 0;
    return sig[static_cast<std::size_t>(i)];
}

double tchannel::value_at_time(double t) const {
    double idx = std::round(t * sampfreq);
    if (!(std::fabs(idx) < 9e18)) return 0;
    return shifted_signal(static_cast<long long>(idx));
}

double tchannel::duration() const {
    return sampfreq > 0 ? static_cast<double>(sig.size()) / sampfreq : 0;
}

// --- labels -----------------------------------------------------------------

void tchannel::touch_labels() {
    sort_labels();
    if (fdoc) {
        fdoc->set_modified(true);
        fdoc->theglobal.invalidate_paintboxes(false);
    }
}

void tchannel::add_label(const tsiglabel& label) {
    tsiglabel l = label;
    l.newtime = l.newduration = 0;
    l.selected = l.moving = l.playlabel = false;
    labels.push_back(std::move(l));
    touch_labels();
}

void tchannel::add_label(double time, double dur, const std::string& text,
                         const std::string& labeltype) {
    tsiglabel l;
    l.time = time;
    l.duration = dur;
    l.text = text;
    l.labeltype = labeltype;
    add_label(l);
}

void tchannel::add_label(double time, double dur, const std::string& text,
                         const std::string& labeltype, const tentities& entities) {
    tsiglabel l;
    l.time = time;
    l.duration = dur;
    l.text = text;
    l.labeltype = labeltype;
    l.entities = entities;
    add_label(l);
}

void tchannel::delete_label(int labelno) {
    if (labelno >= 0 && labelno < static_cast<int>(labels.size()))
        labels.erase(labels.begin() + labelno);
    if (fdoc) {
        fdoc->set_modified(true);
        fdoc->theglobal.invalidate_paintboxes(false);
    }
}

void tchannel::sort_labels() {
    // Stable: labels that start together keep the order they were added in.
    std::stable_sort(labels.begin(), labels.end(),
                     [](const tsiglabel& a, const tsiglabel& b) { return a.time < b.time; });
}

void tchannel::adjust_labelstime(double attime, double atdur) {
    double cut = attime - atdur;
    for (int i = static_cast<int>(labels.size()) - 1; i >= 0; --i) {
        tsiglabel& l = labels[i];
        double end = l.time + l.duration;
        if (atdur >= 0) {
            if (attime <= l.time)
                l.time += atdur;
            else if (attime <= end)
                l.duration += atdur;
        } else if (attime <= l.time) {
            if (cut <= l.time) {
                l.time += atdur;
            } else if (cut >= end) {
                labels.erase(labels.begin() + i);
            } else {
                l.duration = end - cut;
                l.time = attime;
            }
        } else if (attime <= end) {
            if (cut > end)
                l.duration = attime - l.time;
            else
                l.duration += atdur;
        }
    }
    if (fdoc) fdoc->set_modified(true);
}

void tchannel::select_labels(const std::string& labeltype) {
    for (tsiglabel& l : labels)
        if (l.labeltype == labeltype) l.selected = true;
}

void tchannel::select_all_labels() {
    for (tsiglabel& l : labels) l.selected = true;
}

void tchannel::deselect_labels() {
    for (tsiglabel& l : labels) l.selected = false;
}

void tchannel::deplay_labels() {
    for (tsiglabel& l : labels) l.playlabel = false;
}

int tchannel::labels_selectcount() const {
    return static_cast<int>(
        std::count_if(labels.begin(), labels.end(), [](const tsiglabel& l) { return l.selected; }));
}

tfoundlabel tchannel::find_label_at(int x, int y) const {
    tfoundlabel found;
    if (!fvisible || !fdoc) return found;
    if (y >= fdoc->theglobal.axisfont().text_height("Yg")) return found;
    const TAxis& xa = fdoc->xaxis;
    for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
        const tsiglabel& l = labels[i];
        int a = xa.value_to_notclippedpixel(l.time);
        int b = xa.value_to_notclippedpixel(l.time + l.duration);
        if (a <= x && x <= b) {
            found.labelno = i;
            found.shiftmode = 1;
            int tolerance = static_cast<int>(std::lround(std::min((b - a) / 10.0, 20.0)));
            if (std::abs(x - a) < tolerance) found.shiftmode = 0;
            if (std::abs(x - b) < tolerance) found.shiftmode = 2;
        }
    }
    return found;
}

// --- min/max cache ------------------------------------------------------------

void tchannel::fix_sigcache() {
    if (!sigcachedirty) return;
    sigcachedirty = false;
    const std::size_t n = sig.size();
    const std::size_t nblocks = n / sigcache_blocksize + 1;
    sigcache.assign(nblocks, tsinglepair{});
    const float* s = sig.data();
    float gmin = 1e38f, gmax = -1e38f;
    if (!fskipjumps) {
        for (std::size_t b = 0; b < nblocks; ++b) {
            std::size_t from = b * sigcache_blocksize;
            std::size_t to = std::min(n, from + sigcache_blocksize);
            float lo = 1e38f, hi = -1e38f;
            // Branch-free min/max: the compiler vectorises this loop.
            for (std::size_t i = from; i < to; ++i) {
                lo = s[i] < lo ? s[i] : lo;
                hi = s[i] > hi ? s[i] : hi;
            }
            sigcache[b] = {lo, hi};
            gmin = lo < gmin ? lo : gmin;
            gmax = hi > gmax ? hi : gmax;
        }
    } else {
        const double alo = axis.GetLoValue(), ahi = axis.GetHiValue();
        for (std::size_t b = 0; b < nblocks; ++b) {
            std::size_t from = b * sigcache_blocksize;
            std::size_t to = std::min(n, from + sigcache_blocksize);
            float lo = 1e38f, hi = -1e38f;
            for (std::size_t i = from; i < to; ++i) {
                double x = s[i];
                if (alo < x && x < ahi) {
                    lo = std::min(lo, s[i]);
                    hi = std::max(hi, s[i]);
                }
            }
            sigcache[b] = {lo, hi};
            gmin = std::min(gmin, lo);
            gmax = std::max(gmax, hi);
        }
    }
    sigmin = gmin;
    sigmax = gmax;
    axis.SetMaxHiValue(1.7 * std::max(ffsd, static_cast<double>(sigmax)));
    axis.SetMinLoValue(1.7 * std::min(-ffsd, static_cast<double>(sigmin)));
}

}  // namespace tessal
