#include "engine/process/processdocument.h"

#include <utility>

#include "engine/document/title.h"
#include "engine/process/processfile.h"
#include "engine/process/procregistry.h"

namespace tessal {

std::vector<std::string> tprocessdocument::lines() const {
    std::vector<std::string> out;
    out.reserve(steps.size());
    for (const auto& s : steps) out.push_back((s->enabled ? "" : "% ") + s->get_procname());
    return out;
}

bool tprocessdocument::add_step(int index) {
    std::unique_ptr<tprocstep> s = create_step(index, nullptr, defaultsampfreq);
    if (!s) return false;
    modified_ = true;
    steps.push_back(std::move(s));
    return true;
}

bool tprocessdocument::add_step_marking(int index) {
    modified_ = true;
    return add_step(index);
}

void tprocessdocument::copy_selected() {
    modified_ = true;
    const std::size_t n = steps.size();
    std::vector<std::unique_ptr<tprocstep>> copies;
    for (std::size_t i = 0; i < n; ++i)
        if (steps[i]->selected)
            copies.push_back(create_step(steps[i]->procnum, steps[i].get(), defaultsampfreq));
    if (copies.empty()) return;
    for (auto& s : steps) s->selected = false;
    for (auto& c : copies) {
        c->selected = true;
        steps.push_back(std::move(c));
    }
}

void tprocessdocument::delete_selected() {
    modified_ = true;
    for (std::size_t i = steps.size(); i-- > 0;)
        if (steps[i]->selected) steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(i));
}

void tprocessdocument::move_up() {
    modified_ = true;
    for (std::size_t i = 1; i < steps.size(); ++i)
        if (steps[i]->selected && !steps[i - 1]->selected) std::swap(steps[i - 1], steps[i]);
}

void tprocessdocument::move_down() {
    modified_ = true;
    for (std::size_t i = steps.size() >= 2 ? steps.size() - 1 : 0; i-- > 0;)
        if (steps[i]->selected && !steps[i + 1]->selected) std::swap(steps[i], steps[i + 1]);
}

void tprocessdocument::set_enabled(bool v) {
    modified_ = true;
    for (auto& s : steps)
        if (s->selected) s->enabled = v;
}

void tprocessdocument::set_selection(const std::vector<bool>& sel) {
    for (std::size_t i = 0; i < steps.size(); ++i) steps[i]->selected = i < sel.size() && sel[i];
}

std::vector<bool> tprocessdocument::selection() const {
    std::vector<bool> sel;
    for (const auto& s : steps) sel.push_back(s->selected);
    return sel;
}

void tprocessdocument::clear() {
    steps.clear();
    modified_ = false;
    name_.clear();
}

void tprocessdocument::open(const std::string& path) {
    tprocsteps read;
    open_process_file(path, read, defaultsampfreq);
    steps = std::move(read);
    modified_ = false;
    name_ = path;
}

void tprocessdocument::save(const std::string& path) {
    save_process_file(path, steps);
    name_ = path;
    modified_ = false;
}

std::string tprocessdocument::caption() const {
    if (name_.empty()) return "<untitled> - Tessal";
    return name_ + (modified_ ? "* - Tessal" : " - Tessal");
}

std::string tprocessdocument::run_caption() const {
    if (name_.empty()) return "&Run process";
    std::string base = file_name_part(name_);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    return "&Run process " + base;
}

std::string tprocessdocument::run_hint() const {
    if (name_.empty() || modified_) return "Run current process";
    return "Run current process (" + name_ + ")";
}

}  // namespace tessal
