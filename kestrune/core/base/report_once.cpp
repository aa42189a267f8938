// The process's record of what was reported.
#include "core/base/report_once.h"

#include <cstdio>
#include <mutex>
#include <unordered_set>

namespace kestrune {
namespace {

// Distinct reports kept; a process that meets more has a directory full of hostile names, and
// the first thousands of lines have said so.
constexpr size_t kMaxReports = 4096;

}  // namespace

bool ReportOnce(const std::string& key, const std::string& line) {
    static std::mutex mutex;
    static std::unordered_set<std::string> reported;
    std::lock_guard lock(mutex);
    if (reported.size() >= kMaxReports || !reported.insert(key).second) {
        return false;
    }
    std::fprintf(stderr, "kestrune: %s\n", line.c_str());
    std::fflush(stderr);
    return true;
}

std::string EscapedForLine(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || byte == '\\') {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace kestrune
