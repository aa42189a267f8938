#include "support/corpus.h"

namespace kestrune::testing {

std::filesystem::path CorpusRecording(int digit, const char* speaker, int index) {
    return std::filesystem::path(KESTRUNE_CORPUS_DIR) /
           (std::to_string(digit) + "_" + speaker + "_" + std::to_string(index) + ".wav");
}

std::vector<std::string> CorpusRecordings(const char* speaker, int first, int last) {
    std::vector<std::string> files;
    for (int index = first; index <= last; ++index) {
        for (int digit = 0; digit < 10; ++digit) {
            files.push_back(CorpusRecording(digit, speaker, index).string());
        }
    }
    return files;
}

}  // namespace kestrune::testing
