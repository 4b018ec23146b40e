#pragma once

#include <cstdint>

class TFakeClock;

// Runs the message loop while the fake clock moves on by ms, in steps of stepMs. At every step
// the program's timers that fall due post their ticks and the loop handles them, nested loops
// of their handlers included, exactly as the running program would. A handler that waits (a
// hang-up) lets time pass itself; the loop stops once the clock has reached the end.
void RunEventLoopFor(TFakeClock& clock, int64_t ms, int64_t stepMs = 100);

// The clock jumps by ms while no loop runs (a stalled or suspended machine); then the loop
// handles what fell due, once.
void StallThenRunEventLoop(TFakeClock& clock, int64_t ms);
