#pragma once

// Constant expressions of effect files: parameter and annotation
// initialisers, array sizes and the values of state assignments.
//
// An expression is evaluated over its tokens: numbers, true/false,
// {...} lists, constructors (float3(1, 2, 3)), casts, the arithmetic,
// comparison, logical and bitwise operators, ?:, a few intrinsics of
// constant arguments (sqrt, sin, normalize, ...) and names that the caller
// resolves (other constants, state value names such as Linear, the current
// values of parameters). Values are flat lists of components; vectors and
// matrices combine component by component, a scalar spreading over the
// other operand, as HLSL does.

#include "effect/EffectLexer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace swd3d9 {
namespace effect {

struct Constant {
    enum class Base : uint8_t { Bool, Int, Float };
    Base base = Base::Int;
    std::vector<double> values;
};

// Gives the value of a name ("Light", "Lights[1].color"); false when the
// name means nothing here.
using NameResolver = std::function<bool(const std::string& name, Constant& value)>;

class ConstantEvaluator
{
public:
    explicit ConstantEvaluator(NameResolver resolver) : m_resolver(std::move(resolver)) {}

    // Evaluates tokens [begin, end). On failure the message says why and
    // errorToken points at the offending token.
    bool evaluate(const Token* begin, const Token* end, Constant& value);
    const std::string& error() const { return m_error; }
    const Token* errorToken() const { return m_errorToken; }

private:
    bool fail(const std::string& message, const Token* at);
    const Token& peek() const { return *m_position; }
    bool atEnd() const { return m_position >= m_end; }
    bool accept(const char* spelling);

    bool expression(Constant& value);
    bool conditional(Constant& value);
    bool binary(Constant& value, int level);
    bool unary(Constant& value);
    bool postfix(Constant& value);
    bool primary(Constant& value);
    bool list(Constant& value);
    bool arguments(std::vector<Constant>& values);
    bool name(Constant& value);

    NameResolver m_resolver;
    const Token* m_position = nullptr;
    const Token* m_end = nullptr;
    int m_depth = 0;
    std::string m_error;
    const Token* m_errorToken = nullptr;
};

// A numeric type name (float, float3, half4x4, int2, bool, dword, uint,
// double, vector, matrix): its base and component count. False for other
// names.
bool numericTypeName(const std::string& name, Constant::Base& base, unsigned& rows, unsigned& columns,
                     bool& isMatrix);

// The 32-bit pattern of a component stored as a parameter of type
// D3DXPT_FLOAT, D3DXPT_INT or D3DXPT_BOOL (bools as 0 and 1).
uint32_t storeComponent(double value, int parameterType);
// The value of a stored component.
double loadComponent(uint32_t bits, int parameterType);

} // namespace effect
} // namespace swd3d9
