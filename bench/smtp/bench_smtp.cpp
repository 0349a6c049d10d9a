// BENCH lines for SMTP against the real Postfix that `./dev bench` starts (testing/servers/mail-servers):
//   send_200_outlark / send_200_msmtp   200 one-shot sends of a small Japanese mail, one process and one
//                                       connection each: `outlark send` beside msmtp; mails per second.
//   send_200_vs_msmtp                   the ratio of the two; above 1 means outlark is faster.
//   compose_5mib_attachment             composition of a mail with a 5 MiB attachment, MiB/s (without the
//                                       component's 50 ms pause after each attachment).
// Every mail is checked to have arrived in the Maildir. Composition is the median of five runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "smtp/compose_message.h"
#include "testing/mail_servers_env/mail_servers_env.h"
#include "testing/mail_servers_env/mailbox_lease.h"
#include "testing/mail_servers_env/maildir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace ms = mirelo::mail_servers;

constexpr int kSends = 200;
constexpr double kMiB = 1024.0 * 1024.0;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_smtp: %s\n", what.c_str());
    std::exit(1);
}

void Bench(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
}

// Runs a program directly with standard input from `input` and standard output discarded; its exit status.
int Run(std::vector<std::string> argv, const std::string& input) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Mails per second for `kSends` runs of `argv`, after checking they all arrived.
double SendRate(const char* who, const std::vector<std::string>& argv, const std::string& input,
                const ms::Mailbox& box) {
    if (std::string error = ms::EmptyMaildir(box.maildir); !error.empty()) Fail(error);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kSends; ++i) {
        if (int status = Run(argv, input); status != 0) {
            Fail(std::string(who) + " send " + std::to_string(i) + " exited with " + std::to_string(status));
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (std::string error = ms::WaitForMessages(box.maildir, kSends); !error.empty()) {
        Fail(std::string(who) + ": " + error);
    }
    return kSends / seconds;
}

double ComposeRate(const fs::path& dir) {
    std::string bytes(5 * 1024 * 1024, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 >> 3);
    fs::path file = dir / "five.bin";
    std::ofstream(file, std::ios::binary) << bytes;
    outlark::ComposedMessage message;
    message.from = outlark::Recipient{"", "phone@mirelo.test"};
    message.to = {outlark::Recipient{"", "office@mirelo.test"}};
    message.subject = "\x93\xfa\x96\x7b";
    message.attachments = {file.string()};
    outlark::ComposeContext context = outlark::CurrentComposeContext();
    context.attachment_pause = std::chrono::milliseconds(0);
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::string text = outlark::ComposeMessage(message, "\x96\x7b\x95\xb6", context);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (text.size() < bytes.size() * 4 / 3) Fail("composition lost the attachment");
        rates.push_back(bytes.size() / kMiB / seconds);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main() {
    const char* env_path = std::getenv(ms::kEnvVariable);
    if (env_path == nullptr || *env_path == '\0') Fail("no real servers: MIRELO_SERVERS_ENV is not set");
    ms::MailServersEnv env;
    if (std::string error = ms::LoadMailServersEnv(env_path, &env); !error.empty()) Fail(error);
    ms::MailboxLease lease;
    if (std::string error = lease.AcquireSpare(env); !error.empty()) Fail(error);
    const ms::Mailbox& box = lease.mailbox();

    char pattern[] = "/tmp/bench-smtp-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    const std::string subject = "\xe3\x83\x99\xe3\x83\xb3\xe3\x83\x81";  // "ベンチ"
    const std::string body_text =
        "\xe6\x9c\xac\xe6\x96\x87\xe3\x81\xa7\xe3\x81\x99\xe3\x80\x82\n";  // "本文です。"
    fs::path body = dir / "body.txt";
    std::ofstream(body) << body_text;
    // msmtp sends what it is given: the same small mail, already in ISO-2022-JP.
    fs::path message = dir / "message.eml";
    std::ofstream(message)
        << "From: phone@mirelo.test\r\nTo: " << box.address
        << "\r\nSubject: =?ISO-2022-JP?B?GyRCJVklcyVBGyhC?=\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$BK\\J8$G$9!#\x1b(B\r\n";
    const std::string port = std::to_string(env.smtpPort);

    double outlark = SendRate("outlark",
                              {OUTLARK_TOOL, "send", "-S", env.host, "-p", port, "-f", "phone@mirelo.test",
                               "-t", box.address, "-s", subject, "-b", body.string()},
                              "/dev/null", box);
    double msmtp = SendRate("msmtp",
                            {"msmtp", "--host=" + env.host, "--port=" + port, "--auth=off", "--tls=off",
                             "--from=phone@mirelo.test", box.address},
                            message.string(), box);
    Bench("send_200_outlark", outlark, "mails/s");
    Bench("send_200_msmtp", msmtp, "mails/s");
    Bench("send_200_vs_msmtp", outlark / msmtp, "ratio");
    Bench("compose_5mib_attachment", ComposeRate(dir), "MiB/s");
    if (std::string error = ms::EmptyMaildir(box.maildir); !error.empty()) Fail(error);
    fs::remove_all(dir);
    return 0;
}
