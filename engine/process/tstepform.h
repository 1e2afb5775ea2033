// tstepform: a step's parameter dialog, described without a window.
//
// A step that has settings builds a form from its fields (settings_form),
// and takes the values back from a confirmed form (apply_form). The GUI
// draws the form as a dialog, tests and tessal-cli fill it directly, so the
// rules of a dialog (which fields show in which mode, what a preset fills
// in, the hint under a field, the range of each number) live in one place
// beside the step. Values travel as the text the user typed; a number field
// carries its range so that a dialog can refuse a value while it is typed,
// and apply_form refuses it again (with the same sentence) for callers
// without a dialog.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/dsp/numberfield.h"

namespace tessal {

enum class tfieldkind {
    text,      // one-line edit
    number,    // one-line edit holding a decimal number, optionally ranged
    check,     // check box; `companion` names a text/number field on its row
    radio,     // radio group with `items`
    combo,     // drop-down list with `items`
    group,     // a titled frame holding the fields up to its endgroup
    endgroup,
    note,      // read-only text (a hint); `text` is what shows
    button,    // push button; pressing it tells onchange its key;
               // `companion` names a field drawn on its row
};

struct tformfield {
    tfieldkind kind = tfieldkind::text;
    std::string key;      // unique within the form
    std::string caption;  // label, check box text or group title
    std::string text;     // text, number and note fields
    bool checked = false;
    int index = 0;        // radio and combo: the chosen item
    std::vector<std::string> items;
    std::string companion;               // check: the field drawn after it
    std::optional<tnumberfield> range;   // number: refused outside it
    bool visible = true;
    bool enabled = true;
};

class tstepform {
public:
    explicit tstepform(std::string caption = {}) : caption(std::move(caption)) {}

    std::string caption;
    std::vector<tformfield> fields;
    // Called after the user changed field `key` (typed, ticked, chose); may
    // show or hide fields, fill others in and rewrite notes.
    std::function<void(tstepform&, const std::string& key)> onchange;

    tformfield& add_text(const std::string& key, const std::string& caption,
                         const std::string& value);
    // The value is shown in the shortest general form.
    tformfield& add_number(const std::string& key, const std::string& caption, double value,
                           std::optional<tnumberfield> range = std::nullopt);
    tformfield& add_check(const std::string& key, const std::string& caption, bool value,
                          const std::string& companion = {});
    tformfield& add_radio(const std::string& key, const std::string& caption,
                          std::vector<std::string> items, int index);
    tformfield& add_combo(const std::string& key, const std::string& caption,
                          std::vector<std::string> items, int index);
    tformfield& add_note(const std::string& key, const std::string& text);
    tformfield& add_button(const std::string& key, const std::string& caption,
                           const std::string& companion = {});
    void begin_group(const std::string& caption);
    void end_group();

    bool has(const std::string& key) const;
    // Throw std::out_of_range for a key the form does not hold.
    tformfield& field(const std::string& key);
    const tformfield& field(const std::string& key) const;

    // What the user typed or chose.
    const std::string& text(const std::string& key) const { return field(key).text; }
    bool checked(const std::string& key) const { return field(key).checked; }
    int index(const std::string& key) const { return field(key).index; }
    // The number in a number or text field, checked against the field's
    // range (or `range` when given); throws EProcessError with the rule when
    // it is not a finite number inside it.
    double number(const std::string& key) const;
    double number(const std::string& key, const tnumberfield& range) const;
    // The rule broken by the number field's current text, empty when it is
    // fine (a dialog calls it while the user types).
    std::string number_problem(const std::string& key) const;

    // Setting a value as the user would, then telling onchange.
    void set_text(const std::string& key, const std::string& value);
    void set_checked(const std::string& key, bool value);
    void set_index(const std::string& key, int value);
    void set_number(const std::string& key, double value);  // no onchange
    void press(const std::string& key) { changed(field(key).key); }
    void changed(const std::string& key) {
        if (onchange) onchange(*this, key);
    }

private:
    // A radio group or a drop-down list.
    tformfield& add_choice(tfieldkind kind, const std::string& key, const std::string& caption,
                           std::vector<std::string> items, int index);
};

}  // namespace tessal
