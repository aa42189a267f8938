// The optional console log of an identification call, on the process's standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/name_escape.h"
#include "engine/kestrune.h"

namespace jkestrune {

// One formatted log line, held without the heap (a name is at most one 256-byte slot, and
// escaping makes each of its bytes at most four).
class ConsoleLine {
  public:
    void Append(std::string_view text);
    // A name with its control characters escaped (see name_escape.h).
    void AppendName(std::string_view name);
    void AppendInt(int32_t value);
    // A value in thousandths, divided by 1000 and printed with three decimals.
    void AppendThousandths(int32_t value);
    std::string_view view() const { return {text_, length_}; }

  private:
    static constexpr size_t kCapacity = kMaxEscapedBytesPerByte * kTargetNameSlot + 256;
    char text_[kCapacity];
    size_t length_ = 0;
};

// "#####CoreLogout: Quantity of targets: <count>\n".
ConsoleLine QuantityLine(int32_t targetCount);

// "#####CoreLogout: Target: <name>, FRR: <frr> %, FAR: <far> %, logScore: <score>\n", the
// name escaped, so that a name holding a newline cannot forge a line of its own. The numbers never
// depend on the process locale: the JVM sets it from the environment, and a comma as decimal
// separator would change the lines that callers parse.
ConsoleLine TargetLine(std::string_view name, int32_t frr, int32_t far, int32_t logScore);

// Writes lines when enabled; flushes standard output once at the end of the call if anything
// was written, so that the lines are neither lost nor held back behind the JVM's own output.
class ConsoleLog {
  public:
    explicit ConsoleLog(bool enabled) : enabled_(enabled) {}
    ~ConsoleLog();
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    bool enabled() const { return enabled_; }
    void Write(const ConsoleLine& line);

  private:
    bool enabled_;
    bool wrote_ = false;
};

}  // namespace jkestrune
