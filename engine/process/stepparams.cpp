#include "engine/process/stepparams.h"

#include <algorithm>
#include <cmath>

#include "engine/process/stepsupport.h"
#include "engine/process/tprocstep.h"
#include "engine/settings/tsetting.h"

namespace tessal {

const tparam& tparamlist::param(const std::string& field) const {
    for (const tparam& p : params)
        if (p.field == field) return p;
    throw std::out_of_range("no parameter " + field);
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
        f.add_check(p.field, p.caption, p.flag_of(s), p.companion);
        break;
    case tparamkind::choice:
        if (p.combo)
            f.add_combo(p.field, p.caption, p.items, p.int_of(s));
        else
            f.add_radio(p.field, p.caption, p.items, p.int_of(s));
        break;
    case tparamkind::text:
        f.add_text(p.field, p.caption, p.text_of(s));
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

void tparamlist::read_form(const tstepform& f, tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s) || !f.has(p.field)) continue;
        const tformfield& field = f.field(p.field);
        const bool readable = field.enabled && (field.visible || !p.readonlyshown);
        switch (p.kind) {
        case tparamkind::real:
            if (readable) p.set_real(s, f.number(p.field, *p.range) / p.scale);
            break;
        case tparamkind::whole:
            if (readable) p.int_of(s) = steps::form_whole(f, p.field, *p.range);
            break;
        case tparamkind::flag:
            p.flag_of(s) = field.checked;
            break;
        case tparamkind::choice:
            p.int_of(s) = std::clamp(field.index, 0, static_cast<int>(p.items.size()) - 1);
            break;
        case tparamkind::text:
            p.text_of(s) = field.text;
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
        case tparamkind::flag: p.flag_of(to) = p.flag_of(from); break;
        case tparamkind::text: p.text_of(to) = p.text_of(from); break;
        }
    }
}

void tparamlist::save(const std::string& id, TSetting& set, const tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s)) continue;
        switch (p.kind) {
        case tparamkind::real: set.WriteFloat(id, p.key, p.real_of(s)); break;
        case tparamkind::whole:
        case tparamkind::choice: set.WriteInteger(id, p.key, p.int_of(s)); break;
        case tparamkind::flag: set.WriteBool(id, p.key, p.flag_of(s)); break;
        case tparamkind::text: set.WriteString(id, p.key, p.text_of(s)); break;
        }
    }
}

void tparamlist::open(const std::string& id, TSetting& set, tprocstep& s) const {
    for (const tparam& p : params) {
        if (!p.in(s)) continue;
        switch (p.kind) {
        case tparamkind::real: {
            // A value held behind a setter is set only when it changes.
            const double now = p.real_of(s), v = set.ReadFloat(id, p.key, now);
            if (!p.setreal || !(v == now)) p.set_real(s, v);
            break;
        }
        case tparamkind::whole: {
            const std::int64_t v = set.ReadInteger(id, p.key, p.int_of(s));
            p.int_of(s) = static_cast<int>(std::clamp(v, p.storedlo, p.storedhi));
            break;
        }
        case tparamkind::choice: {
            const std::int64_t n = static_cast<std::int64_t>(p.items.size());
            const std::int64_t v = set.ReadInteger(id, p.key, p.int_of(s));
            if (v >= 0 && v < n)
                p.int_of(s) = static_cast<int>(v);
            else
                p.int_of(s) = p.firstwhenunknown
                                  ? 0
                                  : static_cast<int>(std::clamp(v, p.storedlo, p.storedhi));
            break;
        }
        case tparamkind::flag: p.flag_of(s) = set.ReadBool(id, p.key, p.flag_of(s)); break;
        case tparamkind::text: p.text_of(s) = set.ReadString(id, p.key, p.text_of(s)); break;
        }
    }
}

}  // namespace tessal
