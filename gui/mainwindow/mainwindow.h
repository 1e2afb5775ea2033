// TMainWindow: the main window, a shell. It makes the application context
// (document, prompter, clipboards, view state, windows, commands), then the
// feature modules, each of which adds its own commands and windows; then
// it builds the menus and the tool bar from the command registry and makes
// the secondary windows in their fixed order. It shows the title and the
// modified marker and runs start-up (first activation) and shutdown. The
// work itself is the features' and the engine's.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <vector>

#include "engine/core/tviewlistener.h"
#include "gui/context/appcontext.h"
#include "gui/files/filecommands.h"
#include "gui/platform/qttextmetrics.h"

namespace tessal {

class tsignalpanel;
class tfilesmodule;
class tmeasurementcommands;
class teditingcommands;
class tundomodule;
class tlabelsmodule;
class tmainsettings;
class tprocessingmodule;
class tviewmodule;

class TMainWindow : public QMainWindow, public tviewlistener {
    Q_OBJECT

public:
    // `prompter` replaces the message boxes (tests); null uses Qt's.
    explicit TMainWindow(tprompter* prompter = nullptr, QWidget* parent = nullptr);
    ~TMainWindow() override;

    tappcontext& context() { return *ctx_; }
    tdocument& document() { return ctx_->doc; }
    tdocumentlifecycle& lifecycle() { return ctx_->life; }
    twindowset& windows() { return ctx_->windows; }
    tcommandregistry& commands() { return ctx_->commands; }
    tdocumentfiles& files() { return ctx_->files; }
    tfilecommands& filecommands();
    tsignalpanel* signalpanel() const;
    tmeasurementcommands& measurements() { return *meas_; }
    teditingcommands& editing() { return *edit_; }
    tundomodule& undo() { return *undo_; }
    tlabelsmodule& labels() { return *labels_; }
    tmainsettings& settings() { return *settings_; }

    // Runs once: defaults, settings, command-line files, placement.
    void first_activation(const QStringList& arguments);
    // Whether first_activation asks about journals a crashed run left
    // (not in screenshot runs).
    void set_offer_recovery(bool v) { offer_recovery_ = v; }
    bool activated() const { return activated_; }
    // The processing feature (its windows, the run with progress).
    tprocessingmodule& processing() { return *processing_; }

    // tviewlistener
    void document_state_changed() override;
    void fix_things() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    template <class M>
    M* add_module();
    void update_title();

    // Destroyed explicitly, in order: windows, modules, context.
    std::unique_ptr<tappcontext> ctx_;
    std::vector<std::unique_ptr<tfeaturemodule>> modules_;
    tqtextmetrics axismetrics_;
    bool activated_ = false;
    tviewmodule* view_ = nullptr;
    tmeasurementcommands* meas_ = nullptr;
    teditingcommands* edit_ = nullptr;
    tundomodule* undo_ = nullptr;
    bool offer_recovery_ = true;
    tlabelsmodule* labels_ = nullptr;
    tmainsettings* settings_ = nullptr;
    tprocessingmodule* processing_ = nullptr;
    // The File commands' owner (dropped files, process files at start).
    tfilesmodule* files_ = nullptr;
};

}  // namespace tessal
