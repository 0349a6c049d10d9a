#pragma once
// The owner-facing Japanese text for a settings value that "Mirelo.ini" would not give back unchanged.

#include <QString>

#include "agent/config/settings_file.h"

namespace mirelo {

// The Japanese label of a settings field as the settings dialog shows it ("POP3ｻｰﾊﾞ" for POP3Server);
// the field name itself when it has none.
[[nodiscard]] QString FieldLabel(const QString& field);

// The objectName of the box that edits `field` (the same in the settings dialog and the wizard); empty
// for a field no box edits.
[[nodiscard]] QString FieldControl(const QString& field);

// "「POP3ｻｰﾊﾞ」の値は設定ファイルに保存できません。" with the reason, then the English detail.
[[nodiscard]] QString RoundTripMessage(const RoundTripProblem& problem);

// A failed save, with its reason.
[[nodiscard]] QString SaveFailedMessage(const QString& reason);

}  // namespace mirelo
