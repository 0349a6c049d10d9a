#include "mailcore/control_shell.h"

#include <utility>

#include "mailcore/result_code.h"
#include "mailcore/wide_text.h"

namespace mailcore {

void ControlShell::Refuse(FailureKind kind, std::string detail) {
    own_ = Failure{kind, 0, {}, std::move(detail)};
    failureIsOwn_ = true;
}

void ControlShell::Internal(const char* what) noexcept {
    try {
        Refuse(FailureKind::Internal, what);
    } catch (...) {
        // No memory even for the text: the kind alone.
        own_.kind = FailureKind::Internal;
        own_.detail.clear();
        failureIsOwn_ = true;
    }
}

void ControlShell::KeepEngineFailure(const MailEngine* engine) {
    if (failureIsOwn_ || engine == nullptr || engine->IsBusy()) return;
    own_ = engine->LastFailure();
    failureIsOwn_ = true;
}

void ControlShell::Adopt(Failure failure) {
    own_ = std::move(failure);
    failureIsOwn_ = true;
}

void ControlShell::NoteResult(const char* method, std::int32_t result, const MailEngine& engine,
                              bool unconnected) {
    const std::string name(method);
    switch (result) {
        case kResultSuccess:
            return;
        case kResultBusy:
            Refuse(FailureKind::Busy, name);
            return;
        case kResultBadArgument:
        case kResultUserTooLong:
        case kResultPasswordTooLong:
        case kResultAlreadyConnected:
            Refuse(FailureKind::BadArgument, name + " (" + ResultCodeText(result) + ")");
            return;
        case kResultFailure:
            // A command on no connection reaches no socket, so nothing else records why.
            if (unconnected && !engine.IsBusy() && !engine.LastFailure().IsFailure()) {
                Refuse(FailureKind::NotConnected, name);
            }
            return;
        default:
            return;
    }
}

std::u16string ControlShell::LastErrorText(const MailEngine* engine) const {
    if (failureIsOwn_) return own_.IsFailure() ? FailureTextWide(own_) : std::u16string();
    // A running worker owns the engine's record.
    if (engine == nullptr || engine->IsBusy() || !engine->LastFailure().IsFailure()) return {};
    return FailureTextWide(engine->LastFailure());
}

std::u16string FailureTextWide(const Failure& failure) {
    Failure utf8 = failure;
    utf8.reply = Cp932ToUtf8(failure.reply);
    utf8.detail = Cp932ToUtf8(failure.detail);
    return Utf8ToWide(FailureText(utf8));
}

}  // namespace mailcore
