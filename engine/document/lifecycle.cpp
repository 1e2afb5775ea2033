#include "engine/document/lifecycle.h"

namespace tessal {

namespace {
const char* const modifiedtext = "The file has been modified.\rDo you want to save the changes?";
}

bool tdocumentlifecycle::ask_save(const std::string& caption) {
    if (!doc.modified()) return true;
    switch (prompter.ask(modifiedtext, caption, tbuttons::yesnocancel, ticon::question)) {
        case tanswer::yes:
            if (hooks.save_as) hooks.save_as();
            return !doc.modified();
        case tanswer::no: return true;
        default: return false;
    }
}

bool tdocumentlifecycle::close_document(bool ask) {
    if (busy()) return false;
    if (ask && !ask_save("File has been modified")) return false;
    if (hooks.stop_playback) hooks.stop_playback();
    doc.contents_reset();
    doc.set_totnchans(0);
    currentnbits = 0;
    currentformat = tFormat::pcm;
    doc.measurementdirty = true;
    if (hooks.document_closed) hooks.document_closed();
    doc.theglobal.fix_things();
    doc.set_modified(false);
    doc.set_filename("");
    if (zoomhistory) zoomhistory->clear();
    return true;
}

bool tdocumentlifecycle::confirm_exit() {
    if (hooks.stop_playback) hooks.stop_playback();
    if (!ask_save("File has been modified - Tessal")) return false;
    if (hooks.process_modified && hooks.process_modified()) {
        std::string name = hooks.process_name ? hooks.process_name() : "";
        switch (prompter.ask("The process has been modified.\rDo you want to save the changes?\r" + name,
                             "Process has been modified - Tessal", tbuttons::yesnocancel,
                             ticon::question)) {
            case tanswer::yes:
                if (hooks.save_process) hooks.save_process();
                if (hooks.process_modified()) return false;
                break;
            case tanswer::no: break;
            default: return false;
        }
    }
    return true;
}

}  // namespace tessal
