#include "gui/measurements/tmeasurementcommands.h"

#include <QStatusBar>

#include "gui/measurements/tdatalogwindow.h"
#include "gui/measurements/tmeasurementsdialog.h"

namespace tessal {

tmeasurementcommands::tmeasurementcommands(tappcontext& ctx) : tfeaturemodule(ctx) {
    tmeasurements& m = ctx.measurements;
    m.status = [&ctx](const std::string& s) {
        if (!ctx.window) return;
        ctx.window->statusBar()->showMessage(QString::fromStdString(s));
        // The text is refreshed at once, before the channel is measured.
        ctx.window->statusBar()->repaint();
    };
    m.show_log = [&ctx] { ctx.windows.show("datalog"); };
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [&m] { m.tick(); });
    timer_.start();

    auto haschannels = [&ctx] { return ctx.doc.totnchans() > 0; };
    auto open = [&ctx](const QString& id) { return [&ctx, id] { ctx.windows.show(id); }; };
    ctx.commands.add({.id = "showlogaction", .caption = "Show log",
                      .handler = open("datalog"), .group = "edit.log", .order = 10});
    ctx.commands.add({.id = "logmeasurementsaction", .caption = "Log measurements",
                      .shortcut = "F5", .handler = [&m] { m.log_measurements(); },
                      .enabled = haschannels, .group = "edit.log", .order = 20, .toolorder = 30,
                      .toolcaption = "Log meas."});
    ctx.commands.add({.id = "copymeasurementsaction", .caption = "Copy measurements",
                      .shortcut = "Ctrl+M",
                      .handler = [&ctx] { ctx.measurements.copy_measurements(ctx.clipboard); },
                      .enabled = haschannels, .group = "edit.log", .order = 30});
    ctx.commands.add({.id = "measurementsaction", .caption = "Measurements...",
                      .handler = open("measurements"), .group = "analysis", .order = 10});

    ctx.windows.add("measurements", {.caption = "Measurements"}, [&ctx](QWidget* owner) {
        return new tmeasurementsdialog(ctx.doc, ctx.measurements, ctx.prompter, owner);
    });
    ctx.windows.add("datalog", {.caption = "Data log", .layout = "LogWindow"}, [&ctx](QWidget* owner) {
        return new tdatalogwindow(ctx.windows.caption("datalog"), ctx.measurements.datalog,
                                  &ctx.prompter, &ctx.clipboard, owner);
    });
    ctx.windows.add("loggedmeasurements", {.caption = "Logged measurements"}, [&ctx](QWidget* owner) {
        return new tdatalogwindow(ctx.windows.caption("loggedmeasurements"),
                                  ctx.measurements.loggedmeasurements, nullptr, nullptr, owner);
    });
    ctx.viewrequests.infodoubleclick.push_back(
        [&ctx](int) { ctx.windows.show("measurements"); });
}

tmeasurementcommands::~tmeasurementcommands() {
    ctx.measurements.status = nullptr;
    ctx.measurements.show_log = nullptr;
}

}  // namespace tessal
