// Number text and tables for option descriptors.
#include "core/base/option_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace kestrune {

bool ParseOptionNumber(std::string_view text, bool count, double& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (count) {
        uint32_t number = 0;
        const auto [ptr, code] = std::from_chars(begin, end, number);
        if (code != std::errc() || ptr != end || text.empty()) {
            return false;
        }
        value = static_cast<double>(number);
        return true;
    }
    double number = 0.0;
    const auto [ptr, code] = std::from_chars(begin, end, number, std::chars_format::general);
    if (code != std::errc() || ptr != end || text.empty() || !std::isfinite(number)) {
        return false;
    }
    value = number;
    return true;
}

std::string OptionNumberText(double value, bool count, bool single) {
    char text[64];
    std::to_chars_result written;
    if (count) {
        written = std::to_chars(text, text + sizeof text, static_cast<uint64_t>(value));
    } else if (std::trunc(value) == value && std::abs(value) < 1e15) {
        // Whole values plainly (1000000, not 1e+06), whatever the field's type.
        written = std::to_chars(text, text + sizeof text, static_cast<int64_t>(value));
    } else if (single) {
        written = std::to_chars(text, text + sizeof text, static_cast<float>(value));
    } else {
        written = std::to_chars(text, text + sizeof text, value);
    }
    return std::string(text, written.ptr);
}

std::string OptionRangeText(double minimum, double maximum, bool count) {
    if (minimum == maximum) {
        return OptionNumberText(minimum, count, false);
    }
    return OptionNumberText(minimum, count, false) + " to " +
           OptionNumberText(maximum, count, false);
}

std::string UnknownOptionMessage(std::string_view noun, std::string_view name,
                                 std::string_view known) {
    std::string message = "no ";
    message.append(noun).append(" is called '").append(name).append("' (known: ");
    return message.append(known).append(")");
}

std::string NotAValueMessage(std::string_view name, std::string_view text) {
    std::string message = "'";
    return message.append(text).append("' is not a value for ").append(name);
}

std::string OutOfRangeMessage(std::string_view name, std::string_view text,
                              std::string_view range) {
    std::string message(name);
    message.append(" takes ").append(range).append(", not '").append(text);
    return message.append("'");
}

std::string MarkdownOptionTable(std::span<const OptionText> rows) {
    std::string table = "| Name | Default | Range | Meaning |\n|---|---|---|---|\n";
    for (const OptionText& row : rows) {
        table += "| `" + row.name + "` | " + row.defaultValue + " | " + row.range + " | " +
                 row.help + " |\n";
    }
    return table;
}

std::string UsageOptionLines(std::span<const OptionText> rows, std::string_view indent,
                             std::string_view prefix) {
    // As the hand-written options beside them: the option and its value in 16 columns, the
    // help wrapped at 95 with continuation lines under it, and the default and range kept
    // together on one line.
    constexpr size_t kColumn = 16;
    constexpr size_t kWidth = 95;
    const std::string hang(indent.size() + kColumn, ' ');
    std::string lines;
    for (const OptionText& row : rows) {
        std::string line =
            std::string(indent) + std::string(prefix) + row.name + (row.count ? " N" : " R");
        line.resize(std::max(line.size() + 1, hang.size()), ' ');
        std::vector<std::string> words;
        for (size_t start = 0; start < row.help.size();) {
            const size_t space = std::min(row.help.find(' ', start), row.help.size());
            words.push_back(row.help.substr(start, space - start));
            start = space + 1;
        }
        words.push_back("(default " + row.defaultValue + "; " + row.range + ")");
        bool first = true;
        for (const std::string& word : words) {
            if (!first && line.size() + 1 + word.size() > kWidth) {
                lines += line + "\n";
                line = hang;
                first = true;
            }
            line += (first ? "" : " ") + word;
            first = false;
        }
        lines += line + "\n";
    }
    return lines;
}

}  // namespace kestrune
