#pragma once
// Runs a program for the benchmark (no shell), with extra environment variables, capturing its output.

#include <string>
#include <utility>
#include <vector>

namespace mirelo::bench {

struct ChildResult {
    int exitStatus = -1;  // -1 when it could not start or was killed by a signal
    std::string output;   // standard output; standard error passes through
    double seconds = 0;   // from start to exit, wall clock
};

[[nodiscard]] ChildResult RunChild(const std::vector<std::string>& argv,
                                   const std::vector<std::pair<std::string, std::string>>& extraEnv = {});

}  // namespace mirelo::bench
