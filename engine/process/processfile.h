// Process files (".tessalproc"): ini text through the settings store.
// Section "Common" holds "nsteps"; step i is section "Step_i" with "procid",
// "Enabled" and the step's own keys. Keys are matched regardless of case;
// unknown keys and sections are ignored.
#pragma once

#include <string>

#include "engine/process/tprocstep.h"

namespace tessal {

class TSetting;

// Reads the process from `setting` into `steps` (emptied first). Stops at
// the first bad step with EProcessError; the steps read before it stay.
void read_process(TSetting& setting, tprocsteps& steps, double defaultsampfreq = 44100);
// Writes "Common" and every step into `setting` (which should be empty).
void write_process(TSetting& setting, const tprocsteps& steps);

// The same on a named file. Reading a missing file gives an empty process;
// a file without the step count is refused with EProcessError;
// writing replaces the file whole (EFileSaveError when it cannot be
// written; the old file then stays as it was).
void open_process_file(const std::string& path, tprocsteps& steps,
                       double defaultsampfreq = 44100);
void save_process_file(const std::string& path, const tprocsteps& steps);

}  // namespace tessal
