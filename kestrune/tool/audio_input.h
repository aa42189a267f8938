// Reading a WAVE file for the tool: the project's own WAVE reader and decoder, channels mixed
// down to mono, and other sample rates resampled to the engine's 8 kHz.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune {

// Reads `path` (16-bit PCM, A-law or mu-law WAVE) into 16-bit samples at `rate` Hz, mono.
// False with `error` set for an unreadable or undecodable file.
bool ReadRecording(const std::filesystem::path& path, uint32_t rate, std::vector<int16_t>& samples,
                   std::string& error);

}  // namespace kestrune
