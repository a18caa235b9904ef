// Angle constants of the clock-side search. They are derived from the
// detector's own value of pi, not the full double-precision one, so that
// every build turns the probe line through exactly the same angles.
#pragma once

constexpr double kDetectorPi = 3.141592653583;

// Half-width of the fan of probe lines around the solid side's direction.
constexpr double kClockFan = 35.0 * kDetectorPi / 180.0;
// The bisection stops halving its step once the step is below this.
constexpr double kBisectionFloor = 0.5 * kDetectorPi / 180.0;
// Step of the fine sweep back from the bisection's boundary.
constexpr double kSweepStep = 0.25 * kDetectorPi / 180.0;
