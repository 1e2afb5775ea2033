// libFuzzer target for the settings file, read by open_settings from a
// private data folder exactly as at start-up. Any bytes are either rejected
// (told to the user) or read; values out of range are left at the current
// ones. What is read saves and reads again.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/settings/settingsfile.h"
#include "fuzz/fuzzfiles.h"

using namespace tessal;

namespace {

tmainwindowsettings current_state() {
    tmainwindowsettings st;
    for (const std::string& w : persistent_window_names()) st.layouts[w] = {10, 20, 300, 400};
    st.playdevices = {"Built-in", "USB headset"};
    st.recorddevices = {"Mic", "Line in"};
    return st;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = [] {
        const std::string n = settings_file_path(fuzz::folder());
        std::filesystem::create_directories(std::filesystem::path(n).parent_path());
        return n;
    }();
    fuzz::put(name, fuzz::view(data, size));
    tfixedprompter prompter(tanswer::ok);
    tdocument doc;
    tmainwindowsettings st = current_state();
    if (open_settings(doc, st, prompter, fuzz::folder()) != tsettingsread::read) return 0;
    try {
        save_settings(doc, st, fuzz::folder());
    } catch (const std::runtime_error&) {
        return 0;
    }
    tdocument doc2;
    tmainwindowsettings st2 = current_state();
    if (open_settings(doc2, st2, prompter, fuzz::folder()) != tsettingsread::read) std::abort();
    return 0;
}
