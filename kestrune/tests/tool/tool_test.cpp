// The kestrune tool's commands: argument handling, WAVE input at other rates and channel
// counts, and a background model and a target written by them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "core/contract/model_directories.h"
#include "core/models/model_files.h"
#include "support/synthetic.h"
#include "support/wave_writer.h"
#include "tool/arguments.h"
#include "tool/audio_input.h"
#include "tool/commands.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;
using testing::TempDirectory;
using testing::WaveEncoding;
using testing::WriteWave;

using Args = std::vector<std::string>;

TEST(Tool, BadArgumentsAreUsageErrors) {
    const Args trainCases[] = {
        {},
        {"a.wav"},
        {"--out"},
        {"--out", "dir"},
        {"--out", "dir", "--components", "4097", "a.wav"},
        {"--out", "dir", "--components", "many", "a.wav"},
        {"--out", "dir", "--components", "4", "--top", "5", "a.wav"},
        {"--out", "dir", "--colour", "a.wav"},
        {"--out", "dir", "--copies", "17", "a.wav"},
        {"--out", "dir", "--cohort", "1", "a.wav"},
        {"--out", "dir", "--set", "warping", "a.wav"},
        {"--out", "dir", "--set", "colour=3", "a.wav"},
        {"--out", "dir", "--set", "fftSize=100", "a.wav"},
    };
    for (const Args& args : trainCases) {
        std::ostringstream log;
        EXPECT_EQ(TrainUbmCommand(args, log), 2) << log.str();
    }
    const Args enrollCases[] = {
        {"--ubm", "u", "--models", "m", "a.wav"},
        {"--ubm", "u", "--models", "m", "--name", "x"},
        {"--ubm", "u", "--models", "m", "--name", "a/b", "a.wav"},
        {"--ubm", "u", "--models", "m", "--name", "..", "a.wav"},
        {"--ubm", "u", "--models", "m", "--name", "x", "--relevance", "-1", "a.wav"},
    };
    for (const Args& args : enrollCases) {
        std::ostringstream log;
        EXPECT_EQ(EnrollCommand(args, log), 2) << log.str();
    }
    const Args evaluateCases[] = {
        {"trials.tsv"},
        {"--models", "m"},
        {"--models", "m", "--threads", "0", "trials.tsv"},
        {"--models", "m", "one.tsv", "two.tsv"},
        {"--models", "m", "--ubm", "u", "missing-list.tsv"},
    };
    for (const Args& args : evaluateCases) {
        std::ostringstream log;
        EXPECT_EQ(EvaluateCommand(args, log), 2) << log.str();
    }
    EXPECT_NE(UsageText().find("train-ubm --out DIR"), std::string::npos);
}

TEST(Tool, RecordingsAreMixedToMonoAndResampledTo8kHz) {
    const TempDirectory directory("audio");
    // 1 s of a 1 kHz tone at 16 kHz in stereo, the right channel silent.
    const std::vector<int16_t> tone = testing::Tone(1000.0, 1.0, 16000.0, 16000);
    std::vector<int16_t> stereo;
    for (int16_t sample : tone) {
        stereo.push_back(sample);
        stereo.push_back(0);
    }
    WriteWave(directory.path() / "stereo.wav", stereo, 16000, 2);
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_TRUE(ReadRecording(directory.path() / "stereo.wav", 8000, samples, error)) << error;
    EXPECT_NEAR(static_cast<double>(samples.size()), 8000.0, 2.0);
    // Mixed down: half the amplitude; resampled: the tone still at 1 kHz (bin 32 of 256).
    const FrontEnd frontEnd{FrontEndConfig{}};
    const std::vector<float> frame(samples.begin() + 4000, samples.begin() + 4200);
    const std::vector<float> power = frontEnd.PowerSpectrum(frame.data());
    EXPECT_EQ(std::max_element(power.begin(), power.end()) - power.begin(), 32);
    const auto peak = *std::max_element(samples.begin() + 1000, samples.end() - 1000);
    EXPECT_NEAR(peak, 8000, 100);

    // mu-law at 8 kHz is decoded by the project's reader and passed through.
    WriteWave(directory.path() / "mulaw.wav", Speak(MakeVoice(0), 0.5, 3), 8000, 1,
              WaveEncoding::MuLaw);
    ASSERT_TRUE(ReadRecording(directory.path() / "mulaw.wav", 8000, samples, error)) << error;
    EXPECT_EQ(samples.size(), 4000u);

    std::ofstream(directory.path() / "text.wav") << "not a wave file";
    EXPECT_FALSE(ReadRecording(directory.path() / "text.wav", 8000, samples, error));
    EXPECT_FALSE(ReadRecording(directory.path() / "missing.wav", 8000, samples, error));
}

// Paths and options in the tool's messages are escaped as names are: a file name holding a
// line break must not add a line of its own to the output.
TEST(Tool, MessagesEscapePathsAndOptions) {
    const TempDirectory directory("tool");
    const std::string forged = (directory.path() / "a\nenroll: wrote b.wav").string();
    const struct {
        std::function<int(const Args&, std::ostream&)> command;
        Args args;
        const char* shown;
    } cases[] = {
        {TrainUbmCommand, {"--out", (directory.path() / "ubm").string(), forged}, "a\\nenroll"},
        {EnrollCommand, {"--ubm", "u", "--models", "m", "--list", forged}, "a\\nenroll"},
        {TrainUbmCommand, {"--colour\r", "--out", "d", "a.wav"}, "--colour\\r"},
    };
    for (const auto& c : cases) {
        std::ostringstream log;
        EXPECT_NE(c.command(c.args, log), 0);
        const std::string text = log.str();
        const std::string firstLine = text.substr(0, text.find('\n'));
        EXPECT_NE(firstLine.find(c.shown), std::string::npos) << text;
        EXPECT_EQ(text.find("\nenroll: wrote"), std::string::npos) << text;
    }
}

TEST(Tool, RecordingLimitsAtTheirEdges) {
    struct {
        uint32_t rate;
        uint64_t frames;
        const char* problem;  // empty: accepted
    } const cases[] = {
        {8000, 8000, ""},
        {4000, 3600 * 4000, ""},
        {192000, 3600ull * 192000, ""},
        {3999, 100, "a sample rate of 3999 Hz: the tools take 4 to 192 kHz"},
        {192001, 100, "a sample rate of 192001 Hz"},
        {1, 100, "a sample rate of 1 Hz"},
        {0, 0, "a sample rate of 0 Hz"},
        {4000, 3600 * 4000 + 1, "3600 s of audio: the tools take at most 60 minutes"},
        {8000, 11 * 3600 * 8000, "39600 s of audio"},
    };
    for (const auto& c : cases) {
        const std::string problem = RecordingLimitProblem(c.rate, c.frames);
        if (c.problem[0] == '\0') {
            EXPECT_EQ(problem, "") << c.rate << " Hz, " << c.frames << " frames";
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
}

// A header's rate and size are refused before any decoding or resampling; a file at the edges
// is read.
TEST(Tool, RecordingsOutsideTheLimitsAreRefusedWithTheReason) {
    const TempDirectory directory("limits");
    const std::vector<int16_t> speech = Speak(MakeVoice(0), 0.1, 5);
    struct {
        const char* file;
        uint32_t rate;
        const char* problem;  // empty: read
    } const cases[] = {
        {"one-hz.wav", 1, "refused: a sample rate of 1 Hz"},
        {"low.wav", 3999, "a sample rate of 3999 Hz"},
        {"high.wav", 192001, "a sample rate of 192001 Hz"},
        {"lowest.wav", 4000, ""},
        {"highest.wav", 192000, ""},
    };
    for (const auto& c : cases) {
        WriteWave(directory.path() / c.file, speech, c.rate);
        std::vector<int16_t> samples;
        std::string error;
        const bool read = ReadRecording(directory.path() / c.file, 8000, samples, error);
        if (c.problem[0] == '\0') {
            EXPECT_TRUE(read) << error;
            EXPECT_NEAR(static_cast<double>(samples.size()), 800.0 * 8000 / c.rate, 2.0);
        } else {
            EXPECT_FALSE(read) << c.file;
            EXPECT_NE(error.find(c.problem), std::string::npos) << error;
            EXPECT_TRUE(samples.empty()) << c.file;
        }
    }
    // Over an hour at 4 kHz (mu-law, one byte a sample: 14 MB).
    WriteWave(directory.path() / "long.wav", std::vector<int16_t>(3601 * 4000, 0), 4000, 1,
              WaveEncoding::MuLaw);
    std::vector<int16_t> samples;
    std::string error;
    EXPECT_FALSE(ReadRecording(directory.path() / "long.wav", 8000, samples, error));
    EXPECT_NE(error.find("3601 s of audio: the tools take at most 60 minutes"), std::string::npos)
        << error;
    // A file over 1 GiB is refused by its size, unread (sparse: it takes no space).
    WriteWave(directory.path() / "huge.wav", speech, 8000);
    std::filesystem::resize_file(directory.path() / "huge.wav", kMaxWaveFileBytes + 1);
    EXPECT_FALSE(ReadRecording(directory.path() / "huge.wav", 8000, samples, error));
    EXPECT_NE(error.find("the tools read WAVE files of at most 1 GiB"), std::string::npos) << error;
    // Nor is anything but a regular file read: a directory has no size to check.
    EXPECT_FALSE(ReadRecording(directory.path(), 8000, samples, error));
    EXPECT_NE(error.find(": not a regular file"), std::string::npos) << error;
}

// With --components 0 the mixture is sized from the speech given (a few seconds here: the
// fewest components), and a --top beyond what was chosen is refused rather than cut silently.
TEST(Tool, TrainUbmSizesTheMixtureFromTheSpeech) {
    const TempDirectory directory("tool");
    const auto path = [&](const std::string& name) { return (directory.path() / name).string(); };
    Args train = {"--out", path("ubm"), "--components", "0", "--copies", "0", "--cohort", "2"};
    for (int voice = 0; voice < 2; ++voice) {
        const std::string file = path("bg-" + std::to_string(voice) + ".wav");
        WriteWave(file, Speak(MakeVoice(voice), 4.0, voice), 8000);
        train.insert(train.end(), {"--speaker", "voice-" + std::to_string(voice), file});
    }
    std::ostringstream log;
    ASSERT_EQ(TrainUbmCommand(train, log), 0) << log.str();
    EXPECT_NE(log.str().find("8 components for"), std::string::npos) << log.str();
    std::shared_ptr<const Background> ubm;
    std::string error;
    ASSERT_TRUE(ReadBackground(path("ubm"), ubm, error)) << error;
    EXPECT_EQ(ubm->gmm().Components(), 8);

    Args tooMany = train;
    tooMany.insert(tooMany.begin(), {"--top", "16"});
    std::ostringstream refused;
    EXPECT_EQ(TrainUbmCommand(tooMany, refused), kUsageError);
    EXPECT_NE(refused.str().find("exceeds the 8 components chosen"), std::string::npos)
        << refused.str();
}

// Files before any --speaker are each their own speaker; too short to stand for an impostor
// alone, they are pooled into one cohort speaker, and the tool says so. Named ones are not.
TEST(Tool, TrainUbmPoolsShortFilesGivenWithoutASpeaker) {
    const TempDirectory directory("tool");
    const auto path = [&](const std::string& name) { return (directory.path() / name).string(); };
    Args train = {"--out", path("ubm"), "--components", "8", "--copies", "0", "--companion", "0"};
    for (int voice = 0; voice < 3; ++voice) {
        const std::string file = path("bg-" + std::to_string(voice) + ".wav");
        WriteWave(file, Speak(MakeVoice(voice), 3.0, voice), 8000);
        if (voice == 2) {
            train.insert(train.end(), {"--speaker", "named"});
        }
        train.push_back(file);
    }
    std::ostringstream log;
    ASSERT_EQ(TrainUbmCommand(train, log), 0) << log.str();
    EXPECT_NE(log.str().find("2 files without a speaker pooled into 1 cohort speakers"),
              std::string::npos)
        << log.str();
    std::shared_ptr<const Background> ubm;
    std::string error;
    ASSERT_TRUE(ReadBackground(path("ubm"), ubm, error)) << error;
    EXPECT_EQ(ubm->model().cohortMeans[0].rows(), 2 * ubm->gmm().Components());
}

TEST(Tool, TrainsEnrollsAndEvaluates) {
    const TempDirectory directory("tool");
    const auto path = [&](const std::string& name) { return (directory.path() / name).string(); };
    Args train = {"--out", path("ubm"), "--components", "8", "--copies", "1", "--cohort", "3"};
    for (int voice = 0; voice < 4; ++voice) {
        train.push_back("--speaker");
        train.push_back("voice-" + std::to_string(voice));
        for (int part = 0; part < 3; ++part) {
            const std::string file =
                path("bg-" + std::to_string(voice) + "-" + std::to_string(part) + ".wav");
            WriteWave(file, Speak(MakeVoice(voice), 1.5, 10 * voice + part), 8000);
            train.push_back(file);
        }
    }
    std::ostringstream log;
    ASSERT_EQ(TrainUbmCommand(train, log), 0) << log.str();
    EXPECT_NE(log.str().find("EM pass"), std::string::npos);
    std::shared_ptr<const Background> ubm;
    std::string error;
    ASSERT_TRUE(ReadBackground(path("ubm"), ubm, error)) << error;
    EXPECT_EQ(ubm->gmm().Components(), 8);
    EXPECT_EQ(ubm->cohort().Targets(), 3);

    // Enrollment takes the background model's directory or its file, and refuses to overwrite
    // a target unless asked to.
    for (int voice = 0; voice < 2; ++voice) {
        WriteWave(path("enroll-" + std::to_string(voice) + ".wav"),
                  Speak(MakeVoice(voice), 6.0, 99 + voice), 8000);
    }
    ASSERT_EQ(EnrollCommand({"--ubm", path("ubm"), "--models", path("models"), "--name", "Zoë",
                             path("enroll-1.wav")},
                            log),
              0)
        << log.str();
    const Args again = {"--ubm", path("ubm") + "/ubm.krn", "--models", path("models"), "--name",
                        "Zoë",   path("enroll-1.wav")};
    EXPECT_EQ(EnrollCommand(again, log), 1);
    EXPECT_NE(log.str().find("give --replace"), std::string::npos);
    Args replace = again;
    replace.push_back("--replace");
    EXPECT_EQ(EnrollCommand(replace, log), 0) << log.str();
    ASSERT_EQ(EnrollCommand({"--ubm", path("ubm"), "--models", path("models"), "--name", "Ana",
                             path("enroll-0.wav")},
                            log),
              0)
        << log.str();
    std::vector<uint8_t> bytes;
    TargetModel target;
    ASSERT_TRUE(ReadWholeFile(directory.path() / "models" / "Zoë" / kTargetFileName,
                              kMaxModelFileBytes, bytes, error))
        << error;
    ASSERT_TRUE(DecodeTarget(bytes, target, error)) << error;
    EXPECT_TRUE(TargetFitsBackground(target, *ubm));

    EXPECT_EQ(EnrollCommand({"--ubm", path("nowhere"), "--models", path("models"), "--name", "x",
                             path("enroll-0.wav")},
                            log),
              1);
    EXPECT_EQ(EnrollCommand({"--ubm", path("ubm"), "--models", path("models"), "--name", "x",
                             path("missing.wav")},
                            log),
              1);

    // Two trials of the enrolled speakers and one of a speaker who is not enrolled, listed with
    // paths relative to the list.
    WriteWave(path("trial-0.wav"), Speak(MakeVoice(0), 3.0, 500), 8000);
    WriteWave(path("trial-1.wav"), Speak(MakeVoice(1), 3.0, 501), 8000);
    WriteWave(path("trial-3.wav"), Speak(MakeVoice(3), 3.0, 502), 8000);
    std::ofstream(path("trials.tsv")) << "trial-0.wav\tAna\n# a comment\n\ntrial-1.wav\tZoë\n"
                                      << path("trial-3.wav") << "\t-\n";
    ::testing::internal::CaptureStdout();
    const int code =
        EvaluateCommand({"--ubm", path("ubm"), "--models", path("models"), "--threads", "2",
                         "--tsv", "--scores", path("scores.tsv"), path("trials.tsv")},
                        log);
    const std::string summary = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0) << log.str();
    EXPECT_NE(summary.find("trials\t3\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("unknown_trials\t1\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("top1_score\t100.0\n"), std::string::npos) << summary;
    std::ifstream scores(path("scores.tsv"));
    const std::string table((std::istreambuf_iterator<char>(scores)),
                            std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 3 * 2) << table;

    // The list is UTF-8 and the engine's names are not: a name beyond the Basic Multilingual
    // Plane is still found, and the scores file shows names with control characters escaped.
    const std::string grin = "Ana \xf0\x9f\x98\x80";
    std::filesystem::create_directories(
        directory.path() / "emoji" /
        std::u8string(reinterpret_cast<const char8_t*>(grin.data()), grin.size()));
    std::filesystem::copy_file(
        directory.path() / "models" / "Ana" / kTargetFileName,
        directory.path() / "emoji" /
            std::u8string(reinterpret_cast<const char8_t*>(grin.data()), grin.size()) /
            kTargetFileName);
    std::filesystem::create_directories(directory.path() / "emoji" / "tab\there");
    std::filesystem::copy_file(directory.path() / "models" / "Zoë" / kTargetFileName,
                               directory.path() / "emoji" / "tab\there" / kTargetFileName);
    std::ofstream(path("emoji.tsv")) << "trial-0.wav\t" << grin << "\n";
    ::testing::internal::CaptureStdout();
    const int emojiCode = EvaluateCommand({"--ubm", path("ubm"), "--models", path("emoji"), "--tsv",
                                           "--scores", path("emoji-scores.tsv"), path("emoji.tsv")},
                                          log);
    const std::string emojiSummary = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(emojiCode, 0) << log.str();
    EXPECT_NE(emojiSummary.find("top1_score\t100.0\n"), std::string::npos) << emojiSummary;
    std::ifstream emojiScores(path("emoji-scores.tsv"));
    const std::string emojiTable((std::istreambuf_iterator<char>(emojiScores)),
                                 std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(emojiTable.begin(), emojiTable.end(), '\n'), 1 + 2) << emojiTable;
    EXPECT_NE(emojiTable.find("\ttab\\there\t"), std::string::npos) << emojiTable;

    // A trial outside the tools' limits is refused and named; the others are scored.
    WriteWave(path("one-hz.wav"), Speak(MakeVoice(0), 0.5, 7), 1);
    std::ofstream(path("limits.tsv")) << "trial-0.wav\tAna\none-hz.wav\tAna\n";
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(
        EvaluateCommand(
            {"--ubm", path("ubm"), "--models", path("models"), "--tsv", path("limits.tsv")}, log),
        0);
    const std::string limitsSummary = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(log.str().find("one-hz.wav: refused: a sample rate of 1 Hz"), std::string::npos)
        << log.str();
    EXPECT_NE(limitsSummary.find("failed_trials\t1\n"), std::string::npos) << limitsSummary;

    // A trial naming a target that is not loaded is a mistake in the list, not an impostor.
    std::ofstream(path("wrong.tsv")) << "trial-0.wav\tNobody\n";
    EXPECT_EQ(
        EvaluateCommand({"--ubm", path("ubm"), "--models", path("models"), path("wrong.tsv")}, log),
        2);
    EXPECT_NE(log.str().find("'Nobody' is not a loaded target"), std::string::npos);
}

}  // namespace
}  // namespace kestrune
