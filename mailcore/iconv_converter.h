#pragma once
// One conversion direction of glibc iconv, owned for the lifetime of the object.

#include <iconv.h>

#include <string>
#include <string_view>

namespace mailcore {

class IconvConverter {
  public:
    // Throws std::runtime_error when glibc does not know the pair: a build fault, not an input fault.
    IconvConverter(const char* to, const char* from);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // Converts the whole input. Each input sequence the target cannot hold (or that is malformed) becomes
    // `replacement` (already in the target encoding) and the walk goes on after `unit` input bytes.
    std::string Convert(std::string_view input, std::string_view replacement, size_t unit) const;

    // As `unit` for Shift_JIS (CP932) input: a lead byte and the trail byte after it are one character, so
    // a pair CP932 has no character for gives one replacement, not one and a stray half-width letter.
    static constexpr size_t kShiftJisCharacter = 0;

  private:
    iconv_t cd_;
};

}  // namespace mailcore
