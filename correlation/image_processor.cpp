// tarvel::CImageProcessor: the empty base of the image-processing operations.
#include "correlation/correlation.h"

namespace tarvel {

CImageProcessor::~CImageProcessor() = default;

}  // namespace tarvel
