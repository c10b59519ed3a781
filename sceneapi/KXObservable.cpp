#include "sceneapi/KXObservable.h"

#include <algorithm>

void KXObservable::registerObserver(KXObserver* observer)
{
    if (!observer || std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
        return;
    m_observers.push_back(observer);
}

void KXObservable::unregisterObserver(KXObserver* observer)
{
    auto it = std::find(m_observers.begin(), m_observers.end(), observer);
    if (it != m_observers.end())
        m_observers.erase(it);
}

void KXObservable::notify(const KXEvent& event)
{
    // Walk a snapshot so that observers may register and unregister during
    // the walk; before each call, check that the observer is still registered.
    const std::vector<KXObserver*> snapshot = m_observers;
    for (KXObserver* observer : snapshot) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
            observer->update(this, event);
    }
}
