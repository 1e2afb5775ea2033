// The processing feature of the main window: the processing window (one
// made at start, further ones by "Add another process"), the Process
// menu's commands ("Edit process", "Run process" with its caption and hint
// following the first window's process, "Open process...", "Add another
// process"), process files named on the command line or chosen in the
// recent-process list, the question about modified processes at Exit, and
// the run with its progress and Esc in the status bar.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

#include "gui/context/appcontext.h"

namespace tessal {

class tprocessingwindow;
class tprocessrun;

class tprocessingmodule : public QObject, public tfeaturemodule {
    Q_OBJECT

public:
    explicit tprocessingmodule(tappcontext& ctx);
    ~tprocessingmodule() override;

    // The first processing window (made with the other windows).
    tprocessingwindow* window() const;
    // Every processing window open now, the first one first.
    std::vector<tprocessingwindow*> windows() const;
    tprocessrun& runner() { return *run_; }
    // "Add another process".
    tprocessingwindow* add_window();

private:
    tprocessingwindow* make_window(QWidget* owner);

    tprocessrun* run_;
    std::vector<QPointer<tprocessingwindow>> extra_;
};

}  // namespace tessal
