// EMPCError: the soundcard components' failure, carrying the user's text.
#pragma once

#include <stdexcept>
#include <string>

namespace tessal {

class EMPCError : public std::runtime_error {
public:
    explicit EMPCError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace tessal
