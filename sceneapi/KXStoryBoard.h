#pragma once

#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

#include <map>
#include <memory>
#include <vector>

class KXNode;

// Where an animated node stands at the story board's current time: its
// animated placement in its parent, in place of its transform.
class KXNodePivot
{
public:
    const KXMatrix& getMatrix() const { return m_matrix; }
    void setMatrix(const KXMatrix& m) { m_matrix = m; }

private:
    KXMatrix m_matrix;
};

// The animation of one node: key frames of scale, rotation and translation
// interpolated over time (linearly, rotations along the shortest arc), held
// constant before the first key and after the last.
class KXSCENE_API KXAnimationBag
{
public:
    struct KeyFrame {
        float time = 0.0f;
        KXVector scale{1.0f, 1.0f, 1.0f};
        KXVector rotationAxis{0.0f, 0.0f, 1.0f};
        float rotationAngle = 0.0f;
        KXVector translation;
    };

    // Keys are kept sorted by time; a key at an existing time replaces it.
    void addKeyFrame(const KeyFrame& key);
    int getNumKeyFrames() const { return static_cast<int>(m_keys.size()); }
    const KeyFrame& getKeyFrame(int index) const { return m_keys[index]; }
    void clear() { m_keys.clear(); }

    // The placement at a time, as scale · rotation · translation.
    KXMatrix evaluate(float time) const;
    // Moves the pivot to the given time.
    void setTime(float time);

    // The pivot of the node; null while the bag has no key frames.
    KXNodePivot* getNodePivot() { return m_keys.empty() ? nullptr : &m_pivot; }
    const KXNodePivot* getNodePivot() const { return m_keys.empty() ? nullptr : &m_pivot; }

    float getStartTime() const { return m_keys.empty() ? 0.0f : m_keys.front().time; }
    float getEndTime() const { return m_keys.empty() ? 0.0f : m_keys.back().time; }

private:
    std::vector<KeyFrame> m_keys;
    KXNodePivot m_pivot;
};

// The animations of a scene: one bag per animated node and a current time.
// The story board holds a reference to each animated node.
class KXSCENE_API KXStoryBoard : public KXObject
{
public:
    KXStoryBoard() = default;
    explicit KXStoryBoard(KXScene* scene) : KXObject(scene) {}
    ~KXStoryBoard() override;

    // The node's bag, or null when the node is not animated.
    KXAnimationBag* getAnimationBag(const KXNode* node) const;
    // The node's bag, made when it has none yet; null for a null node.
    KXAnimationBag* createAnimationBag(KXNode* node);
    void removeAnimationBag(const KXNode* node);
    int getNumAnimatedNodes() const { return static_cast<int>(m_bags.size()); }

    float getTime() const { return m_time; }
    // Moves every bag's pivot to the time.
    void setTime(float time);
    // The latest key time over all bags.
    float getDuration() const;
    // Writes every pivot into its node's transform, for applications that
    // want the scene itself to move.
    void applyToNodes() const;

private:
    std::map<const KXNode*, std::unique_ptr<KXAnimationBag>> m_bags;
    float m_time = 0.0f;
};
