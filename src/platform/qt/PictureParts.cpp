#include "platform/qt/PictureParts.h"

#include <QPainter>
#include <QPen>

namespace platform::qt {

void DrawXrayTube(QPainter& p, const XrayTube& tube) {
  constexpr double kWidth = 1.2;
  p.setPen(QPen(tube.outline, kWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(tube.glass);
  p.drawEllipse(tube.bulb);
  p.setBrush(tube.electrodes);
  p.drawRect(tube.cathode);
  p.drawRect(tube.anode);
  p.setPen(QPen(tube.rayColor, kWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (const QLineF& ray : tube.rays) p.drawLine(ray);
}

}  // namespace platform::qt
