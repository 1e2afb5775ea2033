// tdocument: the signal document. The ordered channel list (the index is the
// channel number), the current channel and the edit set, the file name and
// modified flag, the shared view state, the time axis, the preference values
// and the measurement switches. Channels are created and destroyed only
// through set_totnchans, create_channel and delete_channel.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/core/colors.h"
#include "engine/core/tchangerecorder.h"
#include "engine/core/taxis.h"
#include "engine/core/tchannel.h"
#include "engine/core/tglobal.h"
#include "engine/core/tpreferences.h"

namespace tessal {

class tblockcache;

// The edit set: which channels a sample or label command applies to.
enum tselectmode : int { selmono = 1, selstereo = 2, selall = 3, selvisible = 4 };

class tdocument {
public:
    tdocument();
    tdocument(const tdocument&) = delete;
    tdocument& operator=(const tdocument&) = delete;

    tglobal theglobal;
    TAxis xaxis;  // the shared time axis, seconds
    tpreferences prefs;

    // Channel list.
    int totnchans() const { return static_cast<int>(channels.size()); }
    void set_totnchans(int n);
    tchannel& channel(int i) { return *channels.at(i); }
    const tchannel& channel(int i) const { return *channels.at(i); }
    tchannel& create_channel(int channo);
    void delete_channel(int c);
    // The raw moves of the undo history: a channel leaves the list or takes
    // its place again as the same object, with no other channel changed
    // (partner numbers stay as they are) and no recorder told.
    std::unique_ptr<tchannel> take_channel(int c);
    void put_channel(int c, std::unique_ptr<tchannel> ch);
    // Every change of samples, channels and contents is told to the
    // recorder (the undo history) when one is set.
    void set_recorder(tchangerecorder* r) { frecorder = r; }
    tchangerecorder* recorder() const { return frecorder; }
    // Samples s..e-1 of `ch` are about to be replaced or removed.
    void samples_changing(tchannel& ch, std::size_t s, std::size_t e) {
        if (frecorder) frecorder->samples_changing(ch, s, e);
    }
    // The document was closed or replaced: tells the recorder.
    void contents_reset() {
        if (frecorder) frecorder->contents_reset();
    }
    int thischanno() const;
    void set_thischanno(int c) { fthischanno = c; }
    int translate_channo(int c) const;
    bool is_channel_selected(int n) const;
    double file_peak_value(int chno) const;
    double file_rms_value(int chno) const;
    void set_axis_minmax(int channo, tminmaxpair minmax);

    int selectmode = selstereo;
    int maxchannelid = 0;
    bool measurementdirty = true;
    // 0 spectrum, 1 long-term average spectrum: which of the two the
    // spectrum window shows.
    int spectrummode = 0;

    bool modified() const { return fmodified; }
    void set_modified(bool v);
    const std::string& filename() const { return ffilename; }
    void set_filename(const std::string& v);

    // Measurement items shown (information lines, logs) and the "Avg>"
    // threshold.
    std::array<bool, nmeasurementitems> showmeasurement{};
    double measurementthreshold = 0;

    // Colour schemes: recolours every channel and redraws.
    tcolorscheme colorscheme = tcolorscheme::black;
    void set_colorscheme(tcolorscheme s);
    TColor new_channel_color(int channo) const;

    // Time span of all channels, seconds (0..0 when empty).
    double first_time() const;
    double last_time() const;

    // The cache the document's sample blocks are counted in. Unless one was
    // set, it is made on first use with the budget of prefs.SampleMemoryMB
    // and the folder of prefs.ScratchFolder (empty: scratch_default, and
    // when that is empty too, the system's temporary folder). Later calls
    // follow changed preferences: a new budget is set on the cache; a new
    // folder gives a new cache only while nothing else (no block, no store)
    // holds the old one (a cache with blocks keeps its folder, since its
    // scratch file may hold them). The folder is made when the first block has to leave
    // memory; one that cannot be made fails that spill with the cache's
    // error naming it.
    std::shared_ptr<tblockcache> block_cache() const;
    // A cache of the caller's (tests: a small budget and a temporary
    // folder), used as it is whatever the preferences say; null goes back
    // to the one made from the preferences.
    void set_block_cache(std::shared_ptr<tblockcache> cache);
    // The scratch folder for an empty prefs.ScratchFolder, told by whoever
    // knows the user's data folder (the settings file reader).
    std::filesystem::path scratch_default;

private:
    std::vector<std::unique_ptr<tchannel>> channels;
    int fthischanno = 0;
    bool fmodified = false;
    std::string ffilename;
    tchangerecorder* frecorder = nullptr;
    mutable std::mutex fcachemutex;
    mutable std::shared_ptr<tblockcache> fblockcache;
    bool fcachegiven = false;
};

}  // namespace tessal
