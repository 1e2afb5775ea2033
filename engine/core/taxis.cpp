// TAxis: clamped ends, value<->pixel mapping, tick computation with label
// thinning, drag arithmetic and the limits dialog rules. Nothing here paints;
// the widget asks for ticks and positions and is told through OnInvalidate
// when it must repaint.
//
// Two guards recur below: a degenerate scale (equal ends, or a non-positive
// end on a logarithmic axis) maps everything to the low end rather than
// dividing by zero, and tick loops are bounded so that odd bounds can never
// produce an endless or huge tick list.
#include "engine/core/taxis.h"
#include "engine/core/ticklabels.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

// More ticks than this means the ranges are nonsense; show none rather than
// allocate without bound.
constexpr int max_ticks = 100000;

// Pixel coordinates are ints; keep far-out values representable.
int to_pixel(double x) {
    if (std::isnan(x)) return 0;
    x = std::clamp(x, -1e9, 1e9);
    return static_cast<int>(std::lround(x));
}

double clamp_between(double v, double a, double b) {
    if (a > b) std::swap(a, b);
    if (v < a) return a;
    if (v > b) return b;
    return v;
}

std::string log_error_text(const char* which, double v) {
    return std::string(which) + "=" + float_to_text(v) + ", must be >0 for log scale!";
}

// A linear tick is major when its label, after the leading run of digits,
// signs and separators (keeping at least one character), starts with '0':
// the round numbers ending in 0, and "0" itself.
bool linear_label_is_major(const std::string& label) {
    if (label.empty()) return false;
    size_t k = 0;
    auto numeric = [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == ',' || c == '.'; };
    while (k + 1 < label.size() && numeric(label[k])) ++k;
    return label[k] == '0';
}

// The digit of v rounded to one significant digit (v > 0).
int leading_digit(double v) {
    double e = std::floor(std::log10(v));
    long d = std::lround(v / std::pow(10.0, e));
    if (d >= 10) d = 1;
    if (d < 1) d = 1;
    return static_cast<int>(d);
}

// Next value of the 1, 2, ..., 9 times 10^k series above v. The small factors
// keep values a rounding error below a decade or integer from repeating.
double next_decade_tick(double v) {
    double x = v * 1.0000001;
    double k = std::trunc(std::log10(x));
    if (v < 0.99) k -= 1;
    double e = std::pow(10.0, k);
    return e * (std::trunc(v / e + 1e-10) + 1);
}

// Next white key above v (the black keys are skipped).
double next_note_tick(double v) {
    // floor, not truncation, so notes below note 0 (about 8 Hz) still step by one.
    int k = static_cast<int>(std::floor(freq_to_note(v * 1.0000000001)));
    int next = k + 1;
    if (is_black_key(next)) ++next;
    return note_to_freq(next);
}

int pitch_class(double note) {
    long n = std::lround(note);
    return static_cast<int>(((n % 12) + 12) % 12);
}

}  // namespace

TAxis::TAxis() : fmetrics(&default_textmetrics()) {}

// ---------------------------------------------------------------- geometry

void TAxis::SetWidth(int w) {
    if (w == fwidth) return;
    fwidth = w;
    invalidate();
}

void TAxis::SetHeight(int h) {
    if (h == fheight) return;
    fheight = h;
    invalidate();
}

bool TAxis::vertical() const {
    return fposition == taxisposition::posleft || fposition == taxisposition::posright;
}

int TAxis::length() const { return vertical() ? fheight : fwidth; }

void TAxis::set_textmetrics(const ttextmetrics* m) {
    fmetrics = m ? m : &default_textmetrics();
    font_changed();
}

void TAxis::invalidate() {
    ticksdirty = true;
    OnInvalidate.notify(*this);
}

// -------------------------------------------------------------------- ends

double TAxis::effective_lo(double stored) const {
    double lo = stored, mn = fminlovalue, mx = fmaxlovalue;
    if (fisinteger) {
        lo = std::round(lo);
        mn = std::ceil(mn);
        mx = std::floor(mx);
    }
    if (lo > mx) lo = mx;
    if (lo < mn) lo = mn;
    return lo;
}

// The difference bounds are measured from the effective low end: measured
// from an out-of-bounds stored low end they could put the high end below the
// low one and turn the scale upside down.
double TAxis::effective_hi(double storedhi, double lo) const {
    double hi = storedhi, mn = fminhivalue, mx = fmaxhivalue;
    double top = lo + fmaxvaluedifference, bottom = lo + fminvaluedifference;
    if (fisinteger) {
        hi = std::round(hi);
        mn = std::ceil(mn);
        mx = std::floor(mx);
        top = std::floor(top);
        bottom = std::ceil(bottom);
    }
    if (hi > mx) hi = mx;
    if (hi < mn) hi = mn;
    if (hi - lo > fmaxvaluedifference) hi = top;
    if (hi - lo < fminvaluedifference) hi = bottom;
    return hi;
}

double TAxis::GetLoValue() const { return effective_lo(flovalue); }

double TAxis::GetHiValue() const { return effective_hi(fhivalue, GetLoValue()); }

// A value the logarithmic scale cannot show is refused before anything is
// stored, so the axis never keeps a scale it cannot map.
void TAxis::store_lo(double v) {
    if (flogarithmic && v <= 0) throw EAxisError(log_error_text("LoValue", v));
    flovalue = v;
    ticksdirty = true;
}

void TAxis::store_hi(double v) {
    if (flogarithmic && v <= 0) throw EAxisError(log_error_text("HiValue", v));
    fhivalue = v;
    ticksdirty = true;
}

void TAxis::pull_marker() { fmarkervalue = clamp_between(fmarkervalue, GetLoValue(), GetHiValue()); }

void TAxis::changed_ends(double oldlo, double oldhi) {
    pull_marker();
    invalidate();
    if (GetLoValue() != oldlo || GetHiValue() != oldhi) fire_scale_changed();
}

void TAxis::SetLoValue(double v) {
    if (std::isnan(v)) return;
    double oldlo = GetLoValue(), oldhi = GetHiValue();
    store_lo(v);
    changed_ends(oldlo, oldhi);
}

void TAxis::SetHiValue(double v) {
    if (std::isnan(v)) return;
    double oldlo = GetLoValue(), oldhi = GetHiValue();
    store_hi(v);
    changed_ends(oldlo, oldhi);
}

void TAxis::set_hilovalues(double hi, double lo) {
    if (std::isnan(hi) || std::isnan(lo)) return;
    if (flogarithmic && lo <= 0) throw EAxisError(log_error_text("LoValue", lo));
    if (flogarithmic && hi <= 0) throw EAxisError(log_error_text("HiValue", hi));
    double oldlo = GetLoValue(), oldhi = GetHiValue();
    store_lo(lo);
    store_hi(hi);
    changed_ends(oldlo, oldhi);
}

void TAxis::SetMinLoValue(double v) {
    fminlovalue = v;
    if (flovalue < v) SetLoValue(v);
    else changed_ends(GetLoValue(), GetHiValue());
}

void TAxis::SetMaxLoValue(double v) {
    fmaxlovalue = v;
    if (flovalue > v) SetLoValue(v);
    else changed_ends(GetLoValue(), GetHiValue());
}

void TAxis::SetMinHiValue(double v) {
    fminhivalue = v;
    if (fhivalue < v) SetHiValue(v);
    else changed_ends(GetLoValue(), GetHiValue());
}

void TAxis::SetMaxHiValue(double v) {
    fmaxhivalue = v;
    if (fhivalue > v) SetHiValue(v);
    else changed_ends(GetLoValue(), GetHiValue());
}

void TAxis::SetMinValueDifference(double v) {
    fminvaluedifference = v;
    if (fhivalue - flovalue < v) SetHiValue(flovalue + v);
    else changed_ends(GetLoValue(), GetHiValue());
}

void TAxis::SetMaxValueDifference(double v) {
    fmaxvaluedifference = v;
    if (fhivalue - flovalue > v) SetHiValue(flovalue + v);
    else changed_ends(GetLoValue(), GetHiValue());
}

// ---------------------------------------------------------------- settings

void TAxis::SetPosition(taxisposition p) {
    // A handler reacting to a scale change must not flip the axis under the
    // drag or dialog that caused it.
    if (scalechangecalled || p == fposition) return;
    fposition = p;
    invalidate();
    auto_resize();
}

void TAxis::SetLogarithmic(bool v) {
    if (v == flogarithmic) return;
    if (v) {
        if (!(flovalue > 0)) throw EAxisError(log_error_text("LoValue", flovalue));
        if (!(fhivalue > 0)) throw EAxisError(log_error_text("HiValue", fhivalue));
    }
    flogarithmic = v;
    invalidate();
}

TAxis::tscalestate TAxis::scale_state() const {
    return {flovalue,    fhivalue,      fminlovalue,  fmaxlovalue, fminhivalue,
            fmaxhivalue, fminvaluedifference, fmaxvaluedifference, flogarithmic,
            fMusicScale, freverse,      fisinteger};
}

void TAxis::restore_scale_state(const tscalestate& s) {
    const double oldlo = GetLoValue(), oldhi = GetHiValue();
    flovalue = s.lo;
    fhivalue = s.hi;
    fminlovalue = s.minlo;
    fmaxlovalue = s.maxlo;
    fminhivalue = s.minhi;
    fmaxhivalue = s.maxhi;
    fminvaluedifference = s.mindiff;
    fmaxvaluedifference = s.maxdiff;
    flogarithmic = s.logarithmic;
    fMusicScale = s.music;
    freverse = s.reverse;
    fisinteger = s.isinteger;
    ticksdirty = true;
    changed_ends(oldlo, oldhi);
}

void TAxis::SetMusicScale(bool v) {
    fMusicScale = v;
    invalidate();
}

void TAxis::SetReverse(bool v) {
    freverse = v;
    invalidate();
}

void TAxis::SetIsInteger(bool v) {
    fisinteger = v;
    pull_marker();
    invalidate();
}

void TAxis::SetTickSpaceAim(int v) {
    ftickspaceaim = v;
    invalidate();
}

void TAxis::SetTickMarkSize(int v) {
    ftickmarksize = v;
    invalidate();
    auto_resize();
}

void TAxis::SetShowTickmarks(bool v) {
    fshowtickmarks = v;
    invalidate();
    auto_resize();
}

void TAxis::SetAxisText(const std::string& v) {
    faxistext = v;
    invalidate();
    auto_resize();
}

void TAxis::SetBackgroundColor(unsigned c) {
    fbackgroundcolor = c;
    invalidate();
}

void TAxis::SetAutosize(bool v) {
    fautosize = v;
    auto_resize();
}

void TAxis::font_changed() {
    invalidate();
    auto_resize();
}

void TAxis::Loaded() {
    ticksdirty = true;
    compute_ticks();
}

int TAxis::autosize_extent() const {
    const ttextmetrics& m = *fmetrics;
    if (vertical()) return std::max(m.text_width("12345"), m.text_width(faxistext)) + ftickmarksize;
    return m.text_height("Aj") * 4 / 3 + ftickmarksize;
}

void TAxis::auto_resize() {
    if (!fautosize) return;
    int e = autosize_extent();
    if (vertical()) fwidth = e;
    else fheight = e;
    ticksdirty = true;
    OnResize.notify(*this);
}

// ----------------------------------------------------------------- mapping

namespace {
struct tscale {
    bool ok;
    double fraction;
};
}  // namespace

// Fraction of v from the low end, before any flip; ok false on a degenerate
// scale.
static tscale raw_fraction(bool logarithmic, double lo, double hi, double v) {
    if (logarithmic) {
        if (!(lo > 0) || !(hi > 0) || !(v > 0) || hi == lo) return {false, 0};
        // Differences of logarithms: v / lo or hi / lo may overflow.
        return {true, (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))};
    }
    if (hi == lo) return {false, 0};
    return {true, (v - lo) / (hi - lo)};
}

double TAxis::value_to_notclipped_position(double v) const {
    tscale s = raw_fraction(flogarithmic, GetLoValue(), GetHiValue(), v);
    double f = std::isnan(s.fraction) ? 0 : s.fraction;
    if (vertical() != freverse) f = 1 - f;
    return f;
}

double TAxis::value_to_position(double v) const {
    return std::clamp(value_to_notclipped_position(v), 0.0, 1.0);
}

int TAxis::value_to_notclippedpixel(double v) const {
    int L = length();
    if (L <= 1) return 0;
    tscale s = raw_fraction(flogarithmic, GetLoValue(), GetHiValue(), v);
    int p = s.ok ? to_pixel(s.fraction * (L - 1)) : 0;
    if (vertical() != freverse) p = (L - 1) - p;
    return p;
}

int TAxis::value_to_pixel(double v) const {
    int L = length();
    if (L <= 1) return 0;
    return std::clamp(value_to_notclippedpixel(v), 0, L - 1);
}

double TAxis::pixel_to_value(int p) const {
    int L = length();
    double lo = GetLoValue(), hi = GetHiValue();
    double v = 0;
    bool degenerate = hi == lo || (flogarithmic && (!(lo > 0) || !(hi > 0)));
    if (L > 1 && !degenerate) {
        double q = p;
        if (vertical() != freverse) q = (L - 1) - q;
        if (flogarithmic) v = lo * std::pow(10.0, (std::log10(hi) - std::log10(lo)) * q / (L - 1));
        else v = lo + q * (hi - lo) / (L - 1);
    }
    if (std::isnan(v)) v = lo;  // ends so far apart that their difference overflows
    return clamp_between(v, lo, hi);
}

// ------------------------------------------------------------------- ticks

double TAxis::nice(double x) {
    if (x == 0 || !std::isfinite(x)) return x == 0 ? 0 : x;
    if (x < 0) return -nice(-x);
    double e = std::floor(std::log10(x));
    double p = std::pow(10.0, e);
    double r = x / p;
    double m = r < std::sqrt(2.0) ? 1 : r < std::sqrt(10.0) ? 2 : r < std::sqrt(50.0) ? 5 : 10;
    return p * m;
}

void TAxis::compute_ticks() {
    ticksdirty = false;
    fntickmarks = 0;
    ftickmarks.clear();
    ftickmarkpositions.clear();
    ftickmarktext.clear();
    ftickismajor.clear();
    int L = length();
    double lo = GetLoValue(), hi = GetHiValue();
    if (L < 1 || !std::isfinite(lo) || !std::isfinite(hi) || hi < lo) return;
    try {
        if (flogarithmic && lo > 0 && (fMusicScale || hi / lo > 4)) compute_log_ticks(L, lo, hi);
        else compute_linear_ticks(L, lo, hi);
        fntickmarks = static_cast<int>(ftickmarks.size());
    } catch (const std::bad_alloc&) {
        ftickmarks.clear();
        ftickmarkpositions.clear();
        ftickmarktext.clear();
        ftickismajor.clear();
        fntickmarks = 0;
    }
}

void TAxis::compute_linear_ticks(int L, double lo, double hi) {
    // An empty range has one tick at its only value, labelled with that value
    // (a range-relative "0" would mislabel it).
    if (hi == lo) {
        std::string label = lo == 0 ? "0" : format_significant(8, lo);
        ftickmarks.push_back(lo);
        ftickmarkpositions.push_back(value_to_pixel(lo));
        ftickmarktext.push_back(label);
        ftickismajor.push_back(linear_label_is_major(label));
        return;
    }
    int n;
    if (ftickspaceaim <= 0) {
        n = 3;
    } else {
        int s = ftickspaceaim;
        if (s == 1) {
            const ttextmetrics& m = *fmetrics;
            s = 3 * (vertical() ? m.text_height("0.1234") : m.text_width("0.1234"));
        }
        s = std::max(s, 1);
        n = static_cast<int>(std::lround(nice(L - 1)) / s) + 2;
    }
    double step = n != 0 ? nice((hi - lo) / n) : 1;
    if (!(step > 0) || !std::isfinite(step)) return;
    double first = std::trunc(lo / step) * step;
    if (lo > first) first += step;
    double cnt = std::trunc((hi - lo) / step) + 2;
    if (!(cnt >= 0) || cnt > max_ticks) return;
    int count = static_cast<int>(cnt);
    // Drop candidates past the high end (measured in pixels from the low end).
    while (count > 0) {
        double v = first + (count - 1) * step;
        if (std::lround((v - lo) / (hi - lo) * (L - 1)) > L - 1) --count;
        else break;
    }
    ftickmarks.reserve(count);
    for (int i = 0; i < count; ++i) {
        double v = first + i * step;
        std::string label = std::fabs(v / (hi - lo)) >= 1e-5 ? format_significant(8, v) : "0";
        ftickmarks.push_back(v);
        ftickmarkpositions.push_back(value_to_pixel(v));
        ftickismajor.push_back(linear_label_is_major(label));
        ftickmarktext.push_back(std::move(label));
    }
    // Labels that would run into each other: keep every 2nd, 5th, 10th ...
    std::vector<int> extents(ftickmarktext.size());
    for (std::size_t i = 0; i < extents.size(); ++i)
        extents[i] = vertical() ? fmetrics->text_height(ftickmarktext[i]) : fmetrics->text_width(ftickmarktext[i]);
    thin_even_labels(ftickmarktext, ftickmarkpositions, extents, std::llround(first / step));
}

void TAxis::compute_log_ticks(int L, double lo, double hi) {
    const bool notes = fMusicScale;
    double v = lo;
    for (int guard = 0; guard < max_ticks; ++guard) {
        double next = notes ? next_note_tick(v) : next_decade_tick(v);
        if (!(next > v) || next > hi) break;
        ftickmarks.push_back(next);
        v = next;
    }
    const size_t n = ftickmarks.size();
    std::vector<int> priority(n);
    for (size_t i = 0; i < n; ++i) {
        double t = ftickmarks[i];
        ftickmarkpositions.push_back(value_to_notclippedpixel(t));
        if (notes) {
            double note = freq_to_note(t);
            ftickmarktext.push_back(note_name(note, false));
            int pc = pitch_class(note);
            ftickismajor.push_back(pc == 0);
            static const int order[12] = {9, 0, 2, 4, 5, 7, 11, 1, 3, 6, 8, 10};
            priority[i] = static_cast<int>(std::find(order, order + 12, pc) - order);
        } else {
            std::string label = format_significant(8, t);
            int d = leading_digit(t);
            ftickismajor.push_back(d == 1 || d == 2 || d == 5);
            static const std::string order = "125348679";
            size_t k = label.find_first_of("123456789");
            size_t p = k == std::string::npos ? std::string::npos : order.find(label[k]);
            priority[i] = p == std::string::npos ? 9 : static_cast<int>(p);
            ftickmarktext.push_back(std::move(label));
        }
    }

    // Label thinning: labels claim their stretch of the axis in priority
    // order, so that with little room the round values win.
    occupied.assign(static_cast<size_t>(L), false);
    const int extra = notes ? 0 : 1;
    const int lastclass = notes ? 7 : 10;
    for (int prio = 0; prio < 12; ++prio) {
        for (size_t i = 0; i < n; ++i) {
            if (priority[i] != prio) continue;
            if (prio >= lastclass) {
                ftickmarktext[i].clear();
                continue;
            }
            auto span = [&](int& a, int& b) {
                const std::string& s = ftickmarktext[i];
                int ext = vertical() ? fmetrics->text_height(s) : fmetrics->text_width(s);
                ext = std::max(ext, 0);
                int c = ftickmarkpositions[i];
                a = std::max(c - ext / 2 - extra, 0);
                b = std::min(c + (ext - ext / 2) - 1 + extra, L - 1);
            };
            int a, b;
            span(a, b);
            bool free = true;
            for (int x = a; x <= b; ++x)
                if (occupied[static_cast<size_t>(x)]) free = false;
            if (!free) {
                ftickmarktext[i].clear();
                span(a, b);
            }
            for (int x = a; x <= b; ++x) occupied[static_cast<size_t>(x)] = true;
        }
    }
}

void TAxis::ensure_ticks() {
    if (ticksdirty) compute_ticks();
}

void TAxis::check_tick_index(int i) const {
    if (i < 0 || i >= fntickmarks) throw EAxisError("Tickmark index out of range:" + std::to_string(i));
}

int TAxis::nTickMarks() {
    ensure_ticks();
    return fntickmarks;
}

double TAxis::tickvalue(int i) {
    ensure_ticks();
    check_tick_index(i);
    return ftickmarks[static_cast<size_t>(i)];
}

int TAxis::tickposition(int i) {
    ensure_ticks();
    check_tick_index(i);
    return ftickmarkpositions[static_cast<size_t>(i)];
}

std::string TAxis::ticktext(int i) {
    ensure_ticks();
    check_tick_index(i);
    return ftickmarktext[static_cast<size_t>(i)];
}

bool TAxis::tickismajor(int i) {
    ensure_ticks();
    check_tick_index(i);
    return ftickismajor[static_cast<size_t>(i)];
}

// ------------------------------------------------------------------ marker

void TAxis::SetMarkerVisible(bool v) {
    fmarkervisible = v;
    OnInvalidate.notify(*this);
}

// The marker is data here, not ink: it is stored even while hidden or while a
// scale handler runs, and the widget draws it on its next paint.
void TAxis::SetMarkerValue(double v) {
    if (std::isnan(v)) return;
    fmarkervalue = clamp_between(v, GetLoValue(), GetHiValue());
    if (fmarkervisible) OnInvalidate.notify(*this);
}

int TAxis::GetMarkerPixel() const { return value_to_pixel(fmarkervalue); }

void TAxis::SetMarkerPixel(int p) { SetMarkerValue(pixel_to_value(p)); }

// ------------------------------------------------------------------- mouse

// Distance of pos from the low end of the axis (the bottom of a vertical
// axis and the left of a horizontal one, swapped when reversed).
double TAxis::from_low_end(int pos) const {
    int L = length();
    double e = vertical() ? L - pos : pos;
    if (freverse) e = L - e;
    return e;
}

int TAxis::drag_mode_at(int pos) const {
    int L = length();
    if (L < 24) return 0;
    if (!fallowloscroll && !fallowhiscroll) return 0;
    if (fallowloscroll && !fallowhiscroll) return 1;
    if (fallowhiscroll && !fallowloscroll) return 3;
    double e = from_low_end(pos);
    if (fallowmidscroll) {
        if (e > 2.0 * L / 3) return 3;
        if (e < L / 3.0) return 1;
        return 2;
    }
    return e > L / 2.0 ? 3 : 1;
}

void TAxis::mouse_down(int pos) {
    int L = length();
    rawdownpos = pos;
    mousescroll = 0;
    if (L < 24) return;
    downpos = std::clamp(pos, 11, L - 11);
    downlovalue = GetLoValue();
    downhivalue = GetHiValue();
    if (flogarithmic && (!(downlovalue > 0) || !(downhivalue > 0))) return;
    if (!(downhivalue > downlovalue)) return;
    mousescroll = drag_mode_at(downpos);
}

// The value grabbed at mouse down stays under the pointer while the other
// end stays put. Written as corrections to the start values so that a
// pointer back at its start point gives the start range exactly.
void TAxis::mouse_move(int pos) {
    if (mousescroll == 0) return;
    const double L = length();
    const double lo0 = downlovalue, hi0 = downhivalue;
    const double edown = from_low_end(downpos), ep = from_low_end(pos);
    const double ddown = L - edown, dp = L - ep;
    // Logarithmic drags work on the logarithms: ratios like hi0 / lo0 may
    // overflow. A result the scale cannot hold (overflow, underflow to 0)
    // leaves the end where it was.
    const double span = flogarithmic ? std::log10(hi0) - std::log10(lo0) : hi0 - lo0;
    auto moved = [&](double v0, double delta) {
        double v = flogarithmic ? v0 * std::pow(10.0, delta) : v0 + delta;
        return std::isfinite(v) && (!flogarithmic || v > 0) ? v : std::nan("");
    };
    double newlo = flovalue, newhi = fhivalue;
    if (mousescroll == 1) {
        double r = ddown / std::max(dp, 10.0);
        newlo = moved(lo0, -(r - 1) * span);
    } else if (mousescroll == 3) {
        double r = edown / std::max(ep, 10.0);
        newhi = moved(hi0, (r - 1) * span);
    } else {
        double shift = -(ep - edown) / L;
        newlo = moved(lo0, shift * span);
        newhi = moved(hi0, shift * span);
        if (std::isnan(newlo) || std::isnan(newhi)) newlo = newhi = std::nan("");
    }
    if (!std::isnan(newlo)) flovalue = newlo;
    if (!std::isnan(newhi)) fhivalue = newhi;
    pull_marker();
    invalidate();
    fire_scale_changing();
}

void TAxis::mouse_up(int pos) {
    if (mousescroll == 0) return;
    mousescroll = 0;
    if (pos != rawdownpos) fire_scale_changed();
}

// ---------------------------------------------------------- limits dialog

bool TAxis::limits_acceptable(const std::string& hitext, const std::string& lotext,
                              bool logarithmic) {
    double hi, lo;
    if (!try_parse_float(hitext, hi) || !try_parse_float(lotext, lo)) return false;
    // Infinite ends would make every position NaN.
    if (!std::isfinite(hi) || !std::isfinite(lo)) return false;
    if (!(hi > lo)) return false;
    if (logarithmic && !(lo > 0 && hi > 0)) return false;
    return true;
}

void TAxis::apply_limits(bool ok, double hi, double lo, bool logarithmic) {
    if (ok) {
        // One notification for the whole dialog, sent below.
        bool was = scalechangecalled;
        scalechangecalled = true;
        try {
            // The order keeps every intermediate state valid for the scale in force.
            if (logarithmic) {
                set_hilovalues(hi, lo);
                SetLogarithmic(true);
            } else {
                SetLogarithmic(false);
                set_hilovalues(hi, lo);
            }
        } catch (...) {
            scalechangecalled = was;
            fire_scale_changed();
            throw;
        }
        scalechangecalled = was;
    }
    fire_scale_changed();
}

// ------------------------------------------------------------------ events

namespace {
struct tcallguard {
    bool& flag;
    explicit tcallguard(bool& f) : flag(f) { flag = true; }
    ~tcallguard() { flag = false; }
};
}  // namespace

void TAxis::fire_scale_changed() {
    if (scalechangecalled || OnScaleChanged.empty()) return;
    tcallguard g(scalechangecalled);
    OnScaleChanged.notify(*this);
}

void TAxis::fire_scale_changing() {
    if (scalechangecalled || OnScaleChanging.empty()) return;
    tcallguard g(scalechangecalled);
    OnScaleChanging.notify(*this);
}

}  // namespace tessal
