#include "engine/process/commentstep.h"

#include "engine/settings/tsetting.h"

namespace tessal {

void tcomment::save_proc(const std::string& id, TSetting& setting) const {
    tprocstep::save_proc(id, setting);
    setting.WriteString(id, "Comment", comment);
}

void tcomment::open_proc(const std::string& id, TSetting& setting) {
    tprocstep::open_proc(id, setting);
    comment = setting.ReadString(id, "Comment", comment);
}

}  // namespace tessal
