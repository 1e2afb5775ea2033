// TMainWindow: the main window. It owns the document and the secondary
// windows, builds its menus from one command table, shows the title and the
// modified marker, and runs start-up (first activation) and shutdown. The
// work itself is the engine's: this class collects choices and calls it.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "engine/core/tdocument.h"
#include "engine/core/tviewlistener.h"
#include "engine/document/documentfiles.h"
#include "engine/document/lifecycle.h"
#include "gui/mainwindow/commandtable.h"
#include "gui/mainwindow/filecommands.h"
#include "gui/platform/qtprompter.h"
#include "gui/platform/qttextmetrics.h"
#include "gui/windows/windowset.h"

namespace tessal {

class tsignalpanel;
class tmeasurementcommands;
class teditingcommands;

class TMainWindow : public QMainWindow, public tviewlistener {
    Q_OBJECT

public:
    // `prompter` replaces the message boxes (tests); null uses Qt's.
    explicit TMainWindow(tprompter* prompter = nullptr, QWidget* parent = nullptr);
    ~TMainWindow() override;

    tdocument& document() { return doc_; }
    tdocumentlifecycle& lifecycle() { return life_; }
    twindowset& windows() { return *windows_; }
    tcommandset& commands() { return commands_; }
    tdocumentfiles& files() { return files_; }
    tfilecommands& filecommands() { return *filecmds_; }
    tsignalpanel* signalpanel() const { return panel_; }
    tmeasurementcommands& measurements() { return *meas_; }
    teditingcommands& editing() { return *edit_; }

    // Runs once: defaults, settings, command-line files, placement.
    void first_activation(const QStringList& arguments);
    bool activated() const { return activated_; }
    // The process file named on the command line, if any.
    const QString& pending_process() const { return pendingprocess_; }

    // tviewlistener
    void document_state_changed() override;
    void channels_changed() override;
    void fix_things() override;
    void invalidate_paintboxes(bool makebmps) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    std::vector<tcommand> main_commands();
    void update_title();

    tdocument doc_;
    std::unique_ptr<tqtprompter> qtprompter_;
    tprompter& prompter_;
    tdocumentlifecycle life_;
    tdocumentfiles files_;
    std::unique_ptr<tfilecommands> filecmds_;
    tqtextmetrics axismetrics_;
    std::unique_ptr<twindowset> windows_;
    tcommandset commands_;
    tsignalpanel* panel_ = nullptr;
    bool activated_ = false;
    QString pendingprocess_;
    // Listens to doc_, so it is declared after it and goes first.
    std::unique_ptr<tmeasurementcommands> meas_;
    // The Edit, Channels and Labels commands; listens to doc_ as well.
    std::unique_ptr<teditingcommands> edit_;
};

}  // namespace tessal
