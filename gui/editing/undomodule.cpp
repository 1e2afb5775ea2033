#include "gui/editing/undomodule.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <optional>
#include <unistd.h>

#include "gui/commands/commandguard.h"

namespace tessal {

QString tundomodule::undo_caption(const tundohistory& h) {
    return h.can_undo() ? "Undo " + QString::fromStdString(h.undo_name()) : QString("Undo");
}

QString tundomodule::redo_caption(const tundohistory& h) {
    return h.can_redo() ? "Redo " + QString::fromStdString(h.redo_name()) : QString("Redo");
}

tundomodule::tundomodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    c.commands.add({.id = "undoaction", .caption = "Undo", .shortcut = "Alt+Backspace|Ctrl+Alt+Z",
                    .handler = [this] { step(true); },
                    .enabled = [&c] { return c.history.can_undo(); },
                    .caption_rule = [&c] { return undo_caption(c.history); },
                    .shortcut_rule =
                        [&c] {
                            return QString(c.doc.prefs.CtrlZUndoes ? "Alt+Backspace|Ctrl+Z"
                                                                   : "Alt+Backspace|Ctrl+Alt+Z");
                        },
                    .group = "edit.undo", .order = 10});
    c.commands.add({.id = "redoaction", .caption = "Redo", .shortcut = "Ctrl+Shift+Z",
                    .handler = [this] { step(false); },
                    .enabled = [&c] { return c.history.can_redo(); },
                    .caption_rule = [&c] { return redo_caption(c.history); },
                    .group = "edit.undo", .order = 20});
    c.history.onchange = [this, &c] {
        c.commands.refresh();
        if (c.history.dropped_steps() > droppedshown_) {
            droppedshown_ = c.history.dropped_steps();
            c.window->statusBar()->showMessage(
                QString("Undo memory full: the oldest changes were dropped, %1 can be undone")
                    .arg(c.history.undo_count()));
        } else if (c.history.dropped_steps() < droppedshown_) {
            droppedshown_ = c.history.dropped_steps();
        }
    };
    c.history.onstep = [this, &c](const tundohistory::tstep& st) {
        if (journalbroken_) return;
        if (!journal_) start_journal();
        if (journal_) journal_->append_step(c.doc, st);
    };
    c.history.onmove = [this](bool undo) {
        if (journal_)
            journal_->append_move(undo);
        else
            journalbroken_ = true;  // the journal could not replay it
    };
    // A command run while a recording holds its step: written at once, so
    // that a crash during the recording keeps it.
    c.history.oncommand = [this, &c](const tundohistory::tcommand& cmd) {
        if (journalbroken_) return;
        if (!journal_) start_journal();
        if (journal_) journal_->append_command(c.doc, c.history, cmd);
    };
    c.history.oncommandsdropped = [this] {
        if (journal_) journal_->append_commands_dropped();
    };
    c.history.onrestart = [this] {
        end_journal();
        journalbroken_ = false;
    };
    c.spools.path = [this]() -> std::string {
        if (!journal_ && !journalbroken_) start_journal();
        return journal_ ? spool_path(journal_->path(), ++spools_) : std::string();
    };
    c.spools.retire = [this](std::unique_ptr<trecordspool> spool) {
        // The spool goes once the journal holds the recording; closing it
        // writes what it still has queued.
        std::string path = spool->path();
        spool.reset();
        auto remove = [path] {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        };
        if (journal_)
            journal_->after_written(remove);
        else
            remove();
    };
    ask_recovery = [&c](const QString& text, const QStringList& buttons) {
        QMessageBox box(QMessageBox::Question, "Recover changes", text, QMessageBox::NoButton,
                        c.window);
        for (const QString& b : buttons) box.addButton(b, QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Close);
        box.exec();
        auto* chosen = qobject_cast<QPushButton*>(box.clickedButton());
        return chosen && buttons.contains(chosen->text()) ? chosen->text() : QString();
    };
}

tundomodule::~tundomodule() {
    // A clean exit: nothing is left to recover.
    ctx.history.onchange = nullptr;
    ctx.history.onstep = nullptr;
    ctx.history.onmove = nullptr;
    ctx.history.onrestart = nullptr;
    ctx.history.oncommand = nullptr;
    ctx.history.oncommandsdropped = nullptr;
    ctx.spools.path = nullptr;
    ctx.spools.retire = nullptr;
    end_journal();
}

void tundomodule::step(bool undo) {
    // The history changes the document itself; the guard's step around
    // this handler is left empty and kept by no one.
    if (undo)
        ctx.history.undo();
    else
        ctx.history.redo();
}

void tundomodule::start_journal() {
    const std::string folder = journal_folder();
    if (folder.empty()) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string name = std::to_string(::getpid()) + "-" +
                             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) +
                             ".tjournal";
    try {
        journal_ = std::make_unique<tjournal>((std::filesystem::path(folder) / name).string(),
                                              ctx.doc.filename());
    } catch (const std::exception&) {
        journalbroken_ = true;  // no journal; editing goes on
    }
}

void tundomodule::end_journal() {
    if (journal_) journal_->discard();
    journal_.reset();
}

void tundomodule::flush_journal() {
    if (journal_) journal_->flush();
}

void tundomodule::offer_recovery() {
    const std::string folder = journal_folder();
    if (folder.empty()) return;
    for (const tleftover& l : list_leftovers(folder, journal_path())) {
        tjournalcontents j;
        if (!l.journal.empty()) {
            j = read_journal(l.journal);
        } else {
            j.readable = true;  // a recording alone goes into a new document
        }
        std::optional<tspoolcontents> spool;
        if (!l.spool.empty()) spool = read_spool(l.spool);
        if (spool && l.journal.empty()) spool = as_new_channels(*spool, ctx.doc.totnchans());
        const QString origin = j.origin.path.empty() ? QString("a new document")
                                                     : "\"" + QString::fromStdString(j.origin.path) + "\"";
        const QString n = QString::number(j.records.size());
        QStringList parts;
        if (!j.records.empty())
            parts << (j.records.size() == 1 ? QString("1 unsaved change") : n + " unsaved changes");
        if (spool && spool->readable) parts << QString::fromStdString(describe_recording(*spool));
        QString text = "Tessal did not end properly. " +
                       (parts.isEmpty() ? QString("Nothing") : parts.join(" and ")) + " to " + origin +
                       (parts.isEmpty() ? " needs to be recovered." : " can be recovered.");
        if (j.lostbytes > 0)
            text += "\rThe end of the journal is damaged: the last change cannot be recovered.";
        QStringList buttons{"Recover", "Show files", "Discard"};
        const bool changed = j.origin.exists && file_identity(j.origin.path) != j.origin;
        const bool missing = !j.origin.path.empty() && !file_identity(j.origin.path).exists;
        if (!j.readable || changed || missing) {
            text = "Tessal did not end properly, but the changes to " + origin +
                   " cannot be replayed: " +
                   (!j.readable ? QString("the journal is unreadable.")
                                : missing ? QString("the file is gone.")
                                          : QString("the file has changed since."));
            buttons.removeFirst();
            const bool labels = changed && !missing && !journal_labels(j).empty();
            const bool recording = spool && spool->readable;
            if (labels) {
                text += QString("\rWhat can be recovered: the labels, onto the file as it is now") +
                        (recording ? ", and " + QString::fromStdString(describe_recording(*spool)) +
                                         ", as new channels."
                                   : QString("."));
                buttons.prepend(recording ? "Recover labels and recording" : "Recover labels");
            } else if (recording) {
                text += "\rWhat can be recovered: " + QString::fromStdString(describe_recording(*spool)) +
                        ", into a new document.";
                buttons.prepend("Recover recording");
            }
        }
        text.replace('\r', '\n');
        const QString answer = ask_recovery(text, buttons);
        if (answer == "Recover") {
            recover(l, j, spool ? &*spool : nullptr);
        } else if (answer == "Recover recording") {
            const tspoolcontents alone = as_new_channels(*spool, ctx.doc.totnchans());
            recover(l, tjournalcontents{.readable = true}, &alone);
        } else if (answer.startsWith("Recover labels")) {
            recover_changed(l, j, spool ? &*spool : nullptr);
        } else if (answer == "Show files") {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
        } else if (answer == "Discard") {
            remove_leftover(l);
        }
    }
}

void tundomodule::recover_changed(const tleftover& l, const tjournalcontents& j, const tspoolcontents* spool) {
    run_guarded(nullptr, [&] {
        if (!ctx.files.open_document(j.origin.path)) return;
        const trecovery r = recover_labels(ctx.doc, ctx.history, j, spool);
        remove_leftover(l);
        ctx.commands.refresh();
        QString msg = "The labels of " + QString::number(r.replayed) +
                      (r.replayed == 1 ? QString(" channel were") : QString(" channels were")) + " put back.";
        if (!r.recording.empty()) msg += "\rRecovered " + QString::fromStdString(r.recording) + ".";
        if (!r.lost.empty()) msg += "\r" + QString::fromStdString(r.lost) + ".";
        ctx.prompter.ask(msg.toStdString(), "Recover changes", tbuttons::ok, ticon::information);
    }, false);
}

void tundomodule::recover(const tleftover& l, const tjournalcontents& j, const tspoolcontents* spool) {
    run_guarded(nullptr, [&] {
        if (!j.origin.path.empty() && !ctx.files.open_document(j.origin.path)) return;
        const trecovery r = recover_leftover(ctx.doc, ctx.history, j, spool);
        // The replayed steps went to this run's journal: the old files go.
        remove_leftover(l);
        ctx.commands.refresh();
        QString msg = QString::number(r.replayed) + " changes recovered.";
        if (!r.recording.empty())
            msg = (r.replayed > 0 ? msg + "\r" : QString()) + "Recovered " +
                  QString::fromStdString(r.recording) + ".";
        if (!r.lost.empty()) msg += "\r" + QString::fromStdString(r.lost) + ".";
        ctx.prompter.ask(msg.toStdString(), "Recover changes", tbuttons::ok, ticon::information);
    }, false);
}

}  // namespace tessal
