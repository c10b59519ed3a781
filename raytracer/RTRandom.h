#pragma once

#include <cstdint>

// Random numbers for soft shadows: a linear congruential generator with the
// range 0..32767, one per worker thread, so that no thread waits for
// another and the numbers do not depend on how rows are shared out. The
// passes seed it at the start of every row from the row and the pass, so a
// pixel gets the same numbers whatever thread traces it and however many
// threads there are.
class RTRandom
{
public:
    static constexpr int MAX = 32767;

    explicit RTRandom(uint32_t seed = 1) : m_state(seed) {}
    void seed(uint32_t seed) { m_state = seed; }
    // Seeds for row y of a pass.
    void seedRow(uint32_t pass, uint32_t y) { m_state = (y + 1u) * 2654435761u ^ (pass * 0x9e3779b9u); }

    int next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7fffu);
    }

private:
    uint32_t m_state;
};
