// What tessal-cli says about itself: the command list of `help`, the page of
// `help COMMAND`, the manual page and the bash completion. All four are made
// from one table, so the manual and the program never disagree.
#pragma once

#include <string>
#include <vector>

namespace tessal::cli {

struct thelpoption {
    std::string option;  // "--channel N"
    std::string text;
};

struct thelpcommand {
    std::string name;
    std::vector<std::string> synopsis;  // one usage form per entry, without "tessal-cli "
    std::string summary;                // one line for the command list
    std::string description;            // paragraphs separated by "\n\n"
    std::vector<thelpoption> options;
};

const std::vector<thelpcommand>& help_commands();
const thelpcommand* find_help(const std::string& name);

// The text of `tessal-cli help`: usage, one block per command, exit codes.
std::string usage_text();
// The text of `tessal-cli help NAME`.
std::string command_help(const thelpcommand& c);
// The manual page tessal-cli(1) in roff.
std::string man_page(const std::string& version);
// A bash completion script for tessal-cli.
std::string bash_completion();

}  // namespace tessal::cli
