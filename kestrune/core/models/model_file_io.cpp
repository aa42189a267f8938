// Reading and writing the engine's files (declared in model_files.h).
#include <fstream>
#include <system_error>

#include "core/base/durable_write.h"
#include "core/base/path_text.h"
#include "core/models/model_files.h"

namespace kestrune {

ReadOutcome ReadFileOutcome(const std::filesystem::path& path, uint64_t maxBytes,
                            std::vector<uint8_t>& bytes, std::string& error) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        error = "no such file: " + PathUtf8(path);
        return ReadOutcome::kUnavailable;
    }
    // The size comes from the open file itself: a file renamed over this path between a size
    // taken by name and the open (an enrollment rewriting the target) would be read short or
    // cut, and a good model refused.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) {
        error = "cannot read " + PathUtf8(path);
        return ReadOutcome::kUnavailable;
    }
    if (static_cast<uint64_t>(size) > maxBytes) {
        error = "file too large: " + PathUtf8(path);
        return ReadOutcome::kRefused;
    }
    bytes.resize(static_cast<size_t>(size));
    if (!in.seekg(0) ||
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        error = "cannot read " + PathUtf8(path);
        return ReadOutcome::kUnavailable;
    }
    // A file that grew since its size was taken is read as far as that size, and then its
    // header's size check rejects it.
    return ReadOutcome::kRead;
}

bool ReadWholeFile(const std::filesystem::path& path, uint64_t maxBytes,
                   std::vector<uint8_t>& bytes, std::string& error) {
    return ReadFileOutcome(path, maxBytes, bytes, error) == ReadOutcome::kRead;
}

bool WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         std::string& error) {
    return WriteFileDurably(path, bytes.data(), bytes.size(), error);
}

}  // namespace kestrune
