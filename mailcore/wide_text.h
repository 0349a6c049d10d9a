#pragma once
// The component boundary: host-side text is Shift_JIS (CP932) inside, UTF-16 outside.
// A character CP932 cannot hold becomes "?", as the original platform's conversion does.

#include <string>
#include <string_view>

namespace mailcore {

std::string WideToCp932(std::u16string_view text);
std::u16string Cp932ToWide(std::string_view text);

// For tools and logs that speak UTF-8.
std::string Utf8ToCp932(std::string_view text);
std::string Cp932ToUtf8(std::string_view text);
std::u16string Utf8ToWide(std::string_view text);

}  // namespace mailcore
