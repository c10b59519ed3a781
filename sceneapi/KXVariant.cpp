#include "sceneapi/KXVariant.h"

#include <algorithm>
#include <cstddef>
#include <utility>

KXVariant::KXVariant(const float* values, int count)
    : m_value(std::vector<float>())
{
    if (values && count > 0)
        std::get<std::vector<float>>(m_value).assign(values, values + count);
}

KXVariant::KXVariant(const KXColor& color)
    : m_value(std::vector<float>{color.getR(), color.getG(), color.getB(), color.getA()})
{
}

KXVariant::KXVariant(const KXMatrix& matrix)
    : m_value(std::vector<float>(matrix.getData(), matrix.getData() + 16))
{
}

namespace {

// Copies the alternative the source holds into the target. std::variant's
// own copy constructor (libstdc++ 12) does not survive an alternative whose
// copy throws: the unwinding destroys an alternative it never made. emplace
// marks the target as holding nothing before it copies.
template <std::size_t I = 0, class Variant>
void copyAlternative(Variant& target, const Variant& source)
{
    if constexpr (I < std::variant_size_v<Variant>) {
        if (source.index() == I) {
            target.template emplace<I>(std::get<I>(source));
            return;
        }
        copyAlternative<I + 1>(target, source);
    }
}

} // namespace

KXVariant::KXVariant(const KXVariant& other)
{
    copyAlternative(m_value, other.m_value);
}

KXVariant& KXVariant::operator=(const KXVariant& other)
{
    if (this != &other) {
        KXVariant copy(other);
        m_value = std::move(copy.m_value);
    }
    return *this;
}

KXVariant::KXVARIANTTYPE KXVariant::getType() const
{
    // Indexed in the order of the alternatives of m_value.
    static const KXVARIANTTYPE types[] = {
        KXVARIANT_EMPTY, KXVARIANT_BOOL, KXVARIANT_INT, KXVARIANT_FLOAT, KXVARIANT_STRING, KXVARIANT_FLOATARRAY,
    };
    return types[m_value.index()];
}

bool KXVariant::getBool() const
{
    if (const bool* b = std::get_if<bool>(&m_value))
        return *b;
    if (const int* i = std::get_if<int>(&m_value))
        return *i != 0;
    if (const float* f = std::get_if<float>(&m_value))
        return *f != 0.0f;
    return false;
}

int KXVariant::getInt() const
{
    if (const int* i = std::get_if<int>(&m_value))
        return *i;
    if (const bool* b = std::get_if<bool>(&m_value))
        return *b ? 1 : 0;
    if (const float* f = std::get_if<float>(&m_value))
        return static_cast<int>(*f);
    return 0;
}

float KXVariant::getFloat() const
{
    if (const float* f = std::get_if<float>(&m_value))
        return *f;
    if (const int* i = std::get_if<int>(&m_value))
        return static_cast<float>(*i);
    if (const bool* b = std::get_if<bool>(&m_value))
        return *b ? 1.0f : 0.0f;
    return 0.0f;
}

const std::wstring& KXVariant::getString() const
{
    static const std::wstring empty;
    const std::wstring* s = std::get_if<std::wstring>(&m_value);
    return s ? *s : empty;
}

const std::vector<float>& KXVariant::getFloatArray() const
{
    static const std::vector<float> empty;
    const std::vector<float>* a = std::get_if<std::vector<float>>(&m_value);
    return a ? *a : empty;
}

int KXVariant::getFloats(float* out, int count) const
{
    if (!out || count <= 0)
        return 0;
    const std::vector<float>& a = getFloatArray();
    const int n = std::min(count, static_cast<int>(a.size()));
    std::copy(a.begin(), a.begin() + n, out);
    std::fill(out + n, out + count, 0.0f);
    return n;
}

KXColor KXVariant::getColor() const
{
    if (getType() != KXVARIANT_FLOATARRAY)
        return KXColor();
    float rgba[4];
    getFloats(rgba, 4);
    return KXColor(rgba);
}

KXMatrix KXVariant::getMatrix() const
{
    KXMatrix m;
    const std::vector<float>& a = getFloatArray();
    const int n = std::min(16, static_cast<int>(a.size()));
    for (int i = 0; i < n; ++i)
        m[i] = a[i];
    return m;
}
