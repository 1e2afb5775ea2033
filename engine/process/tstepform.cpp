#include "engine/process/tstepform.h"

#include <cmath>
#include <stdexcept>

#include "engine/dsp/numformat.h"
#include "engine/process/tprocstep.h"

namespace tessal {

namespace {

tformfield make(tfieldkind kind, const std::string& key, const std::string& caption) {
    tformfield f;
    f.kind = kind;
    f.key = key;
    f.caption = caption;
    return f;
}

}  // namespace

tformfield& tstepform::add_text(const std::string& key, const std::string& caption,
                                const std::string& value) {
    fields.push_back(make(tfieldkind::text, key, caption));
    fields.back().text = value;
    return fields.back();
}

tformfield& tstepform::add_number(const std::string& key, const std::string& caption,
                                  double value, std::optional<tnumberfield> range) {
    fields.push_back(make(tfieldkind::number, key, caption));
    fields.back().text = float_to_text(value);
    fields.back().range = std::move(range);
    return fields.back();
}

tformfield& tstepform::add_check(const std::string& key, const std::string& caption, bool value,
                                 const std::string& companion) {
    fields.push_back(make(tfieldkind::check, key, caption));
    fields.back().checked = value;
    fields.back().companion = companion;
    return fields.back();
}

tformfield& tstepform::add_radio(const std::string& key, const std::string& caption,
                                 std::vector<std::string> items, int index) {
    return add_choice(tfieldkind::radio, key, caption, std::move(items), index);
}

tformfield& tstepform::add_combo(const std::string& key, const std::string& caption,
                                 std::vector<std::string> items, int index) {
    return add_choice(tfieldkind::combo, key, caption, std::move(items), index);
}

tformfield& tstepform::add_choice(tfieldkind kind, const std::string& key,
                                  const std::string& caption, std::vector<std::string> items,
                                  int index) {
    fields.push_back(make(kind, key, caption));
    fields.back().items = std::move(items);
    fields.back().index = index;
    return fields.back();
}

tformfield& tstepform::add_note(const std::string& key, const std::string& text) {
    fields.push_back(make(tfieldkind::note, key, {}));
    fields.back().text = text;
    return fields.back();
}

tformfield& tstepform::add_button(const std::string& key, const std::string& caption,
                                  const std::string& companion) {
    fields.push_back(make(tfieldkind::button, key, caption));
    fields.back().companion = companion;
    return fields.back();
}

void tstepform::begin_group(const std::string& caption) {
    fields.push_back(make(tfieldkind::group, "group:" + caption, caption));
}

void tstepform::end_group() { fields.push_back(make(tfieldkind::endgroup, {}, {})); }

bool tstepform::has(const std::string& key) const {
    for (const auto& f : fields)
        if (f.key == key) return true;
    return false;
}

tformfield& tstepform::field(const std::string& key) {
    for (auto& f : fields)
        if (f.key == key && !key.empty()) return f;
    throw std::out_of_range("no field " + key + " in " + caption);
}

const tformfield& tstepform::field(const std::string& key) const {
    return const_cast<tstepform*>(this)->field(key);
}

std::string tstepform::number_problem(const std::string& key) const {
    const tformfield& f = field(key);
    double v = 0;
    if (f.range) return read_number_field(f.text, *f.range, v);
    if (!try_parse_float(f.text, v) || !std::isfinite(v)) return f.caption + " must be a number";
    return {};
}

double tstepform::number(const std::string& key) const {
    const tformfield& f = field(key);
    if (f.range) return number(key, *f.range);
    double v = 0;
    if (!try_parse_float(f.text, v) || !std::isfinite(v))
        throw EProcessError(f.caption + " must be a number");
    return v;
}

double tstepform::number(const std::string& key, const tnumberfield& range) const {
    double v = 0;
    const std::string problem = read_number_field(field(key).text, range, v);
    if (!problem.empty()) throw EProcessError(problem);
    return v;
}

void tstepform::set_text(const std::string& key, const std::string& value) {
    field(key).text = value;
    changed(key);
}

void tstepform::set_checked(const std::string& key, bool value) {
    field(key).checked = value;
    changed(key);
}

void tstepform::set_index(const std::string& key, int value) {
    field(key).index = value;
    changed(key);
}

void tstepform::set_number(const std::string& key, double value) {
    field(key).text = float_to_text(value);
}

}  // namespace tessal
