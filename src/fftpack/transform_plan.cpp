#include "fftpack/transform_plan.hpp"

namespace orbelix::fftpack {

TransformPlan::TransformPlan(int n) : direct_(n) {}

}  // namespace orbelix::fftpack
