// The secondary windows of the program. Each is created once at start-up, in
// a fixed order, and afterwards only shown and hidden; "Add another process"
// is the one command that makes a further window. A window whose work is not
// built yet is a placeholder with its caption, so every command that opens a
// window already opens the right one.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

namespace tessal {

enum class twindowid : int {
    align, soundcard, channelinfo, record, editlevels, measurements, calibration, colors,
    processing, f0, spectrogram, filterdesign, exporttext, tnaq, loggedmeasurements,
    keyboardshortcuts, invira, datalog, epg, contactevolution, spectrum, correlation, xyplot,
    codecs, setfsd, settings, correlogram, advancedrecord, psub, frequencyrange, notes,
    labelproperties, histograms,
    count
};

// Sizes and places a top-level window just before it shows: on its first
// showing at least its size hint, always no larger than the available
// screen and wholly inside it, centred over `owner` when nothing placed it.
void fit_window_on_screen(QWidget* w, const QWidget* owner);

// Caption of each window as the user sees it, in creation order.
QString window_caption(twindowid id);

class twindowset {
public:
    // Creates every window in order, hidden, parented to `owner` as tool
    // windows so they stay above it.
    explicit twindowset(QWidget* owner);
    ~twindowset();

    QWidget* window(twindowid id) const { return windows_.at(static_cast<int>(id)); }
    // The first window with this caption, or null.
    QWidget* find(const QString& caption) const;
    void show(twindowid id);
    // A further processing window.
    QWidget* add_processing_window();
    int processing_window_count() const { return 1 + static_cast<int>(extra_.size()); }

private:
    QWidget* owner_;
    std::vector<QWidget*> windows_;
    std::vector<QWidget*> extra_;
};

}  // namespace tessal
