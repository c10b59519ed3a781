#include "sceneapi/KXStoryBoard.h"

#include "sceneapi/KXNode.h"

#include <algorithm>
#include <cmath>

namespace {

struct Quaternion {
    float x, y, z, w;
};

Quaternion fromAxisAngle(const KXVector& axis, float angle)
{
    KXVector a = axis;
    a.normalize();
    const float s = std::sin(angle * 0.5f);
    return {a.getX() * s, a.getY() * s, a.getZ() * s, std::cos(angle * 0.5f)};
}

Quaternion slerp(Quaternion a, Quaternion b, float t)
{
    float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    // Take the shorter of the two arcs between the orientations.
    if (d < 0.0f) {
        b = {-b.x, -b.y, -b.z, -b.w};
        d = -d;
    }
    float wa = 1.0f - t, wb = t;
    if (d < 0.9995f) {
        const float theta = std::acos(d);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    Quaternion q{wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
    const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x / len, q.y / len, q.z / len, q.w / len};
}

// Rotation matrix of a unit quaternion for row vectors.
KXMatrix toMatrix(const Quaternion& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    return KXMatrix(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
                    2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
                    2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,
                    0, 0, 0, 1);
}

KXVector lerp(const KXVector& a, const KXVector& b, float t)
{
    return a + (b - a) * t;
}

KXMatrix compose(const KXVector& scale, const KXMatrix& rotation, const KXVector& translation)
{
    return KXMatrix::scaling(scale.getX(), scale.getY(), scale.getZ()) * rotation * KXMatrix::translation(translation);
}

} // namespace

void KXAnimationBag::addKeyFrame(const KeyFrame& key)
{
    auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key.time,
                               [](const KeyFrame& k, float t) { return k.time < t; });
    if (it != m_keys.end() && it->time == key.time)
        *it = key;
    else
        m_keys.insert(it, key);
}

KXMatrix KXAnimationBag::evaluate(float time) const
{
    if (m_keys.empty())
        return KXMatrix();
    auto atKey = [](const KeyFrame& k) {
        return compose(k.scale, KXMatrix::rotationAxis(k.rotationAxis, k.rotationAngle), k.translation);
    };
    if (time <= m_keys.front().time)
        return atKey(m_keys.front());
    if (time >= m_keys.back().time)
        return atKey(m_keys.back());
    auto next = std::upper_bound(m_keys.begin(), m_keys.end(), time,
                                 [](float t, const KeyFrame& k) { return t < k.time; });
    const KeyFrame& b = *next;
    const KeyFrame& a = *(next - 1);
    const float t = (time - a.time) / (b.time - a.time);
    const Quaternion q = slerp(fromAxisAngle(a.rotationAxis, a.rotationAngle),
                               fromAxisAngle(b.rotationAxis, b.rotationAngle), t);
    return compose(lerp(a.scale, b.scale, t), toMatrix(q), lerp(a.translation, b.translation, t));
}

void KXAnimationBag::setTime(float time)
{
    m_pivot.setMatrix(evaluate(time));
}

KXStoryBoard::~KXStoryBoard()
{
    for (auto& entry : m_bags)
        entry.first->unref();
}

KXAnimationBag* KXStoryBoard::getAnimationBag(const KXNode* node) const
{
    auto it = m_bags.find(node);
    return it == m_bags.end() ? nullptr : it->second.get();
}

KXAnimationBag* KXStoryBoard::createAnimationBag(KXNode* node)
{
    if (!node)
        return nullptr;
    auto& bag = m_bags[node];
    if (!bag) {
        node->ref();
        bag = std::make_unique<KXAnimationBag>();
        bag->setTime(m_time);
        changed();
    }
    return bag.get();
}

void KXStoryBoard::removeAnimationBag(const KXNode* node)
{
    auto it = m_bags.find(node);
    if (it == m_bags.end())
        return;
    m_bags.erase(it);
    changed();
    node->unref();
}

void KXStoryBoard::setTime(float time)
{
    m_time = time;
    for (auto& entry : m_bags)
        entry.second->setTime(time);
    changed();
}

float KXStoryBoard::getDuration() const
{
    float end = 0.0f;
    for (const auto& entry : m_bags)
        end = std::max(end, entry.second->getEndTime());
    return end;
}

void KXStoryBoard::applyToNodes() const
{
    for (const auto& entry : m_bags) {
        if (const KXNodePivot* pivot = entry.second->getNodePivot())
            entry.first->getTransform()->setTransformationMatrix(pivot->getMatrix());
    }
}
