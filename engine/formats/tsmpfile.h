// TSMPfile: one ".smp" signal file: a text header of items followed by
// interleaved 16-bit samples.
//
// The header items are kept in memory in file order (`fitems`), with the
// comment lines after the "=" line (`fcomment`) and, when labels live in the
// separate ".csv" label file, its label lines (`fextlabels`). From the items
// the file's layout is derived: channel count, the "scan" (which channel
// each sample slot of one scan carries; channels may have split rates), the
// total rate and the byte order. Channel names, units, views, ranges and
// labels are read from and written to items.
//
// Reading: open_file checks everything a sample read relies on (header size,
// channel count, scan, rate) against the file itself and returns false with
// the reason in Getopenerror() when the file cannot be used. Samples are read
// in chunks; nothing is allocated beyond what the file holds.
//
// Writing never touches an existing file until a save has completed: new
// samples go into a temporary working copy in the same folder, save_file
// writes the header there (or into a second temporary file when the header
// has to grow, moving the samples along so that none is overwritten) and
// only then replaces the .smp file and its label file together. A save that
// fails leaves both exactly as they were. Closing without saving discards
// the working copy. A file opened read-only is never written.
//
// Header text is code page 437 on disk and UTF-8 here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/tsiglabel.h"
#include "engine/dsp/arrays.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/smpheader.h"

namespace tessal {

class ESMPfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSMPfile {
public:
    static constexpr int maxheadsize = 32768;
    static constexpr int maxchans = 128;
    static constexpr int maxscanslots = 512;
    static constexpr std::size_t maxvaluelength = 255;

    TSMPfile();
    ~TSMPfile();
    TSMPfile(const TSMPfile&) = delete;
    TSMPfile& operator=(const TSMPfile&) = delete;

    // Defaults for new files and for items a file lacks.
    int defheadsize = 1024;
    std::string defFileType = "samp";
    double defSfTot = 16000;
    int defnChans = 1;
    bool defMSBFirst = false;
    double defViewLo = -1, defViewHi = 1;
    double defRangeLo = -32768, defRangeHi = 32768;

    // --- files ---
    // True when the file exists, at least one header byte was read and the
    // header describes samples this file can hold. On false no file is open
    // and Getopenerror() tells why.
    bool open_file(const std::string& fname, bool rdonly);
    const std::string& Getopenerror() const { return fopenerror; }
    // Starts a new file: items are cleared and "head" is set to defheadsize.
    // The file appears (replacing one of that name) at the first save_file.
    // Raises ESMPfileError when the working copy cannot be created, or when
    // the file exists and Overwrite is off.
    void new_file(const std::string& fname);
    // Validates the items, rebuilds the header and puts the file (and its
    // label file) in place. An empty name saves under the current name; any
    // other name saves a copy there, which becomes the current file. False,
    // with the reason in Getsaveerror(), when the save did not complete; the
    // files on disk are then unchanged.
    bool save_file(const std::string& fname = "");
    const std::string& Getsaveerror() const { return fsaveerror; }
    void close_file();
    void clear();  // items, comments and external labels

    const std::string& Getfilename() const { return ffilename; }
    bool Getisopen() const { return fisopen; }
    bool Getreadonly() const { return freadonly; }
    // Problems that did not stop the file from opening (a missing label
    // file, labels without valid positions).
    const std::vector<std::string>& Getwarnings() const { return fwarnings; }

    // --- items ---
    // The last item whose key equals `itemname` (any case), or `def`.
    std::string get_item(const std::string& itemname, const std::string& def = "") const;
    // Replaces the first item with that key (any case) and deletes later
    // ones, or appends; an empty value deletes every item with that key.
    // "head" moves to the front; "labels" switches to external labels and
    // loads the named label file. Line breaks become blanks and values are
    // cut to 255 characters, as the header cannot hold more. A key holding
    // "=" raises ESMPfileError.
    void set_item(const std::string& itemname, const std::string& value);
    void set_nonpresent_item(const std::string& itemname, const std::string& value);
    void add_line(const std::string& line);  // "key=value", appended as it is
    void add_nonpresent_line(const std::string& line);
    void insert_nonpresent_defaults();
    void set_proc(const std::string& procstr);  // the next free "proc" N
    // "head" first, items with an empty key or value gone, and of items with
    // equal keys only the first.
    void validate_items();
    const std::vector<tsmpitem>& Getitems() const { return fitems; }
    const std::vector<std::string>& Getcomments() const { return fcomment; }
    void add_comment(const std::string& line);

    // --- labels ---
    // "start,length,text", positions in the interleaved sample stream.
    void add_label(const std::string& labelstr);
    // Seconds, rounded to whole scans.
    void add_label(double start_s, double length_s, const std::string& text);
    void clear_labels();
    int nlabels() const;
    std::string Getlabelstr(int i) const;
    double Getlabelstart(int i) const;   // seconds; -1 when the field is not valid
    double Getlabellength(int i) const;  // seconds; -1 when the field is not valid
    std::string Getlabeltext(int i) const;
    // The labels with valid positions, type "smp", for a channel.
    tsiglabels Getsiglabels() const;
    bool GetExternalLabels() const { return fexternallabels; }
    void SetExternalLabels(bool v);  // moves the labels between items and the label file
    const std::string& Getcsvfilename() const { return fcsvfilename; }

    // --- layout and channels ---
    // The layout accessors raise ESMPfileError when the items do not
    // describe a usable layout (for example "nchans" 0).
    int nChans() const;
    double SfTot() const;
    bool MSBFirst() const;
    std::string ScanStr() const;  // the slots as "0,1,0,2"
    int ScanCount() const;        // slots per scan
    bool IsSplitRate() const;
    int HeadSize() const;  // of the open file, else the "head" item
    void SetnChans(int n);
    void SetSfTot(double sftot);
    void SetMSBFirst(bool msbfirst);
    void SetScanStr(const std::string& scan);  // empty: one slot per channel

    std::string Getchannelname(int channo) const;
    void Setchannelname(int channo, const std::string& name);
    std::string Getchannelunit(int channo) const;  // third field of the view
    void Getview(int channo, double& lo, double& hi) const;
    void Setview(int channo, double lo, double hi, const std::string& unit);
    void Getrange(int channo, double& lo, double& hi) const;
    void Setrange(int channo, double lo, double hi);
    // The largest magnitude of the range: the value of a full-scale sample.
    double Getfsd(int channo) const;
    // Name, and view and range -fsd..fsd with the unit.
    void set_channel(int channo, const std::string& name, const std::string& unit, double fsd);
    double Getsampfreq(int channo) const;
    std::int64_t Getnsamples(int channo) const;
    // True when the header says dBgain is not "0.00", the calibration flag
    // (first field of "calib") is "1" and "proc0" begins with "Kelp": files
    // whose sound pressure calibration is known to be wrong.
    bool calibration_suspect() const;

    // Samples in the channel's physical unit: the range maps -32768..32768
    // linearly onto lo..hi.
    void read_channel(int channo, tsinglearr& arr);
    void read_channel_raw(int channo, tsmallintarr& arr);
    // The inverse of read_channel: rounded, clipped to the 16-bit range
    // (with dither: scaled values clipped to -32766..32765 plus triangular
    // noise of one step). The channel's other samples keep their values;
    // the file grows by whole scans when the data is longer.
    void write_channel(int channo, const tsinglearr& arr, bool dither);
    void write_channel_raw(int channo, const tsmallintarr& arr);

    // --- settings ---
    bool GetOverwrite() const { return foverwrite; }
    void SetOverwrite(bool v) { foverwrite = v; }
    // Kept for the settings; saving always goes through a temporary file.
    bool GetUseTempFile() const { return fusetmpfile; }
    void SetUseTempFile(bool v) { fusetmpfile = v; }
    int GetChunknSamples() const { return fchunknsamples; }
    void SetChunknSamples(int v) { fchunknsamples = v < 1 ? 1 : v; }
    bool GetEraseCSVFile() const { return ferasecsvfile; }
    void SetEraseCSVFile(bool v) { ferasecsvfile = v; }
    // On: "labels" holds the label file's name only (it lies next to the
    // .smp file); off: its full path.
    bool GetUseShortCSVPathname() const { return fuseshortcsvpathname; }
    void SetUseShortCSVPathname(bool v) { fuseshortcsvpathname = v; }
    int GetnViewDigits() const { return fnviewdigits; }
    void SetnViewDigits(int v) { fnviewdigits = v < 1 ? 1 : (v > 15 ? 15 : v); }
    // Kept for the settings; samples reach the disk at save_file anyway.
    bool GetWriteThroughCache() const { return fwritethroughcache; }
    void SetWriteThroughCache(bool v) { fwritethroughcache = v; }

    // The file-system calls; tests pass one that fails on purpose. nullptr
    // restores the real file system.
    void set_fileops(tfileops* ops) { fops = ops ? ops : &tfileops::system(); }

    // The header image of the last open or save (32768 bytes).
    std::vector<std::uint8_t> headarr;

private:
    struct tlayout {
        std::string error;  // empty when usable
        int nchans = 0;
        double sftot = 0;
        bool msbfirst = false;
        std::vector<int> slots;                  // channel of each slot
        std::vector<std::vector<int>> chanslots;  // slot positions of each channel
    };
    const tlayout& layout() const;  // recomputed after item changes
    const tlayout& usable_layout() const;
    void check_channel(int channo) const;
    void items_changed() { flayoutdirty = true; }

    void put_item(const std::string& key, const std::string& value);  // set_item without side effects
    void erase_items(const std::string& key);
    std::vector<std::size_t> label_items() const;  // indices into fitems, sorted by N
    std::string label_string(int i) const;
    void move_labels_to_list();
    void move_list_to_labels();
    bool load_label_file(const std::string& name, bool required);
    std::string resolve_label_file(const std::string& value) const;
    std::string default_csv_name(const std::string& smpname) const;

    bool fail_open(const std::string& why);
    bool fail_save(const std::string& why);
    std::int64_t data_values() const { return fdatabytes / 2; }
    void ensure_working_copy();
    void release_file();
    void discard_working_copy();
    bool copy_bytes(std::FILE* from, std::int64_t frompos, std::FILE* to, std::int64_t topos, std::int64_t n);
    bool write_label_file(const std::string& csvname, const std::string& smpname, std::string& tmpname);

    std::vector<tsmpitem> fitems;
    std::vector<std::string> fcomment;
    std::vector<std::string> fextlabels;
    bool fexternallabels = false;
    std::string fcsvfilename;   // the label file read at opening, or to be written
    std::string fcsvatopen;     // the label file the opened file named ("" for none)
    bool foverwrite = true;
    bool fusetmpfile = false;
    int fchunknsamples = 16384;
    bool ferasecsvfile = true;
    bool fuseshortcsvpathname = true;
    int fnviewdigits = 6;
    bool fwritethroughcache = false;

    std::string ffilename;
    std::string fworkname;      // the temporary working copy, "" while the file itself is open
    std::FILE* ffile = nullptr;  // the open file or the working copy
    bool fisopen = false;
    bool freadonly = false;
    std::int64_t fheadoffset = 0;       // where the samples start in ffile
    std::int64_t fdatabytes = 0;        // bytes after the header in ffile
    std::int64_t foriginalheadsize = 0;  // header size when the file was opened or created

    std::string fopenerror, fsaveerror;
    std::vector<std::string> fwarnings;
    mutable tlayout flayout;
    mutable bool flayoutdirty = true;
    tfileops* fops = &tfileops::system();
    std::uint64_t fditherstate = 0x9E3779B97F4A7C15ull;
};

}  // namespace tessal
