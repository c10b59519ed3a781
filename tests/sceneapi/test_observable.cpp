#include "sceneapi/KXObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

class Recorder : public KXObserver
{
public:
    Recorder(std::vector<int>& log, int id) : m_log(log), m_id(id) {}
    void update(KXObservable*, const KXEvent& event) override
    {
        m_log.push_back(m_id * 100 + event.getKind());
        if (onUpdate)
            onUpdate();
    }
    std::function<void()> onUpdate;

private:
    std::vector<int>& m_log;
    int m_id;
};

class Counted : public KXImplementation
{
public:
    explicit Counted(int& deaths) : m_deaths(deaths) {}
    ~Counted() override { ++m_deaths; }

private:
    int& m_deaths;
};

class Lent : public KXImplementation
{
public:
    void dispose() override { ++disposals; }
    int disposals = 0;
};

} // namespace

TEST(KXObservableTest, NotifiesInRegistrationOrderAndIgnoresDuplicates)
{
    std::vector<int> log;
    KXObservable subject;
    Recorder a(log, 1), b(log, 2);
    subject.registerObserver(&a);
    subject.registerObserver(&b);
    subject.registerObserver(&a);
    subject.registerObserver(nullptr);
    EXPECT_EQ(subject.getNumObservers(), 2);
    subject.notify(KXEvent(3));
    EXPECT_EQ(log, (std::vector<int>{103, 203}));
    subject.unregisterObserver(&a);
    subject.unregisterObserver(&a); // not registered any more: harmless
    subject.notify(KXEvent(4));
    EXPECT_EQ(log, (std::vector<int>{103, 203, 204}));
}

TEST(KXObservableTest, ObserversMayComeAndGoDuringNotification)
{
    std::vector<int> log;
    KXObservable subject;
    Recorder a(log, 1), b(log, 2), c(log, 3), d(log, 4), late(log, 9);
    for (Recorder* r : {&a, &b, &c, &d})
        subject.registerObserver(r);
    // a removes itself, b removes c (not yet called) and registers a newcomer.
    a.onUpdate = [&] { subject.unregisterObserver(&a); };
    b.onUpdate = [&] {
        subject.unregisterObserver(&c);
        subject.registerObserver(&late);
    };
    subject.notify(KXEvent(0));
    // c was unregistered before its turn; d is still called exactly once;
    // the newcomer waits for the next notification.
    EXPECT_EQ(log, (std::vector<int>{100, 200, 400}));
    log.clear();
    subject.notify(KXEvent(1));
    EXPECT_EQ(log, (std::vector<int>{201, 401, 901}));
}

TEST(KXObservableTest, ObserverRemovingAnEarlierOneDoesNotSkipAnyone)
{
    std::vector<int> log;
    KXObservable subject;
    Recorder a(log, 1), b(log, 2), c(log, 3);
    for (Recorder* r : {&a, &b, &c})
        subject.registerObserver(r);
    b.onUpdate = [&] { subject.unregisterObserver(&a); };
    subject.notify(KXEvent(5));
    EXPECT_EQ(log, (std::vector<int>{105, 205, 305}));
}

TEST(KXObjectTest, ReferenceCountingDeletesWithTheLastHolderAndTellsObservers)
{
    std::vector<int> log;
    Recorder watcher(log, 7);
    KXObject* object = new KXObject();
    object->registerObserver(&watcher);
    {
        KXRef<KXObject> first(object);
        KXRef<KXObject> second = first;
        EXPECT_EQ(object->getRefCount(), 2);
        first = nullptr;
        EXPECT_EQ(object->getRefCount(), 1);
    }
    // The object went away with its last reference, and said so first.
    EXPECT_EQ(log, (std::vector<int>{700 + KXObjectEvent::KXOBJECTEVENT_DESTROYING}));
}

TEST(KXObjectTest, ObjectDeletedDirectlyTellsObserversOnce)
{
    // Whoever keeps the object's address (a private map of implementations)
    // must hear of its end however the object goes, and only once.
    std::vector<int> log;
    Recorder watcher(log, 7);
    KXObject* unheld = new KXObject();
    unheld->registerObserver(&watcher);
    delete unheld;
    KXObject* held = new KXObject();
    held->registerObserver(&watcher);
    { KXRef<KXObject> holder(held); }
    const int destroying = 700 + KXObjectEvent::KXOBJECTEVENT_DESTROYING;
    EXPECT_EQ(log, (std::vector<int>{destroying, destroying}));
}

TEST(KXObjectTest, ImplementationSlotDisposesReplacedAndDiscardedImplementations)
{
    int deaths = 0;
    {
        KXImplementationSlot slot;
        slot.set(new Counted(deaths));
        KXImplementation* same = slot.get();
        slot.set(same);
        EXPECT_EQ(deaths, 0);
        slot.set(new Counted(deaths));
        EXPECT_EQ(deaths, 1);
        slot.discard();
        EXPECT_EQ(deaths, 2);
        EXPECT_EQ(slot.get(), nullptr);
        slot.set(new Counted(deaths));
    }
    EXPECT_EQ(deaths, 3);
    // An implementation owned elsewhere is only told to let go.
    Lent lent;
    {
        KXImplementationSlot slot;
        slot.set(&lent);
    }
    EXPECT_EQ(lent.disposals, 1);
}
