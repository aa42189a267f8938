// The matrix types of the engine. Feature matrices hold one frame per row, so that a block of
// frames times a block of model vectors is one matrix product.
#pragma once

#include <Eigen/Core>

namespace kestrune {

using FeatureMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using FloatMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using DoubleMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

}  // namespace kestrune
