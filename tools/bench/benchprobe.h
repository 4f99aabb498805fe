// A probe for the benchmark: logs when the window is first painted, presses and repaints.
#pragma once

class QApplication;

namespace glidor::bench {

// Does nothing unless GLIDOR_BENCH_LOG names a file. Then it appends one line
// per event to that file: "painted NS" when the first frame has reached the
// screen (nanoseconds since GLIDOR_BENCH_T0, a CLOCK_REALTIME time in
// nanoseconds set by the caller), "press NS" for each mouse press, "flush NS"
// for each frame flushed after that, and "hwm KB" (peak memory) at the first
// frame and at exit. With GLIDOR_BENCH_EXIT=1 the program quits after its first frame.
void installProbe(QApplication &app);

} // namespace glidor::bench
