// inlark: the POP3 component from the command line. Each command is one entry of the table.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/inlark/parse_command.h"

namespace {

struct Command {
    std::string_view name;
    std::string_view usage;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr Command kCommands[] = {
    {"parse", "parse FILE [--save-attachments DIR]   print a mail file as JSON (FILE - reads standard input)",
     inlark::tool::RunParseCommand},
};

int Usage(std::ostream& os, int status) {
    os << "usage: inlark COMMAND [ARGS]\n";
    for (const auto& c : kCommands) os << "  inlark " << c.usage << "\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage(std::cerr, 2);
    const std::string_view word = argv[1];
    if (word == "-h" || word == "--help" || word == "help") return Usage(std::cout, 0);
    for (const auto& c : kCommands) {
        if (c.name == word)
            return c.run(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
    std::cerr << "inlark: unknown command " << word << "\n";
    return Usage(std::cerr, 2);
}
