#include "sceneapi/KXPrimitiveBuilder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

} // namespace

KXPrimitiveFrame KXPrimitiveFrame::make(const KXPosition& origin, const KXVector& direction)
{
    KXPrimitiveFrame frame;
    frame.origin = origin;
    const float length = direction.length();
    if (!(length >= 1e-7f) || !std::isfinite(length))
        return frame;
    frame.axis = KXVector(direction.getX() / length, direction.getY() / length, direction.getZ() / length);
    // Start e1 from the world axis least aligned with the axis, so that the
    // projection that makes it perpendicular never cancels out.
    const KXVector reference = std::fabs(frame.axis.getX()) > 0.9f ? KXVector(0.0f, 1.0f, 0.0f)
                                                                    : KXVector(1.0f, 0.0f, 0.0f);
    frame.e1 = reference - frame.axis * frame.axis.dot(reference);
    frame.e1.normalize();
    frame.e2 = frame.axis.cross(frame.e1);
    return frame;
}

KXPosition KXPrimitiveFrame::at(float radius, float cosAngle, float sinAngle, float height) const
{
    // Every point is computed by this one expression, so that points meant to
    // coincide (seams, rims shared by a side and a cap) are bit for bit equal.
    const float rc = radius * cosAngle;
    const float rs = radius * sinAngle;
    return KXPosition(origin.getX() + e1.getX() * rc + e2.getX() * rs + axis.getX() * height,
                      origin.getY() + e1.getY() * rc + e2.getY() * rs + axis.getY() * height,
                      origin.getZ() + e1.getZ() * rc + e2.getZ() * rs + axis.getZ() * height);
}

KXVector KXPrimitiveFrame::direction(float radial, float cosAngle, float sinAngle, float axial) const
{
    const float rc = radial * cosAngle;
    const float rs = radial * sinAngle;
    return KXVector(e1.getX() * rc + e2.getX() * rs + axis.getX() * axial,
                    e1.getY() * rc + e2.getY() * rs + axis.getY() * axial,
                    e1.getZ() * rc + e2.getZ() * rs + axis.getZ() * axial);
}

uint32_t KXPrimitiveBuilder::addVertex(const KXPosition& position, const KXVector& normal, float s, float t)
{
    vertices.push_back(position);
    normals.emplace_back(normal);
    texCoords.emplace_back(s, t);
    return static_cast<uint32_t>(vertices.size() - 1);
}

void KXPrimitiveBuilder::addTriangle(uint32_t a, uint32_t b, uint32_t c)
{
    indices.push_back(a);
    indices.push_back(b);
    indices.push_back(c);
}

void KXPrimitiveBuilder::addGrid(const KXPosition& centre, const KXVector& uSpan, const KXVector& vSpan,
                                 const KXVector& normal, int nu, int nv)
{
    const uint32_t first = static_cast<uint32_t>(vertices.size());
    for (int j = 0; j <= nv; ++j) {
        const float fv = static_cast<float>(j) / static_cast<float>(nv);
        for (int i = 0; i <= nu; ++i) {
            const float fu = static_cast<float>(i) / static_cast<float>(nu);
            const float a = fu - 0.5f;
            const float b = fv - 0.5f;
            const KXPosition p(centre.getX() + uSpan.getX() * a + vSpan.getX() * b,
                               centre.getY() + uSpan.getY() * a + vSpan.getY() * b,
                               centre.getZ() + uSpan.getZ() * a + vSpan.getZ() * b);
            addVertex(p, normal, fu, 1.0f - fv);
        }
    }
    const uint32_t row = static_cast<uint32_t>(nu + 1);
    for (int j = 0; j < nv; ++j) {
        for (int i = 0; i < nu; ++i) {
            // Cell corners counter-clockwise seen from the side of uSpan x vSpan.
            const uint32_t c00 = first + static_cast<uint32_t>(j) * row + static_cast<uint32_t>(i);
            const uint32_t c10 = c00 + 1;
            const uint32_t c01 = c00 + row;
            const uint32_t c11 = c01 + 1;
            addTriangle(c00, c10, c11);
            addTriangle(c00, c11, c01);
        }
    }
}

void KXPrimitiveBuilder::addRevolution(const KXPrimitiveFrame& frame, const std::vector<KXProfilePoint>& profile,
                                       int slices, KXTEXMAPPING mapping)
{
    if (profile.size() < 2 || slices < 1)
        return;
    std::vector<float> cosines, sines, midCosines, midSines;
    circleTable(slices, 0.0, cosines, sines);
    circleTable(slices, 0.5, midCosines, midSines);

    float maxRadius = 0.0f;
    for (const KXProfilePoint& p : profile)
        maxRadius = std::max(maxRadius, p.radius);

    // A ring has slices + 1 vertices (the last repeats the first position
    // with s = 1); a point on the axis has one vertex per slice.
    std::vector<uint32_t> firstVertex(profile.size());
    for (size_t k = 0; k < profile.size(); ++k) {
        const KXProfilePoint& p = profile[k];
        const bool onAxis = p.radius == 0.0f;
        const int count = onAxis ? slices : slices + 1;
        const float planarSign = p.normalAxial < 0.0f ? -1.0f : 1.0f;
        firstVertex[k] = static_cast<uint32_t>(vertices.size());
        for (int j = 0; j < count; ++j) {
            const float c = onAxis ? midCosines[j] : cosines[j];
            const float s = onAxis ? midSines[j] : sines[j];
            float u, v;
            if (mapping == KXTEXMAPPING_PLANAR) {
                const float scale = maxRadius > 0.0f ? 0.5f * p.radius / maxRadius : 0.0f;
                // Seen from the back of the axis, left and right swap.
                u = 0.5f + planarSign * scale * c;
                v = 0.5f - scale * s;
            } else {
                u = (static_cast<float>(j) + (onAxis ? 0.5f : 0.0f)) / static_cast<float>(slices);
                v = p.t;
            }
            addVertex(frame.at(p.radius, c, s, p.height), frame.direction(p.normalRadial, c, s, p.normalAxial), u, v);
        }
    }

    for (size_t k = 0; k + 1 < profile.size(); ++k) {
        const KXProfilePoint& p0 = profile[k];
        const KXProfilePoint& p1 = profile[k + 1];
        const bool axis0 = p0.radius == 0.0f;
        const bool axis1 = p1.radius == 0.0f;
        if ((axis0 && axis1) || (p0.radius == p1.radius && p0.height == p1.height))
            continue;
        const uint32_t lower = firstVertex[k];
        const uint32_t upper = firstVertex[k + 1];
        for (int j = 0; j < slices; ++j) {
            const uint32_t jj = static_cast<uint32_t>(j);
            // Corners of the cell: lower ring at angles j, j + 1, then the
            // upper ring; counter-clockwise seen from outside.
            if (axis0) {
                addTriangle(lower + jj, upper + jj + 1, upper + jj);
            } else if (axis1) {
                addTriangle(lower + jj, lower + jj + 1, upper + jj);
            } else {
                addTriangle(lower + jj, lower + jj + 1, upper + jj + 1);
                addTriangle(lower + jj, upper + jj + 1, upper + jj);
            }
        }
    }
}

void KXPrimitiveBuilder::addFrustum(const KXPrimitiveFrame& frame, float radius0, float radius1, float length,
                                    int slices, int stacks, bool cap0, bool cap1)
{
    // The side's normal is the same all along a generator line: the profile
    // runs from (radius0, 0) to (radius1, length), its outward normal is
    // (length, radius0 - radius1).
    float nr = length;
    float na = radius0 - radius1;
    const float nl = std::sqrt(nr * nr + na * na);
    if (nl > 0.0f) {
        nr /= nl;
        na /= nl;
    } else {
        nr = 1.0f;
        na = 0.0f;
    }
    std::vector<KXProfilePoint> side;
    side.reserve(static_cast<size_t>(stacks) + 1);
    for (int i = 0; i <= stacks; ++i) {
        const float f = static_cast<float>(i) / static_cast<float>(stacks);
        // Written so that both ends come out exact: the rims must match the
        // caps' rims and a zero radius must stay zero.
        const float radius = radius0 * (1.0f - f) + radius1 * f;
        side.push_back({radius, length * f, nr, na, 1.0f - f});
    }
    addRevolution(frame, side, slices, KXTEXMAPPING_CYLINDRICAL);
    if (cap0 && radius0 > 0.0f)
        addRevolution(frame, {{0.0f, 0.0f, 0.0f, -1.0f, 0.0f}, {radius0, 0.0f, 0.0f, -1.0f, 0.0f}}, slices,
                      KXTEXMAPPING_PLANAR);
    if (cap1 && radius1 > 0.0f)
        addRevolution(frame, {{radius1, length, 0.0f, 1.0f, 0.0f}, {0.0f, length, 0.0f, 1.0f, 0.0f}}, slices,
                      KXTEXMAPPING_PLANAR);
}

void KXPrimitiveBuilder::circleTable(int n, double phase, std::vector<float>& cosines, std::vector<float>& sines)
{
    cosines.resize(static_cast<size_t>(n) + 1);
    sines.resize(static_cast<size_t>(n) + 1);
    auto snap = [](double x) { return static_cast<float>(std::fabs(x) < 1e-12 ? 0.0 : x); };
    for (int k = 0; k <= n; ++k) {
        const double angle = kTwoPi * (static_cast<double>(k) + phase) / static_cast<double>(n);
        cosines[k] = snap(std::cos(angle));
        sines[k] = snap(std::sin(angle));
    }
    if (phase == 0.0) {
        cosines[n] = cosines[0];
        sines[n] = sines[0];
    }
}

float KXPrimitiveBuilder::sanitizeLength(float value)
{
    return std::isfinite(value) ? std::fabs(value) : 0.0f;
}
