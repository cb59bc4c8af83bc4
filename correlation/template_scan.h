// The scan of the correlator: a 17 x 17 template over a 76 x 76 search window,
// scoring candidate centres by their correlation coefficient.
#pragma once

namespace tarvel {

// The best candidate of a scan, in window coordinates (column and row of its
// centre, 8 to 67). A score of -1.0 means that no candidate scored; column
// and row are then 0.
struct template_match {
    double score;
    int column;
    int row;
};

// Scans `window` (76 x 76 bytes, row after row) for the 17 x 17 bytes of
// `pattern` (row after row) with the correlator's scan rule. Uses fixed
// buffers on the stack only.
template_match ScanTemplate(const unsigned char* pattern, const unsigned char* window);

}  // namespace tarvel
