#include "KXRecordingLog.h"

#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"

#include <cstdio>

std::string KXRecordedCall::text() const
{
    std::string result = family + "." + operation + "(";
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            result += ",";
        result += arguments[i];
    }
    return result + ")";
}

std::string KXRecordingLog::text(int value)
{
    return std::to_string(value);
}

std::string KXRecordingLog::text(unsigned value)
{
    return std::to_string(value);
}

std::string KXRecordingLog::text(float value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

std::string KXRecordingLog::text(const KXObject* object)
{
    if (!object)
        return "null";
    const std::wstring& name = object->getName();
    if (name.empty())
        return "obj";
    // Test objects are named in ASCII.
    return std::string(name.begin(), name.end());
}

std::string KXRecordingLog::text(const KXColor& color)
{
    return "(" + text(color.getR()) + "," + text(color.getG()) + "," + text(color.getB()) + "," +
           text(color.getA()) + ")";
}

std::string KXRecordingLog::text(const KXMatrix& matrix)
{
    return matrix.isIdentity() ? "I" : "M";
}

KXRecordedCall& KXRecordingLog::add(const std::string& family, const std::string& operation,
                                    std::vector<std::string> arguments, std::vector<const void*> objects)
{
    KXRecordedCall call;
    call.family = family;
    call.operation = operation;
    call.arguments = std::move(arguments);
    call.objects = std::move(objects);
    call.world = world;
    call.states = states;
    m_calls.push_back(std::move(call));
    return m_calls.back();
}

std::vector<std::string> KXRecordingLog::texts() const
{
    std::vector<std::string> result;
    for (const KXRecordedCall& call : m_calls)
        result.push_back(call.text());
    return result;
}

std::vector<std::string> KXRecordingLog::texts(const std::string& family) const
{
    return texts(std::vector<std::string>{family});
}

std::vector<std::string> KXRecordingLog::texts(const std::vector<std::string>& families) const
{
    std::vector<std::string> result;
    for (const KXRecordedCall& call : m_calls) {
        for (const std::string& family : families) {
            if (call.family == family) {
                result.push_back(call.text());
                break;
            }
        }
    }
    return result;
}

std::vector<const KXRecordedCall*> KXRecordingLog::find(const std::string& family, const std::string& operation) const
{
    std::vector<const KXRecordedCall*> result;
    for (const KXRecordedCall& call : m_calls) {
        if (call.family == family && (operation.empty() || call.operation == operation))
            result.push_back(&call);
    }
    return result;
}

std::vector<const KXRecordedCall*> KXRecordingLog::draws(const void* geometry) const
{
    std::vector<const KXRecordedCall*> result;
    for (const KXRecordedCall& call : m_calls) {
        const bool draw = call.family == "renderer" && call.operation.compare(0, 4, "draw") == 0;
        // The geometry is the last pointer argument of every draw.
        if (draw && (!geometry || (!call.objects.empty() && call.objects.back() == geometry)))
            result.push_back(&call);
    }
    return result;
}

std::vector<std::string> KXRecordingLog::drawTexts() const
{
    std::vector<std::string> result;
    for (const KXRecordedCall* call : draws())
        result.push_back(call->text());
    return result;
}

int KXRecordingLog::count(const std::string& text) const
{
    int n = 0;
    for (const KXRecordedCall& call : m_calls)
        n += call.text() == text ? 1 : 0;
    return n;
}

int KXRecordingLog::indexOf(const std::string& text, size_t from) const
{
    for (size_t i = from; i < m_calls.size(); ++i) {
        if (m_calls[i].text() == text)
            return static_cast<int>(i);
    }
    return -1;
}

int KXRecordingLog::lastIndexOf(const std::string& text) const
{
    for (size_t i = m_calls.size(); i-- > 0;) {
        if (m_calls[i].text() == text)
            return static_cast<int>(i);
    }
    return -1;
}

bool KXRecordingLog::containsInOrder(const std::vector<std::string>& texts) const
{
    size_t next = 0;
    for (const std::string& text : texts) {
        const int at = indexOf(text, next);
        if (at < 0)
            return false;
        next = static_cast<size_t>(at) + 1;
    }
    return true;
}

std::string KXRecordingLog::dump() const
{
    std::string result;
    for (size_t i = 0; i < m_calls.size(); ++i)
        result += std::to_string(i) + ": " + m_calls[i].text() + "\n";
    return result;
}
