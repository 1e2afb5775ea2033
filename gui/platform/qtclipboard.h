// The engine's clipboards over the system clipboard: plain text for copied
// measurements and logs (tqtclipboard), and named blocks of bytes for copied
// samples (tqtblockclipboard). A block format name maps onto a MIME type, so
// "Tessal Sampled Data" travels as application/x-tessal-sampled-data
// between Tessal windows and processes.
#pragma once

#include <QString>

#include "engine/core/clipboard.h"
#include "engine/core/textclipboard.h"

namespace tessal {

class tqtclipboard : public ttextclipboard {
public:
    void set_text(const std::string& text) override;
};

// The MIME type a block format travels as.
QString clipboard_mime_type(const std::string& format);

class tqtblockclipboard : public tclipboard {
public:
    bool has_format(const std::string& format) const override;
    void set_data(const std::string& format, const std::vector<std::uint8_t>& bytes) override;
    bool get_data(const std::string& format, std::vector<std::uint8_t>& bytes) const override;
};

}  // namespace tessal
