// The secondary windows of the program and the registry of their factories.
// A window is one registration in the feature that owns it: its caption,
// the settings section keeping its place and size, whether the screenshots
// picture it, and its factory; nothing else names it (the settings file
// takes the sections from here, `tessal --list-windows` prints the captions
// the screenshots picture). create() then makes every window once, in the
// fixed order of twindowid, hidden, and afterwards they are only shown and
// hidden. A window without a factory
// (its work is not built yet) is a placeholder with its caption, so every
// command that opens a window already opens the right one. "Add another
// process" is the one command that makes a further window.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>
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

// What a feature registers about one of its windows besides the factory.
struct twindowinfo {
    // As the user sees it; `tessal --screenshot --window` finds it by it.
    QString caption;
    // The settings file's section that keeps its place and size ("" none).
    QString layout;
    // Pictured by scripts/screenshots (off for a second window with the
    // caption of another).
    bool screenshot = true;
};

class twindowset {
public:
    // Makes a window parented to `owner` as a tool window.
    using tfactory = std::function<QWidget*(QWidget* owner)>;

    explicit twindowset(QWidget* owner);
    ~twindowset();
    twindowset(const twindowset&) = delete;
    twindowset& operator=(const twindowset&) = delete;

    // One window: what it is and its factory; throws std::logic_error when
    // the window was registered already or the windows were made.
    void add(twindowid id, twindowinfo info, tfactory f);
    // The caption registered for a window ("" for none).
    QString caption(twindowid id) const { return infos_.at(static_cast<int>(id)).caption; }
    const twindowinfo& info(twindowid id) const { return infos_.at(static_cast<int>(id)); }
    // The captions scripts/screenshots pictures, in creation order.
    QStringList screenshot_captions() const;
    // The windows whose place and size the settings file keeps, with their
    // sections (after create()).
    std::vector<std::pair<std::string, QWidget*>> layout_windows() const;
    // Makes every window in order, hidden. Runs once.
    void create();
    // Deletes every window made here (before what they point into goes).
    void destroy();

    QWidget* window(twindowid id) const { return windows_.at(static_cast<int>(id)); }
    // The first window with this caption (or, failing that, whose usual
    // caption it is), or null.
    QWidget* find(const QString& caption) const;
    void show(twindowid id);
    // A further processing window, made by the processing window's factory
    // (a placeholder without one) and shown. It may delete itself when
    // closed; the rest go with the others.
    QWidget* add_processing_window();
    int processing_window_count() const;

private:
    QWidget* owner_;
    std::vector<tfactory> factories_;
    std::vector<twindowinfo> infos_;
    std::vector<QWidget*> windows_;
    std::vector<QPointer<QWidget>> extra_;
};

}  // namespace tessal
