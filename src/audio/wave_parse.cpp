// The RIFF chunk walk shared by QueryWaveSampleCount and DecodeWaveSamples.
#include "audio/wave_parse.h"

#include <algorithm>
#include <cstring>

#include "audio/byte_cursor.h"

namespace jkestrune {
namespace {

// Behind "RIFF", the RIFF size and the form type. The form type is not checked: writers that
// put something else there still put a chunk list behind it.
constexpr uint64_t kFirstChunkOffset = 12;
// WAVE_FORMAT_EXTENSIBLE's format chunk: the 18 WAVEFORMATEX bytes, cbSize 22, the valid bits,
// the channel mask, then the 16-byte SubFormat GUID at offset 24.
constexpr uint32_t kExtensibleFormatSize = 40;
constexpr uint64_t kSubFormatOffset = 24;
// A SubFormat that stands for a plain format tag is that tag as its first four bytes (a
// little-endian Data1) followed by these twelve: xxxxxxxx-0000-0010-8000-00AA00389B71.
constexpr uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                        0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IdIs(const char (&id)[4], const char (&expected)[5]) {
    return std::memcmp(id, expected, 4) == 0;
}

// The tag an extensible format chunk's SubFormat names, when it is one that is decoded.
int16_t SubFormatTag(ByteCursor cursor, uint64_t body) {
    cursor.Seek(body + kSubFormatOffset);
    const uint32_t data1 = cursor.U32();
    uint8_t tail[sizeof kSubFormatTail] = {};
    cursor.ReadBytes(tail, sizeof tail);
    const bool plainTag =
        cursor.ok() && std::memcmp(tail, kSubFormatTail, sizeof tail) == 0 &&
        (data1 == WAVE_FORMAT_PCM || data1 == WAVE_FORMAT_ALAW || data1 == WAVE_FORMAT_MULAW);
    return plainTag ? static_cast<int16_t>(data1) : WAVE_FORMAT_EXTENSIBLE;
}

// Reads the 16 bytes of format fields at the start of a "fmt " chunk's body. They are taken
// from there whatever the chunk's size says, so a 16-byte chunk (no cbSize) serves as well as
// an 18-byte one.
bool ReadFormat(ByteCursor cursor, uint64_t body, uint32_t chunkSize, WaveLayout& layout) {
    cursor.Seek(body);
    const int16_t tag = cursor.I16();
    const int16_t channels = cursor.I16();
    const uint32_t samplesPerSec = cursor.U32();
    const uint32_t avgBytesPerSec = cursor.U32();
    const int16_t blockAlign = cursor.I16();
    const uint16_t bitsPerSample = cursor.U16();
    if (!cursor.ok()) {
        return false;
    }
    layout.format =
        WaveFormat{tag, channels, samplesPerSec, avgBytesPerSec, blockAlign, bitsPerSample, 0};
    layout.decodeTag = tag;
    if (tag == WAVE_FORMAT_EXTENSIBLE && chunkSize >= kExtensibleFormatSize) {
        layout.decodeTag = SubFormatTag(cursor, body);
    }
    return true;
}

// Takes the data chunk whose body starts at `body` (within the image). A size beyond the image
// is what a recorder leaves when it streams (0xFFFFFFFF) or dies before fixing the size up; the
// bytes it did write are the recording.
bool TakeData(const uint8_t* image, uint32_t length, uint64_t body, uint32_t chunkSize,
              WaveLayout& layout) {
    const uint32_t present = static_cast<uint32_t>(std::min<uint64_t>(chunkSize, length - body));
    if (present == 0) {
        return false;
    }
    const int16_t blockAlign = layout.format.nBlockAlign;
    const int16_t channels = layout.format.nChannels;
    // A frame needs at least one byte per channel. Without this rule the count (frames ×
    // nChannels) could exceed the data by up to 32767 times, and a few kilobytes of input would
    // ask for gigabytes of samples. A negative nBlockAlign keeps its count rule (no frame).
    if (blockAlign == 0 || channels < 0 || (blockAlign > 0 && blockAlign < channels)) {
        return false;
    }
    layout.data = image + body;
    layout.dataSize = present;
    // The sign-widened divisor keeps the count rule of the 16-bit signed field: an nBlockAlign
    // of 32768 or more divides by at least 2^32 - 32768.
    layout.frames = present / static_cast<uint32_t>(static_cast<int32_t>(blockAlign));
    layout.sampleCount = layout.frames * static_cast<uint32_t>(channels);
    return true;
}

}  // namespace

bool ParseWave(const uint8_t* image, uint32_t length, WaveLayout& layout) {
    if (image == nullptr) {
        return false;
    }
    ByteCursor cursor(image, length);
    if (!cursor.MatchId("RIFF")) {
        return false;
    }
    // Walk the chunks to the first "fmt ", and from there to the first "data". Every step moves
    // forward by at least 8 bytes, so the walk ends within length / 8 steps.
    cursor.Seek(kFirstChunkOffset);
    bool haveFormat = false;
    while (true) {
        char id[4] = {};
        cursor.ReadBytes(id, sizeof id);
        const uint32_t chunkSize = cursor.U32();
        if (!cursor.ok()) {
            return false;  // the image ends before another chunk header
        }
        const uint64_t body = cursor.offset();
        if (!haveFormat && IdIs(id, "fmt ")) {
            if (!ReadFormat(cursor, body, chunkSize, layout)) {
                return false;
            }
            haveFormat = true;
        } else if (haveFormat && IdIs(id, "data")) {
            return TakeData(image, length, body, chunkSize, layout);
        }
        // A chunk of odd size is followed by a pad byte of 0. Writers that leave it out put the
        // next chunk's ID there instead, which never starts with a NUL.
        uint64_t next = body + chunkSize;
        if (chunkSize % 2 != 0) {
            ByteCursor pad = cursor;
            pad.Seek(next);
            const uint8_t padByte = pad.U8();
            if (pad.ok() && padByte == 0) {
                ++next;
            }
        }
        cursor.Seek(next);  // fails when the size carries the walk past the end
    }
}

}  // namespace jkestrune
