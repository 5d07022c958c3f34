#pragma once
// The anode current correction: the generator's current channel reads low, by a factor that
// depends on the reading itself. Both exposure objects scale their current reading with it.

namespace kvt {

// The factor for a measured current reading x: taken from the table at its points, interpolated
// linearly between them, and extrapolated along the table's outer segments beyond 200 and below
// 73. Single precision, as the apparatus's own tables are.
float CurrentCorrection(int x);

}  // namespace kvt
