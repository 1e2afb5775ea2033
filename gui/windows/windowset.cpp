#include "windows/windowset.h"

#include "editing/editingwindows.h"
#include "mainwindow/keyboardshortcutswindow.h"
#include "measurements/measurementwindows.h"
#include "settings/settingswindows.h"
#include "windows/placeholderwindow.h"

namespace tessal {

QString window_caption(twindowid id) {
    static const char* const captions[] = {
        "Align channels", "Soundcard settings", "Channel information", "Record from soundcard",
        "Edit levels", "Measurements", "Calibration", "Colors", "Processing - Tessal", "F0",
        "Spectrogram - Tessal", "", "Export to text", "T-naq", "Logged measurements",
        "Keyboard shortcuts", "Invira", "Data log", "EPG", "Contact evolution",
        "Spectrum - Tessal", "Correlation - Tessal", "xy-plot", "Codecs",
        "Set Full Scale Deflection (FSD)", "Settings", "Correlogram - Tessal",
        "Record from soundcard", "p-sub measurement", "Frequency range ", "Notes for channel",
        "Label properties", "Histograms/KDE"};
    static_assert(sizeof captions / sizeof *captions == static_cast<int>(twindowid::count));
    return QString::fromUtf8(captions[static_cast<int>(id)]);
}

twindowset::twindowset(QWidget* owner) : owner_(owner) {
    for (int i = 0; i < static_cast<int>(twindowid::count); ++i) {
        const auto id = static_cast<twindowid>(i);
        if (id == twindowid::keyboardshortcuts)
            windows_.push_back(new tkeyboardshortcutswindow(owner));
        else if (QWidget* m = make_measurement_window(id, owner))
            windows_.push_back(m);
        else if (QWidget* ed = make_editing_window(id, owner))
            windows_.push_back(ed);
        else if (QWidget* s = make_settings_window(id, owner))
            windows_.push_back(s);
        else
            windows_.push_back(new tplaceholderwindow(window_caption(id), owner));
    }
}

twindowset::~twindowset() = default;  // the owner deletes its children

QWidget* twindowset::find(const QString& caption) const {
    for (QWidget* w : windows_)
        if (w->windowTitle() == caption) return w;
    return nullptr;
}

void twindowset::show(twindowid id) {
    QWidget* w = window(id);
    w->show();
    w->raise();
    w->activateWindow();
}

QWidget* twindowset::add_processing_window() {
    QWidget* w = new tplaceholderwindow(window_caption(twindowid::processing), owner_);
    extra_.push_back(w);
    w->show();
    return w;
}

}  // namespace tessal
