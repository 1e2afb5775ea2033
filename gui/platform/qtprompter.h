// The prompter as Qt message boxes: the engine's "\r" line breaks become
// new lines, the caption is the box title.
#pragma once

#include "engine/core/prompter.h"

class QWidget;

namespace tessal {

class tqtprompter : public tprompter {
public:
    explicit tqtprompter(QWidget* parent = nullptr) : parent_(parent) {}
    tanswer ask(const std::string& text, const std::string& caption, tbuttons buttons,
                ticon icon) override;

private:
    QWidget* parent_;
};

}  // namespace tessal
