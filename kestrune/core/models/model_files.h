// The engine's files. Every file is a 32-byte header and a payload, all little-endian:
//
//   offset  size  field
//        0     4  magic "KSRN"
//        4     4  kind: "UBM " (background model), "TGT " (target model)
//        8     4  format version, 4
//       12     4  reserved, 0
//       16     8  payload size in bytes (the file is exactly 32 + this)
//       24     8  FNV-1a 64 hash of the payload
//
// The background model's payload hash is its fingerprint: a target model records the
// fingerprint of the background model it was adapted from and is loaded only against that
// model. A payload is a fixed list of tagged sections (model_sections.h), described beside
// their encoders in model_files.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/models/background_model.h"
#include "core/models/target_model.h"

namespace kestrune {

// The format version files are written in, and the only one read: version 4 adds a front-end
// constant and the companion of score-level fusion to version 3's tagged sections; files of
// versions 1 to 3 are refused with the command that re-creates them.
inline constexpr uint32_t kModelFileVersion = 4;

// File names inside a background-model directory and inside a target's directory.
inline constexpr char kBackgroundFileName[] = "ubm.krn";
inline constexpr char kTargetFileName[] = "target.krn";

// Bounds on what a file may declare, so that a damaged count cannot ask for absurd memory.
inline constexpr uint32_t kMaxComponents = 4096;
inline constexpr uint32_t kMaxDimension = 256;
inline constexpr uint32_t kMaxGenuineSamples = 100000;
inline constexpr uint32_t kMaxCohort = 1000;

std::vector<uint8_t> EncodeBackground(const BackgroundModel& model);
// On success fills `model` and `fingerprint`; on failure sets `error` and leaves `model` in an
// unspecified state.
bool DecodeBackground(const std::vector<uint8_t>& file, BackgroundModel& model,
                      uint64_t& fingerprint, std::string& error);

std::vector<uint8_t> EncodeTarget(const TargetModel& model);
// Checks the file on its own; whether it fits a background model is checked by
// TargetFitsBackground (scoring/background.h).
bool DecodeTarget(const std::vector<uint8_t>& file, TargetModel& model, std::string& error);

// The fingerprint a background model gets when it is encoded.
uint64_t BackgroundFingerprint(const BackgroundModel& model);

// A fingerprint as people see it in messages: 16 lowercase hexadecimal digits.
std::string FingerprintText(uint64_t fingerprint);

// What reading a file came to. A file that could not be opened or read (gone, out of file
// descriptors, an I/O error) may read on the next attempt; one larger than allowed is refused
// for what it is, as a damaged file is.
enum class ReadOutcome { kRead, kUnavailable, kRefused };

// Reads a whole regular file of at most `maxBytes`, with `error` set when it does not.
ReadOutcome ReadFileOutcome(const std::filesystem::path& path, uint64_t maxBytes,
                            std::vector<uint8_t>& bytes, std::string& error);
// The same, true when read.
bool ReadWholeFile(const std::filesystem::path& path, uint64_t maxBytes,
                   std::vector<uint8_t>& bytes, std::string& error);
// Writes as durable stores do (WriteFileDurably, base/durable_write.h): a reader never sees
// half a file, a crash leaves the old file or the new one, and a link at the path is refused.
bool WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         std::string& error);

inline constexpr uint64_t kMaxModelFileBytes = uint64_t{64} << 20;

}  // namespace kestrune
