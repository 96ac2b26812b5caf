// Shared by the engine's tests: what a job's waiter was told, and the change
// of one microphone's gain.
#pragma once

#include "JobQueue.h"

#include <gtest/gtest.h>

#include <cstdint>

struct Told { int times = 0; SessionError error; };

inline JobQueue::Done Into(Told& t)
{
    return [&t](const SessionError& e, const ReportEvent&) {
        EXPECT_EQ(t.times++, 0) << "a job ends once";
        t.error = e;
    };
}

// Microphone `mic` (1..6) to `position`, as the engine's own change.
inline StateChange MicGain(int mic, std::uint8_t position)
{
    DeviceState to;
    to.gain[kFirstMicIndex + mic - 1] = position;
    ItemSet only;
    only.set(item::Gain(kFirstMicIndex + mic - 1));
    return CommandsFor(to, only).front();
}
