// The preference values the engine reads while it works: number display,
// dither, drawing and warning switches. They start at the built-in defaults;
// the settings file overrides them at start-up.
#pragma once

#include <string>

namespace tessal {

struct tpreferences {
    int nSignificantDigits = 5;
    std::string dBFormat = "0.00";
    std::string SecondsFormat = "0.000";
    // 0 always (except float32 files), 1 when needed, 2 never.
    int UseDither = 1;
    bool QuickDraw = true;
    bool AntiAlias = true;
    bool UseInfoColor = true;
    bool WarnSaveWav = true;
    bool WarnSaveSmp = true;
    bool AskDeleteLabel = true;
    double DefaultSampFreq = 44100;
    double OverloadMargin = 0.2;
    bool lastzoombykey = false;
    // Ctrl+Z undoes (and Zoom moves to Ctrl+Alt+Z).
    bool CtrlZUndoes = false;
    // The memory the undo history may hold, MB.
    int UndoMemoryMB = 1024;
    // The memory channel samples may hold before blocks go to the scratch
    // file, MB; 0: a quarter of physical memory.
    int SampleMemoryMB = 0;
    // Where the scratch file goes; empty: the program's own scratch folder
    // beside the journals (tdocument::scratch_default).
    std::string ScratchFolder;
};

}  // namespace tessal
