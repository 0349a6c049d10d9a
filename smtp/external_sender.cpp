#include "smtp/external_sender.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>

#include "mailcore/wide_text.h"

extern char** environ;

namespace outlark {

std::string BuildExternalCommandLine(std::string_view execute_filename, std::string_view log_filename,
                                     const ExternalMail& mail) {
    auto quoted = [](std::string_view text) {
        std::string out = "\"";
        out.append(text).push_back('"');
        return out;
    };
    std::string line = quoted(execute_filename);
    line += ' ';
    line += log_filename.empty() ? std::string("Outlark.log") : quoted(log_filename);
    for (std::string_view bare :
         {std::string_view(mail.server), std::string_view(mail.to), std::string_view(mail.from)}) {
        line += ' ';
        line += bare;
    }
    line += ' ' + quoted(mail.subject);
    line += ' ' + quoted(mail.body);
    if (!mail.filename.empty() && mail.filename != "0") line += ' ' + quoted(mail.filename);
    return line;
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false;
    bool quoted = false;
    for (char c : command_line) {
        if (c == '"') {
            quoted = !quoted;
            in_argument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_argument) arguments.push_back(std::move(current));
            current.clear();
            in_argument = false;
        } else {
            current.push_back(c);
            in_argument = true;
        }
    }
    if (in_argument) arguments.push_back(std::move(current));
    return arguments;
}

std::optional<pid_t> StartCommandLine(std::string_view command_line) {
    if (command_line.size() > kMaxExternalCommandLine) return std::nullopt;
    std::vector<std::string> arguments = SplitCommandLine(command_line);
    if (arguments.empty() || arguments.front().empty()) return std::nullopt;
    for (std::string& argument : arguments) argument = mailcore::Cp932ToUtf8(argument);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
    return pid;
}

void ChildReaper::ReapFinished() {
    std::erase_if(children_, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

void ChildReaper::WaitAll() {
    for (pid_t pid : children_) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    children_.clear();
}

std::int32_t ExternalSend(std::string& execute_filename, std::string_view log_filename, ExternalMail mail,
                          ChildReaper& reaper) {
    reaper.ReapFinished();
    if (mail.subject.empty()) mail.subject = "(No Subject)";
    if (mail.body.empty()) mail.body = "(No Body)";
    if (execute_filename.empty()) execute_filename = "Outlark.exe";
    std::string command_line = BuildExternalCommandLine(execute_filename, log_filename, mail);
    if (command_line.size() > kMaxExternalCommandLine) return 0;
    if (std::optional<pid_t> pid = StartCommandLine(command_line)) reaper.Add(*pid);
    return 1;
}

}  // namespace outlark
