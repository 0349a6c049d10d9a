// BENCH lines: throughput of our parse + getters + attachment decoding beside GMime doing the same on the
// same bytes (in the component's own reading and with DecodeCharsets on), and the peak resident memory for
// one 9 MiB message (measured in a fresh child process).
#include <gmime/gmime.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pop3/attachment_file.h"
#include "pop3/message_store.h"
#include "pop3/tests/corpus_generator.h"
#include "pop3/tests/mail_builder.h"

namespace {

using inlark::testing::Base64;
using inlark::testing::CorpusGenerator;
using inlark::testing::QuotedPrintable;

constexpr double kMiB = 1024.0 * 1024.0;

std::string Header(CorpusGenerator& g, const std::string& extra) {
    return "From: \"" + g.EncodedWord(g.JisText(4)) + "\" <" + g.Address() + ">\r\nTo: " + g.Address() +
           ", " + g.Address() + "\r\nSubject: " + g.EncodedWord(g.JisText(12)) +
           "\r\nDate: Mon, 7 Dec 2026 12:00:00 +0900\r\nMIME-Version: 1.0\r\n" + extra;
}

std::string SmallJapanese(CorpusGenerator& g) {
    std::string body;
    for (int i = 0; i < 12; ++i) body += g.JisText(30) + "\r\n";
    return Header(g, "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n") +
           "\r\n" + body;
}

std::string QpMail(CorpusGenerator& g) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += g.TextBytes(60) + "\xe3\x81\x82 caf\xc3\xa9\r\n";
    return Header(
               g,
               "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n") +
           "\r\n" + QuotedPrintable(text) + "\r\n";
}

std::string WithAttachment(CorpusGenerator& g, std::size_t bytes) {
    return Header(g, "Content-Type: multipart/mixed; boundary=\"=_b\"\r\n") +
           "\r\n--=_b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + g.JisText(60) +
           "\r\n--=_b\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
           "Content-Disposition: attachment; filename=\"data.bin\"\r\nContent-Transfer-Encoding: "
           "base64\r\n\r\n" +
           Base64(g.RandomBytes(bytes)) + "\r\n--=_b--\r\n";
}

// About 9 MiB on the wire: one base64 attachment of 6.57 MiB.
std::string NineMiB() {
    CorpusGenerator g(9);
    return WithAttachment(g, 6890000);
}

std::vector<std::string> Corpus() {
    CorpusGenerator g(1207);
    std::vector<std::string> corpus;
    for (int i = 0; i < 1500; ++i) corpus.push_back(SmallJapanese(g));
    for (int i = 0; i < 400; ++i) corpus.push_back(QpMail(g));
    std::mt19937 rng(3);
    for (int i = 0; i < 16; ++i) {
        corpus.push_back(WithAttachment(g, 100 * 1024 + rng() % (1948 * 1024)));
    }
    corpus.push_back(NineMiB());
    return corpus;
}

// Ours: MakeDataEx's parse, every getter the host uses, every attachment decoded.
std::size_t OursOne(std::string text) {
    inlark::MessageStore store;
    if (!store.Make(std::move(text))) return 0;
    std::int32_t e = 0;
    std::size_t sink = store.GetSubject().size() + store.GetFrom().size() + store.GetFromNickName().size() +
                       store.GetBody().size();
    for (std::int32_t i = 1; i <= store.GetToCount(); ++i) sink += store.GetTo(i, &e).size();
    for (std::int32_t i = 1; i <= store.GetFileNameCount(); ++i) {
        sink += store.GetFileName(i, &e).size();
        const inlark::MessageRecord* r = store.Record();
        if (auto bytes = inlark::DecodeAttachment(*r, r->attachments[static_cast<std::size_t>(i) - 1]))
            sink += bytes->size();
    }
    return sink;
}

// The same with DecodeCharsets on: every charset converted, the texts read through the lossless getters.
std::size_t OursCharsetsOne(std::string text) {
    inlark::MessageStore store;
    if (!store.Make(std::move(text), true)) return 0;
    std::int32_t e = 0;
    std::size_t sink = store.GetSubjectW().size() + store.GetFromW().size() +
                       store.GetFromNickNameW().size() + store.GetBodyW().size();
    for (std::int32_t i = 1; i <= store.GetToCount(); ++i) sink += store.GetToW(i, &e).size();
    for (std::int32_t i = 1; i <= store.GetFileNameCount(); ++i) {
        sink += store.GetFileNameW(i, &e).size();
        const inlark::MessageRecord* r = store.Record();
        if (auto bytes = inlark::DecodeAttachment(*r, r->attachments[static_cast<std::size_t>(i) - 1]))
            sink += bytes->size();
    }
    return sink;
}

void GmimePartDone(GMimeObject*, GMimeObject* part, gpointer data) {
    auto* sink = static_cast<std::size_t*>(data);
    if (GMIME_IS_TEXT_PART(part)) {
        char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));  // decoded and converted to UTF-8
        if (text) *sink += std::strlen(text);
        g_free(text);
    } else if (GMIME_IS_PART(part)) {
        const char* name = g_mime_part_get_filename(GMIME_PART(part));
        if (name) *sink += std::strlen(name);
        GMimeStream* mem = g_mime_stream_mem_new();
        if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part))) {
            g_mime_data_wrapper_write_to_stream(content, mem);
        }
        *sink += g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem))->len;
        g_object_unref(mem);
    }
}

std::size_t GmimeOne(const std::string& text) {
    std::size_t sink = 0;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    if (GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr)) {
        if (const char* s = g_mime_message_get_subject(msg)) sink += std::strlen(s);
        for (InternetAddressList* list : {g_mime_message_get_from(msg), g_mime_message_get_to(msg)}) {
            for (int i = 0; i < internet_address_list_length(list); ++i) {
                InternetAddress* ia = internet_address_list_get_address(list, i);
                if (const char* n = internet_address_get_name(ia)) sink += std::strlen(n);
                if (INTERNET_ADDRESS_IS_MAILBOX(ia)) {
                    sink += std::strlen(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(ia)));
                }
            }
        }
        g_mime_message_foreach(msg, GmimePartDone, &sink);
        g_object_unref(msg);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return sink;
}

template <typename Fn>
double BestSeconds(int rounds, Fn fn) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

long StatusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    }
    return -1;
}

// Child: peak resident bytes while parsing and decoding the 9 MiB message, over its size. The message
// itself counts (it is resident during the parse); the process's own baseline does not.
int RssChild(const std::string& who) {
    const long base_kib = StatusKiB("VmRSS:");
    std::string message = NineMiB();
    const double size = static_cast<double>(message.size());
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // reset the high-water mark to the current RSS
    if (who == "ours") {
        (void)OursOne(std::move(message));
    } else {
        g_mime_init();
        (void)GmimeOne(message);
    }
    const long peak_kib = StatusKiB("VmHWM:");
    std::printf("%.3f\n", static_cast<double>(peak_kib - base_kib) * 1024.0 / size);
    return 0;
}

double RunRssChild(const char* self, const char* who) {
    std::string cmd = std::string(self) + " --rss-child " + who;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    double ratio = -1;
    if (std::fscanf(p, "%lf", &ratio) != 1) ratio = -1;
    pclose(p);
    return ratio;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0) return RssChild(argv[2]);

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    const double ours_rss = RunRssChild(self, "ours");
    const double gmime_rss = RunRssChild(self, "gmime");

    g_mime_init();
    const std::vector<std::string> corpus = Corpus();
    std::size_t total = 0;
    for (const auto& m : corpus) total += m.size();
    std::size_t sink = 0;
    const double ours = BestSeconds(3, [&] {
        for (const auto& m : corpus) sink += OursOne(m);
    });
    const double gmime = BestSeconds(3, [&] {
        for (const auto& m : corpus) sink += GmimeOne(m);
    });
    const double ours_charsets = BestSeconds(3, [&] {
        for (const auto& m : corpus) sink += OursCharsetsOne(m);
    });
    const double mib = static_cast<double>(total) / kMiB;
    std::printf("BENCH parse_corpus_size %.1f MiB\n", mib);
    std::printf("BENCH parse_throughput %.1f MiB/s\n", mib / ours);
    std::printf("BENCH gmime_throughput %.1f MiB/s\n", mib / gmime);
    std::printf("BENCH parse_vs_gmime %.2f x\n", gmime / ours);
    // DecodeCharsets 1: GMime converts to UTF-8 just as much (decoded headers, text parts as UTF-8).
    std::printf("BENCH parse_charsets_throughput %.1f MiB/s\n", mib / ours_charsets);
    std::printf("BENCH parse_charsets_vs_gmime %.2f x\n", gmime / ours_charsets);
    std::printf("BENCH peak_rss_9mib_ratio %.2f x\n", ours_rss);
    std::printf("BENCH gmime_peak_rss_9mib_ratio %.2f x\n", gmime_rss);
    return sink == 0 ? 1 : 0;
}
