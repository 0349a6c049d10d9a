#include "agent/app/app_options.h"

#include <CLI/CLI.hpp>
#include <iostream>

namespace mirelo {

std::optional<int> ParseAppOptions(int argc, const char* const* argv, AppOptions& options) {
    CLI::App app{
        "mirelo: works a POP3 mailbox for the owner's phone; command mails from the phone are "
        "answered by SMTP. Settings come from Mirelo.ini in the program folder."};
    app.name("mirelo");
    bool wait = false;
    bool checkNow = false;
    std::string home;  // read again by FindProgramFolder; declared so that it is accepted
    CLI::Option* waitOption = app.add_flag("--wait", wait,
                                           "Waiting mode without windows: status lines on standard output, "
                                           "SIGTERM or SIGINT ends it after the check in progress");
    CLI::Option* checkOption = app.add_flag("--check-now", checkNow,
                                            "One check at once, then exit: 0 checked, 1 no check (see the "
                                            "log), 2 bad usage or settings");
    waitOption->excludes(checkOption);
    app.add_option("--interval-seconds", options.intervalSeconds,
                   "Tick of waiting mode in seconds instead of 60 (for tests and demos only)")
        ->check(CLI::Range(1, 3600))
        ->needs(waitOption);
    app.add_option("--home", home,
                   "Program folder holding Mirelo.ini and the log (default: the executable's)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "mirelo: " << error.what() << "\n\n" << app.help() << std::flush;
        return 2;
    }
    options.mode = wait ? AppMode::Wait : checkNow ? AppMode::CheckNow : AppMode::Windows;
    return std::nullopt;
}

}  // namespace mirelo
