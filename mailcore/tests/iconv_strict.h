#pragma once
// glibc iconv as the peer the converters are compared with: nothing when it rejects the input.

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

namespace mailcore::testing {

inline std::optional<std::string> IconvStrict(const char* to, const char* from, std::string_view input) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in(input);
    std::string out(in.size() * 4 + 16, '\0');
    char* ip = in.data();
    size_t in_left = in.size();
    char* op = out.data();
    size_t out_left = out.size();
    size_t rc = iconv(cd, &ip, &in_left, &op, &out_left);
    if (rc != static_cast<size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &op, &out_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return std::nullopt;
    out.resize(out.size() - out_left);
    return out;
}

}  // namespace mailcore::testing
