// Listings of models directories kept while the operating system reports no change under them,
// so that a load of an unchanged directory costs neither a scan nor a status call per target.
//
// On Linux an inotify instance watches the directory and each target subdirectory (creation,
// deletion, renames, writes, attribute changes of anything in them). A listing is reused only
// when a non-blocking read of the instance finds no event since the listing was scanned, with
// every watch armed before that scan, so that a change during the scan leads to a new one. Status
// calls remain the rule wherever notification cannot be exact: on other systems, on file
// systems whose changes made by other machines it would miss (anything but ext2/3/4, XFS,
// Btrfs, tmpfs and F2FS, for a subdirectory too, as a link may lead elsewhere), when the
// watches cannot all be added, after an overflow of the event queue, and with
// KESTRUNE_DIRECTORY_WATCH=0.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "core/contract/target_directory.h"

namespace kestrune {

using DirectoryScan = std::function<std::vector<TargetDirectory>(const std::filesystem::path&)>;

// The listing of `models`: the one kept for it when its watch reports no change, else `scan`'s
// (kept for next time when a watch could be armed).
std::vector<TargetDirectory> WatchedListing(const std::filesystem::path& models,
                                            const DirectoryScan& scan);

// Whether listings may be kept: false when KESTRUNE_DIRECTORY_WATCH (`setting`, null when
// unset) is 0 (digits only: "0", "00"); 1 or unset keeps them, and any other text is reported
// once on standard error and keeps them too.
bool DirectoryWatchEnabled(const char* setting);

}  // namespace kestrune
