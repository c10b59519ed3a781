#pragma once

// Internal to the renderer library: how its operations meet a lack of memory.
//
// Memory runs out as std::bad_alloc (from new and the containers) or as
// std::length_error (a container asked to grow beyond what it can address).
// Neither may leave an operation of the library: the operation catches it
// where it can still undo what it did, and reports its failure as it reports
// any other (a result code, or doing nothing).

#include <new>
#include <stdexcept>

// Runs work; true when it ran to its end, false when memory ran out and it
// was abandoned where it stood. Other exceptions pass through.
template <class Work>
bool kxRunWithinMemory(Work&& work)
{
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}
