// tclipboard: where the engine puts and finds blocks of bytes under a named
// format ("Tessal Sampled Data" for copied samples). The GUI implements it
// over the system clipboard; tests and windowless runs keep the blocks in
// memory. Reading never trusts the block: the parser checks every length.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessal {

// The clipboard format of copied samples (see document/clipboardblock.h).
inline constexpr const char* sampleddata_format = "Tessal Sampled Data";

class tclipboard {
public:
    virtual ~tclipboard() = default;
    virtual bool has_format(const std::string& format) const = 0;
    // Replaces the clipboard's contents with one block.
    virtual void set_data(const std::string& format, const std::vector<std::uint8_t>& bytes) = 0;
    // False when the clipboard holds nothing in this format.
    virtual bool get_data(const std::string& format, std::vector<std::uint8_t>& bytes) const = 0;
};

// Keeps the last block given: for tests and windowless runs.
class tmemoryblockclipboard : public tclipboard {
public:
    bool has_format(const std::string& format) const override {
        return blocks.count(format) != 0;
    }
    void set_data(const std::string& format, const std::vector<std::uint8_t>& bytes) override {
        blocks.clear();
        blocks[format] = bytes;
    }
    bool get_data(const std::string& format, std::vector<std::uint8_t>& bytes) const override {
        auto it = blocks.find(format);
        if (it == blocks.end()) return false;
        bytes = it->second;
        return true;
    }
    std::map<std::string, std::vector<std::uint8_t>> blocks;
};

}  // namespace tessal
