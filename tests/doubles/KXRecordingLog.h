#pragma once

#include "sceneapi/KXMatrix.h"

#include <string>
#include <vector>

class KXColor;
class KXObject;

// The render states as the recording states have last set them, starting
// from (and put back to by reset) the defaults a real device returns to:
// Gouraud, solid, no culling; depth test and writes on, less-or-equal, no
// bias; no blending (one, zero, add); lighting on, no normalisation; no
// fog, no stencil, no material, no textures.
struct KXTrackedStates {
    static constexpr int NUM_STAGES = 8;

    int shadeMode = 1;
    int fillMode = 2;
    int cullMode = 2;
    int zEnable = 1;
    int zWrite = 1;
    int zFunction = 3;
    float depthBias = 0.0f;
    float slopeScaledDepthBias = 0.0f;
    int blending = 0;
    int sourceBlend = 1;
    int destinationBlend = 0;
    int blendOperation = 0;
    int lighting = 1;
    int normalization = 0;
    int fog = 0;
    int stencil = 0;
    const void* material = nullptr;
    const void* textures[NUM_STAGES] = {};
};

// One call made on a recording double.
struct KXRecordedCall {
    // "renderer", "material", "texture", "light", "zbuffer", "blend", "poly",
    // "stencil", "fog", "clip", "device", "event" or "painter".
    std::string family;
    std::string operation;
    // Each argument as text: numbers as printed by %g / %d / %u, objects by
    // their name (or "obj" when unnamed, "null" for null), matrices "I" for
    // the identity and "M" otherwise, colours "(r,g,b,a)".
    std::vector<std::string> arguments;
    // The pointer arguments, in order.
    std::vector<const void*> objects;
    // The matrix argument, when the call has one.
    KXMatrix matrix;
    // The top of the recording renderer's transform stack when the call was
    // made, and the render states just after it.
    KXMatrix world;
    KXTrackedStates states;

    // "family.operation(argument,argument)".
    std::string text() const;
    bool is(const std::string& family, const std::string& operation) const
    {
        return this->family == family && this->operation == operation;
    }
};

// The calls of a set of recording doubles, in the order they were made.
// Tests assert sequences on the texts, filter by family or operation, and
// read the states and transform in force at a call.
class KXRecordingLog
{
public:
    // Helpers for the doubles.
    static std::string text(int value);
    static std::string text(unsigned value);
    static std::string text(float value);
    static std::string text(const KXObject* object);
    static std::string text(const KXColor& color);
    static std::string text(const KXMatrix& matrix);

    KXRecordedCall& add(const std::string& family, const std::string& operation,
                        std::vector<std::string> arguments = {}, std::vector<const void*> objects = {});

    const std::vector<KXRecordedCall>& calls() const { return m_calls; }
    size_t size() const { return m_calls.size(); }
    void clear() { m_calls.clear(); }

    // The texts of every call, or of the calls of one family.
    std::vector<std::string> texts() const;
    std::vector<std::string> texts(const std::string& family) const;
    // The texts of the calls whose family is one of those given.
    std::vector<std::string> texts(const std::vector<std::string>& families) const;
    // The calls of a family, and of one operation of it when given.
    std::vector<const KXRecordedCall*> find(const std::string& family, const std::string& operation = "") const;
    // The renderer's draw calls (drawTriMesh, drawPolyline and the others),
    // all of them or those of one mesh or polyline, and their texts.
    std::vector<const KXRecordedCall*> draws(const void* geometry = nullptr) const;
    std::vector<std::string> drawTexts() const;
    // How many calls have exactly this text.
    int count(const std::string& text) const;
    // Index of the first call with this text at or after from; -1 when none.
    int indexOf(const std::string& text, size_t from = 0) const;
    // Index of the last call with this text; -1 when none.
    int lastIndexOf(const std::string& text) const;
    // Whether the texts occur in this order, not necessarily adjacent.
    bool containsInOrder(const std::vector<std::string>& texts) const;
    // One call per line, for failure messages.
    std::string dump() const;

    // What the doubles keep current and copy into every call.
    KXTrackedStates states;
    KXMatrix world;

private:
    std::vector<KXRecordedCall> m_calls;
};
