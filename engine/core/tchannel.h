// tchannel: one sampled signal of the document. Samples are 32-bit floats in
// the channel's physical unit; sample k lies at (k + xshift) / sampfreq
// seconds. Besides the samples a channel holds its labels, notes, amplitude
// axis, creation stamp, the coding it came from, the min/max drawing cache
// and the results of the last measurement pass. Painting belongs to the
// GUI's channel strip, which reads these fields.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/colors.h"
#include "engine/core/taxis.h"
#include "engine/core/tcreatedata.h"
#include "engine/core/tsiglabel.h"
#include "engine/dsp/arrays.h"
#include "engine/dsp/tcomplex.h"
#include "engine/store/samplestore.h"

namespace tessal {

class tdocument;

// Samples per block of the min/max drawing cache.
inline constexpr int sigcache_blocksize = 200;
inline constexpr int nmeasurementitems = 32;

// Whether the min/max drawing cache needs work. Reads as a bool; setting
// it to true asks for a full rebuild, tchannel::samples_changed marks only
// the blocks an edit touched.
class tsigcachestate {
public:
    tsigcachestate& operator=(bool dirty) noexcept {
        full_ = dirty;
        lo_ = hi_ = 0;
        if (dirty) ++generation_;
        return *this;
    }
    operator bool() const noexcept { return full_ || lo_ < hi_; }
    bool full() const noexcept { return full_; }
    // The block range still to compute when not full.
    long long from_block() const noexcept { return lo_; }
    long long to_block() const noexcept { return hi_; }
    // Counts every marking: results kept beside the samples compare it.
    unsigned long long generation() const noexcept { return generation_; }

private:
    friend class tchannel;
    bool full_ = false;
    long long lo_ = 0, hi_ = 0;
    unsigned long long generation_ = 0;
};

class tchannel {
public:
    // `doc` may be null for a channel that lives outside a document (tests,
    // scratch channels); the document-wide flags are then left alone.
    tchannel(tdocument* doc, int chno);
    tchannel(const tchannel&) = delete;
    tchannel& operator=(const tchannel&) = delete;

    tdocument* document() const { return fdoc; }

    const std::string& yunit() const { return fyunit; }
    void set_yunit(const std::string& v);
    bool visible() const { return fvisible; }
    void set_visible(bool v);
    int channo() const { return fchanno; }
    void set_channo(int v) { fchanno = v; }
    const std::string& name() const { return fname; }
    void set_name(const std::string& v) { fname = v; }
    bool skipjumps() const { return fskipjumps; }
    void set_skipjumps(bool v) { fskipjumps = v; sigcachedirty = true; }
    double fsd() const { return ffsd; }
    // Full scale is a magnitude: set_fsd(-2) stores 2. A full scale of 0 (or
    // one that is not a finite number) would blank the trace and make every
    // file save fail, so it is refused: the channel keeps its FSD and the
    // result is false.
    bool set_fsd(double v);
    static bool usable_fsd(double v);
    // The FSD a file carries, set after the samples: a file whose FSD is 0
    // (or not a number) opens with the peak of its samples, 1 when silent.
    void set_file_fsd(double v);
    const tcreatedata& created() const { return fcreated; }
    void set_created(const tcreatedata& c) { fcreated = c; }
    void set_origin(const std::string& proc);
    bool get_usedither() const;

    // --- the samples --------------------------------------------------------
    //
    // The samples live in a block store (engine/store/samplestore.h): blocks
    // in memory, in the opened file's data or in the scratch file, shared
    // with the undo history and the clipboard. Everything reads and edits
    // them through these members. Indices are plain sample indices
    // 0..sample_count()-1 (xshift is not applied); spans are half-open,
    // from..to-1. A span or index outside the samples throws
    // std::out_of_range and leaves the channel as it was; an edit that
    // cannot get memory or scratch space throws and leaves it as it was too.
    //
    // Every edit brings the channel's own caches along the way the edit
    // commands do: it marks the min/max cache blocks it touched
    // (samples_changed, so fix_sigcache computes only those), which also
    // drops the stored peak and sum of squares; set_samples asks for a full
    // rebuild. An edit of no samples changes nothing and marks nothing. The
    // undo history (tdocument::samples_changing, before the edit) and the
    // change notice (tglobal::channel_changed, after it) stay the caller's.

    std::int64_t sample_count() const { return fsamples.size(); }
    // Sample i, for single samples; loops read spans.
    float sample(std::int64_t i) const;
    // out[0..n) = samples from..from+n-1.
    void read_samples(std::int64_t from, std::size_t n, float* out) const;
    // Calls f(const float* p, std::size_t n, std::int64_t pos) for the
    // samples from..to-1 in order, p[0..n) being samples pos..pos+n-1; the
    // pointer holds only during the call. Pieces follow the store's extents
    // (after edits as short as one sample) and end at every multiple of the
    // chunk limit when set, so a caller carries its state from one piece to
    // the next.
    template <class F>
    void for_each_chunk(std::int64_t from, std::int64_t to, F&& f) const;
    // The same in pieces of `size` samples counted from `from` (the last one
    // may be shorter), calling f(const float* p, std::size_t n), whatever
    // pieces the samples are stored in: for kernels whose result depends on
    // where a piece ends (lanes, blocks). A piece inside one stored piece is
    // handed over in place, the others are gathered in buf[0..size).
    template <class F>
    void for_each_fixed_piece(std::int64_t from, std::int64_t to, std::size_t size, float* buf,
                              F&& f) const;
    // Tests cut the pieces of for_each_chunk smaller: at every multiple of
    // n as well (0: at blocks only).
    void set_chunk_limit(std::size_t n) { fchunklimit = n; }
    std::size_t chunk_limit() const { return fchunklimit; }
    // A contiguous copy of all samples, or of from..to-1, for code that needs
    // one pointer over a bounded span.
    tsinglearr samples_array() const { return fsamples.to_array(); }
    tsinglearr samples_array(std::int64_t from, std::int64_t to) const;

    // All samples replaced (file readers, made channels).
    void set_samples(const tsinglearr& samples);
    // The store's samples as the channel's, sharing its blocks.
    void adopt_samples(tsamplestore samples);
    // The samples as a store: copies share its blocks (undo steps, the
    // clipboard, workers that read while the document goes on).
    const tsamplestore& samples() const { return fsamples; }
    tsamplestore samples_slice(std::int64_t from, std::int64_t to) const;
    // The samples of `s` inserted before sample `at`, sharing its blocks.
    void insert_samples(std::int64_t at, const tsamplestore& s);
    // Samples at..at+n-1 overwritten by p[0..n).
    void write_samples(std::int64_t at, const float* p, std::size_t n);
    // Samples from..to-1 removed; the later ones move down.
    void erase_samples(std::int64_t from, std::int64_t to);
    // p[0..n) inserted before sample `at` (at == sample_count() appends).
    void insert_samples(std::int64_t at, const float* p, std::size_t n);
    void append_samples(const float* p, std::size_t n) { insert_samples(sample_count(), p, n); }

    // Sample at time index n (0 outside the samples).
    double shifted_signal(long long n) const;
    // out[0..n) = the samples at time indices pos..pos+n-1 (index plus
    // xshift), zeros where there are none: shifted_signal over a span, for
    // loops that walk time (savers, text export, level readings).
    void read_shifted(long long pos, std::size_t n, float* out) const;
    // Samples that lie at time t (index round(t * sampfreq)).
    double value_at_time(double t) const;
    double duration() const;

    // Labels. Every add keeps `labels` sorted and marks the document modified.
    void add_label(const tsiglabel& label);
    void add_label(double time, double duration, const std::string& text,
                   const std::string& labeltype);
    void add_label(double time, double duration, const std::string& text,
                   const std::string& labeltype, const tentities& entities);
    void delete_label(int labelno);
    void sort_labels();
    void adjust_labelstime(double attime, double atdur);
    void select_labels(const std::string& labeltype);
    void select_all_labels();
    void deselect_labels();
    void deplay_labels();
    int labels_selectcount() const;
    // The label under pixel (x, y) of the waveform area, by the document's
    // time axis and axis font.
    tfoundlabel find_label_at(int x, int y) const;

    // The channel leaves the document (deleted, or held by the undo
    // history to come back later): the views that hung on its axis are
    // forgotten, so that none of them is told of it once they are gone.
    void leave_views();

    // Brings the min/max cache up to date: a full rebuild after
    // sigcachedirty = true, only the marked blocks after samples_changed.
    void fix_sigcache();
    // Told after samples s..e-1 (indices before the change) were replaced
    // and the later samples moved by `shift` (the tchannelchange::samples
    // numbers): marks the cache blocks whose samples changed, moving the
    // cached blocks after the edit when the shift is a whole number of
    // blocks, and marks the drawing dirty.
    void samples_changed(long long s, long long e, long long shift);
    // A complete min/max cache computed elsewhere (while the samples were
    // read): taken as fix_sigcache would have built it.
    void adopt_sigcache(std::vector<tsinglepair>&& cache);
    // The min/max of samples from..to-1 as the cache holds them.
    static tsinglepair block_minmax(const float* s, std::size_t from, std::size_t to);

    // Peak magnitude and sum of squares of the samples, kept when a pass
    // that read every sample anyway computed them (opening a file); they
    // hold until the samples change (any marking of the cache, a new array).
    void set_sample_stats(float peak, bool hassumsq, double sumsq);
    bool stored_peak(float& peak) const;
    bool stored_sumsq(double& sumsq) const;

    // Measurement items 0..31 (headings, numbers, texts, units).
    std::string get_measurementheading(int itemno) const;
    std::string get_measurementvalue(int itemno) const;
    double get_measurementfloat(int itemno) const;
    std::string get_measurementunit(int itemno) const;
    std::string get_infotext(const std::string& separator) const;
    std::string get_measurementtext(const std::string& separator) const;

    // Plain data, read and written directly by the document, file readers
    // and windows.
    std::string filename;
    int nbits = 0;
    bool needsdither = false;
    tFormat format = tFormat::pcm;
    int id = 0;
    double dbreference = 0;
    TColor color = 0;
    double sampfreq = 0;
    double orgsampfreq = 0;
    int stereochanno = -1;
    long long xshift = 0;
    double yshift = 0;
    std::vector<double> cursors = std::vector<double>(9, 0.0);
    std::vector<TColor> cursorcolors{std::begin(cursorcolor_defaults),
                                     std::end(cursorcolor_defaults)};
    double peak = 0, sd = 0, sdpos = 0, rms = 0, rmsA = 0, rmsC = 0, integral = 0, avg = 0,
           avgpos = 0, avggt = 0, ymax = 0, ymin = 0;
    bool bmpdirty = true;
    // Which channels the spectrum, long-term spectrum and correlation
    // windows show. Their results are kept by engine/analysis, not here.
    bool showspectrum = false;
    bool showltas = false;
    bool showcorrelation = false;
    std::vector<tsinglepair> sigcache;
    float sigmax = 0;
    float sigmin = 0;
    tsigcachestate sigcachedirty;
    bool epgexists = false;
    double epgsampfreq = 0;
    std::vector<std::uint64_t> epg;
    TAxis axis;
    tsiglabels labels;
    std::vector<std::string> notes;
    TColor notescolor = 0xFFFFFF;

private:
    bool measurement_number(int itemno, double& v) const;
    void touch_labels();
    void compute_sigcache_blocks(std::size_t from, std::size_t to);
    void check_span(std::int64_t from, std::int64_t to) const;
    // The same for n samples from `from` (n may be past what a signed count holds).
    void check_count(std::int64_t from, std::size_t n) const;
    void finish_sigcache();
    bool stats_hold() const;

    struct tsamplestats {
        bool valid = false, hassumsq = false;
        std::int64_t size = 0;
        unsigned long long generation = 0;
        float peak = 0;
        double sumsq = 0;
    };
    tsamplestats fstats;

    // The cache new blocks of this channel are counted in.
    std::shared_ptr<tblockcache> block_cache() const;

    std::size_t fchunklimit = 0;
    tdocument* fdoc;
    tsamplestore fsamples;
    std::string fyunit;
    bool fvisible = true;
    int fchanno = 0;
    std::string fname;
    bool fskipjumps = false;
    double ffsd = 1;
    tcreatedata fcreated;
};

template <class F>
void tchannel::for_each_chunk(std::int64_t from, std::int64_t to, F&& f) const {
    if (fchunklimit == 0) {
        fsamples.for_each_chunk(from, to, f);
        return;
    }
    const auto C = static_cast<std::int64_t>(fchunklimit);
    fsamples.for_each_chunk(from, to, [&](const float* p, std::size_t n, std::int64_t pos) {
        const std::int64_t end = pos + static_cast<std::int64_t>(n);
        while (pos < end) {
            const std::int64_t stop = std::min(end, (pos / C + 1) * C);
            f(p, static_cast<std::size_t>(stop - pos), pos);
            p += stop - pos;
            pos = stop;
        }
    });
}

template <class F>
void tchannel::for_each_fixed_piece(std::int64_t from, std::int64_t to, std::size_t size, float* buf,
                                    F&& f) const {
    std::size_t filled = 0;
    for_each_chunk(from, to, [&](const float* p, std::size_t n, std::int64_t) {
        while (n > 0) {
            if (filled == 0 && n >= size) {
                f(p, size);
                p += size;
                n -= size;
                continue;
            }
            const std::size_t take = std::min(size - filled, n);
            std::copy_n(p, take, buf + filled);
            filled += take;
            p += take;
            n -= take;
            if (filled == size) {
                f(static_cast<const float*>(buf), size);
                filled = 0;
            }
        }
    });
    if (filled > 0) f(static_cast<const float*>(buf), filled);
}

}  // namespace tessal
