#pragma once

#include "sceneapi/KXSceneExport.h"

#include <cstddef>
#include <vector>

// Base of every change notification. Receivers find out what happened by the
// event's dynamic type and its kind number.
class KXEvent
{
public:
    explicit KXEvent(int kind = 0) : m_kind(kind) {}
    virtual ~KXEvent() = default;
    int getKind() const { return m_kind; }

private:
    int m_kind;
};

class KXObservable;

// Receives the events of the observables it is registered with.
class KXObserver
{
public:
    virtual ~KXObserver() = default;
    virtual void update(KXObservable* source, const KXEvent& event) = 0;
};

// Keeps a list of observers and tells them of events, in the order in which
// they registered.
//
// The list may change while a notification is running: an observer that is
// unregistered (by itself or by another) before its turn is not called, every
// other observer registered when the notification began is called exactly
// once, and observers registered during a notification first hear the next
// one. Destroying the observable from inside a notification is not supported.
// A notification allocates nothing, so that events such as a device's release
// reach every observer even when memory has run out.
class KXSCENE_API KXObservable
{
public:
    KXObservable() = default;
    // Observers belong to the observable they registered with, not to a copy.
    KXObservable(const KXObservable&) : KXObservable() {}
    KXObservable& operator=(const KXObservable&) { return *this; }
    virtual ~KXObservable() = default;

    // Registering the same observer twice keeps one entry; null is ignored.
    virtual void registerObserver(KXObserver* observer);
    virtual void unregisterObserver(KXObserver* observer);
    virtual void notify(const KXEvent& event);

    int getNumObservers() const { return static_cast<int>(m_observers.size() - m_vacancies); }

private:
    // Observers unregistered during a notification leave a null entry, so
    // that the walk keeps its place; the outermost notification closes the
    // gaps when it ends.
    std::vector<KXObserver*> m_observers;
    std::size_t m_vacancies = 0;
    int m_notifying = 0;
};
