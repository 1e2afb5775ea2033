// The one guard between the user's input and the program's work. Every
// command handler, every dialog's OK/Apply and every paint runs its work
// through it, so an exception raised by the work never leaves an event
// handler (which would end the program).
//
// A command that fails leaves the document as it was before it ran (the
// undo history rolls its step back) and its message goes to the error display, in words
// a user can act on. A paint that fails writes "Ykk! " followed by a letter
// for the failing step and the channel number in the main window's status
// bar; the other channels paint as usual.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "engine/core/prompter.h"

class QWidget;

namespace tessal {

class tdocument;

// The program's error display. The main window points it at its prompter
// (message boxes, or a test's scripted prompter); without one the message
// goes to the standard error stream.
void set_error_display(tprompter* p);
tprompter* error_display();
void show_error(const std::string& text);

// The document whose undo steps an exception that escaped every guard rolls
// back (tguardedapplication): the main window's.
void set_guarded_document(tdocument* doc);
tdocument* guarded_document();

// Runs a command. When the document has an undo history the work is one
// step of it, named `name` (or by the active dialog's title, or by the work
// itself through name_step or a nested named step); on an
// exception the step is rolled back exactly, the message shown, and false
// returned. A document without a history is put back from a checkpoint,
// whose samples `withsamples` false leaves out (mouse and key handling).
bool run_guarded(tdocument* doc, const std::function<void()>& work, bool withsamples = true,
                 const QString& name = {});

// Names the undo step of the command running on `doc` (the outermost one),
// for work that knows only when done what it changed. Nothing without a
// history or an empty name.
void name_step(tdocument* doc, const QString& name);

// Paint steps named in the status text.
enum class tpaintstep : char {
    waveform = 'w', overlays = 'o', infoline = 'i', showbox = 's', axis = 'a', plot = 'p'
};
// The status text of a failed channel paint: "Ykk! " + step letter + channel
// (no number for a paint that belongs to no channel).
QString paint_failure_text(tpaintstep step, int chno);
// Runs one paint step of channel `chno` in widget `w`; false after a failure.
bool paint_guarded(QWidget* w, tpaintstep step, int chno, const std::function<void()>& work);

}  // namespace tessal
