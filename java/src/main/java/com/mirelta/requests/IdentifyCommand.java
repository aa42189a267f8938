package com.mirelta.requests;

import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;

/**
 * Command-line identification: ranks the enrolled targets for each WAVE file.
 *
 * <pre>
 * java -Djava.library.path=build/lib -jar build/java/jkestrune.jar --models DIR [--ubm PATH]
 *      [--rank score|frr|far] [--best] [--verbose] [--tsv] FILE...
 * </pre>
 *
 * Exit status: 0 when every file was identified, 1 when any call returned an error code, 2 for
 * bad usage or an unreadable file, 3 when the background models could not be loaded.
 */
public final class IdentifyCommand {
    static final int EXIT_OK = 0;
    static final int EXIT_CALL_FAILED = 1;
    static final int EXIT_USAGE = 2;
    static final int EXIT_NO_BACKGROUND = 3;

    static final String USAGE = String.join("\n",
            "Usage: java -Djava.library.path=LIBDIR -jar jkestrune.jar --models DIR [options] FILE...",
            "",
            "Identifies the speaker of each WAVE file (16-bit PCM, A-law or mu-law) against the",
            "targets enrolled under DIR and prints the ranking.",
            "",
            "Options:",
            "  --models DIR            directory of enrolled target models (required)",
            "  --ubm PATH              load the background models from PATH first",
            "  --rank score|frr|far    ranking criterion (default: score)",
            "  --best                  report only the best target",
            "  --verbose               let the library print its own log lines",
            "  --tsv                   tab-separated rows: file, rank, target, score, FRR %, FAR %",
            "  --help                  show this help",
            "",
            "Exit status: 0 all identified, 1 an error code, 2 bad usage, 3 background not loaded.",
            "");

    /** The ranking criteria: the --rank value, the library's rankBy, the name in the heading. */
    private enum Criterion {
        SCORE("score", LoadManager.RANK_BY_SCORE, "score"),
        FRR("frr", LoadManager.RANK_BY_FRR, "false-rejection rate"),
        FAR("far", LoadManager.RANK_BY_FAR, "false-acceptance rate");

        final String option;
        final int rankBy;
        final String heading;

        Criterion(String option, int rankBy, String heading) {
            this.option = option;
            this.rankBy = rankBy;
            this.heading = heading;
        }
    }

    private String modelsDir;
    private String ubmPath;
    private Criterion criterion = Criterion.SCORE;
    private boolean best;
    private boolean verbose;
    private boolean tsv;
    private final List<String> files = new ArrayList<>();

    private IdentifyCommand() {}

    /**
     * Runs the command and exits with its status.
     *
     * @param args the command line, as in the usage above ({@code --help} prints it in full)
     */
    public static void main(String[] args) {
        System.exit(run(args, System.out, System.err));
    }

    /** Runs the command; returns its exit status. */
    static int run(String[] args, PrintStream out, PrintStream err) {
        IdentifyCommand command = new IdentifyCommand();
        String problem = command.parse(args);
        if (problem != null) {
            if (problem.isEmpty()) {
                out.print(USAGE);
                return EXIT_OK;
            }
            err.println("error: " + problem);
            err.print(USAGE);
            return EXIT_USAGE;
        }
        return command.execute(out, err);
    }

    /** Returns null when the arguments are usable, "" for --help, or what is wrong. */
    private String parse(String[] args) {
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            switch (arg) {
                case "--help":
                case "-h":
                    return "";
                case "--best":
                    best = true;
                    break;
                case "--verbose":
                    verbose = true;
                    break;
                case "--tsv":
                    tsv = true;
                    break;
                case "--models":
                case "--ubm":
                case "--rank":
                    if (i + 1 >= args.length) {
                        return arg + " needs a value";
                    }
                    String value = args[++i];
                    if (arg.equals("--models")) {
                        modelsDir = value;
                    } else if (arg.equals("--ubm")) {
                        ubmPath = value;
                    } else {
                        criterion = Arrays.stream(Criterion.values())
                                .filter(c -> c.option.equals(value)).findFirst().orElse(null);
                        if (criterion == null) {
                            return "--rank takes score, frr or far, not '" + value + "'";
                        }
                    }
                    break;
                default:
                    if (arg.startsWith("--")) {
                        return "unknown option " + arg;
                    }
                    files.add(arg);
            }
        }
        if (modelsDir == null) {
            return "--models DIR is required";
        }
        if (files.isEmpty()) {
            return "no WAVE file given";
        }
        return null;
    }

    private int execute(PrintStream out, PrintStream err) {
        if (ubmPath != null && !LoadManager.LoadBgModels(ubmPath)) {
            err.println("error: the engine could not load the background models from " + ubmPath);
            return EXIT_NO_BACKGROUND;
        }
        int status = EXIT_OK;
        for (String file : files) {
            byte[] audio;
            try {
                audio = Files.readAllBytes(Path.of(file));
            } catch (IOException | RuntimeException e) {
                err.println(file + ": cannot read: " + e.getMessage());
                status = Math.max(status, EXIT_USAGE);
                continue;
            }
            List<TargetResult> ranking = new ArrayList<>();
            int code = identify(audio, ranking);
            if (code != LoadManager.OK) {
                err.println(file + ": error " + code + " " + describe(code));
                status = Math.max(status, EXIT_CALL_FAILED);
                continue;
            }
            print(out, file, ranking);
        }
        out.flush();
        return status;
    }

    private int identify(byte[] audio, List<TargetResult> ranking) {
        if (best) {
            TargetResult result = new TargetResult();
            int code = LoadManager.VerifyDataWithGetMaxProbability(audio, audio.length, modelsDir,
                    criterion.rankBy, result, verbose);
            if (code == LoadManager.OK && result.target_name != null) {
                ranking.add(result);
            }
            return code;
        }
        // The engine loads the targets it counts here; one slot more than needed costs nothing.
        int quantity = Math.max(0, LoadManager.GetTargetQuantity(modelsDir));
        TargetResult[] results = new TargetResult[quantity];
        int code = LoadManager.VerifyDataWithGetAll(audio, audio.length, modelsDir,
                criterion.rankBy, TargetResult.JNI_NAME, results, verbose);
        for (TargetResult result : results) {
            if (result != null) {
                ranking.add(result);
            }
        }
        return code;
    }

    private void print(PrintStream out, String file, List<TargetResult> ranking) {
        if (tsv) {
            for (int rank = 0; rank < ranking.size(); rank++) {
                TargetResult r = ranking.get(rank);
                out.printf(Locale.ROOT, "%s\t%d\t%s\t%s\t%s\t%s%n", file, rank + 1,
                        r.target_name, thousandths(r.logScore), thousandths(r.errorFR_percent),
                        thousandths(r.errorFA_percent));
            }
            return;
        }
        out.printf(Locale.ROOT, "%s: %d target%s ranked by %s%n", file, ranking.size(),
                ranking.size() == 1 ? "" : "s", criterion.heading);
        int width = "target".length();
        for (TargetResult r : ranking) {
            width = Math.max(width, r.target_name.length());
        }
        String row = "%4s  %-" + width + "s  %10s  %8s  %8s%n";
        out.printf(Locale.ROOT, row, "rank", "target", "score", "FRR %", "FAR %");
        for (int rank = 0; rank < ranking.size(); rank++) {
            TargetResult r = ranking.get(rank);
            out.printf(Locale.ROOT, row, rank + 1, r.target_name, thousandths(r.logScore),
                    thousandths(r.errorFR_percent), thousandths(r.errorFA_percent));
        }
    }

    /** A score or rate in thousandths as its value, to three decimals. */
    private static String thousandths(int value) {
        return String.format(Locale.ROOT, "%.3f", value / 1000.0);
    }

    /** The name and meaning of a return code. */
    static String describe(int code) {
        switch (code) {
            case LoadManager.OK:
                return "OK: success";
            case LoadManager.ERR_NULL_ARGUMENT:
                return "ERR_NULL_ARGUMENT: a required argument is null";
            case LoadManager.ERR_INVALID_ARGUMENT:
                return "ERR_INVALID_ARGUMENT: the audio length does not fit the audio array";
            case LoadManager.ERR_OUT_OF_MEMORY:
                return "ERR_OUT_OF_MEMORY: a native buffer or string could not be allocated";
            case LoadManager.ERR_RESULT_DELIVERY:
                return "ERR_RESULT_DELIVERY: the results could not be delivered";
            case LoadManager.ERR_ENGINE_CONTRACT:
                return "ERR_ENGINE_CONTRACT: the engine reported a negative number of targets";
            case LoadManager.ERR_NO_AUDIO:
                return "ERR_NO_AUDIO: no readable WAVE audio (not a WAVE file, or no data)";
            default:
                return "engine error: the engine's own code";
        }
    }
}
