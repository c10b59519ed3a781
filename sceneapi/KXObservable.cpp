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
    if (!observer)
        return;
    auto it = std::find(m_observers.begin(), m_observers.end(), observer);
    if (it == m_observers.end())
        return;
    if (m_notifying > 0) {
        *it = nullptr;
        ++m_vacancies;
    } else {
        m_observers.erase(it);
    }
}

void KXObservable::notify(const KXEvent& event)
{
    // Walk the list by index, up to the observers registered when the walk
    // began: later registrations are appended beyond that point, and
    // unregistrations only empty their entry. Nothing is copied.
    struct Walk
    {
        KXObservable& self;
        explicit Walk(KXObservable& observable) : self(observable) { ++self.m_notifying; }
        ~Walk()
        {
            if (--self.m_notifying == 0 && self.m_vacancies > 0) {
                self.m_observers.erase(std::remove(self.m_observers.begin(), self.m_observers.end(), nullptr),
                                       self.m_observers.end());
                self.m_vacancies = 0;
            }
        }
    } walk(*this);
    const size_t count = m_observers.size();
    for (size_t i = 0; i < count; ++i) {
        if (KXObserver* observer = m_observers[i])
            observer->update(this, event);
    }
}
