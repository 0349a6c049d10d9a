// BENCH lines for POP3 against the real Dovecot that `./dev bench` starts (testing/servers/mail-servers):
//   retr_9mib_*       RETR of one 9 MiB message: the inlark tool beside curl, each a whole process (connect,
//                     log in, RETR, QUIT, message written to a file, the two files byte for byte the same);
//                     seconds and MiB/s. The library alone, in this process, for reference.
//   retr_9mib_tls_*   the same over POP3S: the tool with --security tls beside curl's pop3s://, both trusting
//                     the test CA; counted only when both wrote the same bytes.
//   pop3s_login_*     a whole process that connects over POP3S, logs in, lists and quits (the TLS handshake
//                     and the log-in, with the one message listed): the tool beside curl; and the library's
//                     connect, handshake, log-in and QUIT in this process for reference.
//   list_top_1000_*   LIST, then TOP n 1 for each of 1,000 small messages, in one session: the Pop3 class
//                     beside Python's poplib, each timed around the session inside its own process.
// Dovecot refuses "TOP n" without a line count, which is what TOP_(n, 0) sends, so both sides ask for
// one body line. Ratios above 1 mean inlark is faster. Every figure is the median of five runs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/pop3/child_process.h"
#include "inlark/pop3.h"
#include "testing/mail_servers_env/mail_servers_env.h"
#include "testing/mail_servers_env/mailbox_lease.h"
#include "testing/mail_servers_env/maildir.h"

namespace {

using mirelo::bench::ChildResult;
using mirelo::bench::RunChild;
namespace ms = mirelo::mail_servers;

constexpr int kRuns = 5;
constexpr int kSmallMessages = 1000;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr const char* kPasswordVariable = "MIRELO_BENCH_PASSWORD";

const char* const kPoplibSession = R"(
import os, poplib, sys, time
host, port, user, count = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
start = time.perf_counter()
p = poplib.POP3(host, port)
p.user(user)
p.pass_(os.environ["MIRELO_BENCH_PASSWORD"])
listing = p.list()[1]
for n in range(1, len(listing) + 1):
    p.top(n, 1)
p.quit()
elapsed = time.perf_counter() - start
if len(listing) != count:
    sys.exit("poplib saw %d messages, expected %d" % (len(listing), count))
print(elapsed)
)";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_pop3: %s\n", what.c_str());
    std::exit(1);
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void Bench(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
}

// Base64-like lines, as an attachment would arrive, to about 9 MiB.
std::string LargeMessage(const ms::Mailbox& box) {
    std::string message = "From: phone@mirelo.test\nTo: " + box.address +
                          "\nSubject: nine MiB\nMIME-Version: 1.0\nContent-Type: application/octet-stream\n"
                          "Content-Transfer-Encoding: base64\n\n";
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string line;
    while (message.size() < 9 * 1024 * 1024) {
        line.clear();
        for (size_t i = 0; i < 76; ++i) line += alphabet[(message.size() + i * 7) % alphabet.size()];
        message += line + "\n";
    }
    return message;
}

// `path` "/1" retrieves message 1, "/" lists; `tls` speaks POP3S trusting the test CA.
double Curl(const ms::MailServersEnv& env, const ms::Mailbox& box, const std::string& output, bool tls,
            const std::string& path = "/1") {
    const std::string url = (tls ? "pop3s://" : "pop3://") + env.host + ":" +
                            std::to_string(tls ? env.pop3sPort : env.pop3Port) + path;
    std::vector<std::string> command = {
        "curl", "-s", "-S", "-o", output, "-u", box.user + ":" + box.password};
    if (tls) command.insert(command.end(), {"--cacert", env.caFile});
    command.push_back(url);
    const ChildResult r = RunChild(command);
    if (r.exitStatus != 0) Fail("curl failed with status " + std::to_string(r.exitStatus));
    return r.seconds;
}

double CurlRetr(const ms::MailServersEnv& env, const ms::Mailbox& box, const std::string& output) {
    return Curl(env, box, output, false);
}

// Seconds for the whole process, or a negative value when the tool failed (its words are shown then).
// `arguments` follow the subcommand's own; `tls` adds POP3S with the test CA.
double Tool(const std::string& tool, const ms::MailServersEnv& env, const ms::Mailbox& box,
            std::vector<std::string> arguments, bool tls) {
    std::vector<std::string> command = {tool};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.insert(command.end(), {"--server", env.host, "--port",
                                   std::to_string(tls ? env.pop3sPort : env.pop3Port), "--user", box.user});
    if (tls) command.insert(command.end(), {"--security", "tls", "--trust-file", env.caFile});
    const ChildResult r = RunChild(command, {{"INLARK_PASSWORD", box.password}}, true);
    if (r.exitStatus == 0) return r.seconds;
    std::fprintf(stderr, "%s", r.output.c_str());
    return -1;
}

double ToolRetr(const std::string& tool, const ms::MailServersEnv& env, const ms::Mailbox& box,
                const std::string& output, bool tls = false) {
    return Tool(tool, env, box, {"retrieve", "--output", output, "1"}, tls);
}

// The library in this process: connect over POP3S (the handshake), log in, QUIT.
double LibraryTlsLogin(const ms::MailServersEnv& env, const ms::Mailbox& box) {
    const auto start = std::chrono::steady_clock::now();
    inlark::Pop3 pop3;
    pop3.SetPort(env.pop3sPort);
    pop3.SetSecurity(2);
    pop3.SetTrustFile(Wide(env.caFile));
    std::int32_t result = 0;
    pop3.ConnectByName(Wide(env.host), &result);
    if (result != 1) Fail("inlark: POP3S connect failed");
    pop3.Authorize(Wide(box.user), Wide(box.password), &result);
    if (result != 1) Fail("inlark: log-in over POP3S failed");
    pop3.QUIT(&result);
    pop3.Destroy(&result);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Over POP3S: RETR of the large message and the log-in alone, each beside curl.
void TlsFigures(const ms::MailServersEnv& env, const ms::Mailbox& box, const std::filesystem::path& scratch,
                std::size_t largeSize) {
    const std::string curlOut = (scratch / "curl-tls.eml").string();
    const std::string toolOut = (scratch / "inlark-tls.eml").string();
    const std::string listing = (scratch / "listing").string();
    std::vector<double> curl, tool, curlLogin, toolLogin, library;
    bool toolWorks = true;
    for (int i = 0; i < kRuns; ++i) {
        curl.push_back(Curl(env, box, curlOut, true));
        curlLogin.push_back(Curl(env, box, listing, true, "/"));
        library.push_back(LibraryTlsLogin(env, box));
        if (!toolWorks) continue;
        tool.push_back(ToolRetr(INLARK_TOOL, env, box, toolOut, true));
        toolLogin.push_back(Tool(INLARK_TOOL, env, box, {"list"}, true));
        toolWorks = tool.back() >= 0 && toolLogin.back() >= 0;
    }
    if (std::filesystem::file_size(curlOut) < largeSize)
        Fail("curl's POP3S copy is shorter than the message");
    Bench("pop3s_login_library_seconds", Median(library), "s");
    Bench("pop3s_login_curl_seconds", Median(curlLogin), "s");
    Bench("retr_9mib_tls_curl_seconds", Median(curl), "s");
    if (!toolWorks) {
        std::printf("bench_pop3: the inlark tool failed over POP3S; retr_9mib_tls_vs_curl not measured\n");
        return;
    }
    if (FileBytes(toolOut) != FileBytes(curlOut)) Fail("inlark's POP3S copy differs from curl's");
    const double mib = static_cast<double>(largeSize) / kMiB;
    Bench("retr_9mib_tls_inlark_seconds", Median(tool), "s");
    Bench("retr_9mib_tls_inlark_throughput", mib / Median(tool), "MiB/s");
    Bench("retr_9mib_tls_curl_throughput", mib / Median(curl), "MiB/s");
    Bench("retr_9mib_tls_vs_curl", Median(curl) / Median(tool), "x");
    Bench("pop3s_login_inlark_seconds", Median(toolLogin), "s");
    Bench("pop3s_login_vs_curl", Median(curlLogin) / Median(toolLogin), "x");
}

// Connects and logs in, or ends the benchmark.
void LogIn(inlark::Pop3& pop3, const ms::MailServersEnv& env, const ms::Mailbox& box) {
    pop3.SetPort(env.pop3Port);
    std::int32_t result = 0;
    pop3.ConnectByName(Wide(env.host), &result);
    if (result != 1) Fail("inlark: connect failed");
    pop3.Authorize(Wide(box.user), Wide(box.password), &result);
    if (result != 1) Fail("inlark: log-in failed");
}

// The library alone, in this process: connect, log in, RETR, QUIT.
double LibraryRetr(const ms::MailServersEnv& env, const ms::Mailbox& box, std::size_t minimumLength) {
    const auto start = std::chrono::steady_clock::now();
    inlark::Pop3 pop3;
    LogIn(pop3, env, box);
    std::int32_t result = 0;
    pop3.RETR(1, &result);
    std::int32_t length = 0;
    pop3.GetCount(&length);
    if (result != 1 || static_cast<std::size_t>(length) < minimumLength) Fail("inlark: RETR failed");
    pop3.QUIT(&result);
    pop3.Destroy(&result);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PoplibListTop(const ms::MailServersEnv& env, const ms::Mailbox& box) {
    const ChildResult r = RunChild({"/usr/bin/python3", "-c", kPoplibSession, env.host,
                                    std::to_string(env.pop3Port), box.user, std::to_string(kSmallMessages)},
                                   {{kPasswordVariable, box.password}});
    if (r.exitStatus != 0) Fail("poplib session failed with status " + std::to_string(r.exitStatus));
    return std::strtod(r.output.c_str(), nullptr);
}

double InlarkListTop(const ms::MailServersEnv& env, const ms::Mailbox& box) {
    const auto start = std::chrono::steady_clock::now();
    inlark::Pop3 pop3;
    LogIn(pop3, env, box);
    std::int32_t result = 0;
    pop3.LIST(0, &result);
    std::int32_t count = 0;
    pop3.GetCount(&count);
    if (result != 1 || count != kSmallMessages)
        Fail("inlark: LIST gave " + std::to_string(count) + " messages");
    for (std::int32_t n = 1; n <= count; ++n) {
        pop3.TOP_(n, 1, &result);
        if (result != 1) Fail("inlark: TOP " + std::to_string(n) + " failed");
    }
    pop3.QUIT(&result);
    pop3.Destroy(&result);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const std::optional<ms::MailServersEnv> servers = ms::BenchmarkServers("bench_pop3");
    if (!servers) return 0;
    const ms::MailServersEnv& env = *servers;
    ms::MailboxLease lease;
    if (std::string error = lease.AcquireSpare(env); !error.empty()) Fail(error);
    const ms::Mailbox& box = lease.mailbox();
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("bench_pop3." + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    const std::string curlOut = (scratch / "curl.eml").string();
    const std::string toolOut = (scratch / "inlark.eml").string();

    // RETR of 9 MiB.
    const std::string large = LargeMessage(box);
    if (std::string error = ms::DropMessage(box.maildir, large); !error.empty()) Fail(error);
    std::vector<double> curl, tool, library;
    bool toolWorks = true;
    for (int i = 0; i < kRuns; ++i) {
        curl.push_back(CurlRetr(env, box, curlOut));
        if (toolWorks) {
            tool.push_back(ToolRetr(INLARK_TOOL, env, box, toolOut));
            toolWorks = tool.back() >= 0;
        }
        library.push_back(LibraryRetr(env, box, large.size()));
    }
    // Each must have received the whole message, not an error text.
    if (std::filesystem::file_size(curlOut) < large.size()) Fail("curl's copy is shorter than the message");
    if (toolWorks && std::filesystem::file_size(toolOut) < large.size()) Fail("inlark's copy is too short");
    // The figure counts only when both wrote the same bytes.
    if (toolWorks && FileBytes(toolOut) != FileBytes(curlOut)) Fail("inlark's copy differs from curl's");
    const double mib = static_cast<double>(large.size()) / kMiB;
    const double curlSeconds = Median(curl), librarySeconds = Median(library);
    if (toolWorks) {
        const double toolSeconds = Median(tool);
        Bench("retr_9mib_inlark_seconds", toolSeconds, "s");
        Bench("retr_9mib_inlark_throughput", mib / toolSeconds, "MiB/s");
    }
    Bench("retr_9mib_library_seconds", librarySeconds, "s");
    Bench("retr_9mib_library_throughput", mib / librarySeconds, "MiB/s");
    Bench("retr_9mib_curl_seconds", curlSeconds, "s");
    Bench("retr_9mib_curl_throughput", mib / curlSeconds, "MiB/s");
    if (toolWorks) {
        Bench("retr_9mib_vs_curl", curlSeconds / Median(tool), "x");
    } else {
        std::printf("bench_pop3: the inlark tool could not retrieve; retr_9mib_vs_curl not measured\n");
    }

    TlsFigures(env, box, scratch, large.size());

    // LIST + TOP of 1,000 small messages.
    if (std::string error = ms::EmptyMaildir(box.maildir); !error.empty()) Fail(error);
    for (int i = 0; i < kSmallMessages; ++i) {
        const std::string message = "From: phone@mirelo.test\nTo: " + box.address + "\nSubject: message " +
                                    std::to_string(i + 1) + "\n\nbody line\nsecond line\n";
        if (std::string error = ms::DropMessage(box.maildir, message); !error.empty()) Fail(error);
    }
    std::vector<double> poplib, ours;
    for (int i = 0; i < kRuns; ++i) {
        poplib.push_back(PoplibListTop(env, box));
        ours.push_back(InlarkListTop(env, box));
    }
    const double poplibRate = kSmallMessages / Median(poplib), oursRate = kSmallMessages / Median(ours);
    Bench("list_top_1000_inlark", oursRate, "messages/s");
    Bench("list_top_1000_poplib", poplibRate, "messages/s");
    Bench("list_top_1000_vs_poplib", oursRate / poplibRate, "x");

    std::filesystem::remove_all(scratch);
    if (std::string error = ms::EmptyMaildir(box.maildir); !error.empty()) Fail(error);
    return 0;
}
