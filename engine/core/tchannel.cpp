#include "engine/core/tchannel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "engine/core/tdocument.h"
#include "engine/store/blocks.h"

namespace tessal {

tchannel::tchannel(tdocument* doc, int chno)
    : fdoc(doc), fsamples(doc ? doc->block_cache() : tblockcache::process()) {
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
    for_each_chunk(0, sample_count(), [&](const float* p, std::size_t n, std::int64_t) {
        for (std::size_t i = 0; i < n; ++i)
            if (std::isfinite(p[i])) peak = std::max(peak, std::fabs(p[i]));
    });
    if (!set_fsd(peak)) set_fsd(1);
}

bool tchannel::get_usedither() const {
    int mode = fdoc ? fdoc->prefs.UseDither : 1;
    if (mode == 0) return true;
    if (mode == 1) return needsdither;
    return false;
}

// --- the samples --------------------------------------------------------------

void tchannel::check_span(std::int64_t from, std::int64_t to) const {
    if (from < 0 || to < from || to > sample_count())
        throw std::out_of_range("tchannel: span outside the samples");
}

void tchannel::check_count(std::int64_t from, std::size_t n) const {
    if (from < 0 || from > sample_count() || n > static_cast<std::uint64_t>(sample_count() - from))
        throw std::out_of_range("tchannel: span outside the samples");
}

std::shared_ptr<tblockcache> tchannel::block_cache() const {
    return fdoc ? fdoc->block_cache() : tblockcache::process();
}

float tchannel::sample(std::int64_t i) const {
    if (i < 0 || i >= sample_count())
        throw std::out_of_range("tchannel: sample outside the samples");
    float x = 0;
    fsamples.read(i, 1, &x);
    return x;
}

void tchannel::read_samples(std::int64_t from, std::size_t n, float* out) const {
    check_count(from, n);
    fsamples.read(from, n, out);
}

tsinglearr tchannel::samples_array(std::int64_t from, std::int64_t to) const {
    check_span(from, to);
    return fsamples.to_array(from, to);
}

tsamplestore tchannel::samples_slice(std::int64_t from, std::int64_t to) const {
    check_span(from, to);
    return fsamples.slice(from, to);
}

void tchannel::set_samples(const tsinglearr& samples) {
    adopt_samples(tsamplestore::from_array(samples, block_cache()));
}

void tchannel::adopt_samples(tsamplestore samples) {
    fsamples = std::move(samples);
    // New samples: the cache is built again, the stored figures go.
    bmpdirty = true;
    sigcachedirty = true;
}

void tchannel::write_samples(std::int64_t at, const float* p, std::size_t n) {
    check_count(at, n);
    if (n == 0) return;
    fsamples.write(at, p, n);
    samples_changed(at, at + static_cast<std::int64_t>(n), 0);
}

void tchannel::erase_samples(std::int64_t from, std::int64_t to) {
    check_span(from, to);
    if (from == to) return;
    fsamples.erase(from, to);
    samples_changed(from, to, -(to - from));
}

void tchannel::insert_samples(std::int64_t at, const float* p, std::size_t n) {
    check_span(at, at);
    if (n == 0) return;
    fsamples.insert(at, p, n);
    samples_changed(at, at, static_cast<std::int64_t>(n));
}

void tchannel::insert_samples(std::int64_t at, const tsamplestore& s) {
    check_span(at, at);
    if (s.empty()) return;
    fsamples.insert(at, s);
    samples_changed(at, at, s.size());
}

double tchannel::shifted_signal(long long n) const {
    const long long i = n - xshift;
    if (i < 0 || i >= sample_count()) return 0;
    float x = 0;
    fsamples.read(i, 1, &x);
    return x;
}

void tchannel::read_shifted(long long pos, std::size_t n, float* out) const {
    const long long end = pos + static_cast<long long>(n);
    const long long from = std::clamp(xshift, pos, end);
    const long long to = std::clamp(xshift + sample_count(), from, end);
    std::fill(out, out + (from - pos), 0.0f);
    if (to > from) read_samples(from - xshift, static_cast<std::size_t>(to - from), out + (from - pos));
    std::fill(out + (to - pos), out + n, 0.0f);
}

double tchannel::value_at_time(double t) const {
    double idx = std::round(t * sampfreq);
    if (!(std::fabs(idx) < 9e18)) return 0;
    return shifted_signal(static_cast<long long>(idx));
}

double tchannel::duration() const {
    return sampfreq > 0 ? static_cast<double>(sample_count()) / sampfreq : 0;
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

tsinglepair tchannel::block_minmax(const float* s, std::size_t from, std::size_t to) {
    // Eight running minima and maxima side by side (vector min/max
    // instructions), merged at the end. A NaN never replaces a value, in a
    // lane as in one sequential pass, so the result is the same.
    constexpr std::size_t lanes = 8;
    float lo[lanes], hi[lanes];
    for (std::size_t j = 0; j < lanes; ++j) {
        lo[j] = 1e38f;
        hi[j] = -1e38f;
    }
    std::size_t i = from;
    for (; i + lanes <= to; i += lanes)
        for (std::size_t j = 0; j < lanes; ++j) {
            const float x = s[i + j];
            lo[j] = x < lo[j] ? x : lo[j];
            hi[j] = x > hi[j] ? x : hi[j];
        }
    for (; i < to; ++i) {
        lo[0] = s[i] < lo[0] ? s[i] : lo[0];
        hi[0] = s[i] > hi[0] ? s[i] : hi[0];
    }
    float l = lo[0], h = hi[0];
    for (std::size_t j = 1; j < lanes; ++j) {
        l = lo[j] < l ? lo[j] : l;
        h = hi[j] > h ? hi[j] : h;
    }
    return {l, h};
}

void tchannel::compute_sigcache_blocks(std::size_t fromblock, std::size_t toblock) {
    constexpr auto B = static_cast<std::size_t>(sigcache_blocksize);
    const auto n = static_cast<std::size_t>(sample_count());
    const double alo = axis.GetLoValue(), ahi = axis.GetHiValue();
    // The extremes of one block (of the samples inside the axis when jumps
    // are skipped); an empty block past the last sample has none.
    auto extremes = [&](const float* s, std::size_t count) -> tsinglepair {
        if (!fskipjumps) return block_minmax(s, 0, count);
        float lo = 1e38f, hi = -1e38f;
        for (std::size_t i = 0; i < count; ++i) {
            double x = s[i];
            if (alo < x && x < ahi) {
                lo = std::min(lo, s[i]);
                hi = std::max(hi, s[i]);
            }
        }
        return {lo, hi};
    };
    // Blocks do not line up with the pieces the samples are stored in: each
    // is taken whole (gathered when it straddles pieces), so its lanes see
    // the samples as over one array.
    float buf[B];
    std::size_t b = fromblock;
    const auto first = static_cast<std::int64_t>(std::min(n, fromblock * B));
    const auto last = static_cast<std::int64_t>(std::min(n, toblock * B));
    for_each_fixed_piece(first, last, B, buf,
                         [&](const float* s, std::size_t count) { sigcache[b++] = extremes(s, count); });
    for (; b < toblock; ++b) sigcache[b] = extremes(buf, 0);
}

// The channel's extremes from the blocks, and the axis bounds they allow.
void tchannel::finish_sigcache() {
    float gmin = 1e38f, gmax = -1e38f;
    for (const tsinglepair& p : sigcache) {
        gmin = p.lo < gmin ? p.lo : gmin;
        gmax = p.hi > gmax ? p.hi : gmax;
    }
    sigmin = gmin;
    sigmax = gmax;
    axis.SetMaxHiValue(1.7 * std::max(ffsd, static_cast<double>(sigmax)));
    axis.SetMinLoValue(1.7 * std::min(-ffsd, static_cast<double>(sigmin)));
}

void tchannel::leave_views() {
    axis.set_textmetrics(nullptr);
    axis.OnInvalidate.clear();
    axis.OnResize.clear();
}

void tchannel::fix_sigcache() {
    if (!sigcachedirty) return;
    const auto nblocks = static_cast<std::size_t>(sample_count() / sigcache_blocksize + 1);
    if (sigcachedirty.full() || sigcache.size() != nblocks) {
        sigcache.assign(nblocks, tsinglepair{});
        compute_sigcache_blocks(0, nblocks);
    } else {
        const auto lo = static_cast<std::size_t>(std::max(0LL, sigcachedirty.from_block()));
        const auto hi = std::min(nblocks, static_cast<std::size_t>(sigcachedirty.to_block()));
        if (lo < hi) compute_sigcache_blocks(lo, hi);
    }
    sigcachedirty = false;
    finish_sigcache();
}

void tchannel::samples_changed(long long s, long long e, long long shift) {
    bmpdirty = true;
    tsigcachestate& st = sigcachedirty;
    ++st.generation_;
    if (st.full_) return;
    constexpr long long B = sigcache_blocksize;
    const long long n = sample_count();
    const long long nblocks = n / B + 1;
    const long long oldn = n - shift;
    // A cache that does not describe the samples as they were is rebuilt.
    if (oldn < 0 || static_cast<long long>(sigcache.size()) != oldn / B + 1) {
        st = true;
        return;
    }
    s = std::clamp(s, 0LL, oldn);
    e = std::clamp(e, s, oldn);
    const bool pending = st.lo_ < st.hi_;
    long long lo = s / B;
    long long hi;
    if (shift == 0) {
        hi = e > s ? (e - 1) / B + 1 : lo;
    } else if (shift % B == 0 && !(pending && st.hi_ > lo)) {
        // Blocks wholly after the edit hold the same samples, a whole
        // number of blocks away: their entries move, nothing is computed.
        const long long d = shift / B;
        const long long ob = (e + B - 1) / B;
        if (d < 0)
            sigcache.erase(sigcache.begin() + (ob + d), sigcache.begin() + ob);
        else
            sigcache.insert(sigcache.begin() + ob, static_cast<std::size_t>(d), tsinglepair{});
        hi = std::max(ob + d, lo + 1);
    } else {
        // Every later sample moved by a part of a block: the blocks from
        // the edit on hold other samples now.
        sigcache.resize(static_cast<std::size_t>(nblocks));
        hi = nblocks;
    }
    if (pending) {
        lo = std::min(lo, st.lo_);
        hi = std::max(hi, st.hi_);
    }
    st.lo_ = lo;
    st.hi_ = std::min(hi, nblocks);
    if (st.lo_ >= st.hi_) st.lo_ = st.hi_ = 0;
}

void tchannel::adopt_sigcache(std::vector<tsinglepair>&& cache) {
    if (cache.size() != static_cast<std::size_t>(sample_count() / sigcache_blocksize + 1) || fskipjumps) {
        sigcachedirty = true;
        return;
    }
    sigcache = std::move(cache);
    sigcachedirty = false;
    finish_sigcache();
}

void tchannel::set_sample_stats(float peak, bool hassumsq, double sumsq) {
    fstats.valid = true;
    fstats.hassumsq = hassumsq;
    fstats.size = sample_count();
    fstats.generation = sigcachedirty.generation();
    fstats.peak = peak;
    fstats.sumsq = sumsq;
}

bool tchannel::stats_hold() const {
    return fstats.valid && fstats.size == sample_count() &&
           fstats.generation == sigcachedirty.generation();
}

bool tchannel::stored_peak(float& peak) const {
    if (!stats_hold()) return false;
    peak = fstats.peak;
    return true;
}

bool tchannel::stored_sumsq(double& sumsq) const {
    if (!stats_hold() || !fstats.hassumsq) return false;
    sumsq = fstats.sumsq;
    return true;
}

}  // namespace tessal
