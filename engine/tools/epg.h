// Electropalatography: the numbers behind the "EPG" window and its
// "Contact evolution" companion, and behind `tessal-cli epg`.
//
// A frame is 64 bits: byte r is electrode row r (0 at the back of the
// palate, 7 at the front), bit c of that byte is column c, a set bit is
// contact. Positions (7,0) and (7,7) carry no electrode; they hold the sync
// marks. Here live the eleven contact indices (TExtractionMethod), the
// average palate over a frame range, the centres of gravity, the colours of
// an electrode and of a row band, the channels "Make channels!" makes (the
// second making of a method overwrites its first channel), and the palate
// grid file (the electrode positions on a photograph, in a tagged container
// with file id "EPGgrid").
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/formats/safereplace.h"

namespace tessal {

class tjobcontext;

class tchannel;
class tdocument;

inline constexpr int epg_rows = 8;
inline constexpr int epg_cols = 8;

using tepgmatrix = std::array<std::array<double, epg_cols>, epg_rows>;  // [row][column]

// A palate grid file that cannot be read or holds no usable positions.
class EEPGError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline bool epg_contact(std::uint64_t frame, int r, int c) {
    return (frame >> (8 * r + c)) & 1u;
}
// The frame with these row bytes (row 0 first).
std::uint64_t epg_frame(const std::array<std::uint8_t, epg_rows>& rowbytes);
// Whether (r, c) carries an electrode (all but (7,0) and (7,7)).
inline bool epg_is_electrode(int r, int c) { return !(r == 7 && (c == 0 || c == 7)); }
// Electrodes in row r: 8, and 6 in the front row.
inline int epg_row_electrodes(int r) { return r == 7 ? 6 : 8; }
// Electrodes of row r in contact (the sync positions do not count).
int epg_row_contacts(std::uint64_t frame, int r);

// One contact index.
class TExtractionMethod {
public:
    int method = 0;
    std::string methodname;
    tepgmatrix weights{};
    double methodfsd = 1;
    bool countblanks = false;      // electrodes without contact count in the denominator
    bool countzeroweight = false;  // electrodes of weight 0 count too
    int channelid = -1;            // id of the channel last made from this method
    double frontmostthreshold = 0;

    // The index of one frame.
    double extract(std::uint64_t frame) const;
};

inline constexpr int frontmost_method = 9;
// The eleven methods in list order ("Center of gravity (COG)" ... "Sync").
std::vector<TExtractionMethod> make_extraction_methods();

// The frames a selection covers: round(t * epgsampfreq) for both ends,
// clamped to the frames there are. lastframe is -1 without frames.
struct tepgrange {
    int startindex = 0;
    int endindex = 0;
    int lastframe = -1;
};
tepgrange epg_frame_range(const tchannel& ch, double t1, double t2);

// Per electrode, the fraction of frames startindex..endindex (inclusive)
// with contact; all 0 for an empty range. With a job, it looks there
// between blocks of frames (to stop when cancelled) and reports progress.
tepgmatrix average_palate(const std::vector<std::uint64_t>& epg, int startindex, int endindex,
                          tjobcontext* job = nullptr);

// Centre of gravity in electrode units: row (0.5 at the back row's middle)
// and column; both 0 when nothing is in contact. Only electrodes count:
// the sync marks at (7,0) and (7,7) never do, so the row equals the
// "Center of gravity (COG)" index of the frame.
struct tepgcog {
    double row = 0;
    double col = 0;
    bool any = false;
};
tepgcog frame_cog(std::uint64_t frame);
// The same over an average palate, each electrode weighted by its contact
// fraction (for one frame it equals frame_cog). The EPG window's "Show COG"
// and `tessal-cli epg` both show this number for a selection.
tepgcog palate_cog(const tepgmatrix& palate);
// "COG row 5.19, column 3.5" with `digits` significant digits, or
// "No contact".
std::string epg_cog_text(const tepgcog& cog, int digits);

struct trgb {
    std::uint8_t r = 255, g = 255, b = 255;
    bool operator==(const trgb&) const = default;
};
// Colour of an electrode in column c with contact fraction p: grey in black
// mode; in colour mode the left and right columns tint differently.
trgb electrode_color(double p, int c, bool colormode);
// Colour of a row band whose share of electrodes in contact is `share`
// (0..1): grey from white (none) to black (all) in black mode; in colour
// mode the hue follows the share (red for few, through yellow, green and
// blue to red again for all), `spread` (0..1: how far the contacts lie
// from the palate's middle) the saturation and `centre` (the contacts'
// mean column, 0..7) the value. No contact is white in both modes. The
// contact evolution plot and its colour scale (spread 1, centre 3.5) both
// take their colours from here.
trgb contact_share_color(double share, bool colormode, double spread = 1, double centre = 3.5);
// Colour of row r's band in the contact evolution plot.
trgb contact_band_color(std::uint64_t frame, int r, bool colormode);

// Window title for the channel's frames.
std::string epg_title(const tchannel& ch, const tepgrange& range);

// The frame shown at time t in the contact evolution plot, -1 outside.
long long epg_frame_at(const tchannel& ch, double t);
// Band of row r in a plot H pixels high: from y0 (top) to y1 (bottom),
// row 0 at the bottom.
struct tepgband {
    int y0 = 0, y1 = 0;
};
tepgband contact_band(int r, int H);

// The contact evolution picture, W x H pixels row by row from the top:
// column x shows the frame at time columntimes[x] (white where there is
// none), eight bands with row 0 at the bottom.
std::vector<trgb> contact_evolution_raster(const tchannel& ch, const std::vector<double>& columntimes,
                                           int H, bool colormode);

// "Make channels!": one channel per checked method with one sample per
// frame of channel `srcchno`. A method whose channelid names a channel of
// the document writes into that channel; otherwise a new channel goes at
// the end and its id is remembered. Returns the number of the last channel
// made (-1 when nothing was made). Refits the time axis and marks the
// document modified with no file name.
inline constexpr const char* make_epg_channels_caption = "Make EPG channels";
int make_epg_channels(tdocument& doc, int srcchno, std::vector<TExtractionMethod>& methods,
                      const std::vector<bool>& checked);
// The same in two steps, so that the indices of a long recording can be
// computed on a worker: the samples of each checked method (empty for the
// others) from a copy of the frames, looking at `job` (may be null) between
// blocks; then, on the document's thread, the channels written as above.
struct tepgmakedata {
    double fs = 0;
    std::vector<bool> made;           // per method: checked
    std::vector<tsinglearr> samples;  // per method
};
tepgmakedata compute_epg_channels(const std::vector<std::uint64_t>& frames, double fs,
                                  const std::vector<TExtractionMethod>& methods,
                                  const std::vector<bool>& checked, tjobcontext* job = nullptr);
int apply_epg_channels(tdocument& doc, std::vector<TExtractionMethod>& methods, tepgmakedata data);

// Electrode positions on a palate picture as fractions of its width (x)
// and height (y).
struct tpalategrid {
    tepgmatrix x{}, y{};
};
// x = (r + 1) / 10, y = (c + 1) / 10.
tpalategrid default_palate_grid();
// The picture's path with its extension changed to ".tessalEPGgrid".
std::string palate_grid_filename(const std::string& picturepath);
// Writes the grid file (file id "EPGgrid", section "pointpos", "x<r><c>" and
// "y<r><c>"); a failed save leaves an existing file as it was.
void save_palate_grid(const std::string& path, const tpalategrid& grid,
                      tfileops& ops = tfileops::system());
// Reads a grid file; EEPGError with the reason when the file is not a grid
// file, lacks a position, or holds one that is not a number in 0..1.
tpalategrid load_palate_grid(const std::string& path);

struct tpointf {
    double x = 0, y = 0;
};
// Corners of the contact surface: point [i][j] lies between electrodes
// rows i-1, i and columns j-1, j, at the intersection of the diagonals of
// the four (the grid is extended by one row and column on every side by
// continuing its lines). The surface of electrode (r, c) is the
// quadrilateral [r][c], [r+1][c], [r+1][c+1], [r][c+1].
using tpalatemidpos = std::array<std::array<tpointf, epg_cols + 1>, epg_rows + 1>;
tpalatemidpos palate_midpos(const tpalategrid& grid);
// The picture point of electrode coordinates (r, c), fractional, by
// bilinear interpolation between the electrodes (continued linearly beyond
// the outer ones): (row COG - 0.5, column COG - 0.5) places a COG.
tpointf grid_point_at(const tpalategrid& grid, double r, double c);
// The electrode nearest to (x, y) within maxdist (same units), as r*8+c,
// or -1.
int nearest_electrode(const tpalategrid& grid, double x, double y, double maxdist);

// The average palate and per-frame indices of frames from..to (seconds) as
// tab-separated text: a heading line, eight palate lines from the front row
// to the back one, the palate's centre of gravity (epg_cog_text), an empty
// line, then "Frame\tTime [s]" and the method names, and one line per frame.
std::string epg_report(const tchannel& ch, double from, double to,
                       const std::vector<int>& methods, int digits = 6);

}  // namespace tessal
