// Option values and WAVE input for the tool's commands.
#include "tool/arguments.h"

#include "tool/audio_input.h"

namespace kestrune {

bool ReadAudio(const std::vector<std::string>& files, std::vector<Samples>& audio,
               const char* command, std::ostream& log) {
    size_t reported = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        Samples samples;
        std::string error;
        if (!ReadRecording(files[i], 8000, samples, error)) {
            log << command << ": " << error << "\n";
            return false;
        }
        audio.push_back(std::move(samples));
        if ((i + 1) * 10 / files.size() > reported || i + 1 == files.size()) {
            reported = (i + 1) * 10 / files.size();
            log << command << ": read " << (i + 1) << "/" << files.size() << " files\n";
        }
    }
    return true;
}

}  // namespace kestrune
