// The tool's usage text.
#include "tool/commands.h"

namespace kestrune {

std::string UsageText() {
    return R"(usage:
  kestrune train-ubm --out DIR [--components N] [--top N] [--copies N] [--cohort N]
                     [--set NAME=VALUE]... [[--speaker LABEL] FILE...]...
  kestrune enroll [--ubm PATH] --models DIR --name NAME [--replace] [--relevance R] FILE...
  kestrune enroll [--ubm PATH] --models DIR --list NAMES.tsv [--shard K/N] [--replace] [...]
  kestrune evaluate [--ubm PATH] --models DIR [--threads N] [--tsv] [--scores FILE] TRIALS
  kestrune --help

train-ubm  trains a background model (UBM) from WAVE files of many speakers and writes
           DIR/ubm.krn.
           --components N  mixture components (default 256)
           --top N         components evaluated per frame when scoring (default 5)
           --copies N      degraded copies of each file trained on besides it: telephone
                           channels, white noise, babble (default 4)
           --cohort N      background speakers made into cohort models, which put the scores
                           of every trial on one scale (default 50)
           --set NAME=VALUE  a front-end constant (advanced; see the README)
           --speaker LABEL the speaker of the files that follow; a file before any --speaker
                           is its own speaker.
enroll     adapts a target model from WAVE files of one speaker into DIR/NAME/target.krn.
           --ubm PATH      a directory written by train-ubm, or its ubm.krn (default: the
                           background model installed with the tool)
           --models DIR    the models directory; NAME becomes a subdirectory of it
           --replace       enroll NAME anew if it exists (otherwise that is an error)
           --relevance R   MAP relevance factor (default 8)
           --list NAMES.tsv  many targets, one a line: the name, then its recordings,
                           tab-separated (relative paths from the list's folder); targets
                           already enrolled are kept unless --replace is given, so that a
                           run again after a failure enrolls only what is missing
           --shard K/N     only the list's targets whose position modulo N is K
evaluate   scores every trial of TRIALS (lines "path<TAB>name", name the true target or - for a
           speaker who is not enrolled; relative paths from the list's folder) through the
           engine library, as the Java library does, and prints top-1 identification, the EER
           over all comparisons, the open-set detection EER and the honesty of the rates.
           --ubm PATH      as for enroll
           --threads N     trials scored in parallel (default: the machine's cores)
           --tsv           the summary as measure<TAB>value lines
           --scores FILE   every comparison: trial, truth, target, logScore, FRR, FAR

Files may be 16-bit PCM, A-law or mu-law WAVE at 4 to 192 kHz and any channel count; they are
mixed to mono and resampled to 8 kHz. Files over 1 GiB or 60 minutes are refused. Names in the
output have control characters and backslashes escaped (\n, \t, \xNN, \\).
)";
}

}  // namespace kestrune
