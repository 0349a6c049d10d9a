#include "agent/ui/env_commit.h"

#include "agent/config/settings_file.h"
#include "agent/engine/agent_log.h"
#include "agent/engine/log_texts.h"
#include "agent/ui/settings_problem_text.h"

namespace mirelo {

namespace {

QString ErrorTitle() { return QStringLiteral("エラー"); }

// The record as OK would save it, without touching `settings`.
AgentSettings Candidate(const EnvForm& form, const EnvNumbers& numbers, const AgentSettings& settings) {
    AgentSettings next = settings;
    TakeStep3(form, numbers, next);
    TakeStep5(form, numbers, next);
    TakeStep7(form, numbers, next);
    TakeStep9(form, next);
    return next;
}

}  // namespace

EnvCommitResult CommitEnvironment(const EnvForm& form, AgentSettings& settings, const QString& programFolder,
                                  const AgentLog& log, const EnvCommitHooks& hooks) {
    auto refuse = [&](const QString& text, const QString& control) {
        hooks.showMessage(MessageIcon::Critical, ErrorTitle(), text);
        if (!control.isEmpty()) hooks.focusControl(control);
        return EnvCommitResult::Refused;
    };

    EnvNumbers numbers;
    if (const auto problem = ConvertNumbers(form, numbers)) return refuse(problem->message, problem->control);
    if (const auto problem = SettingsRoundTripProblem(Candidate(form, numbers, settings))) {
        return refuse(RoundTripMessage(*problem), FieldControl(problem->field));
    }

    log.WriteLog(log_text::EnvironmentChangeStart());

    if (form.txtMailAddr1 != settings.MailAddr1) {
        hooks.showMessage(
            MessageIcon::Exclamation, QStringLiteral("メールアドレスの変更確認"),
            QStringLiteral("携帯端末のメールアドレスが変更されました。\r\n"
                           "セキュリティ確保のためメールサーバへのパスワードを入力してください。"));
        const QString unlockPassword = settings.UnlockPassword;
        settings.UnlockConfirmed = false;
        settings.UnlockPassword =
            form.txtSvPasswd != PasswordPlaceholder() ? form.txtSvPasswd : settings.SvPasswd;
        hooks.askServerPassword();
        settings.UnlockPassword = unlockPassword;
        if (!settings.UnlockConfirmed) {
            log.WriteLog(log_text::EnvironmentChangeAbortWrongPassword());
            return EnvCommitResult::Refused;
        }
        log.WriteLog(log_text::ChangeMailAddress(form.txtMailAddr1));
    }

    TakeStep3(form, numbers, settings);
    if (!(settings.SeparateMax >= 1 && settings.OneMailMaxLine >= 1)) {
        hooks.showMessage(MessageIcon::Critical, ErrorTitle(),
                          QStringLiteral("メール分割最大数または分割時最大行数が不正です。"));
        log.WriteLog(log_text::EnvironmentChangeAbortWrongSetting(1));
        return EnvCommitResult::Refused;
    }

    TakeStep5(form, numbers, settings);
    if (settings.CheckInterval < 1) {
        hooks.showMessage(MessageIcon::Critical, ErrorTitle(),
                          QStringLiteral("メールチェック間隔が不正です。"));
        log.WriteLog(log_text::EnvironmentChangeAbortWrongSetting(2));
        return EnvCommitResult::Refused;
    }

    TakeStep7(form, numbers, settings);
    if (settings.AutoInformInterval < 10) {
        hooks.showMessage(MessageIcon::Critical, ErrorTitle(),
                          QStringLiteral("自動通知間隔は１０分以上を設定してください。"));
        log.WriteLog(log_text::EnvironmentChangeAbortWrongSetting(3));
        return EnvCommitResult::Refused;
    }

    TakeStep9(form, settings);

    const SaveResult saved = SaveSettings(SettingsFilePath(programFolder), settings, QStringLiteral("ALL"));
    if (!saved.ok) {
        hooks.showMessage(MessageIcon::Critical, ErrorTitle(), SaveFailedMessage(saved.error));
        log.WriteLog(log_text::ErrorSaveSettings(saved.error));
        return EnvCommitResult::Refused;
    }
    hooks.unload();
    log.WriteLog(log_text::EnvironmentChangeEnd());
    hooks.setCaption();
    return EnvCommitResult::Saved;
}

}  // namespace mirelo
