#include "bridge/console_log.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace jkestrune {
namespace {

constexpr std::string_view kPrefix = "#####CoreLogout: ";

}  // namespace

void ConsoleLine::Append(std::string_view text) {
    const size_t length = std::min(text.size(), kCapacity - length_);
    std::memcpy(text_ + length_, text.data(), length);
    length_ += length;
}

void ConsoleLine::AppendName(std::string_view name) {
    EscapeName(name, [this](std::string_view piece) { Append(piece); });
}

void ConsoleLine::AppendInt(int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    Append({digits, static_cast<size_t>(result.ptr - digits)});
}

void ConsoleLine::AppendThousandths(int32_t value) {
    char digits[32];
    const double shown = static_cast<double>(value) / 1000.0;
    const auto result =
        std::to_chars(digits, digits + sizeof digits, shown, std::chars_format::fixed, 3);
    Append({digits, static_cast<size_t>(result.ptr - digits)});
}

ConsoleLine QuantityLine(int32_t targetCount) {
    ConsoleLine line;
    line.Append(kPrefix);
    line.Append("Quantity of targets: ");
    line.AppendInt(targetCount);
    line.Append("\n");
    return line;
}

ConsoleLine TargetLine(std::string_view name, int32_t frr, int32_t far, int32_t logScore) {
    ConsoleLine line;
    line.Append(kPrefix);
    line.Append("Target: ");
    line.AppendName(name);
    line.Append(", FRR: ");
    line.AppendThousandths(frr);
    line.Append(" %, FAR: ");
    line.AppendThousandths(far);
    line.Append(" %, logScore: ");
    line.AppendThousandths(logScore);
    line.Append("\n");
    return line;
}

ConsoleLog::~ConsoleLog() {
    if (wrote_) {
        std::fflush(stdout);
    }
}

void ConsoleLog::Write(const ConsoleLine& line) {
    if (!enabled_) {
        return;
    }
    // One write per line, so that lines of calls on other threads never interleave within a
    // line.
    const std::string_view text = line.view();
    std::fwrite(text.data(), 1, text.size(), stdout);
    wrote_ = true;
}

}  // namespace jkestrune
