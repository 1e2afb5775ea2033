#include "engine/process/commentstep.h"

#include "engine/process/stepparams.h"

namespace tessal {

const tparamlist* tcomment::params() const {
    static const tparamlist list =
        tparams<tcomment>("Edit comment").text("Comment", "comment", "Comment", &tcomment::comment);
    return &list;
}

}  // namespace tessal
