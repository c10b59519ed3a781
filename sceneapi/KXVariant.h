#pragma once

#include "sceneapi/KXColor.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXSceneExport.h"

#include <string>
#include <variant>
#include <vector>

// A tagged value: what an effect parameter holds, as seen by a user
// interface. The type codes are fixed numbers because they are stored and
// compared by callers: a scalar type, or the array flag over the float type.
//
// Reading a value of another type gives a neutral result (0, false, an
// empty string or array) rather than failing; numbers convert among bool,
// int and float.
class KXSCENE_API KXVariant
{
public:
    enum KXVARIANTTYPE {
        KXVARIANT_EMPTY = 0,
        KXVARIANT_BOOL = 1,
        KXVARIANT_INT = 2,
        KXVARIANT_FLOAT = 3,
        KXVARIANT_STRING = 4, // wide string
        KXVARIANT_ARRAY = 0x1000, // flag over the element type
        KXVARIANT_FLOATARRAY = KXVARIANT_ARRAY | KXVARIANT_FLOAT,
    };

    KXVariant() = default;
    explicit KXVariant(bool value) : m_value(value) {}
    explicit KXVariant(int value) : m_value(value) {}
    explicit KXVariant(float value) : m_value(value) {}
    explicit KXVariant(const std::wstring& value) : m_value(value) {}
    // A null string gives an empty string.
    explicit KXVariant(const wchar_t* value) : m_value(std::wstring(value ? value : L"")) {}
    explicit KXVariant(std::vector<float> values) : m_value(std::move(values)) {}
    // count floats from values (none when values is null).
    KXVariant(const float* values, int count);
    // Four floats red, green, blue, alpha: the form of colour parameters.
    explicit KXVariant(const KXColor& color);
    // Sixteen floats in the matrix's own order.
    explicit KXVariant(const KXMatrix& matrix);
    // A copy that runs out of memory throws std::bad_alloc and leaves the
    // source, and for an assignment the target, as they were.
    KXVariant(const KXVariant& other);
    KXVariant(KXVariant&& other) noexcept = default;
    KXVariant& operator=(const KXVariant& other);
    KXVariant& operator=(KXVariant&& other) noexcept = default;

    KXVARIANTTYPE getType() const;
    bool isEmpty() const { return getType() == KXVARIANT_EMPTY; }

    bool getBool() const;
    int getInt() const;
    float getFloat() const;
    // Empty unless the value is a string.
    const std::wstring& getString() const;
    // Empty unless the value is a float array.
    const std::vector<float>& getFloatArray() const;
    int getNumFloats() const { return static_cast<int>(getFloatArray().size()); }
    // Copies up to count floats of the array into out and returns how many
    // were copied; the rest of out is set to 0.
    int getFloats(float* out, int count) const;
    // The first four floats of an array as red, green, blue, alpha (missing
    // ones are 0); opaque black for a value of another type.
    KXColor getColor() const;
    // The first sixteen floats of an array (missing ones from the identity);
    // the identity for a value of another type.
    KXMatrix getMatrix() const;

    bool operator==(const KXVariant& other) const { return m_value == other.m_value; }
    bool operator!=(const KXVariant& other) const { return !(*this == other); }

private:
    std::variant<std::monostate, bool, int, float, std::wstring, std::vector<float>> m_value;
};
