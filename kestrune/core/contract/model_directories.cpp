// The engine's directories: where model files live, and how they are read and written.
#include "core/contract/model_directories.h"

#include <system_error>
#include <vector>

#include "core/base/path_text.h"
#include "core/models/model_files.h"

namespace kestrune {

namespace {

bool CreateDirectories(const std::filesystem::path& directory, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    if (code) {
        error = "cannot create " + PathUtf8(directory) + ": " + code.message();
        return false;
    }
    return true;
}

}  // namespace

bool WriteBackgroundDirectory(const std::filesystem::path& directory, const BackgroundModel& model,
                              std::string& error) {
    return CreateDirectories(directory, error) &&
           WriteFileAtomically(directory / kBackgroundFileName, EncodeBackground(model), error);
}

bool ReadBackground(const std::filesystem::path& path, std::shared_ptr<const Background>& ubm,
                    std::string& error) {
    std::error_code code;
    const std::filesystem::path file =
        std::filesystem::is_directory(path, code) ? path / kBackgroundFileName : path;
    std::vector<uint8_t> bytes;
    BackgroundModel model;
    uint64_t fingerprint = 0;
    if (!ReadWholeFile(file, kMaxModelFileBytes, bytes, error) ||
        !DecodeBackground(bytes, model, fingerprint, error)) {
        error = PathUtf8(file) + ": " + error;
        return false;
    }
    ubm = std::make_shared<const Background>(std::move(model), fingerprint);
    return true;
}

bool ValidTargetName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool WriteTargetModel(const std::filesystem::path& models, const std::string& name,
                      const TargetModel& model, std::string& error) {
    if (!ValidTargetName(name)) {
        error = "not a usable target name: '" + name + "'";
        return false;
    }
    const std::filesystem::path directory =
        models / std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size());
    return CreateDirectories(directory, error) &&
           WriteFileAtomically(directory / kTargetFileName, EncodeTarget(model), error);
}

}  // namespace kestrune
