// The settings file: the preferences, window layouts, soundcard choices and
// codec list kept between runs in one tagged container with the file id
// "TessalSettings", named "tessalsettings.xiifile" in the per-user local
// application-data folder under maker, product and version.
//
// open_settings reads it once at start-up, after the built-in defaults are
// in place. In a file that is read, the preferences and the selection mode
// default to their fixed values (5 digits, 44100 Hz, ..., Selectmode 1),
// everything else (window layouts, devices, save format, measurement
// switches) to the one already in the document or the window state; a value that is absent, of the wrong type or out of its
// range leaves that default. A missing file changes nothing and says
// nothing: the first start keeps the start-up values, whose preferences are
// the same fixed defaults and whose selection mode is the main window's
// (stereo). A file that is there but is no settings file (another file id,
// or a damaged container) says "Wrong settings file type" in a box
// captioned "Cannot open settings file" and changes nothing; it is left on
// disk as it was, and the next save_settings keeps a copy of it named
// "tessalsettings_damaged.xiifile" before writing the new file.
//
// save_settings starts from the file's current contents, so values this
// program version does not know survive, and a maximised window (whose four
// values are not written) keeps the position stored before. The new file
// goes through a temporary file that replaces the old one only when complete.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/formats/txiifile.h"

namespace tessal {

inline constexpr const char* settings_fileid = "TessalSettings";
inline constexpr const char* settings_filename_only = "tessalsettings.xiifile";

// The persistent windows: "Layout" is the main window, the others are the
// section names of the secondary windows.
const std::vector<std::string>& persistent_window_names();

// A window's outer rectangle in pixels and whether it is maximised.
struct twindowlayout {
    int top = 0, left = 0, height = 0, width = 0;
    bool maximized = false;
    bool operator==(const twindowlayout&) const = default;
};

struct tcodecentry {
    std::string Name, Extension, Exename, Parameters;
    bool operator==(const tcodecentry&) const = default;
};

// The save format ids in dialog order, and their filter entries.
struct tsaveformatflag {
    std::string idstr;
    bool used = true;
};

// What the settings file holds beyond the document: the windows' state.
// The caller fills in the current values; open_settings replaces those the
// file has.
struct tmainwindowsettings {
    // By the names of persistent_window_names(); windows not listed are
    // neither read nor written.
    std::map<std::string, twindowlayout> layouts;
    // Device names as the sound side lists them, and the chosen ones.
    std::vector<std::string> playdevices, recorddevices;
    int playdevice = 0, recorddevice = 0;
    int SaveFormat = 0;
    bool ShowFSD = true;
    std::vector<tsaveformatflag> usefileformat;
    std::vector<tcodecentry> codecs;
    bool ShowCodec = false;
};

enum class tsettingsread { missing, read, rejected };

// The settings file's full name under `appdatafolder` (empty: the
// environment's, see local_appdata_folder); the folders are not created.
std::string settings_file_path(const std::string& appdatafolder = "");

tsettingsread open_settings(tdocument& doc, tmainwindowsettings& state, tprompter& prompter,
                            const std::string& appdatafolder = "");

// Raises EFileSaveError (or EXIIfileError) when the file cannot be written;
// the old file is then as it was.
void save_settings(const tdocument& doc, const tmainwindowsettings& state,
                   const std::string& appdatafolder = "");

// The position of `name` among `names`, or 0 when it is not there.
int find_device(const std::vector<std::string>& names, const std::string& name);

}  // namespace tessal
