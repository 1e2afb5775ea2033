#include "gui/settings/tmainsettings.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QStandardPaths>

#include "engine/view/windowplacement.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/signalpanel.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/settings/trecentfilesmenu.h"
#include "engine/settings/tsetting.h"

namespace tessal {

namespace {

// The secondary windows behind the layout sections, by section name.
struct tlayoutwindow {
    const char* section;
    twindowid id;
};
const tlayoutwindow layoutwindows[] = {
    {"SpectrumWindow", twindowid::spectrum},     {"ProcessingWindow", twindowid::processing},
    {"SpectrogramWindow", twindowid::spectrogram}, {"TNAQWindow", twindowid::tnaq},
    {"InverseWindow", twindowid::invira},        {"LogWindow", twindowid::datalog},
    {"EPGWindow", twindowid::epg},               {"RowogramWindow", twindowid::contactevolution},
    {"CorrelationWindow", twindowid::correlation}, {"XYWindow", twindowid::xyplot},
    {"CorrelogramWindow", twindowid::correlogram}, {"psubWindow", twindowid::psub},
    {"HistWindow", twindowid::histograms},
};

twindowlayout layout_of(const QWidget* w) {
    return {w->y(), w->x(), w->height(), w->width(), w->isMaximized()};
}

void place(QWidget* w, const twindowlayout& l) {
    trect r{l.left, l.top, l.width, l.height};
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (s) {
        const QRect d = s->availableGeometry();
        r = keep_on_desktop(r, {d.left(), d.top(), d.width(), d.height()});
    }
    w->resize(r.width, r.height);
    w->move(r.left, r.top);
}

}  // namespace

namespace {
bool writesallowed = true;
}

void tmainsettings::set_writes_allowed(bool v) { writesallowed = v; }

bool tmainsettings::writes_allowed() { return writesallowed; }

tmainsettings& tmainsettings::of(TMainWindow& main) {
    if (auto* s = main.findChild<tmainsettings*>(QString(), Qt::FindDirectChildrenOnly)) return *s;
    return *new tmainsettings(main);
}

tmainsettings::tmainsettings(TMainWindow& main) : QObject(&main), main_(main) {}

QString tmainsettings::appdata_folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString tmainsettings::settings_folder() {
    return QString::fromStdString(
        program_data_folder(tessal_progid(), appdata_folder().toStdString()));
}

void tmainsettings::collect() {
    state_.layouts["Layout"] = layout_of(&main_);
    for (const tlayoutwindow& lw : layoutwindows)
        state_.layouts[lw.section] = layout_of(main_.windows().window(lw.id));
    state_.SaveFormat = main_.filecommands().savefilterindex;
    state_.ShowFSD = main_.signalpanel()->view().showfsd;
    state_.usefileformat.clear();
    for (const tsavefilter& row : main_.files().savefilter)
        state_.usefileformat.push_back({row.idstr, row.used});
}

void tmainsettings::apply() {
    if (!main_.isMaximized()) {
        // The main window is pulled onto the desktop once more at the end
        // of first activation, so only its size and place are set here.
        const twindowlayout& l = state_.layouts["Layout"];
        main_.resize(l.width, l.height);
        main_.move(l.left, l.top);
    }
    for (const tlayoutwindow& lw : layoutwindows) place(main_.windows().window(lw.id), state_.layouts[lw.section]);
    main_.filecommands().savefilterindex = state_.SaveFormat;
    main_.signalpanel()->view().showfsd = state_.ShowFSD;
    if (QAction* a = main_.commands().action("showfsdaction"); a && a->isCheckable())
        a->setChecked(state_.ShowFSD);
    auto& rows = main_.files().savefilter;
    for (const tsaveformatflag& u : state_.usefileformat)
        for (tsavefilter& row : rows)
            if (row.idstr == u.idstr) row.used = u.used;
}

void tmainsettings::open() {
    if (opened_) return;
    opened_ = true;
    const std::string base = appdata_folder().toStdString();
    sound_ = new trecentfilesmenu(main_.commands().menu("&File"), 7, "sound", base,
                                  main_.measurements().prompter(), this);
    sound_->list().OnClick = [this](const std::string& path) {
        main_.files().open_document(path);
    };
    proc_ = new trecentfilesmenu(main_.commands().menu("&Process"), -1, "proc", base,
                                 main_.measurements().prompter(), this);
    proc_->list().OnClick = [this](const std::string& path) {
        if (main_.filecommands().open_process)
            main_.filecommands().open_process(QString::fromStdString(path));
    };
    main_.files().recent_file_used = [this](const std::string& path) { sound_->list().add(path); };

    collect();
    open_settings(main_.document(), state_, main_.measurements().prompter(), base);
    apply();
}

void tmainsettings::save() {
    if (!writesallowed) return;
    collect();
    try {
        save_settings(main_.document(), state_, appdata_folder().toStdString());
    } catch (const std::exception& e) {
        main_.measurements().prompter().ask(e.what(), "Cannot save settings file", tbuttons::ok, ticon::error);
    }
}

}  // namespace tessal
