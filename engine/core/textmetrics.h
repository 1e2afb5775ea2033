// Text measurement as the engine sees it. Tick spacing, label thinning and
// layout heights depend on how large a text is drawn; the GUI supplies the
// real font metrics, while tests and the command-line program use the fixed
// approximation below (7 pixels a character, 13 pixels high).
#pragma once

#include <string>

namespace tessal {

class ttextmetrics {
public:
    virtual ~ttextmetrics() = default;
    virtual int text_width(const std::string& s) const = 0;
    virtual int text_height(const std::string& s) const = 0;
};

class tfixedtextmetrics : public ttextmetrics {
public:
    explicit tfixedtextmetrics(int charwidth = 7, int height = 13)
        : charwidth_(charwidth), height_(height) {}
    int text_width(const std::string& s) const override;
    int text_height(const std::string& s) const override;

private:
    int charwidth_;
    int height_;
};

// The approximation every engine object uses until it is given another.
const ttextmetrics& default_textmetrics();

}  // namespace tessal
