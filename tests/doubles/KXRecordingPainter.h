#pragma once

#include "KXRecordingLog.h"

class KXScene;

// A painter of the given class that logs "painter.paint(type)" before it
// paints, so tests see which painters ran and where in the frame. Being of
// the real class, it passes the canvas's run-time type tests.
template <class Painter>
class KXRecordingPainter : public Painter
{
public:
    explicit KXRecordingPainter(KXRecordingLog& log) : m_log(log) {}

    void paint(const KXScene* scene) override
    {
        m_log.add("painter", "paint", {KXRecordingLog::text(static_cast<int>(this->getPainterType()))});
        Painter::paint(scene);
    }

private:
    KXRecordingLog& m_log;
};
