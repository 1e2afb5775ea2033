#include "engine/process/stepparams.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/listtext.h"
#include "engine/dsp/numformat.h"
#include "engine/process/stepsupport.h"
#include "engine/process/tprocstep.h"
#include "engine/settings/tsetting.h"

namespace tessal {

const tparam& tparamlist::param(const std::string& field) const {
    for (const tparam& p : params)
        if (p.field == field) return p;
    throw std::out_of_range("no parameter " + field);
}

int tparam::index_of(const tprocstep& s) const {
    const int v = int_of(s);
    if (codes.empty()) return v;
    const auto at = std::find(codes.begin(), codes.end(), v);
    return at == codes.end() ? 0 : static_cast<int>(at - codes.begin());
}

void tparamlist::add(tstepform& f, const tprocstep& s, const std::string& field) const {
    const tparam& p = param(field);
    if (!p.in(s)) return;
    switch (p.kind) {
    case tparamkind::real:
        f.add_number(p.field, p.caption, p.real_of(s) * p.scale, p.range);
        break;
    case tparamkind::whole:
        f.add_number(p.field, p.caption, p.int_of(s), p.range);
        break;
    case tparamkind::flag:
        if (p.items.empty())
            f.add_check(p.field, p.caption, p.flag_of(s), p.companion);
        else
            f.add_radio(p.field, p.caption, p.items, p.flag_of(s) ? 1 : 0);
        break;
    case tparamkind::choice:
        if (p.combo)
            f.add_combo(p.field, p.caption, p.items, p.index_of(s));
        else
            f.add_radio(p.field, p.caption, p.items, p.index_of(s));
        break;
    case tparamkind::text:
        f.add_text(p.field, p.caption, p.text_of(s));
        break;
    case tparamkind::channels:
        f.add_text(p.field, p.caption, intlist_to_text(p.channels_of(s)));
        break;
    case tparamkind::reals:
        f.add_text(p.field, p.caption, reallist_to_text(p.reals_of(s)));
        break;
    }
}

void tparamlist::add(tstepform& f, const tprocstep& s,
                     std::initializer_list<const char*> fields) const {
    for (const char* k : fields) add(f, s, k);
}

void tparamlist::refresh(tstepform& f) const {
    for (const tparam& p : params) {
        if (!f.has(p.field)) continue;
        if (p.enabledif) f.field(p.field).enabled = p.enabledif(f);
        if (p.visibleif) f.field(p.field).visible = p.visibleif(f);
    }
}

std::unique_ptr<tstepform> tparamlist::form(const tprocstep& s) const {
    auto f = std::make_unique<tstepform>(title);
    if (layout.empty())
        for (const tparam& p : params) add(*f, s, p.field);
    else
        for (const std::string& k : layout) {
            if (k.starts_with("group:"))
                f->begin_group(k.substr(6));
            else if (k == "endgroup")
                f->end_group();
            else
                add(*f, s, k);
        }
    const bool rules = std::any_of(params.begin(), params.end(),
                                   [](const tparam& p) { return p.enabledif || p.visibleif; });
    if (rules) {
        f->onchange = [this](tstepform& form, const std::string&) { refresh(form); };
        refresh(*f);
    }
    return f;
}

namespace {

// The list typed into a field; a malformed entry is refused with the
// field's caption.
template <class F>
auto form_list(const tparam& p, const tformfield& field, F parse) {
    try {
        return parse(field.text);
    } catch (const EConvertError& e) {
        throw EProcessError(p.caption + ": " + e.what());
    }
}

tdoublearr form_reals(const tparam& p, const tformfield& field) {
    tdoublearr v = form_list(p, field, [](const std::string& t) { return text_to_reallist(t); });
    if (v.empty()) throw EProcessError(p.caption + " must hold at least one number");
    for (double x : v)
        if (!std::isfinite(x)) throw EProcessError(p.caption + " must hold numbers");
    return v;
}

}  // namespace

void tparamlist::read_form(const tstepform& f, tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s) || !f.has(p.field)) continue;
        const tformfield& field = f.field(p.field);
        const bool readable =
            (field.enabled || p.readdisabled) && (field.visible || !p.readonlyshown);
        switch (p.kind) {
        case tparamkind::real:
            if (readable) p.set_real(s, f.number(p.field, *p.range) / p.scale);
            break;
        case tparamkind::whole:
            if (readable) p.int_of(s) = steps::form_whole(f, p.field, *p.range);
            break;
        case tparamkind::flag:
            p.set_flag(s, p.items.empty() ? field.checked : field.index == 1);
            break;
        case tparamkind::choice: {
            const int i = std::clamp(field.index, 0, static_cast<int>(p.items.size()) - 1);
            p.int_of(s) = p.codes.empty() ? i : p.codes[static_cast<std::size_t>(i)];
            break;
        }
        case tparamkind::text:
            p.text_of(s) = field.text;
            break;
        case tparamkind::channels:
            p.channels_of(s) =
                form_list(p, field, [](const std::string& t) { return text_to_intlist(t); });
            break;
        case tparamkind::reals:
            p.reals_of(s) = form_reals(p, field);
            break;
        }
    }
}

void tparamlist::copy(const tprocstep& from, tprocstep& to) const {
    for (const tparam& p : params) {
        if (!p.in(from)) continue;
        switch (p.kind) {
        case tparamkind::real: p.set_real(to, p.real_of(from)); break;
        case tparamkind::whole:
        case tparamkind::choice: p.int_of(to) = p.int_of(from); break;
        case tparamkind::flag: p.set_flag(to, p.flag_of(from)); break;
        case tparamkind::text: p.text_of(to) = p.text_of(from); break;
        case tparamkind::channels: p.channels_of(to) = p.channels_of(from); break;
        case tparamkind::reals: p.reals_of(to) = p.reals_of(from); break;
        }
    }
}

void tparamlist::save(const std::string& id, TSetting& set, const tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s) || !p.stored() || (p.savedif && !p.savedif(s))) continue;
        switch (p.kind) {
        case tparamkind::real: set.WriteFloat(id, p.key, p.real_of(s)); break;
        case tparamkind::whole:
            if (p.wholeasreal)
                set.WriteFloat(id, p.key, p.int_of(s));
            else
                set.WriteInteger(id, p.key, p.int_of(s));
            break;
        case tparamkind::choice: set.WriteInteger(id, p.key, p.int_of(s)); break;
        case tparamkind::flag: set.WriteBool(id, p.key, p.flag_of(s)); break;
        case tparamkind::text: set.WriteString(id, p.key, p.text_of(s)); break;
        case tparamkind::channels:
            if (p.listastext)
                set.WriteString(id, p.key, intlist_to_text(p.channels_of(s)));
            else
                write_chanlist(set, id, p.channels_of(s));
            break;
        case tparamkind::reals: write_reallist(set, id, p.key, p.reals_of(s)); break;
        }
    }
}

void tparamlist::open(const std::string& id, TSetting& set, tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s) || !p.stored()) continue;
        switch (p.kind) {
        case tparamkind::real: {
            // A value held behind a setter is set only when it changes.
            const double now = p.real_of(s), v = set.ReadFloat(id, p.key, now);
            if (!p.setreal || !(v == now)) p.set_real(s, v);
            break;
        }
        case tparamkind::whole: {
            if (p.wholeasreal) {
                const double v = set.ReadFloat(id, p.key, p.int_of(s));
                if (std::isfinite(v) && std::fabs(v) < 1e6)
                    p.int_of(s) = static_cast<int>(std::lround(v));
                break;
            }
            const std::int64_t v = set.ReadInteger(id, p.key, p.int_of(s));
            p.int_of(s) = static_cast<int>(std::clamp(v, p.storedlo, p.storedhi));
            break;
        }
        case tparamkind::choice: {
            const std::int64_t n = static_cast<std::int64_t>(p.items.size());
            const std::int64_t v = set.ReadInteger(id, p.key, p.int_of(s));
            if (!p.codes.empty())  // a number the step refuses when it runs
                p.int_of(s) = static_cast<int>(std::clamp(v, p.storedlo, p.storedhi));
            else if (v >= 0 && v < n)
                p.int_of(s) = static_cast<int>(v);
            else
                p.int_of(s) = p.firstwhenunknown
                                  ? 0
                                  : static_cast<int>(std::clamp(v, p.storedlo, p.storedhi));
            break;
        }
        case tparamkind::flag: p.set_flag(s, set.ReadBool(id, p.key, p.flag_of(s))); break;
        case tparamkind::text: p.text_of(s) = set.ReadString(id, p.key, p.text_of(s)); break;
        case tparamkind::channels:
            if (!p.listastext) {
                read_chanlist(set, id, p.channels_of(s));
            } else if (set.ValueExists(id, p.key)) {
                try {
                    p.channels_of(s) = text_to_intlist(set.ReadString(id, p.key, ""));
                } catch (const EConvertError&) {
                    // An unreadable list keeps the one the step had.
                }
            }
            break;
        case tparamkind::reals:
            read_reallist(set, id, p.key, p.reals_of(s), p.missing);
            break;
        }
    }
}

}  // namespace tessal
