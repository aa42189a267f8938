// Reading a WAVE file for the tool: the project's own WAVE reader and decoder, channels mixed
// down to mono, and other sample rates resampled to the engine's 8 kHz.
//
// A WAVE header is the file's own claim, and the work a file costs follows from it: a rate of
// 1 Hz turns a small file into hours of audio to resample. So a recording is checked against
// the limits below before any decoding, and refused with a message naming the limit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune {

// The sample rates the tools take, in Hz: telephone speech at 4 kHz up to studio audio.
inline constexpr uint32_t kMinSampleRate = 4000;
inline constexpr uint32_t kMaxSampleRate = 192000;
// The longest recording the tools take.
inline constexpr uint64_t kMaxRecordingSeconds = 60 * 60;
// The largest WAVE file the tools read (its data chunk is within it).
inline constexpr uint64_t kMaxWaveFileBytes = uint64_t{1} << 30;

// Empty when `rate` Hz and `frames` frames are within the limits above; else why not.
std::string RecordingLimitProblem(uint32_t rate, uint64_t frames);

// Reads the bytes of a WAVE file of at most kMaxWaveFileBytes, checking its size before
// reading. False with `error` set.
bool ReadWaveImage(const std::filesystem::path& path, std::vector<uint8_t>& image,
                   std::string& error);

// Reads `path` (16-bit PCM, A-law or mu-law WAVE) into 16-bit samples at `rate` Hz, mono.
// False with `error` set for an unreadable or undecodable file, or one outside the limits.
//
// Memory: the file's bytes and its decoded samples (two bytes per sample of each channel) are
// held together while decoding; the file's bytes are then released, and mixing and resampling
// go block by block into the output (two bytes per output sample: at most 57.6 MB at 8 kHz for
// the longest recording).
bool ReadRecording(const std::filesystem::path& path, uint32_t rate, std::vector<int16_t>& samples,
                   std::string& error);

}  // namespace kestrune
