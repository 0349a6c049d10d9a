#include "agent/config/settings_file.h"

#include <QFile>
#include <QStringDecoder>
#include <array>
#include <charconv>
#include <limits>
#include <string>
#include <variant>

#include "agent/config/atomic_file.h"
#include "agent/config/ini_document.h"
#include "agent/config/scramble.h"
#include "agent/config/sjis_codes.h"
#include "mailcore/wide_text.h"

namespace mirelo {
namespace {

constexpr const char* kMailServer = "Mail Server Settings";
constexpr const char* kMirelo = "Mirelo Settings";
constexpr const char* kMireloMail = "Mirelo Mail Settings";
constexpr const char* kMireloOther = "Mirelo Other Settings";
constexpr const char* kSecurity = "Mirelo Security Settings";

constexpr std::size_t kWidth = 79;
constexpr std::size_t kWideWidth = 127;
constexpr std::size_t kPathWidth = 259;

constexpr const char* kTrue = "TRUE";
constexpr const char* kFalse = "FALSE";
constexpr char16_t kAccountSeparator = u'\\';

enum class Added { No, Key, Section };

using Member = std::variant<QString AgentSettings::*, std::int16_t AgentSettings::*, bool AgentSettings::*>;

struct Field {
    const char* section;
    const char* key;
    Member member;
    std::size_t width = kWidth;
    std::int16_t scrambleKey = 0;  // nonzero: stored scrambled with this key
    // Keys added after the first file layout are written only when they differ from their default or the
    // file has them already, so a file that never used them is saved exactly as before. A whole added
    // section is written together once one of its keys is needed.
    Added added = Added::No;
    // The numbers a key accepts; others load as the default, like a text that is no number.
    std::int16_t lowest = std::numeric_limits<std::int16_t>::min();
    std::int16_t highest = std::numeric_limits<std::int16_t>::max();
};

// File order. The account fields follow in "MireloKey", after "StartWizard"; the security section comes
// last, so a file that gains it keeps its old sections as they were.
const std::array<Field, 41> kFields{{
    {kMailServer, "POP3Server", &AgentSettings::POP3Server},
    {kMailServer, "SMTPServer", &AgentSettings::SMTPServer},
    {kMailServer, "POP3Port", &AgentSettings::POP3Port},
    {kMailServer, "SMTPPort", &AgentSettings::SMTPPort},
    {kMailServer, "FromMailAddr", &AgentSettings::FromMailAddr},
    {kMailServer, "FromName", &AgentSettings::FromName},
    {kMailServer, "CheckInterval", &AgentSettings::CheckInterval},
    {kMirelo, "MailAddr2", &AgentSettings::MailAddr2},
    {kMirelo, "GetListCommand", &AgentSettings::GetListCommand},
    {kMirelo, "GetBodyCommand", &AgentSettings::GetBodyCommand},
    {kMirelo, "TransBodyCommand", &AgentSettings::TransBodyCommand},
    {kMirelo, "DelMailCommand", &AgentSettings::DelMailCommand},
    {kMirelo, "CommandBySubject", &AgentSettings::CommandBySubject},
    {kMirelo, "ScreenLock", &AgentSettings::ScreenLock},
    {kMirelo, "LockTelop", &AgentSettings::LockTelop, kWideWidth},
    {kMirelo, "NeedUnlockPassword", &AgentSettings::NeedUnlockPassword},
    {kMirelo, "UnlockPassword", &AgentSettings::UnlockPassword, kWidth, kUnlockPasswordScrambleKey},
    {kMirelo, "LogFileName", &AgentSettings::LogFileName},
    {kMireloMail, "SeparateMax", &AgentSettings::SeparateMax},
    {kMireloMail, "OneMailMaxChar", &AgentSettings::OneMailMaxChar},
    {kMireloMail, "OneMailMaxLine", &AgentSettings::OneMailMaxLine},
    {kMireloMail, "TrimLine", &AgentSettings::TrimLine},
    {kMireloMail, "RemoveBlankLine", &AgentSettings::RemoveBlankLine},
    {kMireloMail, "RemoveQuote", &AgentSettings::RemoveQuote},
    {kMireloMail, "QuoteTop", &AgentSettings::QuoteTop},
    {kMireloMail, "TransHeader", &AgentSettings::TransHeader},
    {kMireloMail, "ListSubject", &AgentSettings::ListSubject},
    {kMireloMail, "MultiSendSubject", &AgentSettings::MultiSendSubject},
    {kMireloMail, "AddTo", &AgentSettings::AddTo},
    {kMireloMail, "AddCc", &AgentSettings::AddCc},
    {kMireloMail, "AddFrom", &AgentSettings::AddFrom},
    {kMireloMail, "AddSubject", &AgentSettings::AddSubject},
    {kMireloMail, "AutoInform", &AgentSettings::AutoInform},
    {kMireloMail, "AutoInformInterval", &AgentSettings::AutoInformInterval},
    {kMireloMail, "DecodeCharsets", &AgentSettings::DecodeCharsets, kWidth, 0, Added::Key},
    {kMireloOther, "SpecialCommandAccept", &AgentSettings::SpecialCommandAccept},
    {kSecurity, "POP3Security", &AgentSettings::POP3Security, kWidth, 0, Added::Section, 0, 2},
    {kSecurity, "SMTPSecurity", &AgentSettings::SMTPSecurity, kWidth, 0, Added::Section, 0, 2},
    {kSecurity, "SMTPUser", &AgentSettings::SMTPUser, kWideWidth, 0, Added::Section},
    {kSecurity, "SMTPPasswd", &AgentSettings::SMTPPasswd, kWideWidth, kSmtpPasswdScrambleKey, Added::Section},
    {kSecurity, "CAFile", &AgentSettings::CAFile, kPathWidth, 0, Added::Section},
}};

constexpr const char* kStartWizardKey = "StartWizard";
constexpr const char* kMireloKey = "MireloKey";

// Filler whose value does not matter: defaults and dry runs.
class ZeroRandom final : public RandomSource {
  public:
    double Next() override { return 0.0; }
};

std::string ToCp932(const QString& text) { return mailcore::WideToCp932(text.toStdU16String()); }
QString FromCp932(std::string_view bytes) { return QString::fromStdU16String(mailcore::Cp932ToWide(bytes)); }

// The file as CP932. An editor may have saved it as UTF-8 with a byte-order mark: then it is converted,
// unless the text after the mark is not UTF-8, which is read as CP932 like a file without the mark.
FileContent ReadIniFile(const std::string& path) {
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    FileContent content = ReadWholeFile(path);
    if (!content.bytes || !content.bytes->starts_with(kUtf8Mark)) return content;
    const std::string rest = content.bytes->substr(kUtf8Mark.size());
    // Stateless: a sequence cut off at the end is an error, not silently held back.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(rest.data(), static_cast<qsizetype>(rest.size())));
    content.bytes = utf8.hasError() ? rest : ToCp932(text);
    return content;
}

// Decimal text with an optional sign, within 16 bits.
std::optional<std::int16_t> ParseInt16(std::string_view text) {
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (text.empty() || text[0] == '-') return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

bool InRange(const Field& field, std::int16_t value) {
    return value >= field.lowest && value <= field.highest;
}

// "0, 1 or 2" for a key of few values, "from 1 to 9" for more.
QString RangeText(const Field& field) {
    if (field.highest - field.lowest > 4)
        return QStringLiteral("from %1 to %2").arg(field.lowest).arg(field.highest);
    QString text;
    for (int v = field.lowest; v <= field.highest; ++v) {
        if (v > field.lowest) text += v == field.highest ? QStringLiteral(" or ") : QStringLiteral(", ");
        text += QString::number(v);
    }
    return text;
}

std::string Stored(const Field& field, const AgentSettings& settings, RandomSource& random) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& value = settings.*member;
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QString>) {
                if (field.scrambleKey != 0) return ScrambleText(ToCp932(value), field.scrambleKey, random);
                return ToCp932(value);
            } else if constexpr (std::is_same_v<T, bool>) {
                return value ? kTrue : kFalse;
            } else {
                return std::to_string(value);
            }
        },
        field.member);
}

QString AccountText(const AgentSettings& settings) {
    return settings.MailAddr1 + kAccountSeparator + settings.SvLogin + kAccountSeparator + settings.SvPasswd;
}

bool IsDefault(const Field& field, const AgentSettings& settings) {
    const AgentSettings defaults;
    ZeroRandom no_filler;
    // The scrambled default is the empty text, whatever the filler.
    return Stored(field, settings, no_filler) == Stored(field, defaults, no_filler);
}

// Whether an added section is written: the file has it, or one of its keys is not at its default.
bool SectionNeeded(const IniDocument& ini, const char* section, const AgentSettings& settings) {
    if (ini.HasSection(section)) return true;
    for (const Field& field : kFields) {
        if (std::string_view(field.section) == section && !IsDefault(field, settings)) return true;
    }
    return false;
}

void StoreSettings(IniDocument& ini, const AgentSettings& settings, RandomSource& random) {
    const bool security = SectionNeeded(ini, kSecurity, settings);
    for (const Field& field : kFields) {
        if (field.added == Added::Key && !ini.Value(field.section, field.key) && IsDefault(field, settings))
            continue;
        if (field.added == Added::Section && !security) continue;
        ini.SetValue(field.section, field.key, Stored(field, settings, random));
    }
    ini.SetValue(kMireloOther, kStartWizardKey, kFalse);
    ini.SetValue(kMireloOther, kMireloKey,
                 ScrambleText(ToCp932(AccountText(settings)), kMireloKeyScrambleKey, random));
}

std::string Read(const IniDocument& ini, const char* section, const char* key, std::string_view defaultText,
                 std::size_t width) {
    return std::string(CutAtNull(ReadProfileString(ini, section, key, defaultText, width)));
}

LoadResult ReadSettings(const IniDocument& ini, AgentSettings& settings) {
    const AgentSettings defaults;
    // Defaults are read like stored values; the scrambled password's default is the empty text, which
    // unscrambles to itself.
    ZeroRandom no_filler;

    LoadResult result;
    for (const Field& field : kFields) {
        const std::string raw =
            Read(ini, field.section, field.key, Stored(field, defaults, no_filler), field.width);
        std::visit(
            [&](auto member) {
                auto& value = settings.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, QString>) {
                    value = FromCp932(field.scrambleKey != 0 ? UnscrambleText(raw, field.scrambleKey) : raw);
                } else if constexpr (std::is_same_v<T, bool>) {
                    value = raw == kTrue;
                } else if (const auto number = ParseInt16(raw); number && InRange(field, *number)) {
                    value = *number;
                } else {
                    value = defaults.*member;
                    result.corrections.push_back({QString::fromLatin1(field.key), FromCp932(raw), value,
                                                  number ? RangeText(field) : QString()});
                }
            },
            field.member);
    }
    result.startWizard = Read(ini, kMireloOther, kStartWizardKey, kTrue, kWidth) == kTrue;

    const QString account =
        FromCp932(UnscrambleText(Read(ini, kMireloOther, kMireloKey, "", kWideWidth), kMireloKeyScrambleKey));
    const qsizetype first = account.indexOf(kAccountSeparator);
    if (first < 0) {
        settings.MailAddr1.clear();
    } else {
        settings.MailAddr1 = account.left(first);
        const QString rest = account.mid(first + 1);
        const qsizetype second = rest.indexOf(kAccountSeparator);
        settings.SvLogin = second < 0 ? QString() : rest.left(second);
        settings.SvPasswd = second < 0 ? QString() : rest.mid(second + 1);
    }
    return result;
}

}  // namespace

QString SettingsFilePath(const QString& programFolder) {
    return programFolder + QStringLiteral("/Mirelo.ini");
}

QString SettingCorrection::LogText() const {
    // One arg() call: a stored text holding "%1" must not be taken for a placeholder.
    if (allowed.isEmpty()) {
        return QStringLiteral("Mirelo.ini: %1=\"%2\" is not a 16-bit number; %3 used.")
            .arg(key, storedText, QString::number(usedValue));
    }
    return QStringLiteral("Mirelo.ini: %1=\"%2\" is not %3; %4 used.")
        .arg(key, storedText, allowed, QString::number(usedValue));
}

LoadResult LoadSettings(const QString& iniPath, AgentSettings& settings) {
    const FileContent content = ReadIniFile(QFile::encodeName(iniPath).toStdString());
    LoadResult result = ReadSettings(IniDocument::Parse(content.bytes.value_or(std::string())), settings);
    result.readError = QString::fromStdString(content.error);
    return result;
}

SaveResult SaveSettings(const QString& iniPath, const AgentSettings& settings, const QString& mode,
                        RandomSource& random) {
    (void)mode;
    const std::string path = QFile::encodeName(iniPath).toStdString();
    // The old file's other keys and comments go into the new one; an unreadable old file is not replaced
    // blindly.
    const FileContent old = ReadIniFile(path);
    if (!old.error.empty()) return {false, QString::fromStdString(old.error)};
    IniDocument ini = IniDocument::Parse(old.bytes.value_or(std::string()));
    StoreSettings(ini, settings, random);
    const FileResult written = ReplaceFileAtomically(path, ini.Serialize(), 0600);
    return {written.ok, QString::fromStdString(written.error)};
}

SaveResult SaveSettings(const QString& iniPath, const AgentSettings& settings, const QString& mode) {
    ClockSeededRandom random;
    return SaveSettings(iniPath, settings, mode, random);
}

QString SetSettingFromText(AgentSettings& settings, const QString& key, const QString& text) {
    const std::pair<const char*, QString AgentSettings::*> account[] = {
        {"MailAddr1", &AgentSettings::MailAddr1},
        {"SvLogin", &AgentSettings::SvLogin},
        {"SvPasswd", &AgentSettings::SvPasswd}};
    for (const auto& [name, member] : account) {
        if (key != QLatin1String(name)) continue;
        settings.*member = text;
        return {};
    }
    for (const Field& field : kFields) {
        if (key != QLatin1String(field.key)) continue;
        return std::visit(
            [&](auto member) -> QString {
                auto& value = settings.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, QString>) {
                    value = text;
                } else if constexpr (std::is_same_v<T, bool>) {
                    if (text != QLatin1String(kTrue) && text != QLatin1String(kFalse))
                        return QStringLiteral("%1: TRUE or FALSE, not \"%2\"").arg(key, text);
                    value = text == QLatin1String(kTrue);
                } else if (const auto number = ParseInt16(text.toStdString())) {
                    if (!InRange(field, *number))
                        return QStringLiteral("%1: %2, not \"%3\"").arg(key, RangeText(field), text);
                    value = *number;
                } else {
                    return QStringLiteral("%1: a number from -32768 to 32767, not \"%2\"").arg(key, text);
                }
                return {};
            },
            field.member);
    }
    return QStringLiteral("no setting is called \"%1\"").arg(key);
}

QString CutAtNull(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

std::string_view CutAtNull(std::string_view text) { return text.substr(0, text.find('\0')); }

// ---- Round trip -------------------------------------------------------------------------------

namespace {

struct Part {
    QString field;
    std::string bytes;
};

RoundTripProblem Problem(const QString& field, RoundTripProblemKind kind, std::size_t width = 0) {
    QString reason;
    switch (kind) {
        case RoundTripProblemKind::NotCp932:
            reason = QStringLiteral("holds a character that Shift_JIS cannot store");
            break;
        case RoundTripProblemKind::LineBreak:
            reason = QStringLiteral("holds a line break or NUL");
            break;
        case RoundTripProblemKind::OuterBlank:
            reason = QStringLiteral("begins or ends with a blank, which the file drops");
            break;
        case RoundTripProblemKind::TooLong:
            reason = QStringLiteral("is longer than the %1 bytes the file keeps").arg(width);
            break;
        case RoundTripProblemKind::Backslash:
            reason = QStringLiteral("holds \"\\\", which separates the stored account fields");
            break;
        case RoundTripProblemKind::UnstorableScramble:
            reason = QStringLiteral("holds a character that cannot be stored scrambled");
            break;
    }
    return {field, kind, field + QStringLiteral(" ") + reason + QStringLiteral(".")};
}

bool HasOuterBlank(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !s.empty() && (blank(s.front()) || blank(s.back()));
}

std::optional<RoundTripProblem> PlainProblem(const QString& field, const QString& value, std::size_t width) {
    const std::string bytes = ToCp932(value);
    if (FromCp932(bytes) != value) return Problem(field, RoundTripProblemKind::NotCp932);
    if (bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return Problem(field, RoundTripProblemKind::LineBreak);
    }
    if (HasOuterBlank(bytes)) return Problem(field, RoundTripProblemKind::OuterBlank);
    if (bytes.size() > width) return Problem(field, RoundTripProblemKind::TooLong, width);
    return std::nullopt;
}

// The field whose text holds character `index` of the parts joined by one-character separators.
const Part& PartAtChar(const std::vector<Part>& parts, std::size_t index) {
    for (const Part& part : parts) {
        const std::size_t count = SjisCodes(part.bytes).size();
        if (index <= count) return part;  // a separator counts with the part before it
        index -= count + 1;
    }
    return parts.back();
}

// The field whose text holds byte `index` of the scrambled value (the length byte comes first).
const Part& PartAtByte(const std::vector<Part>& parts, std::size_t index) {
    index -= std::min<std::size_t>(index, 1);
    for (const Part& part : parts) {
        if (index < part.bytes.size()) return part;
        index -= std::min(index, part.bytes.size() + 1);
    }
    return parts.back();
}

std::optional<RoundTripProblem> ScrambledProblem(const std::vector<Part>& parts, std::int16_t key,
                                                 std::size_t width) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined += '\\';
        joined += parts[i].bytes;
    }
    if (const auto bad = FirstUnstorableScrambledChar(joined, key)) {
        return Problem(PartAtChar(parts, *bad).field, RoundTripProblemKind::UnstorableScramble);
    }
    ZeroRandom no_filler;
    const std::string scrambled = ScrambleText(joined, key, no_filler);
    if (scrambled.size() > width)
        return Problem(PartAtByte(parts, width).field, RoundTripProblemKind::TooLong, width);
    if (HasOuterBlank(scrambled)) return Problem(parts.back().field, RoundTripProblemKind::OuterBlank);
    return std::nullopt;
}

}  // namespace

std::optional<RoundTripProblem> SettingsRoundTripProblem(const AgentSettings& settings) {
    for (const Field& field : kFields) {
        const auto* member = std::get_if<QString AgentSettings::*>(&field.member);
        if (member == nullptr) continue;
        const QString name = QString::fromLatin1(field.key);
        const QString& value = settings.**member;
        if (field.scrambleKey == 0) {
            if (auto problem = PlainProblem(name, value, field.width)) return problem;
            continue;
        }
        if (FromCp932(ToCp932(value)) != value) return Problem(name, RoundTripProblemKind::NotCp932);
        if (auto problem = ScrambledProblem({{name, ToCp932(value)}}, field.scrambleKey, field.width)) {
            return problem;
        }
    }

    const std::vector<Part> account{{QStringLiteral("MailAddr1"), ToCp932(settings.MailAddr1)},
                                    {QStringLiteral("SvLogin"), ToCp932(settings.SvLogin)},
                                    {QStringLiteral("SvPasswd"), ToCp932(settings.SvPasswd)}};
    const QString* values[] = {&settings.MailAddr1, &settings.SvLogin, &settings.SvPasswd};
    for (std::size_t i = 0; i < account.size(); ++i) {
        if (FromCp932(account[i].bytes) != *values[i])
            return Problem(account[i].field, RoundTripProblemKind::NotCp932);
        if (i < 2 && values[i]->contains(kAccountSeparator)) {
            return Problem(account[i].field, RoundTripProblemKind::Backslash);
        }
    }
    return ScrambledProblem(account, kMireloKeyScrambleKey, kWideWidth);
}

}  // namespace mirelo
