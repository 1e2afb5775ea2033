#include "engine/process/commentstep.h"

#include "engine/settings/tsetting.h"

namespace tessal {

std::unique_ptr<tstepform> tcomment::settings_form() const {
    auto f = std::make_unique<tstepform>("Edit comment");
    f->add_text("comment", "Comment", comment);
    return f;
}

void tcomment::apply_form(const tstepform& form) { comment = form.text("comment"); }

void tcomment::save_proc(const std::string& id, TSetting& setting) const {
    tprocstep::save_proc(id, setting);
    setting.WriteString(id, "Comment", comment);
}

void tcomment::open_proc(const std::string& id, TSetting& setting) {
    tprocstep::open_proc(id, setting);
    comment = setting.ReadString(id, "Comment", comment);
}

}  // namespace tessal
