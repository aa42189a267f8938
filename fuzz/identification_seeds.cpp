// Writes the identification fuzzer's seed corpus: one case per way through a call (each method
// and criterion, each early return, each engine answer, each undeliverable destination, each JNI
// failure, awkward names), so that fuzzing starts from every path instead of having to find
// them. The committed corpus in fuzz/corpus/identification is this program's output:
//
//   identification_seeds fuzz/corpus/identification
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "identification_case.h"
#include "support/wave_images.h"

namespace {

using fuzzcase::IdentificationCase;
using fuzzcase::Target;
using jkestrune::test::Bytes;
using jkestrune::test::Chunk;
using jkestrune::test::FormatBody;
using jkestrune::test::G711Wave;
using jkestrune::test::Pcm16Wave;
using jkestrune::test::Riff;
using jkestrune::test::SimpleWave;

std::vector<uint8_t> Mono(size_t samples) {
    std::vector<int16_t> values(samples);
    for (size_t i = 0; i < samples; ++i) {
        values[i] = static_cast<int16_t>(static_cast<int>(i * 37 % 2000) - 1000);
    }
    return Pcm16Wave(values);
}

IdentificationCase ThreeTargets() {
    IdentificationCase c;
    c.targets = {{"anna", 1500, 300, 9000}, {"bert", 2500, 100, 7000}, {"carl", 500, 900, 8000}};
    c.audio = Mono(200);
    return c;
}

struct Seed {
    std::string name;
    IdentificationCase c;
};

template <typename Change>
Seed With(std::string name, Change change) {
    Seed seed{std::move(name), ThreeTargets()};
    change(seed.c);
    return seed;
}

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    auto add = [&seeds](std::string name, auto change) {
        seeds.push_back(With(std::move(name), change));
    };

    // Success, by each method and criterion, and each decoded encoding.
    add("all_by_score", [](IdentificationCase&) {});
    add("all_by_frr_verbose", [](IdentificationCase& c) {
        c.rankBy = 1;
        c.verbose = true;
    });
    add("best_by_far", [](IdentificationCase& c) {
        c.best = true;
        c.rankBy = 2;
    });
    add("stereo_negative_rank", [](IdentificationCase& c) {
        c.rankBy = -1;
        c.audio = Pcm16Wave(std::vector<int16_t>(300, -5), 2);
    });
    add("alaw", [](IdentificationCase& c) { c.audio = G711Wave(6, {0xD5, 0x2A, 0x55}); });
    add("mulaw_three_channels", [](IdentificationCase& c) {
        c.audio = SimpleWave({7, 3, 3, 8}, {0xFF, 0, 0x80});
    });
    add("pcm8_with_unpadded_list_chunk", [](IdentificationCase& c) {
        c.audio = Riff({Chunk("fmt ", FormatBody({1, 1, 1, 8})), Chunk("LIST", Bytes(25, 'x')),
                        Chunk("data", Bytes(64, 0x90))});
    });
    add("many_tied_targets", [](IdentificationCase& c) {
        c.targets.clear();
        for (int i = 0; i < fuzzcase::kMaxTargets; ++i) {
            c.targets.push_back({"t" + std::to_string(i), i % 5, i % 3, i % 7});
        }
        c.arraySlack = 7;
    });
    add("awkward_names_verbose", [](IdentificationCase& c) {
        c.verbose = true;
        c.targets = {{std::string(256, 'z'), 1, 1, 1},
                     {std::string(255, 'y') + "\xF0", 2, 2, 2},
                     {"Zo\xC3\xAB \xF0\x9F\x8E\xA4", 3, 3, 3},
                     {"bad\xFF\xC0\xAF", 4, 4, 4},
                     {std::string("nul\0inside", 10), 5, 5, 5},
                     {"\xED\xA0\xBC\xED\xBE\xA4", 6, 6, 6},
                     {"", 7, 7, 7}};
    });

    // Calls that end before the engine.
    add("models_null", [](IdentificationCase& c) { c.modelsDirNull = true; });
    add("class_null", [](IdentificationCase& c) { c.classNameNull = true; });
    add("audio_null", [](IdentificationCase& c) { c.audioNull = true; });
    add("length_negative", [](IdentificationCase& c) {
        c.lengthMode = 2;
        c.lengthValue = -1;
    });
    add("length_beyond_array", [](IdentificationCase& c) {
        c.lengthMode = 2;
        c.lengthValue = static_cast<int32_t>(c.audio.size()) + 1;
    });
    add("length_prefix", [](IdentificationCase& c) {
        c.lengthMode = 1;
        c.lengthValue = 100;
    });
    add("not_riff", [](IdentificationCase& c) { c.audio.assign(120, 'x'); });
    add("empty_data_chunk", [](IdentificationCase& c) { c.audio = Pcm16Wave({}); });
    add("no_whole_frame", [](IdentificationCase& c) {
        c.audio = SimpleWave({1, 1, 2, 16}, {0x42});
    });
    add("more_samples_than_bytes", [](IdentificationCase& c) {
        c.audio = SimpleWave({7, 5, 1, 8}, Bytes(64, 0xD5));
    });

    // Engine answers.
    add("engine_code", [](IdentificationCase& c) { c.soundCode = 31337; });
    add("load_fails", [](IdentificationCase& c) { c.loadFails = true; });
    add("negative_count", [](IdentificationCase& c) {
        c.overrideCount = true;
        c.reportedCount = -2;
    });
    add("fewer_reported", [](IdentificationCase& c) {
        c.overrideCount = true;
        c.reportedCount = 1;
    });
    add("no_targets_best", [](IdentificationCase& c) {
        c.best = true;
        c.targets.clear();
    });

    // Destinations, most of which cannot take the results (see fuzzcase::Destination).
    const struct {
        uint8_t kind;
        bool best;
        const char* name;
    } destinations[] = {
        {fuzzcase::kNullDestination, false, "all_results_null"},
        {fuzzcase::kForeignElements, false, "all_array_of_another_class"},
        {fuzzcase::kUnknownClass, false, "all_unknown_class"},
        {fuzzcase::kDottedClassName, false, "all_dotted_class_name"},
        {fuzzcase::kMissingField, false, "all_class_missing_a_field"},
        {fuzzcase::kWrongFieldType, false, "all_class_with_long_score"},
        {fuzzcase::kObjectArray, false, "all_object_array"},
        {fuzzcase::kNullDestination, true, "best_result_null"},
        {fuzzcase::kForeignElements, true, "best_object_without_fields"},
        {fuzzcase::kUnknownClass, true, "best_object_missing_a_field"},
        {fuzzcase::kDottedClassName, true, "best_object_with_long_score"},
    };
    for (const auto& d : destinations) {
        add(d.name, [d](IdentificationCase& c) {
            c.destination = d.kind;
            c.best = d.best;
        });
    }
    add("short_array", [](IdentificationCase& c) { c.arraySlack = 0; });

    // JNI calls that fail as a JVM out of memory would: the first call of the two made once per
    // call (a string's characters, the audio copy), the second of those made per target.
    for (uint8_t call = 1; call < fuzzcase::kFailableCallCount; ++call) {
        add(std::string("failing_") + fuzzcase::kFailableCalls[call],
            [call](IdentificationCase& c) {
                c.failingCall = call;
                c.failingNth = call <= 2 ? 0 : 1;  // folded to the first or the second call
            });
    }
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    for (Seed& seed : Seeds()) {
        fuzzcase::Writer writer;
        fuzzcase::Visit(writer, seed.c);
        const std::string& name = seed.name;
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(writer.bytes().data()),
                  static_cast<std::streamsize>(writer.bytes().size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
