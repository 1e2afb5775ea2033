// tchannel: one sampled signal of the document. Samples are 32-bit floats in
// the channel's physical unit; sample k lies at (k + xshift) / sampfreq
// seconds. Besides the samples a channel holds its labels, notes, amplitude
// axis, creation stamp, the coding it came from, the min/max drawing cache
// and the results of the last measurement pass. Painting belongs to the
// GUI's channel strip, which reads these fields.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/core/colors.h"
#include "engine/core/taxis.h"
#include "engine/core/tcreatedata.h"
#include "engine/core/tsiglabel.h"
#include "engine/dsp/arrays.h"
#include "engine/dsp/tcomplex.h"

namespace tessal {

class tdocument;

// Samples per block of the min/max drawing cache.
inline constexpr int sigcache_blocksize = 200;
inline constexpr int nmeasurementitems = 32;

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

    // Sample at time index n (0 outside the samples).
    double shifted_signal(long long n) const;
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

    // Rebuilds the min/max cache when sigcachedirty.
    void fix_sigcache();

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
    tsinglearr sig;
    std::vector<tsinglepair> sigcache;
    float sigmax = 0;
    float sigmin = 0;
    bool sigcachedirty = false;
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

    tdocument* fdoc;
    std::string fyunit;
    bool fvisible = true;
    int fchanno = 0;
    std::string fname;
    bool fskipjumps = false;
    double ffsd = 1;
    tcreatedata fcreated;
};

}  // namespace tessal
