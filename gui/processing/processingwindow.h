// tprocessingwindow: the processing window ("Processing - Tessal"), where
// the user composes a process from the registry's step types, edits each
// step in its dialog, opens and saves ".tessalproc" files and runs the
// process on the document. The process itself, its editing commands, the
// modified flag and the caption rules are the engine's tprocessdocument;
// this window draws the lists and forwards clicks, asks for file names and
// shows a step's form in tstepformdialog.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "engine/process/processdocument.h"
#include "engine/process/procrunner.h"

class QAction;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace tessal {

class tappcontext;
class tprocessrun;
class tstepformdialog;

class tprocessingwindow : public QWidget {
    Q_OBJECT

public:
    tprocessingwindow(tappcontext& ctx, tprocessrun& runner, QWidget* owner);

    tprocessdocument& process() { return proc_; }
    const tprocessdocument& process() const { return proc_; }

    // Tests and scripts choose names and drive dialogs here; unset, the
    // file dialogs and exec() are used. An empty name is a cancelled dialog.
    std::function<QString()> choose_open_name;
    std::function<QString()> choose_save_name;
    std::function<int(tstepformdialog&)> exec_dialog;
    // Told when the name or the modified flag changed (the main window's
    // "Run process" caption and hint follow them).
    std::function<void()> onnamechanged;
    // Told each time a named process was opened or saved (recent list).
    std::function<void(const QString&)> onnameset;

    // The window's actions and commands.
    void new_process();
    void open_dialog();
    void open_file(const QString& path);
    // Save... (asks for a name); true when the process was written.
    bool save_dialog();
    void run();
    void toggle_logperf();
    bool logperf() const { return logperf_; }
    void add_focused(bool marking);
    void edit_focused();
    void copy_selected();
    void delete_selected();
    void move_up();
    void move_down();
    void set_enabled(bool v);
    // Files dropped on the window: the first is opened when it is a process
    // (after the question about a modified process).
    void drop_files(const QStringList& paths);
    // Asks to save a modified process; false when the user cancelled.
    bool confirm_discard();

    // The step dialog the Edit command would open for step i (screenshots);
    // null for a step without a form.
    tstepformdialog* make_step_dialog(int i);

    QListWidget* steps_list() const { return steps_; }
    QListWidget* available_list() const { return available_; }
    QAction* run_action() const { return runaction_; }

    void refresh();
    QSize sizeHint() const override { return {720, 440}; }

protected:
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void update_title();
    void take_selection();
    void show_help();
    void guarded(const std::function<void()>& work);

    tappcontext& ctx_;
    tprocessrun& run_;
    tprocessdocument proc_;
    tprocrunner runner_;
    bool logperf_ = false;
    QListWidget* steps_ = nullptr;
    QListWidget* available_ = nullptr;
    QPlainTextEdit* help_ = nullptr;
    QAction* runaction_ = nullptr;
    QAction* logaction_ = nullptr;
    bool refreshing_ = false;
    // The step on the focused line: a refresh puts the focus back on it
    // wherever it moved, so Edit... opens the step the user is on.
    const tprocstep* focused_ = nullptr;
};

}  // namespace tessal
