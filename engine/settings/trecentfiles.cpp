#include "engine/settings/trecentfiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace tessal {

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string hex(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", n);
    return buf;
}

std::string section_of(const std::string& listname) { return "RecentFiles" + listname; }

}  // namespace

TRecentFiles::TRecentFiles() : fstore(std::make_unique<TSetting>()) {
    fstore->SetLocation(Location::slnonroaming);
    file_exists = [](const std::string& name) {
        std::error_code ec;
        return fs::exists(name, ec);
    };
}

void TRecentFiles::SetListName(const std::string& name) {
    flistname = name;
    load();
}

void TRecentFiles::set_storage(const std::string& appdatafolder, const std::string& programname) {
    fstore->SetAppDataFolder(appdatafolder);
    fstore->SetProgramName(programname);
    load();
}

void TRecentFiles::load() {
    fentries.clear();
    const std::string sec = section_of(flistname);
    const std::int64_t ntouse = fstore->ReadInteger(sec, "nToUse", MaxItems);
    MaxItems = static_cast<int>(std::clamp<std::int64_t>(ntouse, 0, maxentries));
    bool dropped = false;
    for (int i = 1; i <= maxentries; ++i) {
        const std::string name = fstore->ReadString(sec, hex(i), "");
        if (name.empty()) continue;
        if (!file_exists(name)) {
            dropped = true;
            continue;
        }
        const std::string low = lowered(name);
        if (std::none_of(fentries.begin(), fentries.end(),
                         [&](const std::string& e) { return lowered(e) == low; }))
            fentries.push_back(name);
    }
    if (dropped) save();
    if (OnChange) OnChange();
}

void TRecentFiles::save() {
    if (readonly) return;
    try {
        const std::string sec = section_of(flistname);
        const bool manual = fstore->GetManualIniClose();
        fstore->SetManualIniClose(true);
        fstore->DeleteSection(sec);
        fstore->WriteInteger(sec, "nToUse", MaxItems);
        for (std::size_t i = 0; i < fentries.size(); ++i)
            fstore->WriteString(sec, hex(static_cast<int>(i) + 1), fentries[i]);
        fstore->IniClose();
        fstore->SetManualIniClose(manual);
    } catch (const std::exception&) {
        // A list that cannot be stored still works for this session.
    }
}

void TRecentFiles::changed() {
    save();
    if (OnChange) OnChange();
}

bool TRecentFiles::allowed(const std::string& fullpath) const {
    switch (drive_type(fullpath, mount_table ? mount_table() : std::vector<tmountentry>{})) {
        case tdrivetype::fixed: return AllowFileOnFixed;
        case tdrivetype::removable: return AllowFileOnRemovable;
        case tdrivetype::cdrom: return AllowFileOnCDROM;
        case tdrivetype::ramdisk: return AllowFileOnRAMDisk;
        case tdrivetype::remote: return AllowFileOnRemote;
    }
    return false;
}

void TRecentFiles::add(const std::string& filename) {
    if (filename.empty()) return;
    std::error_code ec;
    fs::path p = fs::absolute(filename, ec);
    if (ec) return;
    const std::string full = p.lexically_normal().string();
    if (!allowed(full)) return;
    const std::string low = lowered(full);
    std::erase_if(fentries, [&](const std::string& e) { return lowered(e) == low; });
    fentries.insert(fentries.begin(), full);
    if (fentries.size() > maxentries) fentries.resize(maxentries);
    changed();
}

void TRecentFiles::clear() {
    fentries.clear();
    changed();
}

std::vector<std::string> TRecentFiles::captions() const {
    std::vector<std::string> out;
    const int n = std::min(itemcount(), std::clamp(MaxItems, 0, maxentries));
    for (int i = 0; i < n; ++i) {
        std::string name;
        for (char c : fentries[i]) {
            name += c;
            if (c == '&') name += '&';
        }
        const std::string number = hex(i + 1);
        out.push_back((i + 1 < maxentries ? "&" : "") + number + " " + name);
    }
    return out;
}

void TRecentFiles::click(int index, tprompter& prompter) {
    if (index < 0 || index >= itemcount()) return;
    const std::string name = fentries[index];
    if (!file_exists(name)) {
        prompter.ask("Can't find \r" + name, "File not found", tbuttons::ok, ticon::error);
        fentries.erase(fentries.begin() + index);
        changed();
        return;
    }
    fentries.erase(fentries.begin() + index);
    fentries.insert(fentries.begin(), name);
    changed();
    if (OnClick) OnClick(name);
}

}  // namespace tessal
