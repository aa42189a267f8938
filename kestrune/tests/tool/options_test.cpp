// The tool's options come from their descriptors: every command takes each of its options by
// name and refuses values outside the range, asks for help after any command, and the docs'
// table of constants is the one the tool prints.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "core/enrollment/enrollment_options.h"
#include "core/frontend/front_end_fields.h"
#include "core/models/background_training.h"
#include "tool/commands.h"
#include "tool/evaluate_options.h"

namespace kestrune {
namespace {

using Args = std::vector<std::string>;

struct ToolRun {
    int code;
    std::string out, log;
};

ToolRun RunArgs(const Args& args) {
    std::ostringstream out, log;
    const int code = RunTool(args, out, log);
    return {code, out.str(), log.str()};
}

// Each option just outside its range, through the command that owns it: refused as a usage
// error that names the option and its range, before any file is read.
TEST(ToolOptions, ValuesOutsideTheRangeAreRefusedByName) {
    struct Case {
        Args args;
        const char* logHas;
    } const cases[] = {
        {{"train-ubm", "--out", "d", "--components", "4097", "a.wav"},
         "--components takes 0 to 4096, not '4097'"},
        {{"train-ubm", "--out", "d", "--top", "0", "a.wav"}, "--top takes 1 to 4096"},
        {{"train-ubm", "--out", "d", "--copies", "17", "a.wav"}, "--copies takes 0 to 16"},
        {{"train-ubm", "--out", "d", "--cohort", "1001", "a.wav"}, "--cohort takes 2 to 1000"},
        {{"train-ubm", "--out", "d", "--cohort"}, "--cohort needs a value"},
        {{"train-ubm", "--out", "d", "--set", "preEmphasis=1", "a.wav"},
         "preEmphasis takes 0 to 0.9999"},
        {{"train-ubm", "--out", "d", "--set", "deltaOrder=3", "a.wav"}, "deltaOrder takes 0 to 2"},
        {{"enroll", "--models", "m", "--name", "x", "--relevance", "1000001", "a.wav"},
         "--relevance takes 0 to 1000000"},
        {{"enroll", "--models", "m", "--name", "x", "--relevance", "nan", "a.wav"},
         "'nan' is not a value for relevance"},
        {{"evaluate", "--models", "m", "--threads", "257", "t.tsv"}, "--threads takes 1 to 256"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunArgs(c.args);
        EXPECT_EQ(run.code, 2) << c.args[0] << " " << c.args[c.args.size() - 2];
        EXPECT_NE(run.log.find(c.logHas), std::string::npos) << run.log;
    }
}

// --help or -h anywhere after a command shows that command's help on the output and succeeds,
// even on a line that would otherwise fail.
TEST(ToolOptions, HelpAfterAnyCommandShowsItsHelp) {
    struct Case {
        Args args;
        const char* own;
        const char* others[2];
    } const cases[] = {
        {{"train-ubm", "--help"}, "train-ubm  trains", {"enroll     adapts", "evaluate   scores"}},
        {{"train-ubm", "--out", "d", "--components", "0", "-h"},
         "mixture components; 0 chooses",
         {"MAP relevance factor", "trials scored in parallel"}},
        {{"enroll", "-h"}, "MAP relevance factor", {"train-ubm  trains", "trials scored in"}},
        {{"evaluate", "--models", "m", "--help"},
         "trials scored in parallel",
         {"mixture components (default", "--shard K/N     only"}},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunArgs(c.args);
        EXPECT_EQ(run.code, 0) << c.args[0] << ": " << run.log;
        EXPECT_EQ(run.log, "");
        EXPECT_NE(run.out.find(c.own), std::string::npos) << run.out;
        for (const char* other : c.others) {
            EXPECT_EQ(run.out.find(other), std::string::npos) << other << " in " << run.out;
        }
    }
    EXPECT_EQ(RunArgs({"--help"}).out, UsageText());
    EXPECT_EQ(RunArgs({"train-upm", "--help"}).code, 2);  // not a command: no help to give
    EXPECT_EQ(RunArgs({}).code, 2);
}

// Every option of every table is in the usage text with the default its struct holds, and in
// the table of constants.
TEST(ToolOptions, UsageAndConstantsListEveryOptionWithItsDefault) {
    const std::string usage = UsageText();
    const std::string constants = ConstantsText();
    const auto check = [&](const std::vector<OptionText>& rows, bool inUsage) {
        for (const OptionText& row : rows) {
            EXPECT_NE(constants.find("| `" + row.name + "` | " + row.defaultValue + " | " +
                                     row.range + " |"),
                      std::string::npos)
                << row.name;
            if (inUsage) {
                // The option's line and the lines that continue it, indented past its column.
                const size_t start = usage.find(std::string("\n           --")
                                                    .append(row.name)
                                                    .append(row.count ? " N " : " R "));
                ASSERT_NE(start, std::string::npos) << row.name;
                size_t end = usage.find('\n', start + 1);
                while (usage.compare(end + 1, 27, std::string(27, ' ')) == 0) {
                    end = usage.find('\n', end + 1);
                }
                EXPECT_TRUE(usage.substr(start, end - start)
                                .ends_with("(default " + row.defaultValue + "; " + row.range + ")"))
                    << usage.substr(start, end - start);
            }
        }
    };
    check(OptionTexts(FrontEndFields()), false);
    check(OptionTexts(BackgroundOptionFields()), true);
    check(OptionTexts(EnrollmentOptionFields()), true);
    check(OptionTexts(EvaluateOptionFields()), true);
    // The defaults are the structs' own, wherever the texts come from.
    EXPECT_NE(usage.find("--components N"), std::string::npos);
    EXPECT_NE(constants.find("| `components` | " + std::to_string(BackgroundOptions{}.components)),
              std::string::npos);
    EXPECT_EQ(RunArgs({"--constants"}).out, constants);
}

TEST(ToolOptions, TheDocsShowTheConstantsTheToolPrints) {
    std::ifstream in(KESTRUNE_DOCS_DIR "/CONSTANTS.md");
    ASSERT_TRUE(in) << "cannot read docs/CONSTANTS.md";
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(doc.find(ConstantsText()), std::string::npos)
        << "docs/CONSTANTS.md must show the tables kestrune --constants prints:\n"
        << ConstantsText();
}

}  // namespace
}  // namespace kestrune
