package com.mirelta.requests;

/**
 * Run in a child JVM by {@link VerboseOutputTest}: one verbose identification between two lines
 * of Java output, so that the test sees the library's lines, their order and their flushing.
 */
public final class VerboseLogProgram {
    private VerboseLogProgram() {}

    public static void main(String[] args) {
        // In the JVM's default locale, which it takes from the environment: proves which
        // decimal separator the process is set up with.
        System.out.println("java before " + String.format("%.1f", 0.5));
        System.out.flush();
        byte[] audio = WaveFiles.anyRecording();
        int code = args.length > 0 && args[0].equals("best")
                ? LoadManager.VerifyDataWithGetMaxProbability(audio, audio.length, "/models",
                        LoadManager.RANK_BY_FRR, new TargetResult(), true)
                : LoadManager.VerifyDataWithGetAll(audio, audio.length, "/models",
                        LoadManager.RANK_BY_FRR, TargetResult.JNI_NAME, new Object[8], true);
        System.out.println("java after " + code);
        System.out.flush();
    }
}
