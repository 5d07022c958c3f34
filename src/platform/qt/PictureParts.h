#pragma once
// Pieces the program's drawn pictures share (the main window's button glyphs, the control
// panel's plate), so that one subject is drawn one way wherever it appears.

#include <QColor>
#include <QLineF>
#include <QRectF>
#include <vector>

class QPainter;

namespace platform::qt {

// An X-ray tube: the glass bulb, the cathode and the anode inside it, the rays leaving the anode.
// Every outline and ray is a round-capped line 1.2 wide, in the picture's own grid.
struct XrayTube {
  QRectF bulb;
  QRectF cathode;
  QRectF anode;
  std::vector<QLineF> rays;
  QColor outline;
  QColor glass;
  QColor electrodes;
  QColor rayColor;
};
void DrawXrayTube(QPainter& p, const XrayTube& tube);

}  // namespace platform::qt
