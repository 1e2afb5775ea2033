#include "gui/mainwindow/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include "engine/core/measurementitems.h"
#include "engine/document/title.h"
#include "engine/view/windowplacement.h"
#include "gui/editing/teditingcommands.h"
#include "gui/mainwindow/commandguard.h"
#include "gui/mainwindow/signalpanel.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/settings/tmainsettings.h"

namespace tessal {

TMainWindow::TMainWindow(tprompter* prompter, QWidget* parent)
    : QMainWindow(parent),
      qtprompter_(prompter ? nullptr : std::make_unique<tqtprompter>(this)),
      prompter_(prompter ? *prompter : *qtprompter_),
      life_(doc_, prompter_),
      files_(doc_, life_, prompter_),
      filecmds_(std::make_unique<tfilecommands>(this, doc_, files_, life_, prompter_)) {
    setObjectName("MainWindow");
    set_error_display(&prompter_);
    life_.hooks.save_as = [this] { filecmds_->save_as(); };
    filecmds_->open_process = [this](const QString& path) {
        pendingprocess_ = path;
        windows_->show(twindowid::processing);
    };
    doc_.theglobal.add_listener(this);
    panel_ = new tsignalpanel(doc_, this);
    // Double-clicking a channel's information line opens the Measurements dialog.
    panel_->on_measurements = [this](int) { windows_->show(twindowid::measurements); };
    setCentralWidget(panel_);
    // The status bar is there from the start (measurement progress, paint
    // failures), so the strips never change height when it first speaks.
    statusBar();
    life_.zoomhistory = &panel_->view().zoom;
    meas_ = std::make_unique<tmeasurementcommands>(doc_, prompter_, this);
    meas_->show_log = [this] { windows_->show(twindowid::datalog); };
    edit_ = std::make_unique<teditingcommands>(doc_, prompter_, this);
    auto* toolbar = addToolBar("Tool bar");
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    commands_.guarded_document = &doc_;
    commands_.build(menuBar(), main_commands(), toolbar);
    panel_->attach_commands(commands_);
    windows_ = std::make_unique<twindowset>(this);
    edit_->attach(*this);
    // A readable default that fits the screen, whatever its size and scale.
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect d = s->availableGeometry();
        trect r = centred_over(std::min(1000, d.width() * 9 / 10), std::min(700, d.height() * 9 / 10),
                               {d.left(), d.top(), d.width(), d.height()},
                               {d.left(), d.top(), d.width(), d.height()});
        setGeometry(r.left, r.top, r.width, r.height);
    } else {
        resize(1000, 700);
    }
    update_title();
}

TMainWindow::~TMainWindow() {
    if (error_display() == &prompter_) set_error_display(nullptr);
    doc_.theglobal.remove_listener(this);
    // The signal panel's axis widgets point into the document: it goes first.
    delete takeCentralWidget();
}

std::vector<tcommand> TMainWindow::main_commands() {
    const QString file = "&File", edit = "&Edit", channels = "&Channels", view = "&View",
                  analysis = "&Analysis", process = "&Process", sound = "&Sound",
                  tools = "&Tools";
    auto open = [this](twindowid id) { return [this, id] { windows_->show(id); }; };
    auto haschannels = [this] { return doc_.totnchans() > 0; };
    auto severalchannels = [this] { return doc_.totnchans() > 1; };
    auto selection = [this] { return doc_.totnchans() > 0 && doc_.theglobal.has_selection(); };
    auto notyet = [] { return false; };  // commands whose work comes later
    std::vector<tcommand> list = {
        {file, "New", "Ctrl+N", [this] { life_.new_document(); }, {}, "newaction"},
        {file, "Open...", "Ctrl+O", [this] { filecmds_->open_dialog(false); }, {}, "openaction", {}, 10},
        {file, "Ad&d...", "Ctrl+D", [this] { filecmds_->open_dialog(true); }, {}, "addaction"},
        {file, "&Save", "Ctrl+S", [this] { filecmds_->save(); }, haschannels, "saveaction", {}, 11},
        {file, "Save &as", "", [this] { filecmds_->save_as(); }, haschannels, "saveasaction"},
        {file, "Save sele&ction as...", "Ctrl+E", [this] { filecmds_->save_selection_as(); },
         [this] { return save_selection_enabled(doc_); }, "saveselectionaction",
         [this] {
             return doc_.totnchans() == 0 ? QString("Save sele&ction as...")
                                          : QString::fromStdString(save_selection_caption(doc_));
         }},
        {file, "Export...", "", open(twindowid::exporttext), haschannels, "exportaction"},
        separator(file),
        {file, "E&xit", "", [this] { close(); }, {}, "exitaction"},

        {edit, "Levels...", "", open(twindowid::editlevels), selection, "levelsaction"},
        {edit, "Set FSD...", "", open(twindowid::setfsd), {}, "setfsdaction"},
        {edit, "Calibrate...", "", open(twindowid::calibration), haschannels, "calibrateaction"},
        separator(edit),
        {edit, "Show log", "", open(twindowid::datalog), {}, "showlogaction"},

        {channels, "Channel info", "", open(twindowid::channelinfo), haschannels, "channelinfoaction"},
        {channels, "Align channels", "", open(twindowid::align), severalchannels, "alignaction"},
        {channels, "Channel color...", "", open(twindowid::colors), haschannels, "channelcoloraction"},

        {view, "Preferences...", "", open(twindowid::settings), {}, "preferencesaction"},
        {view, "Keyboard shortcuts", "", open(twindowid::keyboardshortcuts), {}, "keyboardaction"},

        {analysis, "Measurements...", "", open(twindowid::measurements), {}, "measurementsaction"},
        {analysis, "Spectrum", "", open(twindowid::spectrum), {}, "spectrumaction"},
        {analysis, "Spectrogram", "", open(twindowid::spectrogram), {}, "spectrogramaction"},
        {analysis, "Correlation", "", open(twindowid::correlation), {}, "correlationaction"},
        {analysis, "Correlogram", "", open(twindowid::correlogram), {}, "correlogramaction"},
        {analysis, "Show histograms", "", open(twindowid::histograms), {}, "histogramsaction"},
        {analysis, "xy-plot", "", open(twindowid::xyplot), {}, "xyplotaction"},

        {process, "Edit process", "", open(twindowid::processing), {}, "editprocessaction"},
        {process, "Run process", "", open(twindowid::processing), {}, "runprocessaction"},
        {process, "Open process...", "", open(twindowid::processing), {}, "openprocessaction"},
        {process, "Add another process", "", [this] { windows_->add_processing_window(); }, {},
         "addprocessaction"},

        {sound, "Play!", "F9", {}, notyet, "playaction", {}, 40},
        {sound, "Play entire file!", "Ctrl+F9", {}, notyet, "playallaction", {}, 41},
        separator(sound),
        {sound, "Select playback soundcard...", "", open(twindowid::soundcard), {}, "soundcardaction"},
        {sound, "Record...", "", open(twindowid::record), {}, "recordaction"},
        {sound, "Advanced record...", "", open(twindowid::advancedrecord), {}, "advancedrecordaction"},
        {sound, "Manage codecs...", "", open(twindowid::codecs), {}, "codecsaction"},

        {tools, "Inverse filter", "", open(twindowid::invira), {}, "inversefilteraction"},
        {tools, "Glottal flow parameter measurement", "", open(twindowid::tnaq), {}, "tnaqaction"},
        {tools, "Subglottal pressure", "", open(twindowid::psub), {}, "psubaction"},
        {tools, "Electropalatograph (EPG)", "", open(twindowid::epg), {}, "epgaction"},
    };
    // The signal view's commands (View and Channels menus).
    for (tcommand& c : panel_->view_commands()) list.push_back(std::move(c));
    // Log measurements and Copy measurements (Edit menu).
    for (tcommand& c : meas_->commands()) list.push_back(std::move(c));
    // Cut, Copy, Paste ... (Edit), Delete channel(s), the Labels menu.
    edit_->add_commands(list);
    return list;
}

void TMainWindow::first_activation(const QStringList& arguments) {
    if (activated_) return;
    activated_ = true;
    for (int i = 0; i < nmeasurementitems; ++i)
        doc_.showmeasurement[i] = measurement_shown_by_default(i);
    doc_.prefs = tpreferences{};
    doc_.xaxis.SetBackgroundColor(0xFFFFFF);
    setAcceptDrops(true);
    axismetrics_.set_font(font());
    doc_.theglobal.set_axisfont(&axismetrics_);
    doc_.selectmode = selstereo;
    tmainsettings::of(*this).open();
    doc_.theglobal.fix_things();
    commands_.refresh_enablings();

    for (const QString& arg : arguments) {
        std::string path = arg.toStdString();
        if (lower_extension(path) == ".tessalproc") {
            pendingprocess_ = arg;
            windows_->show(twindowid::processing);
        } else {
            files_.open_document(path);
        }
    }

    if (QScreen* s = screen()) {
        QRect d = s->availableGeometry();
        QRect g = frameGeometry();
        trect r = keep_on_desktop({g.left(), g.top(), g.width(), g.height()},
                                  {d.left(), d.top(), d.width(), d.height()});
        // A size stored on a larger screen (or at a smaller scale) is cut to
        // this one, and the window comes wholly onto it.
        r = fit_on_screen(r, 0, 0, {d.left(), d.top(), d.width(), d.height()});
        if (r.width != g.width() || r.height != g.height())
            resize(width() - (g.width() - r.width), height() - (g.height() - r.height));
        if (r.left != g.left() || r.top != g.top()) move(r.left, r.top);
    }
}

void TMainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!activated_) first_activation(QApplication::arguments().mid(1));
}

void TMainWindow::update_title() {
    tdocumenttitle t = document_title(doc_.filename(), doc_.modified());
    setWindowTitle(QString::fromStdString(t.caption));
}

void TMainWindow::document_state_changed() {
    update_title();
    commands_.refresh_enablings();
}

void TMainWindow::channels_changed() { panel_->resize_channels(); }

void TMainWindow::fix_things() { commands_.refresh_enablings(); }

void TMainWindow::invalidate_paintboxes(bool) { panel_->update(); }

void TMainWindow::closeEvent(QCloseEvent* e) {
    if (!life_.confirm_exit()) {
        e->ignore();
        return;
    }
    tmainsettings::of(*this).save();
    e->accept();
}

}  // namespace tessal

namespace tessal {

void TMainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
    filecmds_->drop(paths);
    e->acceptProposedAction();
}

}  // namespace tessal
