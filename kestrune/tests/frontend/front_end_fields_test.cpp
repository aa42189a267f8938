// Front-end constants set by name: every name reaches its own field, and nothing else does.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "core/frontend/front_end_fields.h"

namespace kestrune {
namespace {

// Every field the tool can set, with a value unlike its default, and how to read it back.
struct Settable {
    const char* name;
    const char* value;
    std::function<double(const FrontEndConfig&)> read;
    double expected;
};

const Settable kSettable[] = {
    {"frameLength", "240", [](const FrontEndConfig& c) { return c.frameLength; }, 240},
    {"frameShift", "60", [](const FrontEndConfig& c) { return c.frameShift; }, 60},
    {"fftSize", "512", [](const FrontEndConfig& c) { return c.fftSize; }, 512},
    {"filterCount", "30", [](const FrontEndConfig& c) { return c.filterCount; }, 30},
    {"lowHz", "133.5", [](const FrontEndConfig& c) { return c.lowHz; }, 133.5},
    {"highHz", "3700.25", [](const FrontEndConfig& c) { return c.highHz; }, 3700.25},
    {"cepstra", "13", [](const FrontEndConfig& c) { return c.cepstra; }, 13},
    {"firstCepstrum", "1", [](const FrontEndConfig& c) { return c.firstCepstrum; }, 1},
    {"deltaWindow", "3", [](const FrontEndConfig& c) { return c.deltaWindow; }, 3},
    {"deltaOrder", "2", [](const FrontEndConfig& c) { return c.deltaOrder; }, 2},
    {"preEmphasis", "0.5", [](const FrontEndConfig& c) { return c.preEmphasis; }, 0.5},
    {"vadRangeDb", "35", [](const FrontEndConfig& c) { return c.vadRangeDb; }, 35},
    {"vadFloorDb", "-60.5", [](const FrontEndConfig& c) { return c.vadFloorDb; }, -60.5},
    {"varianceNormalise", "1", [](const FrontEndConfig& c) { return c.varianceNormalise; }, 1},
    {"normaliseWindow", "0", [](const FrontEndConfig& c) { return c.normaliseWindow; }, 0},
    {"warping", "0", [](const FrontEndConfig& c) { return c.warping; }, 0},
    {"vadNoiseMarginDb", "4.5", [](const FrontEndConfig& c) { return c.vadNoiseMarginDb; }, 4.5},
    {"linearFilters", "1", [](const FrontEndConfig& c) { return c.linearFilters; }, 1},
};

// The configuration's bytes that differ from the default's: a name that reached the wrong field
// (or two fields) changes other bytes than its own.
size_t ChangedBytes(const FrontEndConfig& config) {
    const FrontEndConfig defaults;
    size_t changed = 0;
    const auto* a = reinterpret_cast<const unsigned char*>(&config);
    const auto* b = reinterpret_cast<const unsigned char*>(&defaults);
    for (size_t i = 0; i < sizeof config; ++i) {
        changed += a[i] != b[i];
    }
    return changed;
}

TEST(FrontEndFields, EachNameSetsItsOwnFieldOnly) {
    for (const Settable& field : kSettable) {
        FrontEndConfig config;
        std::string error;
        ASSERT_TRUE(SetFrontEndField(config, field.name, field.value, error))
            << field.name << ": " << error;
        EXPECT_EQ(field.read(config), field.expected) << field.name;
        // Every field is 4 bytes wide; the new value differs from the default in at least one.
        EXPECT_GE(ChangedBytes(config), 1u) << field.name;
        EXPECT_LE(ChangedBytes(config), 4u) << field.name << " changed more than one field";
    }
}

TEST(FrontEndFields, NamesListedAreExactlyTheSettableOnes) {
    std::istringstream listed(FrontEndFieldNames());
    std::vector<std::string> names;
    for (std::string name; listed >> name;) {
        names.push_back(name);
    }
    ASSERT_EQ(names.size(), std::size(kSettable));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], kSettable[i].name);
    }
}

TEST(FrontEndFields, BadNamesAndValuesAreRefusedAndLeaveTheConfigAlone) {
    struct Case {
        const char* name;
        const char* value;
        const char* errorHas;
    } const cases[] = {
        {"frameLenght", "200", "no front-end constant is called 'frameLenght'"},
        {"", "1", "known: frameLength"},
        {"sampleRate", "16000", "no front-end constant"},  // fixed: not settable
        {"telephoneBand", "1", "no front-end constant"},
        {"frameLength", "", "'' is not a value for frameLength"},
        {"frameLength", "200x", "is not a value"},
        {"frameLength", "-1", "is not a value"},
        {"frameLength", "4294967296", "is not a value"},  // beyond 32 bits
        {"frameLength", "2.5", "is not a value"},
        {"preEmphasis", "0.9.7", "is not a value"},
        {"preEmphasis", " 0.9", "is not a value"},
        {"lowHz", "1e999", "is not a value"},
    };
    for (const Case& c : cases) {
        FrontEndConfig config;
        std::string error;
        EXPECT_FALSE(SetFrontEndField(config, c.name, c.value, error)) << c.name << "=" << c.value;
        EXPECT_NE(error.find(c.errorHas), std::string::npos) << error;
        EXPECT_EQ(ChangedBytes(config), 0u) << c.name << "=" << c.value;
    }
}

}  // namespace
}  // namespace kestrune
