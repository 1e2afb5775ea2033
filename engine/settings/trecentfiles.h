// TRecentFiles: a most-recent-first list of up to 16 file names, of which
// the first MaxItems are shown in a menu, stored in an ini file of its own
// (section "RecentFiles" + ListName, key "nToUse" for the number shown and
// keys "1", "2", ... "10" in hexadecimal for the names).
//
// add expands the name to a full path, leaves out files on drive types that
// are not allowed (by default removable media, CD drives and RAM disks),
// puts the name first, drops a later entry with the same name compared in
// lower case, and writes the list back; errors while writing are ignored.
// click on an entry whose file is gone says so through the prompter and
// removes it; otherwise it moves the entry to the front and calls OnClick.
//
// The menu itself belongs to the GUI: it shows captions() after a
// separator (BarBefore) and ends with ClearCaption (IncludeClearItem).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/settings/drivetype.h"
#include "engine/settings/tsetting.h"

namespace tessal {

class TRecentFiles {
public:
    static constexpr int maxentries = 16;

    TRecentFiles();

    // Menu properties (read by the GUI).
    int MenuPos = 0;
    int MaxItems = 9;
    bool BarBefore = true;
    bool IncludeClearItem = true;
    std::string ClearCaption = "&Clear list...";
    bool AllowFileOnRemovable = false;
    bool AllowFileOnRemote = true;
    bool AllowFileOnFixed = true;
    bool AllowFileOnCDROM = false;
    bool AllowFileOnRAMDisk = false;
    // A list that is only read: changes stay in memory and the ini file is
    // never written (runs that are not the user's own, such as tests).
    bool readonly = false;

    // Called with the chosen file when an entry is clicked and still exists.
    std::function<void(const std::string&)> OnClick;
    // Tells the menu to rebuild itself after the list changed.
    std::function<void()> OnChange;
    // The mount table the drive type is looked up in (tests give their own).
    std::function<std::vector<tmountentry>()> mount_table = system_mount_table;
    // Whether a file still exists (tests may replace it).
    std::function<bool(const std::string&)> file_exists;

    const std::string& GetListName() const { return flistname; }
    // Naming the list reads it from the store, dropping vanished files.
    void SetListName(const std::string& name);
    // The store: an ini file at slnonroaming. The base folder and program
    // name select it; setting either re-reads the list.
    TSetting& store() { return *fstore; }
    void set_storage(const std::string& appdatafolder, const std::string& programname);

    void add(const std::string& filename);
    void clear();
    int itemcount() const { return static_cast<int>(fentries.size()); }
    const std::vector<std::string>& entries() const { return fentries; }
    // The menu captions of the first MaxItems entries: "&" + the entry number
    // in hexadecimal + " " + the name with every "&" doubled (the 16th entry
    // has no accelerator).
    std::vector<std::string> captions() const;
    // The user chose entry `index` (0-based).
    void click(int index, tprompter& prompter);

    // Whether a file on this path may enter the list.
    bool allowed(const std::string& fullpath) const;

private:
    void load();
    void save();
    void changed();

    std::unique_ptr<TSetting> fstore;
    std::string flistname;
    std::vector<std::string> fentries;
};

}  // namespace tessal
