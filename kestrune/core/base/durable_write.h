// Writing a file the way durable stores do, so that a reader, a crash or a second writer never
// sees anything but the whole old file or the whole new one, and nothing is written through a
// link someone planted:
//   1. a temporary file with a name no other writer uses, created exclusively in the final
//      file's folder without following a link (O_CREAT | O_EXCL | O_NOFOLLOW, mode 0644; on
//      Windows CREATE_NEW),
//   2. written, flushed and synced to the disk (fsync; FlushFileBuffers),
//   3. renamed over the final name (rename; MoveFileExW with MOVEFILE_REPLACE_EXISTING |
//      MOVEFILE_WRITE_THROUGH), which replaces a link there rather than following it,
//   4. the folder synced, so that the rename itself survives a crash (POSIX).
// On every failure the temporary file is removed. Two writers of one file each write their own
// temporary file; the last rename wins, whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kestrune {

// Writes `size` bytes to `file` as above. A final path that is a symbolic link (or on Windows
// any reparse point) is refused, not followed and not replaced. False with `error` on failure;
// `file` is then as it was.
bool WriteFileDurably(const std::filesystem::path& file, const void* data, size_t size,
                      std::string& error);

// The prefix of the temporary files of `file` (for tests and for cleaning up after a crash):
// "." + its name + ".tmp-", followed by a name unique to the writer.
std::string TemporaryPrefix(const std::filesystem::path& file);

}  // namespace kestrune
