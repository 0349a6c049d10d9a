// Every decoder of mailcore on arbitrary bytes, with the lengths callers really pass and with wrong ones.
#include <cstdint>
#include <string>
#include <string_view>

#include "mailcore/base64.h"
#include "mailcore/encoded_words.h"
#include "mailcore/jis_sjis.h"
#include "mailcore/quoted_printable.h"
#include "mailcore/uudecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t selector = data[0];
    const std::size_t extra = data[1];  // lengths up to 255 past the end of the text
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string_view view = text;
    std::size_t sink = 0;
    switch (selector % 8) {
        case 0:
            sink += mailcore::JisToSjis(view).size();
            sink += mailcore::ConvertCharset(view, selector >> 7, (selector >> 6) & 1).size();
            break;
        case 1:
            sink += mailcore::SjisToJis(view).size();
            break;
        case 2: {
            const std::size_t groups = view.size() / 4;
            const std::size_t length = groups * 4 + (3 - groups % 3) % 3;
            sink += mailcore::Base64DecodeText(view, length).size();
            if (auto b = mailcore::Base64DecodeBytes(view, length)) {
                if (b->size() > groups * 3 + 2) __builtin_trap();
                sink += b->size();
            }
            sink += mailcore::Base64DecodeText(view, view.size() + extra).size();
            break;
        }
        case 3:
            sink += mailcore::QpDecodeText(view, view.size()).size();
            sink += mailcore::QpDecodeBytes(view, view.size() + extra).size();
            break;
        case 4:
            if (auto b = mailcore::UuDecode(view, view.size())) sink += b->size();
            if (auto b = mailcore::UuDecode(view, view.size() + extra)) sink += b->size();
            break;
        case 5:
            if (auto s = mailcore::DecodeEncodedWords(view)) sink += s->size();
            break;
        default:
            sink += mailcore::DecodeHeaderText(view, selector & 1, selector & 2).size();
            break;
    }
    return sink == static_cast<std::size_t>(-1);
}
