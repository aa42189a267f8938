/**
 * Speaker identification in Java through the jkestrune native library and its engine kestrune.
 *
 * <p>{@link com.mirelta.requests.SpeakerIdentifier} is the plain Java interface: it loads a
 * background model, identifies a WAVE recording given as a path, bytes or a stream, and returns
 * the targets best first as immutable {@link com.mirelta.requests.TargetMatch} values, reporting a
 * non-zero return code as an {@link com.mirelta.requests.IdentificationException}.
 * {@link com.mirelta.requests.LoadManager} holds the native methods themselves, with
 * {@link com.mirelta.requests.TargetResult} the result class they fill in.
 * {@link com.mirelta.requests.IdentifyCommand} is the command-line tool.
 *
 * <p>Scores and rates are integers in thousandths throughout. A target's false-rejection rate
 * (FRR) is the share of its own recordings that score lower than the one identified: high is
 * good. Its false-acceptance rate (FAR) is the share of other speakers' recordings that
 * score as high or higher: low is good.
 */
package com.mirelta.requests;
