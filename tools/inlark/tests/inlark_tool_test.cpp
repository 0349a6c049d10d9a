// The inlark program against the scripted server: what it sends, prints and writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/scripted_server/scripted_server.h"

extern char** environ;

namespace {

using scripted::Script;
using scripted::ScriptedServer;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with `args` and, when given, INLARK_PASSWORD set to `password`.
Outcome RunInlark(const std::vector<std::string>& args, const char* password) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).starts_with("INLARK_PASSWORD=")) continue;
        env.emplace_back(*e);
    }
    if (password != nullptr) env.push_back(std::string("INLARK_PASSWORD=") + password);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all = {INLARK_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2], err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid;
    Outcome outcome;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) return outcome;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(fds, 2, 10000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::vector<std::string> Mailbox(const char* command, const ScriptedServer& server) {
    return {command, "-s", "127.0.0.1", "-p", std::to_string(server.Port()), "-u", "taro", "--timeout", "5"};
}

Script LoggedIn() {
    return Script()
        .Reply("+OK ready\r\n")
        .Expect("USER taro\r\n")
        .Reply("+OK\r\n")
        .Expect("PASS pw\r\n")
        .Reply("+OK\r\n");
}

TEST(InlarkTool, ListPrintsSizes) {
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 2 320\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n1 120\r\n2 200\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK bye\r\n"));
    Outcome outcome = RunInlark(Mailbox("list", server), "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "2 messages, 320 octets\n1 120\n2 200\n");
    EXPECT_NE(outcome.err.find("logged in as taro"), std::string::npos);
    server.Stop();
    EXPECT_TRUE(server.Failures().empty()) << server.Failures().front();
}

TEST(InlarkTool, RetrieveWritesTheMessageWithoutItsEndLine) {
    ScriptedServer server(LoggedIn()
                              .Expect("RETR 3\r\n")
                              .Reply("+OK\r\nSubject: s\r\n\r\n..dot\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto path =
        std::filesystem::temp_directory_path() / ("inlark_tool_test_" + std::to_string(getpid()) + ".eml");
    auto args = Mailbox("retrieve", server);
    args.insert(args.end(), {"3", "-o", path.string()});
    Outcome outcome = RunInlark(args, "pw");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "Subject: s\r\n\r\n.dot\r\n");
    std::filesystem::remove(path);
}

TEST(InlarkTool, DeleteIsAllOrNothing) {
    ScriptedServer server(LoggedIn()
                              .Expect("DELE 1\r\n")
                              .Reply("+OK\r\n")
                              .Expect("DELE 2\r\n")
                              .Reply("-ERR no such message\r\n"));
    auto args = Mailbox("delete", server);
    args.insert(args.end(), {"1", "2", "3"});
    Outcome outcome = RunInlark(args, "pw");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("DELE 2 failed: -ERR no such message"), std::string::npos) << outcome.err;
    server.Stop();
    EXPECT_EQ(server.Received(), "USER taro\r\nPASS pw\r\nDELE 1\r\nDELE 2\r\n");  // no QUIT
}

TEST(InlarkTool, PasswordComesFromAFileOrTheEnvironmentOnly) {
    ScriptedServer server(LoggedIn()
                              .Expect("STAT\r\n")
                              .Reply("+OK 0 0\r\n")
                              .Expect("LIST\r\n")
                              .Reply("+OK\r\n.\r\n")
                              .Expect("QUIT\r\n")
                              .Reply("+OK\r\n"));
    auto path = std::filesystem::temp_directory_path() / ("inlark_tool_pw_" + std::to_string(getpid()));
    std::ofstream(path) << "pw\nsecond line\n";
    auto args = Mailbox("list", server);
    args.insert(args.end(), {"--password-file", path.string()});
    Outcome outcome = RunInlark(args, "from-environment");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::filesystem::remove(path);

    ScriptedServer unused(Script().Reply("+OK\r\n"));
    Outcome missing = RunInlark(Mailbox("list", unused), nullptr);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("INLARK_PASSWORD"), std::string::npos);
    Outcome noOption = RunInlark({"list", "-s", "127.0.0.1", "-u", "taro", "--password", "pw"}, nullptr);
    EXPECT_NE(noOption.status, 0);
    unused.Stop(scripted::Milliseconds(0));
    EXPECT_EQ(unused.Accepted(), 0u);
}

}  // namespace
