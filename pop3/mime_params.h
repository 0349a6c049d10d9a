#pragma once
// Structured MIME header values (Content-Type, Content-Disposition): the value and its parameters, with
// RFC 2231 continuations and charsets.

#include <map>
#include <string>
#include <string_view>

namespace inlark {

struct MimeField {
    std::string value;                               // lower case, e.g. "text/plain", "attachment"
    std::map<std::string, std::string> params;       // names lower case; values as written (quotes removed)
    std::map<std::string, std::string> text_params;  // RFC 2231 or encoded-word values, as UTF-8

    // The parameter as text (UTF-8): RFC 2231 form first, then the plain one with encoded words decoded.
    std::string Text(const std::string& name) const;
    std::string Raw(const std::string& name) const {
        auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    }
};

// `value` is the unfolded header value.
MimeField ParseMimeField(std::string_view value);

}  // namespace inlark
