#pragma once
// A deliberately small split of a mail into header fields and MIME parts, enough to show the decoders at
// work. The real parser lives in the POP3 library.

#include <string>
#include <string_view>
#include <vector>

namespace mailcore_decode {

struct Field {
    std::string name;   // as written
    std::string value;  // after the colon and one blank, continuation lines kept with their CR LF
};

struct Entity {
    std::vector<Field> fields;
    std::string body;  // lines ended by CR LF
};

// Lines may end in LF or CR LF; the result uses CR LF throughout.
Entity SplitEntity(std::string_view text);

// The first field of that name (case-insensitive), or empty.
std::string FieldValue(const Entity& entity, std::string_view name);

// A parameter of a structured value such as Content-Type (case-insensitive name, quotes removed).
std::string Parameter(std::string_view value, std::string_view name);

std::string Lower(std::string_view text);

// The parts of a multipart body between "--boundary" lines, up to "--boundary--".
std::vector<Entity> SplitMultipart(std::string_view body, std::string_view boundary);

}  // namespace mailcore_decode
