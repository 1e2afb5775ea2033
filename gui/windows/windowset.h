// The secondary windows of the program and the registry of their factories.
// A window is one registration in the feature that owns it: its key (the
// name every command that opens it uses, "spectrum"), its caption, the
// settings section keeping its place and size, whether the screenshots
// picture it, and its factory; nothing else names it (the settings file
// takes the sections from here, `tessal --list-windows` prints the captions
// the screenshots picture). create() then makes every window once, in the
// order the features registered them, hidden, and afterwards they are only
// shown and hidden. A window registered without a factory (its work is not
// built yet) is a placeholder with its caption, so every command that opens
// a window already opens the right one. "Add another process" is the one
// command that makes a further window; it uses the factory registered
// under processingwindowkey.
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

// The height of a title bar where the platform reports none (no window
// manager): room kept above a window's first place, and drawn in pictures.
inline constexpr int windowtitleheight = 28;

// The key of the window "Add another process" makes more of.
inline const QString processingwindowkey = QStringLiteral("processing");

// Sizes and places a top-level window just before it shows: on its first
// showing at least its size hint, always no larger than the available
// screen and wholly inside it. On its first showing a window the settings
// did not place (property "tessal_placed") opens beside or below `owner`,
// clear of its menu and tool bars, stepped by the `index` windows already
// open (first_placement).
void fit_window_on_screen(QWidget* w, const QWidget* owner, int index = 0);

// What a feature registers about one of its windows besides the factory.
struct twindowinfo {
    // As the user sees it; `tessal --screenshot --window` finds it by it.
    QString caption{};
    // The settings file's section that keeps its place and size ("" none).
    QString layout{};
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

    // One window: its key, what it is and its factory (null: a placeholder
    // with the caption); throws std::logic_error when the key is empty or
    // was registered already, or the windows were made.
    void add(const QString& key, twindowinfo info, tfactory f);
    // The keys in registration (and creation) order.
    QStringList keys() const;
    // The caption registered for a window; these and window() throw
    // std::logic_error for a key nobody registered.
    QString caption(const QString& key) const { return info(key).caption; }
    const twindowinfo& info(const QString& key) const;
    // The captions scripts/screenshots pictures, in creation order.
    QStringList screenshot_captions() const;
    // The windows whose place and size the settings file keeps, with their
    // sections (after create()).
    std::vector<std::pair<std::string, QWidget*>> layout_windows() const;
    // Makes every window in order, hidden. Runs once.
    void create();
    // Deletes every window made here (before what they point into goes).
    void destroy();

    QWidget* window(const QString& key) const;
    // The first window with this caption (or, failing that, whose usual
    // caption it is), or null.
    QWidget* find(const QString& caption) const;
    void show(const QString& key);
    // A command's handler that shows the window.
    std::function<void()> opener(const QString& key) {
        return [this, key] { show(key); };
    }
    // A further processing window, made by the processing window's factory
    // (a placeholder without one) and shown. It may delete itself when
    // closed; the rest go with the others.
    QWidget* add_processing_window();
    int processing_window_count() const;

private:
    // How many of the windows made here are open, `except` not counted.
    int open_count(const QWidget* except) const;

    QWidget* owner_;
    // One entry a registration, in order.
    struct tentry {
        QString key;
        twindowinfo info;
        tfactory factory;
    };
    std::size_t index(const QString& key) const;

    std::vector<tentry> entries_;
    std::vector<QWidget*> windows_;
    std::vector<QPointer<QWidget>> extra_;
};

}  // namespace tessal
