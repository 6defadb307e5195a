#pragma once
// The chain's doctor: the whole diagnosis (the matrix of three EDIDs and a status, the findings
// in words, every fix with what it would give, the custom EDID built and fitted) of the demo's
// chain, and of every TV with every receiver of the test data.

#include "measure.h"

#include <vector>

namespace bench {

void doctorFigures(std::vector<Figure> &figures);

} // namespace bench
