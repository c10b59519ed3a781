#include "widgets/KXWidget.h"

#include "renderer/KXOutOfMemory.h"

namespace {

KXShape* createOnce(KXRef<KXShape>& slot)
{
    if (slot)
        return nullptr;
    // Out of memory nothing is made, and null comes back.
    kxRunWithinMemory([&] { slot = new KXShape(); });
    return slot.get();
}

} // namespace

KXWidget::~KXWidget() = default;

KXShape* KXWidget::createVisual() { return createOnce(m_visual); }
KXShape* KXWidget::createHandle() { return createOnce(m_handle); }
KXShape* KXWidget::createLetter() { return createOnce(m_letter); }
