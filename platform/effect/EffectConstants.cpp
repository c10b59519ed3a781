#include "effect/EffectConstants.h"

#include <d3dx9shader.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace swd3d9 {
namespace effect {

namespace {

// Nesting of parentheses, lists and calls (the evaluator recurses once per
// level), and the most components a value may have (a list initialising a
// large array).
constexpr int MAX_DEPTH = 200;
constexpr size_t MAX_COMPONENTS = 1u << 20;

Constant::Base widerBase(Constant::Base a, Constant::Base b)
{
    if (a == Constant::Base::Float || b == Constant::Base::Float)
        return Constant::Base::Float;
    return Constant::Base::Int;
}

double toInt(double v)
{
    if (std::isnan(v))
        return 0.0;
    v = std::trunc(v);
    if (v > 2147483647.0)
        return 2147483647.0;
    if (v < -2147483648.0)
        return -2147483648.0;
    return v;
}

int64_t asInteger(double v) { return static_cast<int64_t>(toInt(v)); }
uint32_t bitsOf(double v) { return static_cast<uint32_t>(asInteger(v)); }

// Values of `base` hold what that type can: ints are whole, bools 0 or 1.
void normalise(Constant& c)
{
    for (double& v : c.values) {
        if (c.base == Constant::Base::Int)
            v = toInt(v);
        else if (c.base == Constant::Base::Bool)
            v = v != 0.0 ? 1.0 : 0.0;
    }
}

bool swizzleIndex(char c, unsigned& index)
{
    switch (c) {
    case 'x': case 'r': index = 0; return true;
    case 'y': case 'g': index = 1; return true;
    case 'z': case 'b': index = 2; return true;
    case 'w': case 'a': index = 3; return true;
    default: return false;
    }
}

bool applySwizzle(Constant& value, const std::string& letters)
{
    if (letters.empty() || letters.size() > 4)
        return false;
    Constant result;
    result.base = value.base;
    for (char c : letters) {
        unsigned index = 0;
        if (!swizzleIndex(c, index))
            return false;
        // A scalar swizzles as a one-component vector (x.xxx).
        if (value.values.size() == 1 && index == 0)
            result.values.push_back(value.values[0]);
        else if (index < value.values.size() && value.values.size() <= 4)
            result.values.push_back(value.values[index]);
        else
            return false;
    }
    value = std::move(result);
    return true;
}

} // namespace

bool numericTypeName(const std::string& name, Constant::Base& base, unsigned& rows, unsigned& columns,
                     bool& isMatrix)
{
    static const struct {
        const char* name;
        Constant::Base base;
    } bases[] = {{"float", Constant::Base::Float}, {"half", Constant::Base::Float}, {"double", Constant::Base::Float},
                 {"int", Constant::Base::Int},     {"uint", Constant::Base::Int},   {"dword", Constant::Base::Int},
                 {"DWORD", Constant::Base::Int},   {"bool", Constant::Base::Bool}};
    if (name == "vector") {
        base = Constant::Base::Float;
        rows = 1;
        columns = 4;
        isMatrix = false;
        return true;
    }
    if (name == "matrix") {
        base = Constant::Base::Float;
        rows = columns = 4;
        isMatrix = true;
        return true;
    }
    for (const auto& b : bases) {
        size_t length = std::strlen(b.name);
        if (name.compare(0, length, b.name) != 0)
            continue;
        std::string rest = name.substr(length);
        base = b.base;
        isMatrix = false;
        rows = columns = 1;
        if (rest.empty())
            return true;
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            columns = static_cast<unsigned>(rest[0] - '0');
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
            rest[2] <= '4') {
            rows = static_cast<unsigned>(rest[0] - '0');
            columns = static_cast<unsigned>(rest[2] - '0');
            isMatrix = true;
            return true;
        }
        return false;
    }
    return false;
}

uint32_t storeComponent(double value, int parameterType)
{
    switch (parameterType) {
    case D3DXPT_BOOL:
        return value != 0.0 ? 1u : 0u;
    case D3DXPT_INT: {
        int32_t i = static_cast<int32_t>(toInt(value));
        uint32_t bits;
        std::memcpy(&bits, &i, 4);
        return bits;
    }
    default: {
        float f = static_cast<float>(value);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    }
    }
}

double loadComponent(uint32_t bits, int parameterType)
{
    switch (parameterType) {
    case D3DXPT_BOOL:
        return bits != 0 ? 1.0 : 0.0;
    case D3DXPT_INT: {
        int32_t i;
        std::memcpy(&i, &bits, 4);
        return i;
    }
    default: {
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    }
}

bool ConstantEvaluator::fail(const std::string& message, const Token* at)
{
    if (m_error.empty()) {
        m_error = message;
        m_errorToken = at;
    }
    return false;
}

bool ConstantEvaluator::accept(const char* spelling)
{
    if (!atEnd() && peek().isPunctuator(spelling)) {
        ++m_position;
        return true;
    }
    return false;
}

bool ConstantEvaluator::evaluate(const Token* begin, const Token* end, Constant& value)
{
    m_position = begin;
    m_end = end;
    m_depth = 0;
    m_error.clear();
    m_errorToken = nullptr;
    if (begin >= end)
        return fail("value expected", begin);
    if (!expression(value))
        return false;
    if (!atEnd())
        return fail("unexpected '" + peek().text + "' in a constant expression", m_position);
    return true;
}

bool ConstantEvaluator::expression(Constant& value)
{
    if (++m_depth > MAX_DEPTH) {
        --m_depth;
        return fail("expression nested too deeply", m_position);
    }
    bool ok = conditional(value);
    --m_depth;
    return ok;
}

bool ConstantEvaluator::conditional(Constant& value)
{
    if (!binary(value, 0))
        return false;
    if (!accept("?"))
        return true;
    Constant whenTrue, whenFalse;
    if (!expression(whenTrue))
        return false;
    if (!accept(":"))
        return fail("':' expected", m_position);
    if (!expression(whenFalse))
        return false;
    // Component-wise choice, a scalar condition choosing whole values.
    if (value.values.size() == 1) {
        value = value.values[0] != 0.0 ? std::move(whenTrue) : std::move(whenFalse);
        return true;
    }
    Constant result;
    result.base = widerBase(whenTrue.base, whenFalse.base);
    size_t n = std::min(value.values.size(), std::min(whenTrue.values.size(), whenFalse.values.size()));
    if (whenTrue.values.size() == 1 || whenFalse.values.size() == 1)
        n = value.values.size();
    for (size_t i = 0; i < n; ++i) {
        double t = whenTrue.values[whenTrue.values.size() == 1 ? 0 : i];
        double f = whenFalse.values[whenFalse.values.size() == 1 ? 0 : i];
        result.values.push_back(value.values[i] != 0.0 ? t : f);
    }
    value = std::move(result);
    return true;
}

bool ConstantEvaluator::binary(Constant& value, int level)
{
    static const char* const LEVELS[][4] = {{"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="},
                                            {"<", ">", "<=", ">="}, {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
    const int levelCount = static_cast<int>(sizeof(LEVELS) / sizeof(LEVELS[0]));
    if (level >= levelCount)
        return unary(value);
    if (!binary(value, level + 1))
        return false;
    for (;;) {
        const char* op = nullptr;
        if (!atEnd() && peek().kind == TokenKind::Punctuator)
            for (const char* candidate : LEVELS[level])
                if (candidate && peek().text == candidate)
                    op = candidate;
        if (!op)
            return true;
        const Token* opToken = m_position;
        ++m_position;
        Constant right;
        if (!binary(right, level + 1))
            return false;
        if (value.values.empty() || right.values.empty())
            return fail("value expected", opToken);
        size_t n = value.values.size() == 1 ? right.values.size()
                   : right.values.size() == 1 ? value.values.size()
                                              : std::min(value.values.size(), right.values.size());
        Constant result;
        std::string o = op;
        bool logical = o == "||" || o == "&&";
        bool comparison = o == "==" || o == "!=" || o == "<" || o == ">" || o == "<=" || o == ">=";
        bool bitwise = o == "|" || o == "^" || o == "&" || o == "<<" || o == ">>" || o == "%";
        if (logical || comparison)
            result.base = Constant::Base::Bool;
        else if (bitwise && o != "%")
            result.base = Constant::Base::Int;
        else
            result.base = widerBase(value.base, right.base);
        if ((bitwise && o != "%") && (value.base == Constant::Base::Float || right.base == Constant::Base::Float))
            return fail("bitwise operators need integer operands", opToken);
        for (size_t i = 0; i < n; ++i) {
            double a = value.values[value.values.size() == 1 ? 0 : i];
            double b = right.values[right.values.size() == 1 ? 0 : i];
            double r = 0.0;
            if (o == "||") r = (a != 0.0 || b != 0.0);
            else if (o == "&&") r = (a != 0.0 && b != 0.0);
            else if (o == "==") r = a == b;
            else if (o == "!=") r = a != b;
            else if (o == "<") r = a < b;
            else if (o == ">") r = a > b;
            else if (o == "<=") r = a <= b;
            else if (o == ">=") r = a >= b;
            else if (o == "|") r = static_cast<double>(bitsOf(a) | bitsOf(b));
            else if (o == "^") r = static_cast<double>(bitsOf(a) ^ bitsOf(b));
            else if (o == "&") r = static_cast<double>(bitsOf(a) & bitsOf(b));
            else if (o == "<<") r = static_cast<double>(bitsOf(a) << (asInteger(b) & 31));
            else if (o == ">>") r = static_cast<double>(static_cast<int32_t>(asInteger(a)) >> (asInteger(b) & 31));
            else if (o == "+") r = a + b;
            else if (o == "-") r = a - b;
            else if (o == "*") r = a * b;
            else if (o == "/" || o == "%") {
                if (result.base != Constant::Base::Float) {
                    if (asInteger(b) == 0)
                        return fail("division by zero in a constant expression", opToken);
                    int64_t x = asInteger(a), y = asInteger(b);
                    r = static_cast<double>(o == "/" ? x / y : x % y);
                } else {
                    r = o == "/" ? a / b : std::fmod(a, b);
                }
            }
            result.values.push_back(r);
        }
        normalise(result);
        value = std::move(result);
    }
}

bool ConstantEvaluator::unary(Constant& value)
{
    if (atEnd())
        return fail("value expected", m_position);
    const Token& t = peek();
    if (t.isPunctuator("-") || t.isPunctuator("+") || t.isPunctuator("!") || t.isPunctuator("~")) {
        std::string op = t.text;
        const Token* opToken = m_position;
        ++m_position;
        if (++m_depth > MAX_DEPTH) {
            --m_depth;
            return fail("expression nested too deeply", opToken);
        }
        bool ok = unary(value);
        --m_depth;
        if (!ok)
            return false;
        if (op == "-") {
            if (value.base == Constant::Base::Bool)
                value.base = Constant::Base::Int;
            for (double& v : value.values)
                v = -v;
        } else if (op == "!") {
            value.base = Constant::Base::Bool;
            for (double& v : value.values)
                v = v == 0.0 ? 1.0 : 0.0;
        } else if (op == "~") {
            if (value.base == Constant::Base::Float)
                return fail("'~' needs an integer operand", opToken);
            value.base = Constant::Base::Int;
            for (double& v : value.values)
                v = static_cast<double>(static_cast<int32_t>(~static_cast<uint32_t>(asInteger(v))));
        }
        return true;
    }
    // A cast: (type) operand.
    if (t.isPunctuator("(") && m_position + 2 < m_end && m_position[1].kind == TokenKind::Identifier &&
        m_position[2].isPunctuator(")")) {
        Constant::Base base;
        unsigned rows, columns;
        bool isMatrix;
        if (numericTypeName(m_position[1].text, base, rows, columns, isMatrix)) {
            m_position += 3;
            if (++m_depth > MAX_DEPTH) {
                --m_depth;
                return fail("expression nested too deeply", m_position);
            }
            bool ok = unary(value);
            --m_depth;
            if (!ok)
                return false;
            size_t count = static_cast<size_t>(rows) * columns;
            if (value.values.size() == 1)
                value.values.assign(count, value.values[0]);
            else if (value.values.size() > count)
                value.values.resize(count);
            value.base = base;
            normalise(value);
            return true;
        }
    }
    return postfix(value);
}

bool ConstantEvaluator::postfix(Constant& value)
{
    if (!primary(value))
        return false;
    for (;;) {
        if (!atEnd() && peek().isPunctuator(".") && m_position + 1 < m_end &&
            m_position[1].kind == TokenKind::Identifier) {
            const Token* at = m_position + 1;
            if (!applySwizzle(value, at->text))
                return fail("invalid swizzle '" + at->text + "'", at);
            m_position += 2;
            continue;
        }
        if (!atEnd() && peek().isPunctuator("[")) {
            const Token* at = m_position;
            ++m_position;
            Constant index;
            if (!expression(index))
                return false;
            if (!accept("]"))
                return fail("']' expected", m_position);
            if (index.values.size() != 1 || index.values[0] < 0 ||
                static_cast<size_t>(index.values[0]) >= value.values.size())
                return fail("index out of range", at);
            double component = value.values[static_cast<size_t>(index.values[0])];
            value.values.assign(1, component);
            continue;
        }
        return true;
    }
}

bool ConstantEvaluator::list(Constant& value)
{
    // '{' already read: components of the items in order, nested lists
    // flattened.
    value.values.clear();
    value.base = Constant::Base::Int;
    bool first = true;
    while (!accept("}")) {
        if (!first && !accept(","))
            return fail("',' or '}' expected", m_position);
        // A trailing comma before '}' is allowed.
        if (!first && accept("}"))
            break;
        first = false;
        Constant item;
        if (!expression(item))
            return false;
        if (value.values.size() + item.values.size() > MAX_COMPONENTS)
            return fail("initialiser too large", m_position);
        value.base = value.values.empty() ? item.base : widerBase(value.base, item.base);
        if (item.base == Constant::Base::Bool && value.base == Constant::Base::Bool)
            value.base = Constant::Base::Bool;
        value.values.insert(value.values.end(), item.values.begin(), item.values.end());
    }
    return true;
}

bool ConstantEvaluator::arguments(std::vector<Constant>& values)
{
    // '(' already read.
    if (accept(")"))
        return true;
    for (;;) {
        Constant item;
        if (!expression(item))
            return false;
        values.push_back(std::move(item));
        if (accept(")"))
            return true;
        if (!accept(","))
            return fail("',' or ')' expected", m_position);
    }
}

bool ConstantEvaluator::primary(Constant& value)
{
    if (atEnd())
        return fail("value expected", m_position);
    const Token* t = m_position;
    if (t->kind == TokenKind::Integer || t->kind == TokenKind::Float) {
        ++m_position;
        value.base = t->kind == TokenKind::Integer ? Constant::Base::Int : Constant::Base::Float;
        value.values.assign(1, t->number);
        return true;
    }
    if (t->isPunctuator("(")) {
        ++m_position;
        if (!expression(value))
            return false;
        if (!accept(")"))
            return fail("')' expected", m_position);
        return true;
    }
    if (t->isPunctuator("{")) {
        ++m_position;
        if (++m_depth > MAX_DEPTH) {
            --m_depth;
            return fail("expression nested too deeply", t);
        }
        bool ok = list(value);
        --m_depth;
        return ok;
    }
    if (t->kind != TokenKind::Identifier)
        return fail("unexpected '" + t->text + "' in a constant expression", t);
    if (t->text == "true" || t->text == "false") {
        ++m_position;
        value.base = Constant::Base::Bool;
        value.values.assign(1, t->text == "true" ? 1.0 : 0.0);
        return true;
    }
    bool call = m_position + 1 < m_end && m_position[1].isPunctuator("(");
    if (!call)
        return name(value);

    // Constructors and intrinsics.
    m_position += 2;
    std::vector<Constant> args;
    if (++m_depth > MAX_DEPTH) {
        --m_depth;
        return fail("expression nested too deeply", t);
    }
    bool ok = arguments(args);
    --m_depth;
    if (!ok)
        return false;
    Constant::Base base;
    unsigned rows, columns;
    bool isMatrix;
    if (numericTypeName(t->text, base, rows, columns, isMatrix)) {
        size_t count = static_cast<size_t>(rows) * columns;
        value.base = base;
        value.values.clear();
        for (const Constant& a : args)
            value.values.insert(value.values.end(), a.values.begin(), a.values.end());
        if (value.values.size() == 1 && count > 1)
            value.values.assign(count, value.values[0]);
        if (value.values.size() != count)
            return fail("wrong number of components for " + t->text, t);
        normalise(value);
        return true;
    }

    const std::string& f = t->text;
    auto arity = [&](size_t n) {
        if (args.size() != n)
            return fail("wrong number of arguments for " + f, t);
        for (const Constant& a : args)
            if (a.values.empty())
                return fail("value expected", t);
        return true;
    };
    auto componentWise = [&](double (*op)(double)) {
        value.base = Constant::Base::Float;
        value.values = args[0].values;
        for (double& v : value.values)
            v = op(v);
        return true;
    };
    auto componentWise2 = [&](double (*op)(double, double)) {
        const Constant& a = args[0];
        const Constant& b = args[1];
        size_t n = a.values.size() == 1 ? b.values.size()
                   : b.values.size() == 1 ? a.values.size()
                                          : std::min(a.values.size(), b.values.size());
        value.base = widerBase(a.base, b.base);
        value.values.clear();
        for (size_t i = 0; i < n; ++i)
            value.values.push_back(op(a.values[a.values.size() == 1 ? 0 : i], b.values[b.values.size() == 1 ? 0 : i]));
        return true;
    };
    struct Unary {
        const char* name;
        double (*op)(double);
    };
    static const Unary UNARY[] = {
        {"abs", [](double x) { return std::fabs(x); }},
        {"sqrt", [](double x) { return std::sqrt(x); }},
        {"rsqrt", [](double x) { return 1.0 / std::sqrt(x); }},
        {"sin", [](double x) { return std::sin(x); }},
        {"cos", [](double x) { return std::cos(x); }},
        {"tan", [](double x) { return std::tan(x); }},
        {"asin", [](double x) { return std::asin(x); }},
        {"acos", [](double x) { return std::acos(x); }},
        {"atan", [](double x) { return std::atan(x); }},
        {"exp", [](double x) { return std::exp(x); }},
        {"exp2", [](double x) { return std::exp2(x); }},
        {"log", [](double x) { return std::log(x); }},
        {"log2", [](double x) { return std::log2(x); }},
        {"log10", [](double x) { return std::log10(x); }},
        {"floor", [](double x) { return std::floor(x); }},
        {"ceil", [](double x) { return std::ceil(x); }},
        {"frac", [](double x) { return x - std::floor(x); }},
        {"round", [](double x) { return std::round(x); }},
        {"trunc", [](double x) { return std::trunc(x); }},
        {"saturate", [](double x) { return std::min(1.0, std::max(0.0, x)); }},
        {"radians", [](double x) { return x * 0.017453292519943295; }},
        {"degrees", [](double x) { return x * 57.29577951308232; }},
        {"sign", [](double x) { return x > 0.0 ? 1.0 : x < 0.0 ? -1.0 : 0.0; }},
    };
    for (const Unary& u : UNARY)
        if (f == u.name)
            return arity(1) && componentWise(u.op);
    if (f == "min")
        return arity(2) && componentWise2([](double a, double b) { return std::min(a, b); });
    if (f == "max")
        return arity(2) && componentWise2([](double a, double b) { return std::max(a, b); });
    if (f == "pow")
        return arity(2) && componentWise2([](double a, double b) { return std::pow(a, b); }) &&
               ((value.base = Constant::Base::Float), true);
    if (f == "atan2")
        return arity(2) && componentWise2([](double a, double b) { return std::atan2(a, b); }) &&
               ((value.base = Constant::Base::Float), true);
    if (f == "fmod")
        return arity(2) && componentWise2([](double a, double b) { return std::fmod(a, b); }) &&
               ((value.base = Constant::Base::Float), true);
    if (f == "step")
        return arity(2) && componentWise2([](double a, double b) { return b >= a ? 1.0 : 0.0; }) &&
               ((value.base = Constant::Base::Float), true);
    if (f == "dot" || f == "distance" || f == "length" || f == "normalize" || f == "cross") {
        if (!arity(f == "length" || f == "normalize" ? 1 : 2))
            return false;
        const std::vector<double>& a = args[0].values;
        value.base = Constant::Base::Float;
        if (f == "length" || f == "normalize") {
            double sum = 0.0;
            for (double v : a)
                sum += v * v;
            double length = std::sqrt(sum);
            if (f == "length") {
                value.values.assign(1, length);
            } else {
                value.values = a;
                for (double& v : value.values)
                    v /= length;
            }
            return true;
        }
        const std::vector<double>& b = args[1].values;
        if (a.size() != b.size())
            return fail("mismatched vector sizes for " + f, t);
        if (f == "cross") {
            if (a.size() != 3)
                return fail("cross needs 3-component vectors", t);
            value.values = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            return true;
        }
        double sum = 0.0;
        for (size_t i = 0; i < a.size(); ++i)
            sum += f == "dot" ? a[i] * b[i] : (a[i] - b[i]) * (a[i] - b[i]);
        value.values.assign(1, f == "dot" ? sum : std::sqrt(sum));
        return true;
    }
    if (f == "clamp" || f == "lerp" || f == "smoothstep") {
        if (!arity(3))
            return false;
        size_t n = 1;
        for (const Constant& a : args)
            n = std::max(n, a.values.size());
        for (const Constant& a : args)
            if (a.values.size() != 1 && a.values.size() != n)
                return fail("mismatched vector sizes for " + f, t);
        value.base = f == "clamp" ? widerBase(args[0].base, widerBase(args[1].base, args[2].base))
                                  : Constant::Base::Float;
        value.values.clear();
        for (size_t i = 0; i < n; ++i) {
            double x = args[0].values[args[0].values.size() == 1 ? 0 : i];
            double y = args[1].values[args[1].values.size() == 1 ? 0 : i];
            double z = args[2].values[args[2].values.size() == 1 ? 0 : i];
            double r;
            if (f == "clamp") {
                r = std::min(std::max(x, y), z);
            } else if (f == "lerp") {
                r = x + (y - x) * z;
            } else {
                double s = std::min(1.0, std::max(0.0, (z - x) / (y - x)));
                r = s * s * (3.0 - 2.0 * s);
            }
            value.values.push_back(r);
        }
        return true;
    }
    return fail("'" + f + "' cannot be evaluated in a constant expression", t);
}

bool ConstantEvaluator::name(Constant& value)
{
    // The longest path of member and constant index selections that names
    // something ("Lights[1].color"); what follows it is swizzles and
    // indices of the value.
    struct Part {
        std::string text;
        const Token* end; // first token after the part
    };
    std::vector<Part> parts;
    std::string path = m_position->text;
    parts.push_back({path, m_position + 1});
    const Token* p = m_position + 1;
    for (;;) {
        if (p + 1 < m_end && p->isPunctuator(".") && p[1].kind == TokenKind::Identifier) {
            path += "." + p[1].text;
            p += 2;
            parts.push_back({path, p});
        } else if (p + 2 < m_end && p->isPunctuator("[") && p[1].kind == TokenKind::Integer &&
                   p[2].isPunctuator("]")) {
            path += "[" + p[1].text + "]";
            p += 3;
            parts.push_back({path, p});
        } else {
            break;
        }
    }
    for (size_t k = parts.size(); k-- > 0;) {
        Constant found;
        if (m_resolver && m_resolver(parts[k].text, found)) {
            value = std::move(found);
            m_position = parts[k].end;
            return true;
        }
    }
    return fail("'" + m_position->text + "' is not a constant", m_position);
}

} // namespace effect
} // namespace swd3d9
