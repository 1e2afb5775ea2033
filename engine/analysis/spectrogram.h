// Spectrogram strips: per pixel column a short-time spectrum, per pixel row
// the level of the bins the row's frequency covers, and the picture of the
// levels in one of five colour modes with a spectral tilt.
//
// A column at time t reads the frame of N = round(window length * fs)
// samples (at least 16) centred on t, times sqrt(2), windowed by TFFT; its
// levels are TFFT's 10 log10 |X|^2 (so a sine of RMS level L dB on a bin
// reads L plus 20 log10 of the window's mean, as in the spectrum window).
// Rows go from the bottom up: a row whose frequency lies less than two bins
// above the previous row's reads the level interpolated linearly (in dB)
// between its two bins, a row further up reads the strongest bin since the
// previous row, so a zoomed-out strip never hides a peak; rows at or above
// fs/2 read -10000 dB.
//
// Levels are stored column by column: levels[x * height + y], y = 0 the
// bottom row. Columns are independent, so a strip can be computed in groups
// of columns on several threads, each with its own workspace.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/colors.h"

namespace tessal {

struct tspectrogramsettings {
    double bw = 300;                            // analysis bandwidth, Hz
    TFFTWindow fftwin = TFFTWindow::Hanning;
    double fwinlength() const { return spectrum_window_factor(fftwin) / bw; }
    bool operator==(const tspectrogramsettings&) const = default;
};

// N = round(fwinlength * fs), at least 16; 0 when no frame can be formed,
// and 0 beyond spectrogram_max_frame: every column of a strip analyses a
// frame of its own (1.5 s at 44.1 kHz is already far narrower a band than
// a spectrogram can show), so a tiny bandwidth or an absurd sampling rate
// is refused rather than worked through column by column.
inline constexpr long long spectrogram_max_frame = 65536;
long long spectrogram_frame_length(const tspectrogramsettings& s, double fs);

// The level a strip shows above fs/2.
inline constexpr float spectrogram_above_nyquist = -10000.0f;

// One TFFT and its buffers for the columns of one thread.
class tspectrogramworkspace {
public:
    // The levels of the column at time t for the rows `rowfreq` (bottom row
    // first, nrows values) into out[0..nrows-1].
    void column(const tsampleview& v, const tspectrogramsettings& s, double t,
                const double* rowfreq, int nrows, float* out);

private:
    TFFT fft;
    tdoublearr in;
    std::vector<float> window;  // the column's samples as the view reads them
    // The levels of the bins the rows read, computed in bin order on first
    // use: a strip shows a few hundred rows, and the logarithms of bins no
    // row reads are most of a column's work.
    std::vector<double> db;
};

struct tspectrogramstrip {
    int width = 0, height = 0;
    std::vector<float> levels;  // [x * height + y], y = 0 bottom
    float at(int x, int y) const {
        return levels[static_cast<std::size_t>(x) * static_cast<std::size_t>(height) +
                      static_cast<std::size_t>(y)];
    }
    // The row of the highest level in column x (the lowest of equal ones):
    // the ridge a single tone leaves.
    int peak_row(int x) const {
        int best = 0;
        for (int y = 1; y < height; ++y)
            if (at(x, y) > at(x, best)) best = y;
        return best;
    }
};

// Computes columns x0..x1-1 of `strip` (sized width = times.size(), height
// = rowfreq.size() beforehand by the caller, or by compute_spectrogram).
void spectrogram_columns(tspectrogramworkspace& ws, const tsampleview& v,
                         const tspectrogramsettings& s, const std::vector<double>& times,
                         const std::vector<double>& rowfreq, int x0, int x1,
                         tspectrogramstrip& strip);

// The whole strip in groups of `group` columns shared out over `threads`
// threads (1: this thread). `cancel` (may be null) is polled between groups;
// `progress` (may be empty, called on this thread only when threads == 1)
// hears the fraction done after each group. False when cancelled.
bool compute_spectrogram(const tsampleview& v, const tspectrogramsettings& s,
                         const std::vector<double>& times, const std::vector<double>& rowfreq,
                         tspectrogramstrip& strip, int threads = 1,
                         const std::atomic<bool>* cancel = nullptr,
                         const std::function<void(double)>& progress = {}, int group = 10);

// The samples each column's frame reads, copied for a worker: column x
// reads N samples from starts[x], held at data[x * N]. An hour-long channel
// shown 1600 columns wide copies 1600 frames, not the hour.
struct tcolumnsamples {
    long long N = 0;
    double fs = 0;
    std::vector<double> times;
    std::vector<long long> starts;
    std::vector<float> data;
    tsampleview view(int x) const {
        return {data.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(N), N,
                starts[static_cast<std::size_t>(x)], fs};
    }
};
tcolumnsamples copy_column_samples(const tsampleview& v, const tspectrogramsettings& s,
                                   const std::vector<double>& times);
// The strip from such a copy, as compute_spectrogram does from the channel.
// `progress` (may be empty) hears the fraction of groups done after each
// group, from whichever of the threads finished it (so it must be safe to
// call from several threads; it never is at the same time for one group).
bool compute_spectrogram(const tcolumnsamples& c, const tspectrogramsettings& s,
                         const std::vector<double>& rowfreq, tspectrogramstrip& strip,
                         int threads = 1, const std::atomic<bool>* cancel = nullptr,
                         int group = 10, const std::function<void(double)>& progress = {});

// ---------------------------------------------------------------- picture

enum class tspegcolormode : int {
    grayscale = 0,
    invertedgrayscale = 1,
    colorscale = 2,
    invertedcolorscale = 3,
    channelcolor = 4
};
// The names of the "Color" list, in mode order.
const char* spectrogram_colormode_name(int mode);
// The mode whose name (case-insensitive, or "grey"/"gray", "colour",
// "inverted-grey"...) is given; false when none.
bool spectrogram_colormode_from_name(const std::string& name, int& mode);

// The colour of v (clipped to 0..1; 0 weak, 1 strong) as 0xFFRRGGBB.
// `channel` is the channel's colour (0x00BBGGRR) for mode 4.
std::uint32_t spectrogram_color(int mode, double v, TColor channel);
// Standard six-sector HSV to 0xFFRRGGBB, h in [0, 1) (taken modulo 1).
std::uint32_t hsv_to_rgb(double h, double s, double v);

// The tilt of a row at frequency f: log2(f / 1000) * tilt dB, -300 for f
// <= 0.
double spectrogram_tilt(double f, double tiltdb);

struct tspegpicture {
    double lo = -100, hi = 1;   // the level axis range, dB
    double R = 0;               // reference offset, dB
    double tilt = 6;            // dB per octave above 1 kHz
    int colormode = 0;
    TColor channel = 0;
};
// The level a pixel of a row at frequency f shows: the strip's level
// tilted, relative to the reference and limited to the level range, so
// lo for a row the picture leaves at the weak end (0 Hz, where the tilt is
// -300 dB, and above fs/2). NaN reads lo, as the picture shows it.
double spectrogram_shown_level(const tspegpicture& p, double f, double level);
// The picture of a strip: width * height 0xFFRRGGBB pixels, row by row with
// the top row first (the layout of an image).
void spectrogram_picture(const tspectrogramstrip& strip, const std::vector<double>& rowfreq,
                         const tspegpicture& p, std::vector<std::uint32_t>& pixels);

// "Log cursor": the heading "t [s]\tf [Hz]\tNote" and the line of time,
// frequency and note.
struct tspeglog {
    std::string heading, line;
};
tspeglog spectrogram_cursor_log(double t, double f, const tpreferences& prefs);

// The frequencies of the harmonic cursors: k * f / n for k = 1..100
// (empty when f <= 0 or n < 1).
std::vector<double> harmonic_cursor_freqs(double f, int n);

}  // namespace tessal
