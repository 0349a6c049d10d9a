#pragma once
// Runs a program for the benchmark (no shell), with extra environment variables, capturing its output.

#include <string>
#include <utility>
#include <vector>

namespace mirelo::bench {

struct ChildResult {
    int exitStatus = -1;  // -1 when it could not start or was killed by a signal
    std::string output;   // standard output, and standard error when merged
    double seconds = 0;   // from start to exit, wall clock
};

// With mergeStderr the child's standard error is captured too; otherwise it passes through.
[[nodiscard]] ChildResult RunChild(const std::vector<std::string>& argv,
                                   const std::vector<std::pair<std::string, std::string>>& extraEnv = {},
                                   bool mergeStderr = false);

}  // namespace mirelo::bench
