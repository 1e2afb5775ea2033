// The application object of the program (and of the GUI tests): the last
// line of defence behind run_guarded. Every event goes through notify(); an
// exception that leaves an event handler or a slot the guards did not cover
// is caught there instead of ending the program. The undo steps begun
// during that event on the guarded document are rolled back, the message
// goes to the error display, and the program goes on with the next event.
#pragma once

#include <QApplication>

namespace tessal {

class tguardedapplication : public QApplication {
public:
    tguardedapplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessal
