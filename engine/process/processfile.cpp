#include "engine/process/processfile.h"

#include <filesystem>
#include <system_error>

#include "engine/process/procregistry.h"
#include "engine/settings/tsetting.h"

namespace tessal {

void read_process(TSetting& setting, tprocsteps& steps, double defaultsampfreq) {
    steps.clear();
    const std::int64_t n = setting.ReadInteger("Common", "nsteps", 0);
    for (std::int64_t i = 0; i < n; ++i) {
        const std::string id = "Step_" + std::to_string(i);
        // A count larger than the file's sections ends with the first
        // section that is not there (it would read as an unknown procid).
        const std::string procid = setting.ReadString(id, "procid", "");
        const int k = find_procid(procid);
        std::unique_ptr<tprocstep> s = create_step(k, nullptr, defaultsampfreq);
        if (!s) throw EProcessError("Invalid procid: \"" + procid + "\" is a separator, not a step");
        s->open_proc(id, setting);
        steps.push_back(std::move(s));
    }
}

void write_process(TSetting& setting, const tprocsteps& steps) {
    setting.WriteInteger("Common", "nsteps", static_cast<std::int64_t>(steps.size()));
    for (std::size_t i = 0; i < steps.size(); ++i)
        steps[i]->save_proc("Step_" + std::to_string(i), setting);
}

void open_process_file(const std::string& path, tprocsteps& steps, double defaultsampfreq) {
    TSetting setting;
    setting.SetManualIniClose(true);
    setting.SetLocation(Location::slfile);
    setting.SetFilename(path);
    // A number that is there but is none is damage, not a missing key.
    setting.SetStrictNumbers(true);
    // Every process file has its step count, even an empty process; a file
    // without one is something else (or damaged past reading), not a
    // process without steps.
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !setting.ValueExists("Common", "nsteps"))
        throw EProcessError(path + " is not a process file: it has no step count (\"nsteps\" in [Common])");
    read_process(setting, steps, defaultsampfreq);
}

void save_process_file(const std::string& path, const tprocsteps& steps) {
    // Everything the old file held is dropped before writing; the store
    // replaces the file whole through a temporary one, so a failed write
    // leaves the old file as it was.
    TSetting setting;
    setting.SetManualIniClose(true);
    setting.SetLocation(Location::slfile);
    setting.SetFilename(path);
    for (const std::string& sec : setting.ReadSections()) setting.DeleteSection(sec);
    write_process(setting, steps);
    setting.IniClose();
}

}  // namespace tessal
