#include "gui/editing/teditingcommands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QWidget>
#include <exception>

#include "engine/document/channelcommands.h"
#include "engine/document/labelcommands.h"
#include "gui/editing/tlabelpropertiesdialog.h"
#include "gui/editing/tnotesdialog.h"
#include "gui/mainwindow/commandguard.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/signalpanel.h"
#include "gui/measurements/tmeasurementcommands.h"

namespace tessal {

teditingcommands::teditingcommands(tdocument& doc, tprompter& prompter, QWidget* owner)
    : QObject(owner), doc_(doc), prompter_(prompter), owner_(owner), edit_(doc, prompter, *this) {
    ask_label_text = [this]() -> std::optional<std::string> {
        bool ok = false;
        QString t = QInputDialog::getText(owner_, "Enter label text", "Text:", QLineEdit::Normal,
                                          QString(), &ok);
        if (!ok) return std::nullopt;
        return t.toStdString();
    };
    is_foreground = [this] { return owner_ && owner_->isActiveWindow(); };
    // Playback and recording are stopped by the sound side once it exists;
    // until then there is nothing to stop.
    doc_.theglobal.add_listener(this);
}

teditingcommands::~teditingcommands() { doc_.theglobal.remove_listener(this); }

void teditingcommands::set_clipboard(tclipboard* c) {
    clip_ = c ? c : &qtclip_;
    refresh();
}

void teditingcommands::guarded(const std::function<void()>& f) {
    run_guarded(&doc_, f);
    refresh();
}

void teditingcommands::refresh() {
    if (main_) main_->commands().refresh_enablings();
}

void teditingcommands::main_cursor_changed(bool) { refresh(); }

std::vector<tcommand> teditingcommands::edit_menu() {
    const QString edit = "&Edit";
    auto run = [this](auto f) { return [this, f] { guarded(f); }; };
    auto channels = [this] { return doc_.totnchans() > 0; };
    auto change = [this] { return edit_.can_change_selection(); };
    return {
        {edit, "Cut", "Ctrl+X", run([this] { edit_.cut(); }), [this] { return edit_.can_copy(); },
         "cutaction"},
        {edit, "Copy", "Ctrl+C", run([this] { edit_.copy(); }), [this] { return edit_.can_copy(); },
         "copyaction"},
        {edit, "Paste", "Ctrl+V", run([this] { edit_.paste(); }),
         [this] { return edit_.can_paste(); }, "pasteaction"},
        {edit, "Select all", "Ctrl+A", run([this] { edit_.select_all(); }), channels,
         "selectallaction"},
        {edit, "Delete", "Del",
         run([this] {
             if (!is_foreground || is_foreground()) edit_.delete_selection();
         }),
         {}, "deleteaction"},
        separator(edit),
        {edit, "Set FSD to peak value", "", run([this] { edit_.set_fsd_to_peak(); }), channels,
         "fsdpeakaction"},
        {edit, "Reverse", "", run([this] { edit_.reverse(); }), change, "reverseaction"},
        {edit, "Zero", "", run([this] { edit_.zero(); }), change, "zeroaction"},
        {edit, "Interpolate", "", run([this] { edit_.interpolate(); }), change,
         "interpolateaction"},
        separator(edit),
    };
}

std::vector<tcommand> teditingcommands::channel_menu() {
    const QString channels = "&Channels";
    return {
        {channels, "Delete channel", "",
         [this] { guarded([this] { delete_current_channel(doc_, prompter_); }); },
         [this] { return can_delete_channel(doc_); }, "deletechannelaction",
         [this] { return QString::fromStdString(delete_channel_caption(doc_)); }},
        {channels, "Delete channels", "",
         [this] { guarded([this] { delete_current_channels(doc_, prompter_); }); },
         [this] { return can_delete_channels(doc_); }, "deletechannelsaction",
         [this] { return QString::fromStdString(delete_channels_caption(doc_)); }},
    };
}

std::vector<tcommand> teditingcommands::label_menu() {
    const QString labels = "&Labels";
    auto haslabels = [this] { return can_log_labels(doc_); };
    auto selected = [this] { return can_deselect_labels(doc_); };
    return {
        {labels, "Log labels", "",
         [this] {
             guarded([this] {
                 if (!main_) return;
                 if (log_labels(doc_, main_->measurements().measurements().datalog))
                     main_->windows().show(twindowid::datalog);
             });
         },
         haslabels, "loglabelsaction",
         [this] { return QString::fromStdString(log_labels_caption(doc_)); }},
        separator(labels),
        {labels, "Add label...", "F7",
         [this] {
             guarded([this] {
                 if (doc_.totnchans() == 0) return;
                 if (auto t = ask_label_text()) add_manual_label(doc_, *t);
             });
         },
         [this] { return can_add_label(doc_); }, "addlabelaction"},
        {labels, "Add measurement label", "F10",
         [this] {
             guarded([this] {
                 add_measurement_label(doc_, [this] {
                     if (main_) main_->measurements().measurements().flush();
                 });
             });
         },
         [this] { return can_add_label(doc_); }, "addmeasurementlabelaction"},
        {labels, "Select signal at label", "F6",
         [this] { guarded([this] { select_signal_at_label(doc_); }); },
         [this] { return can_select_signal_at_label(doc_); }, "selectsignalatlabelaction"},
        separator(labels),
        // Its submenu of types is attached once the menus exist.
        {labels, "Select labels by type", "", {}, haslabels, "selectlabelsbytypeaction"},
        {labels, "Select all labels", "", [this] { guarded([this] { select_all_labels(doc_); }); },
         haslabels, "selectalllabelsaction"},
        {labels, "Deselect all labels", "",
         [this] { guarded([this] { deselect_all_labels(doc_); }); }, selected,
         "deselectlabelsaction"},
        separator(labels),
        {labels, "Delete labels", "",
         [this] { guarded([this] { delete_selected_labels(doc_, prompter_); }); }, selected,
         "deletelabelsaction",
         [this] { return QString::fromStdString(delete_labels_caption(doc_)); }},
    };
}

void teditingcommands::add_commands(std::vector<tcommand>& list) {
    auto first_of = [&list](const QString& menu) {
        auto it = list.begin();
        while (it != list.end() && it->menu != menu) ++it;
        return it;
    };
    // The clipboard commands lead the Edit menu.
    std::vector<tcommand> e = edit_menu();
    list.insert(first_of("&Edit"), e.begin(), e.end());
    // Delete channel(s) after the last Channels command of the main list.
    auto last = list.end();
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->menu == "&Channels" && !it->caption.isEmpty() && !it->name.startsWith("edit"))
            last = it + 1;
    std::vector<tcommand> c = channel_menu();
    list.insert(last, c.begin(), c.end());
    // The Labels menu follows View.
    std::vector<tcommand> l = label_menu();
    list.insert(first_of("&Analysis"), l.begin(), l.end());
    // Stereo, all and visible editing need more than one channel.
    for (tcommand& cmd : list) {
        int mode = cmd.name == "editstereoaction"    ? selstereo
                   : cmd.name == "editallaction"     ? selall
                   : cmd.name == "editvisibleaction" ? selvisible
                                                     : 0;
        if (mode) cmd.enabled = [this, mode] { return edit_.can_set_selectmode(mode); };
    }
}

void teditingcommands::attach(TMainWindow& main) {
    main_ = &main;
    if (QAction* a = main.commands().action("selectlabelsbytypeaction")) {
        auto* sub = new QMenu(owner_);
        for (int tag = 0; tag < static_cast<int>(std::size(labeltypes)); ++tag) {
            QAction* t = sub->addAction(labeltypes[tag].caption);
            t->setObjectName(QString("selectlabeltype%1").arg(tag));
            t->setData(tag);
            connect(t, &QAction::triggered, this,
                    [this, tag] { guarded([this, tag] { select_labels_by_type(doc_, tag); }); });
        }
        a->setMenu(sub);
    }
    if (QClipboard* c = QGuiApplication::clipboard())
        connect(c, &QClipboard::dataChanged, this, [this] { refresh(); });
    if (tsignalpanel* p = main.signalpanel()) {
        p->on_notes = [this](int c) { edit_notes(c); };
        auto previous = p->on_mouse_request;
        p->on_mouse_request = [this, previous](int c, const tmouseresult& r) {
            if (r.request == tmouserequest::labelproperties)
                edit_label(c, r.labelno);
            else if (previous)
                previous(c, r);
        };
    }
    refresh();
}

void teditingcommands::edit_label(int chno, int labelno) {
    if (!main_) return;
    if (auto* d = qobject_cast<tlabelpropertiesdialog*>(main_->windows().window(twindowid::labelproperties)))
        d->edit(chno, labelno);
    refresh();
}

void teditingcommands::edit_notes(int chno) {
    if (!main_) return;
    if (auto* d = qobject_cast<tnotesdialog*>(main_->windows().window(twindowid::notes)))
        d->edit(chno);
}

}  // namespace tessal
