#pragma once
// The texts of the status line and the counters line.

#include <QString>
#include <array>
#include <cstdint>

#include "agent/config/agent_settings.h"
#include "agent/engine/engine_view.h"

namespace mirelo {

// Codes the engine shows. A code not listed here shows the given text, red with a beep when negative.
namespace status_code {
constexpr std::int16_t kIdle = 0;
constexpr std::int16_t kAccessing = 10;
constexpr std::int16_t kListing = 11;
constexpr std::int16_t kListRequest = 20;
constexpr std::int16_t kBodyRequest = 30;
constexpr std::int16_t kTransferRequest = 40;
constexpr std::int16_t kDeleteRequest = 50;
constexpr std::int16_t kSending = 100;
constexpr std::int16_t kOtherCopyChecking = -2;
constexpr std::int16_t kStatFailed = -11;
constexpr std::int16_t kAuthorizeFailed = -12;
constexpr std::int16_t kConnectFailed = -13;
constexpr std::int16_t kSendFailed = -100;
constexpr std::int16_t kIllegalAddress = -101;
// Shown by the timer when a check failed and is retried at the next tick.
constexpr std::int16_t kRetry = -1;
}  // namespace status_code

[[nodiscard]] StatusLine MakeStatusLine(std::int16_t code, const QString& text,
                                        const AgentSettings& settings);

// The request counters: list, body, transfer, delete.
using RequestCounts = std::array<std::int16_t, 4>;
[[nodiscard]] QString CountersText(const RequestCounts& counts);

// 16-bit counters stop at the largest value instead of wrapping to negative numbers.
[[nodiscard]] std::int16_t SaturatingAdd(std::int16_t value, int delta);

}  // namespace mirelo
