#include "gui/processing/processingwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/formats/formatregistry.h"
#include "engine/process/procregistry.h"
#include "gui/commands/commandguard.h"
#include "gui/context/appcontext.h"
#include "gui/platform/filefilter.h"
#include "gui/processing/processrun.h"
#include "gui/processing/stepformdialog.h"

namespace tessal {

namespace {

const char* const processfilter =
    "Tessal processes (*.tessalproc)|*.tessalproc|All files (*.*)|*.*";

QString q(const std::string& s) { return QString::fromStdString(s); }

// Enter in the step list edits the focused step.
class tsteplist : public QListWidget {
public:
    std::function<void()> onenter;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && onenter) {
            onenter();
            return;
        }
        QListWidget::keyPressEvent(e);
    }
};

}  // namespace

tprocessingwindow::tprocessingwindow(tappcontext& ctx, tprocessrun& runner, QWidget* owner)
    : QWidget(nullptr, Qt::Window), ctx_(ctx), run_(runner) {
    // A window of its own, not a tool window of the main window: one the
    // window manager would keep above its owner would hide the signal the
    // process works on. It has no parent for that reason, so it takes the
    // owner's font and does not keep the program running when the main
    // window closes; the window set deletes it.
    if (owner) setFont(owner->font());
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName("processingwindow");
    proc_.defaultsampfreq = ctx_.doc.prefs.DefaultSampFreq;
    setAcceptDrops(true);

    auto* outer = new QVBoxLayout(this);
    auto* bar = new QToolBar;
    bar->setObjectName("processtoolbar");
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto act = [&](const char* id, const char* caption, const char* hint,
                   std::function<void()> f) {
        QAction* a = bar->addAction(caption);
        a->setIconText(caption);  // tool buttons would drop the "..."
        a->setObjectName(id);
        if (*hint) {
            a->setToolTip(hint);
            a->setStatusTip(hint);
        }
        connect(a, &QAction::triggered, this, [this, f] { guarded(f); });
        return a;
    };
    act("newaction", "New", "New process", [this] { new_process(); });
    act("openaction", "Open...", "Open process", [this] { open_dialog(); });
    act("saveaction", "Save...", "Save process", [this] { save_dialog(); });
    bar->addSeparator();
    logaction_ = act("logperfaction", "Log perf.", "", [this] { toggle_logperf(); });
    logaction_->setCheckable(true);
    act("showlogaction", "Show log", "", [this] { ctx_.windows.show("datalog"); });
    bar->addSeparator();
    runaction_ = act("runaction", "Run!", "", [this] { run(); });
    outer->addWidget(bar);

    auto* body = new QHBoxLayout;
    outer->addLayout(body, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel("Processing steps"));
    auto* steps = new tsteplist;
    steps_ = steps;
    steps_->setObjectName("stepslist");
    steps_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    steps->onenter = [this] { guarded([this] { edit_focused(); }); };
    connect(steps_, &QListWidget::itemSelectionChanged, this, [this] { take_selection(); });
    connect(steps_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (refreshing_) return;
        focused_ = row >= 0 && row < static_cast<int>(proc_.steps.size())
                       ? proc_.steps[static_cast<std::size_t>(row)].get()
                       : nullptr;
    });
    connect(steps_, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { edit_focused(); }); });
    left->addWidget(steps_, 1);
    body->addLayout(left, 3);

    auto* middle = new QVBoxLayout;
    auto* add = new QPushButton("<-- add step");
    add->setObjectName("addbutton");
    connect(add, &QPushButton::clicked, this, [this] { guarded([this] { add_focused(false); }); });
    middle->addWidget(add);
    // The buttons in pairs, two a row: the window stays low enough to open
    // below the main window's bars on a small screen (the lists scroll).
    auto* group = new QGroupBox("Selected step(s)");
    auto* gl = new QGridLayout(group);
    auto button = [&](const char* id, const char* caption, int row, int column, int span,
                      std::function<void()> f) {
        auto* b = new QPushButton(caption);
        b->setObjectName(id);
        connect(b, &QPushButton::clicked, this, [this, f] { guarded(f); });
        gl->addWidget(b, row, column, 1, span);
    };
    button("editbutton", "Edit...", 0, 0, 1, [this] { edit_focused(); });
    button("copybutton", "Copy", 0, 1, 1, [this] { copy_selected(); });
    button("deletebutton", "Delete", 1, 0, 2, [this] { delete_selected(); });
    button("disablebutton", "Disable", 2, 0, 1, [this] { set_enabled(false); });
    button("enablebutton", "Enable", 2, 1, 1, [this] { set_enabled(true); });
    button("moveupbutton", "Move up", 3, 0, 1, [this] { move_up(); });
    button("movedownbutton", "Move down", 3, 1, 1, [this] { move_down(); });
    middle->addWidget(group);
    help_ = new QPlainTextEdit;
    help_->setObjectName("helptext");
    help_->setReadOnly(true);
    // Three lines at least; longer help scrolls.
    help_->setMinimumHeight(help_->fontMetrics().lineSpacing() * 3 + 2 * help_->frameWidth() +
                            static_cast<int>(2 * help_->document()->documentMargin()));
    middle->addWidget(help_, 1);
    body->addLayout(middle, 2);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel("Available steps"));
    available_ = new QListWidget;
    available_->setObjectName("availablelist");
    available_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const tprocinfo& info : procinfo()) available_->addItem(q(info.listname));
    connect(available_, &QListWidget::currentRowChanged, this, [this] { show_help(); });
    connect(available_, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { add_focused(true); }); });
    right->addWidget(available_, 1);
    body->addLayout(right, 3);

    resize(sizeHint());
    refresh();
    update_title();
}

void tprocessingwindow::guarded(const std::function<void()>& work) {
    if (run_.running()) return;
    run_guarded(nullptr, work, false);
}

void tprocessingwindow::update_title() {
    setWindowTitle(q(proc_.caption()));
    if (onnamechanged) onnamechanged();
}

void tprocessingwindow::refresh() {
    refreshing_ = true;
    const int oldrow = steps_->currentRow();
    steps_->clear();
    const std::vector<std::string> lines = proc_.lines();
    int focus = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        steps_->addItem(q(lines[i]));
        if (proc_.steps[i]->selected) steps_->item(static_cast<int>(i))->setSelected(true);
        if (proc_.steps[i].get() == focused_) focus = static_cast<int>(i);
    }
    // The focused step keeps the focus where it moved; when it is gone the
    // focus stays on its line, or the last one.
    if (focus < 0 && !lines.empty() && oldrow >= 0)
        focus = std::min(oldrow, static_cast<int>(lines.size()) - 1);
    if (focus >= 0) steps_->setCurrentRow(focus, QItemSelectionModel::NoUpdate);
    focused_ = focus >= 0 ? proc_.steps[static_cast<std::size_t>(focus)].get() : nullptr;
    refreshing_ = false;
    runaction_->setEnabled(!proc_.steps.empty());
    update_title();
    ctx_.commands.refresh();
}

void tprocessingwindow::take_selection() {
    if (refreshing_) return;
    std::vector<bool> sel(proc_.steps.size());
    for (int i = 0; i < steps_->count() && i < static_cast<int>(sel.size()); ++i)
        sel[i] = steps_->item(i)->isSelected();
    proc_.set_selection(sel);
}

void tprocessingwindow::show_help() {
    const int i = available_->currentRow();
    if (i < 0 || i >= static_cast<int>(procinfo().size())) return;
    const tprocinfo& info = procinfo()[i];
    help_->setPlainText(q(info.listname + "\n \n" + info.helptext));
}

void tprocessingwindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    refresh();
}

// --- editing -----------------------------------------------------------------

void tprocessingwindow::add_focused(bool marking) {
    const int i = available_->currentRow();
    if (i < 0) {
        if (marking) proc_.touch();
        update_title();
        return;
    }
    proc_.defaultsampfreq = ctx_.doc.prefs.DefaultSampFreq;
    if (marking)
        proc_.add_step_marking(i);
    else
        proc_.add_step(i);
    refresh();
}

void tprocessingwindow::edit_focused() {
    const int i = steps_->currentRow();
    if (i < 0 || i >= static_cast<int>(proc_.steps.size())) return;
    proc_.touch();
    tprocstep& step = *proc_.steps[i];
    std::unique_ptr<tstepformdialog> d(make_step_dialog(i));
    if (!d)
        step.ask_for_settings(ctx_.prompter);
    else if (exec_dialog)
        exec_dialog(*d);
    else
        d->exec();
    refresh();
}

tstepformdialog* tprocessingwindow::make_step_dialog(int i) {
    if (i < 0 || i >= static_cast<int>(proc_.steps.size())) return nullptr;
    tprocstep& step = *proc_.steps[i];
    std::unique_ptr<tstepform> form = step.settings_form();
    if (!form) return nullptr;
    return new tstepformdialog(step, std::move(form), ctx_.prompter, this);
}

void tprocessingwindow::copy_selected() {
    proc_.copy_selected();
    refresh();
}

void tprocessingwindow::delete_selected() {
    proc_.delete_selected();
    refresh();
}

void tprocessingwindow::move_up() {
    proc_.move_up();
    refresh();
}

void tprocessingwindow::move_down() {
    proc_.move_down();
    refresh();
}

void tprocessingwindow::set_enabled(bool v) {
    proc_.set_enabled(v);
    refresh();
}

// --- files -------------------------------------------------------------------

bool tprocessingwindow::confirm_discard() {
    if (!proc_.modified()) return true;
    switch (ctx_.prompter.ask("Process has been modified, do you want to save changes?",
                              "Save changes", tbuttons::yesnocancel, ticon::question)) {
        case tanswer::yes: return save_dialog() && !proc_.modified();
        case tanswer::no: return true;
        default: return false;
    }
}

void tprocessingwindow::new_process() {
    if (!confirm_discard()) return;
    proc_.clear();
    refresh();
}

void tprocessingwindow::open_dialog() {
    if (!confirm_discard()) return;
    QString path;
    if (choose_open_name) {
        path = choose_open_name();
    } else {
        QFileDialog d(this, "Open process", QFileInfo(q(proc_.name())).path());
        d.setNameFilters(qt_filters(processfilter));
        d.setFileMode(QFileDialog::ExistingFile);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        if (!proc_.name().empty()) d.selectFile(q(proc_.name()));
        if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty())
            path = d.selectedFiles().front();
    }
    if (!path.isEmpty()) open_file(path);
}

void tprocessingwindow::open_file(const QString& path) {
    proc_.defaultsampfreq = ctx_.doc.prefs.DefaultSampFreq;
    try {
        proc_.open(path.toStdString());
    } catch (const std::exception& e) {
        // The process that was open stays; the message says what is wrong
        // with the file.
        show_error(e.what());
        return;
    }
    refresh();
    if (onnameset) onnameset(path);
}

bool tprocessingwindow::save_dialog() {
    QString path;
    if (choose_save_name) {
        path = choose_save_name();
    } else {
        QFileDialog d(this, "Save process", QFileInfo(q(proc_.name())).path());
        d.setNameFilters(qt_filters(processfilter));
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setDefaultSuffix("tessalproc");
        if (!proc_.name().empty()) d.selectFile(q(proc_.name()));
        if (d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty())
            path = d.selectedFiles().front();
    }
    if (path.isEmpty()) return false;
    proc_.save(path.toStdString());
    update_title();
    if (onnameset) onnameset(path);
    return true;
}

void tprocessingwindow::drop_files(const QStringList& paths) {
    if (paths.isEmpty()) return;
    const QString first = paths.front().left(255);
    if (lower_extension(first.toStdString()) != ".tessalproc") return;
    show();
    raise();
    if (confirm_discard()) open_file(first);
}

void tprocessingwindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void tprocessingwindow::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
    e->acceptProposedAction();
    guarded([this, paths] { drop_files(paths); });
}

void tprocessingwindow::closeEvent(QCloseEvent* e) {
    if (run_.running()) {
        e->ignore();
        return;
    }
    // A further process window goes when closed, so it asks first; the
    // first one only hides and keeps its process.
    if (testAttribute(Qt::WA_DeleteOnClose) && !confirm_discard()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

// --- running -----------------------------------------------------------------

void tprocessingwindow::toggle_logperf() {
    logperf_ = !logperf_;
    logaction_->setChecked(logperf_);
    if (logperf_ && runner_.write_profile(proc_.steps, ctx_.measurements.datalog))
        ctx_.windows.show("datalog");
}

void tprocessingwindow::run() {
    if (run_.running()) return;
    tprocenv env(ctx_.doc, ctx_.prompter);
    // The run is one step of the undo history, also when a step fails half
    // way (the steps before it keep their effects until undone).
    tprocresult r;
    if (!run_guarded(&ctx_.doc, [&] { r = run_.run(runner_, proc_.steps, env); }, true,
                     "Run process"))
        return;
    if (!r.ok && !r.cancelled && !r.error.empty() && !proc_.steps.empty()) show_error(r.error);
    if (r.ok && logperf_ && runner_.write_profile(proc_.steps, ctx_.measurements.datalog))
        ctx_.windows.show("datalog");
    refresh();
}

}  // namespace tessal
