#pragma once
// Decoding an attachment and writing it into a directory without ever leaving that directory.

#include <optional>
#include <string>
#include <string_view>

#include "mailcore/bytes.h"
#include "pop3/message_record.h"

namespace inlark {

// The bytes TransferToFile writes; nothing when the data does not decode (a uuencoded file without its end).
[[nodiscard]] std::optional<mailcore::Bytes> DecodeAttachment(const MessageRecord& record,
                                                              const Attachment& attachment);

// The name the mail gives, made safe to create inside a directory (UTF-8): the last path component after
// "/" or "\", control characters replaced, no leading "." (no hidden files, no "." or ".."), at most 255
// bytes, "noname" when nothing is left. With `utf8` the name is UTF-8 already (the standards reading).
std::string SafeAttachmentFileName(std::string_view sjis_name, bool utf8 = false);

enum class ExistingFile { kReplace, kKeep };

// Writes `bytes` to `directory`/`file_name` through a temporary file in the same directory, so a failure
// leaves no partial file and a symbolic link at the target name is replaced, never followed. With kKeep an
// existing file stays and the data goes to "stem-2.ext", "stem-3.ext" ... Gives the path written.
[[nodiscard]] std::optional<std::string> WriteFileInDirectory(const std::string& directory,
                                                              const std::string& file_name,
                                                              const mailcore::Bytes& bytes,
                                                              ExistingFile existing);

}  // namespace inlark
