#pragma once
// What the two exported controls do alike around their engines: out-parameters that may be null, the
// catch-all that keeps every exception inside the library, the read-outs that wait for an idle engine,
// and the failure record behind LastErrorText.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "mailcore/failure.h"
#include "mailcore/mail_engine.h"

namespace mailcore {

// A null out-parameter is ignored.
template <typename T, typename V>
void Put(T* pVal, V&& value) {
    if (pVal != nullptr) *pVal = std::forward<V>(value);
}

// The engine when it exists and runs no command: only then may its results be read or changed.
template <typename Engine>
Engine* IdleEngine(const std::unique_ptr<Engine>& engine) {
    return engine && !engine->IsBusy() ? engine.get() : nullptr;
}

class ControlShell {
  public:
    // Runs the body of one exported method. Any exception becomes the empty value (0, empty text) in
    // pVal and an Internal failure record.
    template <typename Out, typename Body>
    void Guard(Out* pVal, Body&& body) noexcept {
        try {
            body();
            return;
        } catch (const std::exception& e) {
            Internal(e.what());
        } catch (...) {
            Internal("unknown exception");
        }
        try {
            Put(pVal, Out{});
        } catch (...) {
            // An empty value that cannot be assigned leaves pVal as it was.
        }
    }

    // As Guard, for a method without pVal.
    template <typename Body>
    void Guard(Body&& body) noexcept {
        GuardValue(0, [&] {
            body();
            return 0;
        });
    }

    // As Guard, for a method that returns its value: `fallback` on an exception.
    template <typename R, typename Body>
    R GuardValue(R fallback, Body&& body) noexcept {
        try {
            return body();
        } catch (const std::exception& e) {
            Internal(e.what());
        } catch (...) {
            Internal("unknown exception");
        }
        return fallback;
    }

    // Raises EndOfCommand on `sinks` for every outcome waiting in `queue`; returns how many. A sink that
    // throws is recorded and the next outcome is delivered all the same.
    template <typename Sinks>
    std::int32_t DeliverEvents(CompletionQueue& queue, Sinks& sinks) noexcept {
        return GuardValue(std::int32_t{0}, [&] {
            const std::vector<std::int32_t> outcomes = queue.TakeAll();
            for (std::int32_t status : outcomes) Guard([&] { sinks.Deliver(status); });
            return static_cast<std::int32_t>(outcomes.size());
        });
    }

    // Runs a command method on `engine` (null: there is none) and notes why it was refused. `method`
    // names it in the record. Returns the method's result code.
    template <typename Engine, typename Body>
    std::int32_t Command(const char* method, Engine* engine, Body&& body) {
        failureIsOwn_ = false;
        if (engine == nullptr) {
            Refuse(FailureKind::NotConnected, method);
            return kResultFailure;
        }
        const bool wasConnected = engine->IsConnected();
        std::int32_t result = body(*engine);
        NoteResult(method, result, *engine, !wasConnected);
        return result;
    }
    // As Command, for a connect: a failed connect is the engine's to explain.
    template <typename Engine, typename Body>
    std::int32_t Connect(const char* method, Engine& engine, Body&& body) {
        failureIsOwn_ = false;
        std::int32_t result = body(engine);
        NoteResult(method, result, engine, false);
        return result;
    }

    // A failure the shell itself found; it is what LastErrorText tells until the next command.
    void Refuse(FailureKind kind, std::string detail);
    // Keeps the engine's record before the engine goes (Destroy).
    void KeepEngineFailure(const MailEngine* engine);
    // A record made away from the engine (a one-shot send); kind None for a success.
    void Adopt(Failure failure);

    // The last failure: the shell's own, or else the idle engine's; empty when there is none.
    [[nodiscard]] std::u16string LastErrorText(const MailEngine* engine) const;

  private:
    void Internal(const char* what) noexcept;
    // `unconnected`: the command found no connection, so a failure is told as such.
    void NoteResult(const char* method, std::int32_t result, const MailEngine& engine, bool unconnected);

    Failure own_;
    // True when own_ is newer than anything the engine recorded.
    bool failureIsOwn_ = false;
};

// The record's text for the host: the server's reply and the detail are Shift_JIS, the rest UTF-8.
[[nodiscard]] std::u16string FailureTextWide(const Failure& failure);

}  // namespace mailcore
