// The "Data log" window: the data log's lines in a memo, with the tool bar
// commands "New log" (asks, then clears) and "Copy log" (the whole log to
// the clipboard). The lines live in the engine's tdatalog; the memo follows
// it, appending new lines and starting over when the log was cleared.
// The same class, without a tool bar, is the "Logged measurements" memo.
#pragma once

#include <QWidget>

#include "engine/core/prompter.h"
#include "engine/core/textclipboard.h"
#include "engine/measurements/datalog.h"

class QPlainTextEdit;
class QToolBar;

namespace tessal {

class tdatalogwindow : public QWidget {
    Q_OBJECT

public:
    // `prompter` and `clipboard` may be null for a memo without tool bar.
    tdatalogwindow(const QString& caption, tdatalog& log, tprompter* prompter,
                   ttextclipboard* clipboard, QWidget* owner);
    ~tdatalogwindow() override;
    QSize sizeHint() const override { return {640, 320}; }

    QPlainTextEdit* memo() const { return memo_; }
    QToolBar* toolbar() const { return toolbar_; }
    void new_log();
    void copy_log();

private:
    void refresh();

    tdatalog& log_;
    tprompter* prompter_;
    ttextclipboard* clipboard_;
    QPlainTextEdit* memo_;
    QToolBar* toolbar_ = nullptr;
    std::size_t shown_ = 0;
};

}  // namespace tessal
