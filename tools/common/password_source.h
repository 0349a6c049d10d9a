#pragma once
// Where the tools take a password from: never the command line, which other users can read in the process
// list.

#include <optional>
#include <string>

namespace mirelo::tool {

// The first line of `passwordFile` (a trailing CR dropped) when one is given, else the environment
// variable `variable`. Nothing: `problem` says why.
[[nodiscard]] std::optional<std::string> ReadPassword(const std::string& passwordFile, const char* variable,
                                                      std::string& problem);

}  // namespace mirelo::tool
