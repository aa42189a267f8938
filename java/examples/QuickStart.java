import com.mirelta.requests.SpeakerIdentifier;
import com.mirelta.requests.TargetMatch;
import java.nio.file.Path;
import java.util.List;

/** Identifies the speaker of one recording among the targets the demo enrolled. */
public final class QuickStart {
    public static void main(String[] args) throws Exception {
        Path ubm = Path.of(args.length > 0 ? args[0] : "build/demo/ubm");
        Path models = Path.of(args.length > 1 ? args[1] : "build/demo/models");
        Path recording =
                Path.of(args.length > 2 ? args[2] : "build/demo/trials/george-00-pcm.wav");

        // The native library and its engine: from java.library.path, else the jar's own copy.
        SpeakerIdentifier.loadNativeLibraries();
        // The background model every identification in this process scores against.
        SpeakerIdentifier.loadBackgroundModel(ubm);

        SpeakerIdentifier identifier = SpeakerIdentifier.forModels(models);
        System.out.println(identifier.targetCount() + " targets under " + models);

        List<TargetMatch> ranking = identifier.identify(recording);  // best first
        for (TargetMatch match : ranking) {
            System.out.println(match);
        }
        System.out.println("speaker: " + ranking.get(0).name());
    }
}
