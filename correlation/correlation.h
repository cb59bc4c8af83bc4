// tarvel::CImageCorrelator_targeting: refines a target point of one host image
// in a second host image by normalised cross-correlation of a 17 x 17 template
// over a 76 x 76 search window.
#pragma once

#include "host/image.h"
#include "host/zun.h"

namespace tarvel {

// The empty base of the image-processing operations.
//
// Owns: nothing. Copies and assignment copy nothing.
// Threads: no state; any thread.
class CImageProcessor {
  public:
    virtual ~CImageProcessor();

  protected:
    CImageProcessor() = default;
    CImageProcessor(const CImageProcessor&) = default;
    CImageProcessor& operator=(const CImageProcessor&) = default;
};

// Why the last Execute of a correlator returned false.
enum class correlation_failure {
    none,
    first_point_near_border,   // the template would leave the first image
    second_point_near_border,  // the search window would leave the second image
};

// Finds, in the second image, the point that looks most like a target point
// of the first image.
//
// Coordinates: points are pixel positions with x counted from the left edge
// and y counted upwards from the bottom edge; row = image height - y. Only x
// and y are used. Both images are read at layer 0, channel 0.
//
// The scan: a 17 x 17 template around the target (its top-left pixel at the
// truncated point minus 8) is compared with every candidate centre 8 to 67 of
// a 76 x 76 window whose top-left pixel is the truncated second point minus
// 38, column by column from the left, each column from the top. A candidate
// scores the correlation coefficient r = cov / sqrt(var) unless cov < 0 or
// var <= 0; only a strictly higher score replaces the best, so of equal
// scores the first scanned wins. After a candidate that does not become the
// best the scan skips the next row. The result is the best centre plus the
// fractional parts of the target's x and row, converted back to the caller's
// coordinates.
//
// Owns: the two points, the result and its factor. It refers to the two images
// without owning them: the caller keeps both alive while the correlator is
// used, and copies refer to the same images.
// Pins: none. Execute reads each image exactly once through GetRegion, into
// fixed-size buffers on the stack; nothing is allocated on the heap.
// Failure: Execute returns false, leaving the result point and factor as they
// were, when the first point lies closer than 10 pixels (8 for the template,
// 2 more) to a border of the first image, or the second point closer than 40
// (38 for the search window, 2 more) to a border of the second image; no
// region read ever leaves an image. GetFailure tells which. An image with a
// side beyond INT_MAX, which region reads cannot address, refuses every
// point. When no candidate scores, Execute returns true with the factor -1.0
// and the second point truncated to whole pixels as result.
// Before the first successful Execute the result point is the second point
// and the factor -1.0; z of the result is always the second point's z.
// Threads: the caller's; one Execute at a time per image, since region reads
// update the images' caches.
class CImageCorrelator_targeting : public CImageProcessor {
  public:
    static constexpr int kTemplateHalf = 8;  // template 17 x 17
    static constexpr int kBorderMargin = 2;  // kept free beyond the template or window
    static constexpr int kSearchHalf = 38;   // window -38 .. +37 around the second point
    static constexpr int kFirstCentre = 8;   // candidate centres inside the window,
    static constexpr int kLastCentre = 67;   // along each axis, first and last
    static constexpr int kTemplateSide = 2 * kTemplateHalf + 1;
    static constexpr int kSearchSide = 2 * kSearchHalf;
    // The least distance from a border, in pixels, of each point.
    static constexpr int kFirstPointMargin = kTemplateHalf + kBorderMargin;
    static constexpr int kSecondPointMargin = kSearchHalf + kBorderMargin;

    CImageCorrelator_targeting(KORBAS::CImage& first, KORBAS::CImage& second,
                               const zun::geom::PNT_3D& firstPoint,
                               const zun::geom::PNT_3D& secondPoint);
    CImageCorrelator_targeting(const CImageCorrelator_targeting&) = default;
    CImageCorrelator_targeting& operator=(const CImageCorrelator_targeting&) = delete;
    ~CImageCorrelator_targeting() override;

    // Runs the correlation. False when a point is too near its image's
    // border; true otherwise, also when no position scored.
    bool Execute();
    // The best correlation coefficient, 0 to 1, or -1.0 when nothing scored.
    double GetFactor() const { return m_factor; }
    // The refined position in the second image.
    zun::geom::PNT_3D GetPoint() const { return m_resultPoint; }
    // Why the last Execute returned false; none after a successful one.
    correlation_failure GetFailure() const { return m_failure; }
    // The same as one sentence, empty after a successful Execute.
    const char* GetError() const;

  private:
    KORBAS::CImage& m_first;
    KORBAS::CImage& m_second;
    zun::geom::PNT_3D m_firstPoint;
    zun::geom::PNT_3D m_secondPoint;
    zun::geom::PNT_3D m_resultPoint;
    double m_factor;
    correlation_failure m_failure = correlation_failure::none;
};

}  // namespace tarvel
