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

}  // namespace tessal
