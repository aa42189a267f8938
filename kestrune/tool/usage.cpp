// The tool's usage text and its table of constants. Every option that takes a number is listed
// from its descriptor (core/base/option_table.h), with its default and range, so that neither
// is written here.
#include "core/enrollment/enrollment_options.h"
#include "core/frontend/front_end_fields.h"
#include "core/models/background_training.h"
#include "tool/commands.h"
#include "tool/evaluate_options.h"

namespace kestrune {
namespace {

constexpr char kIndent[] = "           ";

template <typename Options>
std::string Lines(std::span<const OptionField<Options>> table) {
    return UsageOptionLines(OptionTexts(table), kIndent, "--");
}

template <typename Options>
std::string Table(std::span<const OptionField<Options>> table) {
    return MarkdownOptionTable(OptionTexts(table));
}

constexpr char kSynopsis[] = R"(usage:
  kestrune train-ubm --out DIR [--components N] [--top N] [--copies N] [--cohort N]
                     [--set NAME=VALUE]... [[--speaker LABEL] FILE...]...
  kestrune enroll [--ubm PATH] --models DIR --name NAME [--replace] [--relevance R] FILE...
  kestrune enroll [--ubm PATH] --models DIR --list NAMES.tsv [--shard K/N] [--replace] [...]
  kestrune evaluate [--ubm PATH] --models DIR [--threads N] [--tsv] [--scores FILE] TRIALS
  kestrune COMMAND --help
  kestrune --constants
  kestrune --help

)";

constexpr char kInput[] = R"(
Files may be 16-bit PCM, A-law or mu-law WAVE at 4 to 192 kHz and any channel count; they are
mixed to mono and resampled to 8 kHz. Files over 1 GiB or 60 minutes are refused. Names in the
output have control characters and backslashes escaped (\n, \t, \xNN, \\).
)";

std::string TrainUbmText() {
    std::string text =
        R"(train-ubm  trains a background model (UBM) from WAVE files of many speakers and writes
           DIR/ubm.krn.
)";
    text += Lines(BackgroundOptionFields());
    text += R"(           --set NAME=VALUE  a front-end constant (advanced; kestrune --constants
                           lists them with their defaults and ranges)
           --speaker LABEL the speaker of the files that follow; a file before any --speaker
                           is its own speaker.
)";
    return text;
}

std::string EnrollText() {
    std::string text =
        R"(enroll     adapts a target model from WAVE files of one speaker into DIR/NAME/target.krn.
           --ubm PATH      a directory written by train-ubm, or its ubm.krn (default: the
                           background model installed with the tool)
           --models DIR    the models directory; NAME becomes a subdirectory of it
           --replace       enroll NAME anew if it exists (otherwise that is an error)
)";
    text += Lines(EnrollmentOptionFields());
    text += R"(           --list NAMES.tsv  many targets, one a line: the name, then its recordings,
                           tab-separated (relative paths from the list's folder); targets
                           already enrolled are kept unless --replace is given, so that a
                           run again after a failure enrolls only what is missing
           --shard K/N     only the list's targets whose position modulo N is K
)";
    return text;
}

std::string EvaluateText() {
    std::string text =
        R"(evaluate   scores every trial of TRIALS (lines "path<TAB>name", name the true target or - for a
           speaker who is not enrolled; relative paths from the list's folder) through the
           engine library, as the Java library does, and prints top-1 identification, the EER
           over all comparisons, the open-set detection EER and the honesty of the rates.
           --ubm PATH      as for enroll
)";
    text += Lines(EvaluateOptionFields());
    text += R"(           --tsv           the summary as measure<TAB>value lines
           --scores FILE   every comparison: trial, truth, target, logScore, FRR, FAR
)";
    return text;
}

}  // namespace

std::string CommandUsage(const std::string& command) {
    if (command == "train-ubm") {
        return std::string(kSynopsis).append(TrainUbmText()).append(kInput);
    }
    if (command == "enroll") {
        return std::string(kSynopsis).append(EnrollText()).append(kInput);
    }
    if (command == "evaluate") {
        return std::string(kSynopsis).append(EvaluateText()).append(kInput);
    }
    return UsageText();
}

std::string UsageText() {
    return std::string(kSynopsis)
        .append(TrainUbmText())
        .append(EnrollText())
        .append(EvaluateText())
        .append(kInput);
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

std::string ConstantsText() {
    std::string text =
        "### Front end (`kestrune train-ubm --set NAME=VALUE`; stored in the "
        "background model)\n\n";
    text += Table(FrontEndFields());
    text += "\n### Background training (`kestrune train-ubm --NAME VALUE`)\n\n";
    text += Table(BackgroundOptionFields());
    text += "\n### Enrollment (`kestrune enroll --NAME VALUE`)\n\n";
    text += Table(EnrollmentOptionFields());
    text += "\n### Evaluation (`kestrune evaluate --NAME VALUE`)\n\n";
    text += Table(EvaluateOptionFields());
    return text;
}

}  // namespace kestrune
