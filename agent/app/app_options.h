#pragma once
// The command line of `mirelo`.

#include <optional>
#include <string>

namespace mirelo {

enum class AppMode { Windows, Wait, CheckNow };

struct AppOptions {
    AppMode mode = AppMode::Windows;
    int intervalSeconds = 60;  // the waiting mode's tick; shorter only for tests and demos
};

// Fills `options`, or returns the exit status when the program ends here: 0 after --help, 2 after a bad
// command line (the usage is on standard error by then).
[[nodiscard]] std::optional<int> ParseAppOptions(int argc, const char* const* argv, AppOptions& options);

}  // namespace mirelo
