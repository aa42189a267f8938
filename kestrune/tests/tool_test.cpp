// The kestrune tool's commands: argument handling, WAVE input at other rates and channel
// counts, and a background model and a target written by them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/model_files.h"
#include "core/training.h"
#include "support/synthetic.h"
#include "support/wave_writer.h"
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
        {"--out", "dir", "--components", "0", "a.wav"},
        {"--out", "dir", "--components", "many", "a.wav"},
        {"--out", "dir", "--components", "4", "--top", "5", "a.wav"},
        {"--out", "dir", "--colour", "a.wav"},
        {"--out", "dir", "--hold-out", "1", "a.wav"},
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

TEST(Tool, TrainsABackgroundModelAndEnrollsATarget) {
    const TempDirectory directory("tool");
    const auto path = [&](const std::string& name) { return (directory.path() / name).string(); };
    Args train = {"--out", path("ubm"), "--components", "8", "--hold-out", "0.5"};
    for (int voice = 0; voice < 3; ++voice) {
        train.push_back("--speaker");
        train.push_back("voice-" + std::to_string(voice));
        for (int part = 0; part < 4; ++part) {
            const std::string file =
                path("bg-" + std::to_string(voice) + "-" + std::to_string(part) + ".wav");
            WriteWave(file, Speak(MakeVoice(voice), 1.5, 10 * voice + part), 8000);
            train.push_back(file);
        }
    }
    std::ostringstream log;
    ASSERT_EQ(TrainUbmCommand(train, log), 0) << log.str();
    EXPECT_NE(log.str().find("EM pass"), std::string::npos);

    WriteWave(path("enroll.wav"), Speak(MakeVoice(1), 6.0, 99), 16000 / 2);
    ASSERT_EQ(EnrollCommand({"--ubm", path("ubm"), "--models", path("models"), "--name", "Zoë",
                             "--speaker", "voice-1", path("enroll.wav")},
                            log),
              0)
        << log.str();

    std::shared_ptr<const Background> ubm;
    std::vector<LabelledFeatures> impostors;
    std::string error;
    ASSERT_TRUE(ReadBackgroundDirectory(path("ubm"), ubm, impostors, error)) << error;
    EXPECT_EQ(ubm->gmm().Components(), 8);
    // About half of the twelve files are held out as impostor speech, with their speakers.
    EXPECT_GE(impostors.size(), 3u);
    EXPECT_LE(impostors.size(), 9u);
    for (const LabelledFeatures& impostor : impostors) {
        EXPECT_EQ(impostor.label.rfind("voice-", 0), 0u) << impostor.label;
    }
    std::vector<uint8_t> bytes;
    TargetModel target;
    ASSERT_TRUE(ReadWholeFile(directory.path() / "models" / "Zoë" / kTargetFileName,
                              kMaxModelFileBytes, bytes, error))
        << error;
    ASSERT_TRUE(DecodeTarget(bytes, target, error)) << error;
    EXPECT_TRUE(TargetFitsBackground(target, *ubm));

    EXPECT_EQ(EnrollCommand({"--ubm", path("nowhere"), "--models", path("models"), "--name", "x",
                             path("enroll.wav")},
                            log),
              1);
    EXPECT_EQ(EnrollCommand({"--ubm", path("ubm"), "--models", path("models"), "--name", "x",
                             path("missing.wav")},
                            log),
              1);
    // Enrolling the only background speaker leaves no impostors.
    EXPECT_EQ(TrainUbmCommand({"--out", path("solo"), "--components", "2", "--hold-out", "0",
                               "--speaker", "s", path("enroll.wav")},
                              log),
              0)
        << log.str();
    EXPECT_EQ(EnrollCommand({"--ubm", path("solo"), "--models", path("models"), "--name", "s",
                             path("enroll.wav")},
                            log),
              1);
    EXPECT_NE(log.str().find("no impostor speech"), std::string::npos);
}

}  // namespace
}  // namespace kestrune
