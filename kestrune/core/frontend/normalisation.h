// Normalisation: per-recording removal of what a channel adds to the features, over the speech
// frames of one recording, as a step apart from Compute so that a caller can cut a recording
// into segments first.
#pragma once

#include "core/base/matrix.h"
#include "core/frontend/front_end_config.h"

namespace kestrune {

// Per-recording normalisation over the rows of `features`: subtracts each column's mean, and
// when `variance` is set divides it by its standard deviation. Does nothing to an empty matrix.
void NormaliseFeatures(FeatureMatrix& features, bool variance);

// The normalisation `config` asks for, over the speech frames of one recording: sliding mean
// (and variance) normalisation of every coefficient, or warping of the cepstra.
void NormaliseRecording(FeatureMatrix& features, const FrontEndConfig& config);

// Feature warping (short-time Gaussianisation): each coefficient of each row is replaced by the
// standard normal quantile of its rank among the `window` rows around it (the window kept
// inside the recording; a recording of at most `window` rows is warped as a whole), so that
// every coefficient follows N(0, 1) over any stretch of speech whatever the channel did to it.
void WarpFeatures(FeatureMatrix& features, Eigen::Index window);

// Sliding normalisation: each row is normalised by the statistics of the `window` rows around
// it (the window kept inside the recording, so it is shifted, not shrunk, at the edges). A
// recording of at most `window` rows, or a window of 0, is normalised as a whole.
void NormaliseSliding(FeatureMatrix& features, Eigen::Index window, bool variance);

}  // namespace kestrune
