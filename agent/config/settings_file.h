#pragma once
// Loading and saving the settings record from and to "Mirelo.ini" in the program folder.

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "agent/config/agent_settings.h"
#include "agent/config/random_source.h"

namespace mirelo {

// The INI file's path in the program folder.
[[nodiscard]] QString SettingsFilePath(const QString& programFolder);

// A number key whose text was empty, not a number, outside 16 bits or outside the values the key takes;
// the default was used instead.
struct SettingCorrection {
    QString key;
    QString storedText;
    std::int16_t usedValue = 0;
    QString allowed;  // the values the key takes ("0, 1 or 2"); empty: any 16-bit number
    // One English line for the agent log.
    [[nodiscard]] QString LogText() const;
};

struct LoadResult {
    bool startWizard = true;  // the "StartWizard" flag
    std::vector<SettingCorrection> corrections;
    // Set when the file exists but could not be read; the defaults were loaded.
    QString readError;
};

// Fills every stored field of `settings` (the account fields as the "MireloKey" rules say; a key
// without a backslash leaves SvLogin and SvPasswd as they were). The file is CP932, or UTF-8 when it
// begins with a UTF-8 byte-order mark; a save writes it back as CP932. Never fails.
[[nodiscard]] LoadResult LoadSettings(const QString& iniPath, AgentSettings& settings);

struct SaveResult {
    bool ok = true;
    QString error;  // what failed, for the log and the dialog
};

// Writes every field and "StartWizard" = "FALSE", keeping the file's other sections, keys and comments.
// `mode` is "ALL" from the settings dialog and the engine, empty from the wizard; both write everything.
// The file is replaced atomically with mode 0600 (it holds the account password); a failed save leaves
// the old file as it was.
[[nodiscard]] SaveResult SaveSettings(const QString& iniPath, const AgentSettings& settings,
                                      const QString& mode, RandomSource& random);
[[nodiscard]] SaveResult SaveSettings(const QString& iniPath, const AgentSettings& settings,
                                      const QString& mode);

// Sets one field from text as a user types it: the field named by its INI key ("POP3Server", "AddTo"), or
// the account fields by their own names ("MailAddr1", "SvLogin", "SvPasswd"); flags "TRUE" or "FALSE",
// numbers in decimal within the values the key takes; "UnlockPassword" and "SMTPPasswd" plain. The empty text
// on success, otherwise what is wrong.
[[nodiscard]] QString SetSettingFromText(AgentSettings& settings, const QString& key, const QString& text);

// The part of `text` before its first NUL.
[[nodiscard]] QString CutAtNull(const QString& text);
[[nodiscard]] std::string_view CutAtNull(std::string_view text);

enum class RoundTripProblemKind {
    NotCp932,            // a character Shift_JIS cannot hold (stored as "?")
    LineBreak,           // a line break or NUL, which a line of the file cannot hold
    OuterBlank,          // a blank at the start or end, dropped when read
    TooLong,             // more bytes than the read of the key takes
    Backslash,           // a "\" in the phone address or login name, the separator of "MireloKey"
    UnstorableScramble,  // a character that leaves the printable range once scrambled
};

struct RoundTripProblem {
    QString field;  // the AgentSettings field to correct
    RoundTripProblemKind kind;
    QString message;  // English, naming the field and the reason
};

// The first field, in file order, whose value would not load back unchanged after a save; nothing when
// all would. The save itself writes such values regardless; the settings dialog and the wizard refuse
// them with this.
[[nodiscard]] std::optional<RoundTripProblem> SettingsRoundTripProblem(const AgentSettings& settings);

}  // namespace mirelo
