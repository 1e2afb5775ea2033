#include "gui/mainwindow/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include "engine/core/measurementitems.h"
#include "engine/document/title.h"
#include "engine/view/windowplacement.h"
#include "gui/calibration/calibrationmodule.h"
#include "gui/editing/teditingcommands.h"
#include "gui/epg/epgmodule.h"
#include "gui/exchange/exchangemodule.h"
#include "gui/files/filesmodule.h"
#include "gui/labels/labelsmodule.h"
#include "gui/view/signalpanel.h"
#include "gui/commands/commandguard.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/plots/plotsmodule.h"
#include "gui/processing/processingmodule.h"
#include "gui/psub/psubmodule.h"
#include "gui/settings/tmainsettings.h"
#include "gui/correlation/correlationmodule.h"
#include "gui/inversefilter/inversefiltermodule.h"
#include "gui/spectrogram/spectrogrammodule.h"
#include "gui/spectrum/spectrummodule.h"
#include "gui/sound/soundmodule.h"
#include "gui/editing/undomodule.h"
#include "gui/view/viewmodule.h"

namespace tessal {

template <class M>
M* TMainWindow::add_module() {
    auto m = std::make_unique<M>(*ctx_);
    M* p = m.get();
    modules_.push_back(std::move(m));
    return p;
}

TMainWindow::TMainWindow(tprompter* prompter, QWidget* parent)
    : QMainWindow(parent), ctx_(std::make_unique<tappcontext>(this, prompter)) {
    setObjectName("MainWindow");
    set_error_display(&ctx_->prompter);
    set_guarded_document(&ctx_->doc);
    ctx_->doc.theglobal.add_listener(this);
    // The features, each adding its commands and windows. Their order is
    // the order their listeners hear the document.
    files_ = add_module<tfilesmodule>();
    view_ = add_module<tviewmodule>();
    setCentralWidget(view_->panel());
    // The status bar is there from the start (measurement progress, paint
    // failures), so the strips never change height when it first speaks.
    statusBar();
    meas_ = add_module<tmeasurementcommands>();
    edit_ = add_module<teditingcommands>();
    undo_ = add_module<tundomodule>();
    labels_ = add_module<tlabelsmodule>();
    settings_ = add_module<tmainsettings>();
    processing_ = add_module<tprocessingmodule>();
    add_module<tspectrummodule>();
    add_module<tsoundmodule>();
    add_module<tspectrogrammodule>();
    add_module<tcorrelationmodule>();
    add_module<tinversefiltermodule>();
    add_module<tplotsmodule>();
    add_module<texchangemodule>();
    add_module<tcalibrationmodule>();
    add_module<tpsubmodule>();
    add_module<tepgmodule>();
    auto* toolbar = addToolBar("Tool bar");
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    ctx_->commands.build(menuBar(), toolbar);
    ctx_->windows.create();
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

// Everything the features made points into the context, so it goes in
// order before QWidget's destructor deletes the children: the secondary
// windows, then the features (the signal panel with the view), last the
// context with the document.
TMainWindow::~TMainWindow() {
    if (error_display() == &ctx_->prompter) set_error_display(nullptr);
    if (guarded_document() == &ctx_->doc) set_guarded_document(nullptr);
    ctx_->doc.theglobal.remove_listener(this);
    ctx_->windows.destroy();
    takeCentralWidget();
    while (!modules_.empty()) modules_.pop_back();
    ctx_.reset();
}

tsignalpanel* TMainWindow::signalpanel() const { return view_->panel(); }

tfilecommands& TMainWindow::filecommands() { return files_->commands(); }

void TMainWindow::first_activation(const QStringList& arguments) {
    if (activated_) return;
    activated_ = true;
    for (int i = 0; i < nmeasurementitems; ++i)
        ctx_->doc.showmeasurement[i] = measurement_shown_by_default(i);
    ctx_->doc.prefs = tpreferences{};
    ctx_->doc.xaxis.SetBackgroundColor(0xFFFFFF);
    setAcceptDrops(true);
    axismetrics_.set_font(font());
    ctx_->doc.theglobal.set_axisfont(&axismetrics_);
    ctx_->doc.selectmode = selstereo;
    settings_->open();
    ctx_->doc.theglobal.fix_things();
    ctx_->commands.refresh();
    if (offer_recovery_) undo_->offer_recovery();

    for (const QString& arg : arguments) {
        std::string path = arg.toStdString();
        if (lower_extension(path) == ".tessalproc") {
            ctx_->filehooks.open_process(arg);
        } else {
            ctx_->files.open_document(path);
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
    tdocumenttitle t = document_title(ctx_->doc.filename(), ctx_->doc.modified());
    setWindowTitle(QString::fromStdString(t.caption));
}

void TMainWindow::document_state_changed() {
    update_title();
    ctx_->commands.refresh();
}

void TMainWindow::fix_things() { ctx_->commands.refresh(); }

void TMainWindow::closeEvent(QCloseEvent* e) {
    if (!ctx_->life.confirm_exit()) {
        e->ignore();
        return;
    }
    settings_->save();
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
    files_->commands().drop(paths);
    e->acceptProposedAction();
}

}  // namespace tessal
