#pragma once
// An INI file held as its lines, in CP932 bytes, with the private-profile semantics the settings rely
// on: section and key names match without regard to ASCII case, the first matching section and key
// win, blanks around names and values are dropped, a value is read through a buffer of limited width.
// Lines the settings do not know (other sections and keys, comments, blank lines) are kept as they are.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo {

class IniDocument {
  public:
    // Lines end with LF, CR LF or CR CR LF, also mixed. A CR anywhere else is part of the line.
    [[nodiscard]] static IniDocument Parse(std::string_view bytes);

    // The value of `key` in `section`, or nothing when the section or key is missing.
    [[nodiscard]] std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    [[nodiscard]] bool HasSection(std::string_view section) const { return FindSection(section).has_value(); }

    // Replaces the first matching key, or adds it at the end of its section, or adds the section at the
    // end of the file. A value cannot hold a line break or NUL: it is cut before the first one.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Every line followed by CR LF.
    [[nodiscard]] std::string Serialize() const;

  private:
    struct Line {
        std::string text;
        std::string name;  // section or key name, blanks dropped; empty for other lines
        bool is_section = false;
    };
    static Line MakeLine(std::string text);
    // Index of the first line of the first matching section's body and one past its last line.
    [[nodiscard]] std::optional<std::pair<std::size_t, std::size_t>> FindSection(
        std::string_view section) const;

    std::vector<Line> lines_;
};

// The private-profile read: the stored value or `defaultText`, cut to at most `width` bytes (a
// double-byte character that would be split is dropped whole).
[[nodiscard]] std::string ReadProfileString(const IniDocument& ini, std::string_view section,
                                            std::string_view key, std::string_view defaultText,
                                            std::size_t width);

// Cuts CP932 text to at most `width` bytes without splitting a double-byte character.
[[nodiscard]] std::string_view CutToWidth(std::string_view text, std::size_t width);

}  // namespace mirelo
