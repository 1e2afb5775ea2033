#include "gui/measurements/tmeasurementcommands.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

namespace tessal {

tmeasurementcommands::tmeasurementcommands(tdocument& doc, tprompter& prompter,
                                           QMainWindow* owner)
    : meas_(doc), prompter_(prompter), owner_(owner) {
    meas_.status = [this](const std::string& s) {
        if (!owner_) return;
        owner_->statusBar()->showMessage(QString::fromStdString(s));
        // The text is refreshed at once, before the channel is measured.
        owner_->statusBar()->repaint();
    };
    meas_.show_log = [this] {
        if (show_log) show_log();
    };
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { meas_.tick(); });
    timer_.start();
}

std::vector<tcommand> tmeasurementcommands::commands() {
    const QString edit = "&Edit";
    auto haschannels = [this] { return meas_.document().totnchans() > 0; };
    return {
        {edit, "Log measurements", "F5", [this] { meas_.log_measurements(); }, haschannels,
         "logmeasurementsaction", {}, 30, "Log meas."},
        {edit, "Copy measurements", "Ctrl+M", [this] { meas_.copy_measurements(*clipboard_); },
         haschannels, "copymeasurementsaction"},
    };
}

}  // namespace tessal
