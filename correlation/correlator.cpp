// tarvel::CImageCorrelator_targeting: border checks, the two region reads and
// the conversions between the caller's bottom-up points and top-down rows.
#include <climits>
#include <cmath>

#include "correlation/correlation.h"
#include "correlation/template_scan.h"

namespace tarvel {

namespace {

using correlator = CImageCorrelator_targeting;
static_assert(correlator::kFirstPointMargin == 10 && correlator::kSecondPointMargin == 40,
              "GetError names these margins");

// Whether `point` keeps `margin` pixels from every border of a width x height
// image. A coordinate that is not a number fails, and so does every point of
// an image with a side beyond INT_MAX, which region reads cannot address.
bool keeps_margin(const zun::geom::PNT_3D& point, unsigned width, unsigned height, int margin) {
    if (width > unsigned(INT_MAX) || height > unsigned(INT_MAX)) return false;
    return point.x - margin >= 0 && point.x + margin < width && point.y - margin >= 0 &&
           point.y + margin < height;
}

double fraction(double value) {
    double whole;
    return std::fabs(std::modf(value, &whole));
}

}  // namespace

CImageCorrelator_targeting::CImageCorrelator_targeting(KORBAS::CImage& first,
                                                       KORBAS::CImage& second,
                                                       const zun::geom::PNT_3D& firstPoint,
                                                       const zun::geom::PNT_3D& secondPoint)
    : m_first(first),
      m_second(second),
      m_firstPoint(firstPoint),
      m_secondPoint(secondPoint),
      m_resultPoint(secondPoint),
      m_factor(-1.0) {}

CImageCorrelator_targeting::~CImageCorrelator_targeting() = default;

bool CImageCorrelator_targeting::Execute() {
    const unsigned h1 = m_first.getHeight();
    const unsigned h2 = m_second.getHeight();
    if (!keeps_margin(m_firstPoint, m_first.getWidth(), h1, kFirstPointMargin)) {
        m_failure = correlation_failure::first_point_near_border;
        return false;
    }
    if (!keeps_margin(m_secondPoint, m_second.getWidth(), h2, kSecondPointMargin)) {
        m_failure = correlation_failure::second_point_near_border;
        return false;
    }
    m_failure = correlation_failure::none;

    // Rows are counted from the top; the checks above keep every read inside.
    const double row1 = h1 - m_firstPoint.y;
    const int column2 = static_cast<int>(m_secondPoint.x);
    const int row2 = static_cast<int>(h2 - m_secondPoint.y);

    unsigned char pattern[kTemplateSide * kTemplateSide];
    const int tx0 = static_cast<int>(m_firstPoint.x - kTemplateHalf);
    const int ty0 = static_cast<int>(row1 - kTemplateHalf);
    m_first.GetRegion(0, tx0, ty0, tx0 + kTemplateSide - 1, ty0 + kTemplateSide - 1, 0, pattern);

    unsigned char window[kSearchSide * kSearchSide];
    const int sx0 = column2 - kSearchHalf;
    const int sy0 = row2 - kSearchHalf;
    m_second.GetRegion(0, sx0, sy0, sx0 + kSearchSide - 1, sy0 + kSearchSide - 1, 0, window);

    const template_match best = ScanTemplate(pattern, window);
    double x, row;
    if (best.score == -1.0) {
        x = column2;
        row = row2;
    } else {
        // The target's sub-pixel offset carries over to the match.
        x = sx0 + best.column + fraction(m_firstPoint.x);
        row = sy0 + best.row + fraction(row1);
    }
    m_resultPoint.x = x;
    m_resultPoint.y = h2 - row;
    m_factor = best.score;
    return true;
}

const char* CImageCorrelator_targeting::GetError() const {
    switch (m_failure) {
        case correlation_failure::first_point_near_border:
            return "the target point lies closer than 10 pixels to a border of the first image";
        case correlation_failure::second_point_near_border:
            return "the search point lies closer than 40 pixels to a border of the second image";
        case correlation_failure::none:
            break;
    }
    return "";
}

}  // namespace tarvel
