#include "gui/commands/guardedapplication.h"

#include <exception>
#include <string>

#include "engine/history/checkpoint.h"
#include "engine/history/undohistory.h"
#include "gui/commands/commandguard.h"

namespace tessal {

namespace {

tundohistory* guarded_history() {
    tdocument* doc = guarded_document();
    return doc ? dynamic_cast<tundohistory*>(doc->recorder()) : nullptr;
}

}  // namespace

tguardedapplication::tguardedapplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool tguardedapplication::notify(QObject* receiver, QEvent* event) {
    // Steps open when the event arrived belong to work still running
    // further up (a command whose dialog is open, a recording): they stay.
    tundohistory* history = guarded_history();
    const std::size_t depth = history ? history->depth() : 0;
    std::string message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        message = failure_text(e);
    } catch (...) {
        message = "The command could not be completed.";
    }
    if (history && history == guarded_history())
        while (history->depth() > depth) history->rollback();
    show_error(message);
    return false;
}

}  // namespace tessal
