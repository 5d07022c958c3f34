// The pictures on the main window's buttons, drawn at run time (no image files to ship).

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

#include "app/ui/ManagerView.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/PictureParts.h"

namespace kvt::ui {

namespace {

using Draw = std::function<void(QPainter& p)>;

// Each glyph is drawn on a 20 x 20 grid and scaled to the requested size.
platform::qt::PixmapFactory Glyph(Draw draw) {
  return [draw](QSize size) {
    const int d = std::max(8, std::min(size.width(), size.height()));
    QPixmap pm(d, d);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(d / 20.0, d / 20.0);
    draw(p);
    return pm;
  };
}

QPen Pen(QColor c, double w = 1.6) {
  return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawPower(QPainter& p, QColor c) {
  p.setPen(Pen(c, 2.2));
  p.drawArc(QRectF(3.5, 4, 13, 13), 120 * 16, 300 * 16);
  p.drawLine(QPointF(10, 2.5), QPointF(10, 10));
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, QColor c) {
  p.setPen(Pen(c, 2.2));
  p.drawLine(from, to);
  QLineF l(to, from);
  QLineF a = l;
  a.setLength(4.5);
  a.setAngle(l.angle() + 35);
  QLineF b = l;
  b.setLength(4.5);
  b.setAngle(l.angle() - 35);
  p.drawLine(a);
  p.drawLine(b);
}

void DrawChip(QPainter& p) {
  p.setPen(Pen(QColor(30, 30, 30), 1));
  p.setBrush(QColor(60, 60, 70));
  p.drawRect(QRectF(5, 5, 10, 10));
  p.setPen(Pen(QColor(160, 160, 160), 1));
  for (int i = 7; i <= 13; i += 3) {
    p.drawLine(QPointF(i, 2.5), QPointF(i, 5));
    p.drawLine(QPointF(i, 15), QPointF(i, 17.5));
    p.drawLine(QPointF(2.5, i), QPointF(5, i));
    p.drawLine(QPointF(15, i), QPointF(17.5, i));
  }
}

// A memory chip with an arrow through it: reading from the apparatus or writing into it.
platform::qt::PixmapFactory ChipTransfer(QPointF from, QPointF to, QColor c) {
  return Glyph([from, to, c](QPainter& p) {
    DrawChip(p);
    DrawArrow(p, from, to, c);
  });
}

}  // namespace

void RegisterManagerGlyphs() {
  using platform::qt::RegisterPicture;
  RegisterPicture("Connect", Glyph([](QPainter& p) {
                    // Two plug halves meeting.
                    p.setPen(Pen(QColor(0, 0, 128), 2));
                    p.drawLine(QPointF(1.5, 14), QPointF(5, 10.5));
                    p.drawLine(QPointF(15, 9.5), QPointF(18.5, 6));
                    p.setBrush(QColor(0, 110, 200));
                    p.setPen(Pen(QColor(0, 0, 128), 1));
                    p.drawRoundedRect(QRectF(4, 7, 6, 6), 1, 1);
                    p.drawRoundedRect(QRectF(10, 7, 6, 6), 1, 1);
                  }));
  RegisterPicture("ReadConfig", ChipTransfer(QPointF(10, 3), QPointF(10, 17), QColor(0, 150, 0)));
  RegisterPicture("OpenConfig", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(120, 90, 0), 1.2));
                    p.setBrush(QColor(240, 200, 80));
                    p.drawPolygon(QPolygonF({QPointF(2, 5), QPointF(8, 5), QPointF(10, 7),
                                             QPointF(18, 7), QPointF(18, 17), QPointF(2, 17)}));
                  }));
  RegisterPicture("Translate", ChipTransfer(QPointF(10, 17), QPointF(10, 3), QColor(200, 0, 0)));
  RegisterPicture("SaveConfig", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(20, 20, 80), 1.2));
                    p.setBrush(QColor(40, 60, 160));
                    p.drawRect(QRectF(3, 3, 14, 14));
                    p.setBrush(QColor(230, 230, 230));
                    p.drawRect(QRectF(6, 3, 8, 5));
                    p.drawRect(QRectF(5, 11, 10, 6));
                  }));
  RegisterPicture("Tools", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(80, 80, 80), 3));
                    p.drawLine(QPointF(4, 16), QPointF(12, 8));
                    p.setPen(Pen(QColor(80, 80, 80), 1.8));
                    p.setBrush(Qt::NoBrush);
                    p.drawArc(QRectF(10, 2, 8, 8), -60 * 16, 270 * 16);
                  }));
  RegisterPicture("PowerOn", Glyph([](QPainter& p) { DrawPower(p, QColor(0, 160, 0)); }));
  RegisterPicture("PowerOff", Glyph([](QPainter& p) { DrawPower(p, QColor(200, 0, 0)); }));
  RegisterPicture("Rotation", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(0, 90, 160), 2));
                    p.drawArc(QRectF(3, 3, 14, 14), 30 * 16, 280 * 16);
                    DrawArrow(p, QPointF(16.5, 7.5), QPointF(16.3, 3.5), QColor(0, 90, 160));
                    p.setBrush(QColor(0, 90, 160));
                    p.drawEllipse(QPointF(10, 10), 1.8, 1.8);
                  }));
  RegisterPicture("HeatCheck", Glyph([](QPainter& p) {
                    // A filament coil.
                    p.setPen(Pen(QColor(220, 90, 0), 1.8));
                    QPainterPath coil;
                    coil.moveTo(2, 12);
                    for (int i = 0; i < 4; ++i)
                      coil.cubicTo(4 + i * 4, 4, 6 + i * 4, 4, 6 + i * 4, 12);
                    p.drawPath(coil);
                    p.setPen(Pen(QColor(60, 60, 60), 1.4));
                    p.drawLine(QPointF(2, 12), QPointF(2, 18));
                    p.drawLine(QPointF(18, 12), QPointF(18, 18));
                  }));
  RegisterPicture("UnderHeat", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(230, 140, 0), 1.8));
                    for (int x = 5; x <= 15; x += 5) {
                      QPainterPath wave;
                      wave.moveTo(x, 17);
                      wave.cubicTo(x - 3, 13, x + 3, 9, x, 4);
                      p.drawPath(wave);
                    }
                  }));
  RegisterPicture("Channels", Glyph([](QPainter& p) {
                    // A meter dial.
                    p.setPen(Pen(QColor(40, 40, 40), 1.4));
                    p.setBrush(QColor(255, 255, 240));
                    p.drawPie(QRectF(2, 4, 16, 16), 0, 180 * 16);
                    p.setPen(Pen(QColor(200, 0, 0), 1.6));
                    p.drawLine(QPointF(10, 12), QPointF(14.5, 6.5));
                  }));
  RegisterPicture("Calibration", Glyph([](QPainter& p) {
                    platform::qt::DrawXrayTube(p, {QRectF(2, 6, 16, 8),
                                                   QRectF(5, 8.5, 3, 3),
                                                   QRectF(12, 8, 2, 4),
                                                   {QLineF(12, 12, 9, 18), QLineF(13, 12, 13, 18)},
                                                   QColor(40, 40, 40),
                                                   QColor(200, 230, 255),
                                                   QColor(80, 80, 80),
                                                   QColor(120, 0, 160)});
                  }));
  RegisterPicture("CheckShots", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(40, 40, 40), 1.2));
                    p.setBrush(QColor(90, 90, 90));
                    p.drawRoundedRect(QRectF(2, 6, 16, 11), 2, 2);
                    p.drawRect(QRectF(7, 3.5, 6, 3));
                    p.setBrush(QColor(170, 210, 255));
                    p.drawEllipse(QPointF(10, 11.5), 3.5, 3.5);
                  }));
  RegisterPicture("Oscillograms", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(20, 60, 20), 1));
                    p.setBrush(QColor(0, 40, 0));
                    p.drawRect(QRectF(1.5, 3, 17, 14));
                    p.setPen(Pen(QColor(0, 255, 0), 1.4));
                    QPainterPath wave;
                    wave.moveTo(2.5, 10);
                    wave.cubicTo(5, 3, 7, 3, 9, 10);
                    wave.cubicTo(11, 17, 13, 17, 15, 10);
                    wave.lineTo(17.5, 6);
                    p.drawPath(wave);
                  }));
  RegisterPicture("ControlPanel", Glyph([](QPainter& p) {
                    p.setPen(Pen(QColor(40, 40, 40), 1.2));
                    p.setBrush(QColor(200, 200, 200));
                    p.drawRoundedRect(QRectF(2, 3, 16, 14), 2, 2);
                    const QColor keys[] = {QColor(0, 170, 0), QColor(220, 200, 0),
                                           QColor(220, 0, 0), QColor(0, 90, 200)};
                    for (int i = 0; i < 4; ++i) {
                      p.setBrush(keys[i]);
                      p.drawEllipse(QPointF(6 + (i % 2) * 8, 7 + (i / 2) * 6), 2, 2);
                    }
                  }));
}

}  // namespace kvt::ui
