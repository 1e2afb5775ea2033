// tparamlist: a step's parameters, each declared once.
//
// A step type lists its parameters in the order its process-file section
// holds them; each names its file key, its form field, its caption (for a
// number, the caption of its range), its kind, its range or its choices,
// and the member of the step that holds it (whose initializer is the
// default). From that list come the step's settings form, the taking back
// of a confirmed form (numbers checked against their ranges, the sentence
// naming the field), the saving and opening of its section, and the
// round-trip test that every step passes. A step with a dialog of its own
// shape (notes, presets, buttons) lays out its form by hand but still adds
// each parameter's field from the list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/dsp/numberfield.h"
#include "engine/process/tstepform.h"

namespace tessal {

class tprocstep;
class TSetting;

enum class tparamkind {
    real,    // double; a number field, WriteFloat
    whole,   // int; a number field refusing fractions, WriteInteger
    flag,    // bool; a check box (or, with two `items`, a radio group), WriteBool
    choice,  // int; a radio group or drop-down list, WriteInteger
    text,    // std::string; a text field, WriteString
    // tintarr; a text field of channel numbers ("0,2-4"). Stored as the
    // channel list ("nChans", "Channo0".., write_chanlist), or with
    // `listastext` as one string under its key.
    channels,
    // tdoublearr; a text field of numbers, one per signal. Stored as "nChans"
    // and the key followed by the index (write_reallist).
    reals,
};

struct tparam {
    tparamkind kind = tparamkind::real;
    std::string key;      // in the process file
    std::string field;    // in the form
    std::string caption;  // in the form; a number's is its range's
    std::optional<tnumberfield> range;  // real and whole
    std::vector<std::string> items;     // choice; a flag shown as two choices
    // choice: the numbers the step holds and the file stores for the items,
    // when they are not the items' indices (an unknown one shows the first).
    std::vector<int> codes;
    bool combo = false;                 // choice: a drop-down list, not radio buttons
    std::string companion;              // flag: the field drawn on its row
    // choice: a stored index that is no choice reads as the first (true),
    // or (false) is kept, one past either end at most, for the run to refuse.
    bool firstwhenunknown = true;
    // whole, and choice without firstwhenunknown: a stored number is clamped
    // to these before it is kept (a choice: one past either end, unless set).
    std::int64_t storedlo = -2147483647 - 1, storedhi = 2147483647;
    // whole: written as a real (WriteFloat), and read back rounded when it
    // is a finite number of magnitude below a million.
    bool wholeasreal = false;
    // When set, the field is enabled (shown) only while this holds for the
    // form. A disabled number is not read; a hidden one is not read when
    // `readonlyshown`.
    std::function<bool(const tstepform&)> enabledif, visibleif;
    bool readonlyshown = false;
    // A number read and checked even while its field is disabled.
    bool readdisabled = false;
    // real: the form shows the member times this (seconds as milliseconds).
    double scale = 1;
    // channels: stored as one string under the key (a list that cannot be
    // read keeps the step's, and a missing key too).
    bool listastext = false;
    // reals: the value of an index the file does not hold.
    double missing = 0;
    // When set, the parameter exists only for steps where this holds (a
    // subtype without it neither shows nor stores it).
    std::function<bool(const tprocstep&)> present;
    // When set, the parameter is written only for steps where this holds
    // (it is still read, shown and copied; a file without it keeps the
    // default).
    std::function<bool(const tprocstep&)> savedif;
    // An empty key: the parameter is in the form but not in the file.
    bool stored() const { return !key.empty(); }
    // The member in the step; a real held elsewhere (in a filter section)
    // has a getter and a setter instead.
    std::function<void*(const tprocstep&)> member;
    std::function<double(const tprocstep&)> getreal;
    std::function<void(tprocstep&, double)> setreal;
    std::function<bool(const tprocstep&)> getflag;
    std::function<void(tprocstep&, bool)> setflag;

    double real_of(const tprocstep& s) const { return got(getreal, s); }
    void set_real(tprocstep& s, double v) const { put(setreal, s, v); }
    int& int_of(const tprocstep& s) const { return *static_cast<int*>(member(s)); }
    bool flag_of(const tprocstep& s) const { return got(getflag, s); }
    void set_flag(tprocstep& s, bool v) const { put(setflag, s, v); }
    // choice: the item the step's value shows.
    int index_of(const tprocstep& s) const;
    std::string& text_of(const tprocstep& s) const {
        return *static_cast<std::string*>(member(s));
    }
    tintarr& channels_of(const tprocstep& s) const { return *static_cast<tintarr*>(member(s)); }
    tdoublearr& reals_of(const tprocstep& s) const {
        return *static_cast<tdoublearr*>(member(s));
    }
    bool in(const tprocstep& s) const { return !present || present(s); }

private:
    // Through the getter or setter when there is one, else the member.
    template <class T>
    T got(const std::function<T(const tprocstep&)>& get, const tprocstep& s) const {
        return get ? get(s) : *static_cast<T*>(member(s));
    }
    template <class T>
    void put(const std::function<void(tprocstep&, T)>& set, tprocstep& s, T v) const {
        if (set)
            set(s, v);
        else
            *static_cast<T*>(member(s)) = v;
    }
};

class tparamlist {
public:
    explicit tparamlist(std::string title = {}) : title(std::move(title)) {}

    std::string title;  // the form's caption
    std::vector<tparam> params;
    // The fields' order in the form when it is not the file's; "group:T"
    // opens a titled group, "endgroup" closes it.
    std::vector<std::string> layout;

    const tparam& param(const std::string& field) const;

    // The whole form: every parameter's field in the layout's order (or the
    // list's), with the
    // enabling rules applied now and after every change.
    std::unique_ptr<tstepform> form(const tprocstep& step) const;
    // One parameter's field, or several, for a form laid out by hand.
    void add(tstepform& form, const tprocstep& step, const std::string& field) const;
    void add(tstepform& form, const tprocstep& step,
             std::initializer_list<const char*> fields) const;
    // Enables and disables fields by their rules.
    void refresh(tstepform& form) const;
    // Reads the form's fields into `step`: flags, choices and texts always,
    // numbers while their field is enabled (a disabled number keeps the
    // step's value). Throws EProcessError with the field's rule.
    void read_form(const tstepform& form, tprocstep& step) const;
    // Copies every parameter from one step to another of the same type.
    void copy(const tprocstep& from, tprocstep& to) const;

    void save(const std::string& id, TSetting& setting, const tprocstep& step) const;
    void open(const std::string& id, TSetting& setting, tprocstep& step) const;
};

// Builds a list for step type S: member pointers give the parameters' types.
template <class S>
class tparams {
public:
    explicit tparams(std::string title = {}) : list(std::move(title)) {}

    // A number's caption is its range's, followed by the unit in brackets.
    tparams& real(const char* key, const char* field, double S::*m, const tnumberfield& range) {
        tparam& p = add(tparamkind::real, key, field, captioned(range), m);
        p.range = range;
        return *this;
    }
    // A real the step reaches through a getter and a setter.
    tparams& real(const char* key, const char* field, std::function<double(const S&)> get,
                  std::function<void(S&, double)> set, const tnumberfield& range) {
        tparam& p = add_reached(tparamkind::real, key, field, captioned(range));
        p.range = range;
        reach(p.getreal, p.setreal, std::move(get), std::move(set));
        return *this;
    }
    tparams& whole(const char* key, const char* field, int S::*m, const tnumberfield& range,
                   std::int64_t storedlo = -2147483647 - 1, std::int64_t storedhi = 2147483647) {
        tparam& p = add(tparamkind::whole, key, field, captioned(range), m);
        p.range = range;
        p.storedlo = storedlo;
        p.storedhi = storedhi;
        return *this;
    }
    tparams& flag(const char* key, const char* field, const char* caption, bool S::*m,
                  const char* companion = "") {
        add(tparamkind::flag, key, field, caption, m).companion = companion;
        return *this;
    }
    // A flag the step reaches through a getter and a setter.
    tparams& flag(const char* key, const char* field, const char* caption,
                  std::function<bool(const S&)> get, std::function<void(S&, bool)> set) {
        tparam& p = add_reached(tparamkind::flag, key, field, caption);
        reach(p.getflag, p.setflag, std::move(get), std::move(set));
        return *this;
    }
    // The last flag shows as a radio group of two items: off, on.
    tparams& as_choice(std::string off, std::string on) {
        list.params.back().items = {std::move(off), std::move(on)};
        return *this;
    }
    // The last choice's items stand for these numbers in the step and the
    // file.
    tparams& coded(std::vector<int> codes) {
        list.params.back().codes = std::move(codes);
        return *this;
    }
    // The last whole number is written as a real.
    tparams& stored_as_real() {
        list.params.back().wholeasreal = true;
        return *this;
    }
    tparams& choice(const char* key, const char* field, const char* caption, int S::*m,
                    std::vector<std::string> items, bool firstwhenunknown = true) {
        tparam& p = add(tparamkind::choice, key, field, caption, m);
        p.items = std::move(items);
        p.firstwhenunknown = firstwhenunknown;
        p.storedlo = -1;
        p.storedhi = static_cast<std::int64_t>(p.items.size());
        return *this;
    }
    tparams& combo(const char* key, const char* field, const char* caption, int S::*m,
                   std::vector<std::string> items, bool firstwhenunknown = true) {
        choice(key, field, caption, m, std::move(items), firstwhenunknown);
        list.params.back().combo = true;
        return *this;
    }
    tparams& text(const char* key, const char* field, const char* caption,
                  std::string S::*m) {
        add(tparamkind::text, key, field, caption, m);
        return *this;
    }
    // A list of channel numbers; `astext` stores it as one string.
    tparams& channels(const char* key, const char* field, const char* caption, tintarr S::*m,
                      bool astext = false) {
        add(tparamkind::channels, key, field, caption, m).listastext = astext;
        return *this;
    }
    // A list of numbers; an index the file does not hold reads as `missing`.
    tparams& reals(const char* key, const char* field, const char* caption, tdoublearr S::*m,
                   double missing = 0) {
        add(tparamkind::reals, key, field, caption, m).missing = missing;
        return *this;
    }
    // The last parameter is in the form only, never in the file.
    tparams& unstored() {
        list.params.back().key.clear();
        return *this;
    }
    // The last parameter's stored number is clamped to lo..hi on opening.
    tparams& stored_range(std::int64_t lo, std::int64_t hi) {
        list.params.back().storedlo = lo;
        list.params.back().storedhi = hi;
        return *this;
    }
    // The last parameter's caption in the form, when it is not its range's.
    tparams& caption(const char* text) {
        list.params.back().caption = text;
        return *this;
    }
    // The last parameter's field is enabled only while `rule` holds.
    tparams& enabled_if(std::function<bool(const tstepform&)> rule) {
        list.params.back().enabledif = std::move(rule);
        return *this;
    }
    // The last parameter's field shows only while `rule` holds; with
    // `readonlyshown` a hidden number keeps the step's value.
    tparams& shown_if(std::function<bool(const tstepform&)> rule, bool readonlyshown = false) {
        list.params.back().visibleif = std::move(rule);
        list.params.back().readonlyshown = readonlyshown;
        return *this;
    }
    // The last parameter's number is read and checked even while disabled.
    tparams& read_when_disabled() {
        list.params.back().readdisabled = true;
        return *this;
    }
    // The last parameter shows in the form times `factor`.
    tparams& shown_times(double factor) {
        list.params.back().scale = factor;
        return *this;
    }
    // The order of the fields in the form, when it is not the file's.
    tparams& form_order(std::vector<std::string> fields) {
        list.layout = std::move(fields);
        return *this;
    }
    // The last parameter exists only for steps where `rule` holds.
    tparams& present_if(std::function<bool(const S&)> rule) {
        list.params.back().present = [rule](const tprocstep& s) {
            return rule(static_cast<const S&>(s));
        };
        return *this;
    }

    // The last parameter is written to the file only when `rule` holds.
    tparams& saved_if(std::function<bool(const S&)> rule) {
        list.params.back().savedif = [rule](const tprocstep& s) {
            return rule(static_cast<const S&>(s));
        };
        return *this;
    }

    operator tparamlist() const { return list; }

private:
    static std::string captioned(const tnumberfield& r) {
        return r.unit.empty() ? r.caption : r.caption + " [" + r.unit + "]";
    }
    // A parameter without its way to the step yet.
    tparam& add_reached(tparamkind kind, const char* key, const char* field,
                        const std::string& caption) {
        tparam p;
        p.kind = kind;
        p.key = key;
        p.field = field;
        p.caption = caption;
        list.params.push_back(std::move(p));
        return list.params.back();
    }
    template <class T>
    tparam& add(tparamkind kind, const char* key, const char* field, const std::string& caption,
                T S::*m) {
        tparam& p = add_reached(kind, key, field, caption);
        p.member = [m](const tprocstep& s) -> void* {
            return const_cast<T*>(&(static_cast<const S&>(s).*m));
        };
        return p;
    }
    // The getter and setter of step type S as the list keeps them.
    template <class T>
    static void reach(std::function<T(const tprocstep&)>& getter,
                      std::function<void(tprocstep&, T)>& setter,
                      std::function<T(const S&)> get, std::function<void(S&, T)> set) {
        getter = [get](const tprocstep& s) { return get(static_cast<const S&>(s)); };
        setter = [set](tprocstep& s, T v) { set(static_cast<S&>(s), v); };
    }
    tparamlist list;
};

}  // namespace tessal
