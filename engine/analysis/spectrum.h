// Magnitude spectra of a channel for the spectrum window and tessal-cli:
// one FFT frame at a time (at the time cursor) and the long-term average
// spectrum (LTAS) over a span; on an LTAS the formant cluster prominence
// (FCP) and average band levels; the frequency/level cursor's snapping and
// the spectral centroid; and the exact heading and lines each log command
// writes.
//
// Scaling: a frame's input is the channel's shifted samples times sqrt(2),
// transformed by TFFT (which divides by the window length W). A sine of RMS
// value r whose frequency lies on a bin therefore reads, at that bin,
// 20 log10(r) + 20 log10(mean of the window) dB: 0 dB more for the
// rectangle, about -6.02 dB for Hanning. Bin k of a spectrum of FFT size M
// lies at k fs / M.
//
// Frames read samples through a tsampleview, which is either the live
// channel (the UI thread) or a slice of the channel's store a worker reads
// (tsamplecopy), so a long LTAS never reads the document off its thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/analysiscache.h"
#include "engine/core/tpreferences.h"
#include "engine/core/tsiglabel.h"
#include "engine/dsp/arrays.h"
#include "engine/dsp/fftwindows.h"
#include "engine/dsp/tfft.h"
#include "engine/store/samplestore.h"

namespace tessal {

class tchannel;

// The names of the "Window" list, in TFFTWindow order, and the factor that
// gives the window length for a bandwidth (length = factor / bandwidth).
const char* spectrum_window_name(TFFTWindow w);
double spectrum_window_factor(TFFTWindow w);
// The window whose list name is `name` (case-insensitive; "rectangle" and
// "Hann" are accepted too); false when none is.
bool spectrum_window_from_name(const std::string& name, TFFTWindow& w);

struct tspectrumsettings {
    double bw = 50;                             // analysis bandwidth, Hz
    TFFTWindow fftwin = TFFTWindow::Blackman;
    int winpos = 1;                             // 0 starts at, 1 centred on, 2 ends at the cursor
    bool removedc = true;
    double fwinlength() const { return spectrum_window_factor(fftwin) / bw; }
    bool operator==(const tspectrumsettings&) const = default;
};

// Frame length N = round(fwinlength * fs), at least 2; 0 when the settings
// or the rate make no frame (bandwidth or rate not positive, or more than
// the FFT's largest size).
long long spectrum_frame_length(const tspectrumsettings& s, double fs);
// First sample (shifted index) of the frame placed at shifted index p.
long long spectrum_frame_start(long long p, long long N, int winpos);

// Samples as the frames read them: shifted index n reads sample n - xshift
// of the source, 0 outside it. The source is a channel, read through
// tchannel::read_samples, a sample store (a slice of a channel's, taken for
// a worker) or floats the view does not own (a worker's buffer); a window
// costs one read of the samples it covers, not a call per sample.
//
// Several threads may read one view (or several views of one channel) at
// once as long as nobody edits the channel meanwhile: reading the samples
// changes nothing in the channel. A store's reads are safe from any thread
// while nobody edits that store object (a slice is a store of its own, so
// the document may go on being edited). A view holds a pointer to its
// channel, store or floats and must not outlive them.
class tsampleview {
public:
    tsampleview() = default;
    // Over `size` floats at `data`, the first at shifted index xshift.
    tsampleview(const float* data, long long size, long long xshift, double fs)
        : fdata(data), fsize(size), fxshift(xshift), ffs(fs) {}
    // Over the channel's samples, its xshift and rate as they are now.
    explicit tsampleview(const tchannel& ch);
    // Over the samples of a store, the first at shifted index xshift.
    tsampleview(const tsamplestore& s, long long xshift, double fs)
        : fstore(&s), fsize(s.size()), fxshift(xshift), ffs(fs) {}

    long long size() const { return fsize; }
    long long xshift() const { return fxshift; }
    double fs() const { return ffs; }
    // out[0..N) = the samples of shifted indices start..start+N-1, 0 for
    // those outside the source (start may lie before it or past its end).
    void read(long long start, long long N, float* out) const;

private:
    const tchannel* fchannel = nullptr;
    const tsamplestore* fstore = nullptr;
    const float* fdata = nullptr;
    long long fsize = 0;
    long long fxshift = 0;
    double ffs = 0;
};
// The view over a channel (tsampleview(ch)).
tsampleview sample_view(const tchannel& ch);

// The samples of shifted indices first..last-1 of a channel (clipped to
// what it has), for a worker thread: a slice of the channel's store, taken
// on the thread that edits the channel.
struct tsamplecopy {
    tsamplestore data;
    long long xshift = 0;
    double fs = 0;
    tsampleview view() const { return {data, xshift, fs}; }
};
tsamplecopy copy_samples(const tchannel& ch, long long first, long long last);

// A magnitude spectrum: mag[k] for bins k = 0..M/2 (|X_k| of one frame, or
// the RMS magnitude over the frames of an LTAS).
struct tspectrum {
    bool ltas = false;
    double fs = 0;
    std::size_t M = 0;
    std::vector<double> mag;
    double t1 = 0, t2 = 0;   // the analysed span (both the cursor for a frame)
    long long frames = 0;
    bool empty() const { return M == 0; }
    double bin_freq(double k) const { return k * fs / static_cast<double>(M); }
};

// Level of bin k in dB relative to R: 20 log10 mag - R, with bins beyond
// the Nyquist bin or below 0 read as their mirror images (the input is
// real). A zero bin gives -infinity.
double spectrum_level(const tspectrum& s, long long k, double R);
// The reference offset R of "Level relative to...": 0 for "1" (0),
// 20 log10(FSD) for "FSD" (1), 20 log10(dbreference) for "Channel
// reference" (2).
double level_reference(int relativeto, double fsd, double dbreference);

// One TFFT and its buffers, reused frame after frame: once the frame length
// is fixed, computing a frame allocates nothing.
class tspectrumworkspace {
public:
    // The frame at time t (seconds) into `out`, reusing its storage.
    void frame(const tsampleview& v, const tspectrumsettings& s, double t, tspectrum& out);
    // The LTAS over t1..t2 (t1 <= t2) into `out`. `cancel` (may be null) is
    // polled between frames; `progress` (may be empty) hears the fraction
    // done now and then. With `available` (a worker whose samples are still
    // being copied in), a frame waits until that many samples of the view's
    // source are there. False when cancelled (out is then unusable).
    bool ltas(const tsampleview& v, const tspectrumsettings& s, double t1, double t2,
              tspectrum& out, const std::atomic<bool>* cancel = nullptr,
              const std::function<void(double)>& progress = {},
              const std::atomic<long long>* available = nullptr);

private:
    bool prepare(const tsampleview& v, const tspectrumsettings& s, long long& N);
    void fill(const tsampleview& v, long long start, long long N);

    TFFT fft;
    tdoublearr in;
    std::vector<float> window;  // the frame's samples as the view reads them
};

// The single-frame spectra of the shown channels, one slot per channel, each
// with its own workspace. A slot holds while the channel's samples under its
// frame, the settings and the frame position stay; change notices drop the
// fslots they touch. Recomputing a slot allocates nothing once its frame
// length is fixed.
class tspectrumframes : public tviewlistener {
public:
    tspectrumframes() = default;
    explicit tspectrumframes(tglobal& global) : fglobal(&global) { global.add_listener(this); }
    ~tspectrumframes() override {
        if (fglobal) fglobal->remove_listener(this);
    }
    tspectrumframes(const tspectrumframes&) = delete;
    tspectrumframes& operator=(const tspectrumframes&) = delete;

    // The frame of channel `chno` at time t; computed when the slot does not
    // hold it (`computed`, when given, tells which).
    const tspectrum& frame(const tchannel& ch, int chno, const tspectrumsettings& s, double t,
                           bool* computed = nullptr);
    void clear();
    void channel_changed(const tchannelchange& change) override;

private:
    struct tslot {
        bool valid = false;
        tspectrumsettings settings;
        double fs = 0;
        long long first = 0, last = 0;  // channel sample indices read
        double t = 0;
        tspectrumworkspace ws;
        tspectrum result;
    };
    std::vector<tslot> fslots;
    tglobal* fglobal = nullptr;
};

// Spectral centroid (sum k |X_k|) / (sum |X_k|) * fs / M over k < M/2; 0
// for an empty or silent spectrum.
double spectral_centroid(const tspectrum& s);

// Where the channel's LTAS span of a mode lies: mode 1 the selection
// (left..right), mode 2 the channel's cursors 1 and 2, smaller first.
void ltas_span(const tchannel& ch, int mode, double sel_left, double sel_right, double& t1,
               double& t2);
// The key an LTAS is cached under and the shifted sample range its frames
// read.
tanalysiskey ltas_key(const tchannel& ch, int chno, const tspectrumsettings& s, double t1,
                      double t2);
void ltas_sample_range(const tspectrumsettings& s, double fs, double t1, double t2,
                       long long& first, long long& last);

// ---------------------------------------------------------------- FCP, bands

struct tfcpsettings {
    double lotrendlinef = 1000, hitrendlinef = 5000;
    double lofcpf = 2000, hifcpf = 4000;
};

struct ttrend {
    double fcp = 0, fcpfreq = 1, fcplevel = 0, slope = 0;
    double lofreq = 1, lolevel = 0, hifreq = 10, hilevel = 0;
    bool valid = false;
};

// The formant cluster prominence of an LTAS: the largest rise of the
// spectrum (in dB, without reference offset) above its least-squares line
// against log2 frequency between the trend line ends, searched over the
// FCP range.
ttrend compute_fcp(const tspectrum& ltas, const tfcpsettings& f);

struct tfreqband {
    double lo = 0, hi = 0;
    bool checked = true;
    bool operator==(const tfreqband&) const = default;
};
struct tfreqbanddata {
    double level = 0;
    bool valid = false;
};
std::vector<tfreqband> default_freqbands();
// The average power per bin over bins round(M lo / fs)..round(M hi / fs), in
// dB without reference offset; NaN and invalid outside the spectrum.
tfreqbanddata band_level(const tspectrum& ltas, double lo, double hi);

// ---------------------------------------------------------------- cursor

struct tsnapresult {
    double f = 0, level = 0;
};
// f limited to 0..fs/2. Snap to curve: a cubic through the four bins around
// f; snap to peak: the nearest local maximum, refined by a parabola.
tsnapresult snap_to_curve(const tspectrum& s, double f, double R);
tsnapresult snap_to_peak(const tspectrum& s, double f, double R);

// The window's hidden F0 display: the strongest bin between 50 and 2000 Hz,
// and of the candidates peak / i (i = 1..20, above 50 Hz) the one whose
// harmonics up to the peak carry the most power, as long as the power at
// its own bin exceeds 1/1000 of the peak's. Single frames only.
struct tspectrumf0 {
    bool valid = false;
    double peakfreq = 0;
    double f0 = 0;
    int harmonics = 0;  // v * f0 for v = 1..harmonics
};
tspectrumf0 spectrum_f0(const tspectrum& s);

// ---------------------------------------------------------------- logs

struct tspectrumlog {
    std::string heading;
    std::vector<std::string> lines;
};

// "Log spectrum": the heading and one line per bin k = 1..M/2-1.
tspectrumlog spectrum_log(const tspectrum& s, double R, const tpreferences& prefs);
// "Log cursor": heading and line, with the span times first for an LTAS.
tspectrumlog cursor_log(bool ltas, double t, double t1, double t2, double f, double level,
                        const tpreferences& prefs);

// One channel's part of "Log meas." and "Make label".
struct tspectrummeas {
    int chno = 0;
    std::string filename;
    ttrend trend;
    std::vector<tfreqband> bands;            // every band, ticked or not
    std::vector<tfreqbanddata> banddata;     // one per band
};
// "Log meas.": one heading and one line over all channels given; the span
// is t1..t2.
tspectrumlog measurement_log(const std::vector<tspectrummeas>& chans, bool showfcp,
                             bool showbands, double t1, double t2, const tpreferences& prefs);
// "Make label": the entities of one channel (empty when there is nothing
// to store).
std::vector<tentity> spectrum_label_entities(const tspectrummeas& m, bool showfcp,
                                             bool showbands);
// lo + "-" + hi as the band list and the logs show it.
std::string band_text(const tfreqband& b, const char* sep = "-");

}  // namespace tessal
