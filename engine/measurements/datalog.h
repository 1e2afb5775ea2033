// tdatalog: the data log, a list of text lines under tab-separated headings.
// Every window that logs adds a heading and a row; the heading is written
// only when it differs from the one written last, so repeated rows of the
// same kind sit under one heading. Also here: the heading and row that
// Log measurements adds and the text that Copy measurements copies.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/textclipboard.h"

namespace tessal {

class tdocument;

class tdatalog {
public:
    void add_line(const std::string& heading, const std::string& line);
    // Appends one line with no heading logic (free text such as profiles).
    void add_text_line(const std::string& line);
    // Empties the log and forgets the current heading.
    void clear();
    // Asks whether to clear; true when cleared.
    bool new_log(tprompter& prompter);
    // Puts the whole log on the clipboard.
    void copy_log(ttextclipboard& clipboard) const;

    const std::vector<std::string>& lines() const { return flines; }
    const std::string& heading() const { return fheading; }
    // Line number (0-based) of the current heading's line; 0 when none.
    int logheadinglineno() const { return fheadinglineno; }
    // Every line followed by a line break.
    std::string text() const;

    // Called after every change, so a window can show it.
    std::function<void()> changed;

private:
    void notify() {
        if (changed) changed();
    }

    std::vector<std::string> flines;
    std::string fheading;
    bool fhasheading = false;
    int fheadinglineno = 0;
};

// The log as the window shows it: consecutive lines holding tabs form a
// table (a heading and its rows) whose columns are padded with blanks to
// the widest cell and two blanks more, so that in a fixed-width font every
// value stands under its heading. Lines without tabs are kept as they are.
// Widths count characters, not bytes.
std::vector<std::string> aligned_log_lines(const std::vector<std::string>& lines);

struct tlogrow {
    std::string heading, line;
};

// The heading and the row of Log measurements: for each channel of the edit
// set, each shown item as heading (with " [unit]") and value text, each
// followed by a tab, and a tab between channels. Uses the stored results as
// they are: the caller makes sure they are fresh.
tlogrow measurement_log_row(const tdocument& doc);

// The text of Copy measurements: every channel's information line and, for
// channels of the edit set, its measurements, all tab-separated.
std::string measurement_copy_text(const tdocument& doc);

}  // namespace tessal
