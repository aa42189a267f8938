// WAVE file images for tests: 16-bit PCM, or G.711 A-law / mu-law encoded here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kestrune::testing {

enum class WaveEncoding { Pcm16, ALaw, MuLaw };

// G.711 A-law and mu-law encoders.
uint8_t EncodeALaw(int16_t sample);
uint8_t EncodeMuLaw(int16_t sample);

// A canonical RIFF/WAVE image of interleaved `samples`.
std::vector<uint8_t> WaveImage(const std::vector<int16_t>& samples, uint32_t rate,
                               uint16_t channels, WaveEncoding encoding);

void WriteWave(const std::filesystem::path& path, const std::vector<int16_t>& samples,
               uint32_t rate, uint16_t channels = 1, WaveEncoding encoding = WaveEncoding::Pcm16);

}  // namespace kestrune::testing
