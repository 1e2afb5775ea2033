#include "gui/measurements/tdatalogwindow.h"

#include <QAction>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPointer>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

namespace tessal {

tdatalogwindow::tdatalogwindow(const QString& caption, tdatalog& log, tprompter* prompter,
                               ttextclipboard* clipboard, QWidget* owner)
    : QWidget(owner, Qt::Tool), log_(log), prompter_(prompter), clipboard_(clipboard) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (prompter_ && clipboard_) {
        toolbar_ = new QToolBar(this);
        QAction* n = toolbar_->addAction("New log", this, &tdatalogwindow::new_log);
        n->setObjectName("newlogaction");
        QAction* c = toolbar_->addAction("Copy log", this, &tdatalogwindow::copy_log);
        c->setObjectName("copylogaction");
        layout->addWidget(toolbar_);
    }
    memo_ = new QPlainTextEdit(this);
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo_->setTabStopDistance(memo_->fontMetrics().horizontalAdvance(' ') * 12);
    layout->addWidget(memo_);
    // Either this window or the log may go first when the main window
    // closes, so the log holds a guarded pointer and the window never
    // touches the log in its destructor.
    log_.changed = [w = QPointer<tdatalogwindow>(this)] {
        if (w) w->refresh();
    };
    refresh();
    hide();
}

tdatalogwindow::~tdatalogwindow() = default;

void tdatalogwindow::refresh() {
    // A new row may widen a column above it: the whole log is laid out
    // again (it is text of a few thousand lines at most).
    QStringList text;
    for (const std::string& l : aligned_log_lines(log_.lines())) text << QString::fromStdString(l);
    memo_->setPlainText(text.join('\n'));
    memo_->moveCursor(QTextCursor::End);
    shown_ = log_.lines().size();
    // Appending follows the end of the last line; the first columns are the
    // ones to see.
    memo_->horizontalScrollBar()->setValue(0);
}

void tdatalogwindow::new_log() {
    if (prompter_) log_.new_log(*prompter_);
}

void tdatalogwindow::copy_log() {
    if (!clipboard_) return;
    memo_->selectAll();
    log_.copy_log(*clipboard_);
}

}  // namespace tessal
