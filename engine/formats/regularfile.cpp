#include "engine/formats/regularfile.h"

#include <filesystem>
#include <system_error>

namespace tessal {

std::string regular_file_problem(const std::string& path, std::uint64_t maxbytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) return path + " does not exist";
    if (!fs::is_regular_file(st)) return path + " is not a regular file";
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return path + " cannot be read";
    if (size > maxbytes)
        return path + " is larger than " + std::to_string(maxbytes) + " bytes (" + std::to_string(size) +
               " bytes)";
    return {};
}

std::string output_input_clash(const std::string& out, const std::vector<std::string>& inputs) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Only a regular file can be lost this way; a device or a pipe is no copy.
    if (!fs::is_regular_file(out, ec)) return {};
    for (const std::string& in : inputs) {
        if (fs::equivalent(out, in, ec) && !ec)
            return out + " is " + (out == in ? "" : "the same file as " + in + ", ") +
                   "an input; write the result to another file";
        ec.clear();
    }
    return {};
}

}  // namespace tessal
