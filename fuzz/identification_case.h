// What one input of the identification fuzzer describes: the call's arguments, the engine's
// answers, where the results go and which JNI call fails. The byte layout is defined once, by
// Visit, for both directions: the fuzzer reads inputs with it and the seed writer writes the
// committed seeds with it. Every byte sequence is a valid case: fields missing at the end read
// as 0, and the fuzzer folds out-of-range values into range.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/engine_script.h"

namespace fuzzcase {

// Where the results of the call go. The fuzzer builds each from its fake JNI heap.
enum Destination : uint8_t {
    kResultArray,      // an array of the result class, named correctly
    kNullDestination,  // results or result null
    kForeignElements,  // all: an array of another class; best: an object of a class without fields
    kUnknownClass,     // all: a class name FindClass cannot find; best: a class missing a field
    kDottedClassName,  // all: "test.Result"; best: a class whose logScore is a long
    kMissingField,     // all: a class missing a field; best: as kResultArray
    kWrongFieldType,   // all: a class whose logScore is a long; best: as kResultArray
    kObjectArray,      // all: an Object[] (takes any object); best: as kResultArray
    kDestinationCount
};

// JNI functions whose failure a JVM reports (a null result or an exception), selected by the
// case's failingCall byte; 0 selects none.
inline constexpr const char* kFailableCalls[] = {
    nullptr,       "GetStringUTFChars", "GetByteArrayRegion", "FindClass",
    "AllocObject", "GetFieldID",        "NewStringUTF",       "SetObjectArrayElement"};
inline constexpr size_t kFailableCallCount = sizeof kFailableCalls / sizeof kFailableCalls[0];

// More targets only slow the fuzzer down: per-target work is the same for each.
inline constexpr uint8_t kMaxTargets = 64;
// Name lengths run to the whole 256-byte slot, which then has no NUL.
inline constexpr uint16_t kMaxNameLength = 256;

// The targets the engine reports, in the engine doubles' own terms.
using Target = enginescript::Target;

struct IdentificationCase {
    bool best = false;  // VerifyDataWithGetMaxProbability instead of VerifyDataWithGetAll
    bool audioNull = false;
    bool modelsDirNull = false;
    bool classNameNull = false;
    bool verbose = false;
    // audioLength: 0 the whole array; 1 the first lengthValue % (size + 1) bytes; any other
    // value lengthValue itself, negative or beyond the array included.
    uint8_t lengthMode = 0;
    int32_t lengthValue = 0;
    int32_t rankBy = 0;
    bool loadFails = false;
    // The engine reports reportedCount targets instead of targets.size(): a negative value as it
    // is, any other folded to at most targets.size() (an engine that reports more targets than it
    // has named breaks a contract the library cannot check).
    bool overrideCount = false;
    int32_t reportedCount = 0;
    int32_t soundCode = 0;
    uint8_t destination = kResultArray;
    // The results array has targetCount + arraySlack % 8 - 2 elements (at least 0).
    uint8_t arraySlack = 2;
    uint8_t failingCall = 0;  // index into kFailableCalls, folded
    uint8_t failingNth = 0;   // which call of it fails: failingNth % 4 + 1
    std::vector<Target> targets;
    std::vector<uint8_t> audio;  // the rest of the input
};

// Reads fields from the front of an input; past its end every field reads as 0.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void Bool(bool& value) {
        uint8_t byte = 0;
        Bytes(&byte, 1);
        value = (byte & 1) != 0;
    }
    void U8(uint8_t& value) { Bytes(&value, 1); }
    void U16(uint16_t& value) { Little(value); }
    void I32(int32_t& value) {
        uint32_t bits = 0;
        Little(bits);
        value = static_cast<int32_t>(bits);
    }
    void Text(std::string& text, size_t length) {
        length = std::min(length, size_ - offset_);
        text.assign(reinterpret_cast<const char*>(data_ + offset_), length);
        offset_ += length;
    }
    void Rest(std::vector<uint8_t>& bytes) {
        bytes.assign(data_ + offset_, data_ + size_);
        offset_ = size_;
    }
    static constexpr bool kWriting = false;

  private:
    void Bytes(void* out, size_t count) {
        std::memset(out, 0, count);
        const size_t available = std::min(count, size_ - offset_);
        std::memcpy(out, data_ + offset_, available);
        offset_ += available;
    }
    template <typename T>
    void Little(T& value) {
        uint8_t bytes[sizeof(T)];
        Bytes(bytes, sizeof bytes);
        value = 0;
        for (size_t k = 0; k < sizeof(T); ++k) {
            value = static_cast<T>(value | static_cast<T>(bytes[k]) << (8 * k));
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// Appends fields to an input.
class Writer {
  public:
    void Bool(bool& value) { out_.push_back(value ? 1 : 0); }
    void U8(uint8_t& value) { out_.push_back(value); }
    void U16(uint16_t& value) { Little(value); }
    void I32(int32_t& value) { Little(static_cast<uint32_t>(value)); }
    void Text(std::string& text, size_t length) {
        out_.insert(out_.end(), text.begin(), text.begin() + length);
    }
    void Rest(std::vector<uint8_t>& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    static constexpr bool kWriting = true;

    const std::vector<uint8_t>& bytes() const { return out_; }

  private:
    template <typename T>
    void Little(T value) {
        for (size_t k = 0; k < sizeof(T); ++k) {
            out_.push_back(static_cast<uint8_t>(value >> (8 * k)));
        }
    }

    std::vector<uint8_t> out_;
};

// The layout of a case, field by field, for a Reader or a Writer.
template <typename Io>
void Visit(Io& io, IdentificationCase& c) {
    io.Bool(c.best);
    io.Bool(c.audioNull);
    io.Bool(c.modelsDirNull);
    io.Bool(c.classNameNull);
    io.Bool(c.verbose);
    io.U8(c.lengthMode);
    io.I32(c.lengthValue);
    io.I32(c.rankBy);
    io.Bool(c.loadFails);
    io.Bool(c.overrideCount);
    io.I32(c.reportedCount);
    io.I32(c.soundCode);
    io.U8(c.destination);
    io.U8(c.arraySlack);
    io.U8(c.failingCall);
    io.U8(c.failingNth);

    auto count = static_cast<uint8_t>(c.targets.size());
    io.U8(count);
    if constexpr (!Io::kWriting) {
        c.targets.resize(count % (kMaxTargets + 1));
    }
    for (Target& target : c.targets) {
        io.I32(target.logScore);
        io.I32(target.frr);
        io.I32(target.far);
        auto length = static_cast<uint16_t>(target.name.size());
        io.U16(length);
        io.Text(target.name, length % (kMaxNameLength + 1));
    }
    io.Rest(c.audio);
}

}  // namespace fuzzcase
