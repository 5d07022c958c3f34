// The control panel's pictures, drawn at run time: the key faces, the lamps and the panel's
// legends (no image files to ship).

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>
#include <cmath>
#include <functional>

#include "platform/qt/Bindings.h"
#include "platform/qt/PictureParts.h"
#include "tools/ui/PultView.h"

namespace kvt::ui {

namespace {

using Draw = std::function<void(QPainter& p)>;

// Drawn on a w x h grid, scaled to fit the requested size with the aspect kept.
platform::qt::PixmapFactory Picture(double w, double h, Draw draw) {
  return [w, h, draw](QSize size) {
    const double scale = std::max(0.1, std::min(size.width() / w, size.height() / h));
    QPixmap pm(std::max(1, int(w * scale)), std::max(1, int(h * scale)));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    draw(p);
    return pm;
  };
}

platform::qt::PixmapFactory Key(Draw draw) {
  return Picture(40, 40, std::move(draw));
}

QPen Pen(QColor c, double w = 2.0) {
  return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor kInk(35, 35, 35);

void Text(QPainter& p, const QRectF& r, const QString& text, double size, QColor color = kInk,
          bool bold = true) {
  QFont f("DejaVu Sans");
  f.setPixelSize(std::max(1, int(size)));
  f.setBold(bold);
  p.setFont(f);
  p.setPen(color);
  p.drawText(r, Qt::AlignCenter, text);
}

void Arrow(QPainter& p, QPointF from, QPointF to, QColor c, double w = 3) {
  p.setPen(Pen(c, w));
  p.drawLine(from, to);
  const double a = std::atan2(to.y() - from.y(), to.x() - from.x());
  const double l = 6;
  p.drawLine(to, to - QPointF(l * std::cos(a - 0.5), l * std::sin(a - 0.5)));
  p.drawLine(to, to - QPointF(l * std::cos(a + 0.5), l * std::sin(a + 0.5)));
}

// A patient in front view; width grows with the density (1 .. 6).
void Figure(QPainter& p, int density) {
  const double half = 5 + density * 1.6;
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(QColor(70, 90, 140));
  p.drawEllipse(QPointF(16, 8), 4.5, 4.5);
  QPainterPath body;
  body.moveTo(16 - half, 36);
  body.lineTo(16 - half, 19);
  body.quadTo(16 - half, 13.5, 16 - half + 5, 13.5);
  body.lineTo(16 + half - 5, 13.5);
  body.quadTo(16 + half, 13.5, 16 + half, 19);
  body.lineTo(16 + half, 36);
  body.closeSubpath();
  p.drawPath(body);
  Text(p, QRectF(27, 0, 13, 14), QString::number(density), 12, QColor(150, 0, 0));
}

void Trefoil(QPainter& p, QPointF c, double r, QColor ink) {
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  for (int k = 0; k < 3; ++k) {
    const double start = 90 + k * 120 - 30;
    QPainterPath blade;
    blade.moveTo(c);
    blade.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), start, 60);
    blade.closeSubpath();
    p.drawPath(blade);
  }
  p.setBrush(Qt::white);
  p.drawEllipse(c, r * 0.3, r * 0.3);
  p.setBrush(ink);
  p.drawEllipse(c, r * 0.2, r * 0.2);
}

// A person's head above the body's outline, in skin colour.
void Person(QPainter& p, QPointF head, const QPainterPath& body) {
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(QColor(200, 170, 140));
  p.drawEllipse(head, 5, 6);
  p.drawPath(body);
}

// A round signal lamp in its bezel; lit lamps glow.
platform::qt::PixmapFactory Lamp(QColor color, bool lit, bool trefoil) {
  return Picture(40, 40, [color, lit, trefoil](QPainter& p) {
    p.setPen(Pen(QColor(20, 20, 20), 1));
    QLinearGradient bezel(0, 0, 40, 40);
    bezel.setColorAt(0, QColor(230, 230, 230));
    bezel.setColorAt(1, QColor(90, 90, 90));
    p.setBrush(bezel);
    p.drawEllipse(QRectF(1, 1, 38, 38));
    QRadialGradient g(15, 14, 18);
    if (lit) {
      g.setColorAt(0, Qt::white);
      g.setColorAt(0.25, color.lighter(130));
      g.setColorAt(1, color);
    } else {
      const QColor dark = color.darker(330);
      g.setColorAt(0, dark.lighter(160));
      g.setColorAt(1, dark);
    }
    p.setBrush(g);
    p.drawEllipse(QRectF(5, 5, 30, 30));
    if (trefoil) Trefoil(p, QPointF(20, 20), 9, lit ? QColor(60, 0, 0, 200) : QColor(0, 0, 0, 120));
  });
}

// A legend engraved on the silver panel.
platform::qt::PixmapFactory Legend(const QString& text, Draw icon = {}) {
  return Picture(240, 20, [text, icon](QPainter& p) {
    if (icon) {
      p.save();
      icon(p);
      p.restore();
    }
    QFont f("DejaVu Sans");
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 160));
    p.drawText(QRectF(25, 1, 215, 20), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRectF(24, 0, 215, 20), Qt::AlignLeft | Qt::AlignVCenter, text);
  });
}

platform::qt::PixmapFactory Unit(const QString& symbol, const QString& unit) {
  return Picture(110, 20, [symbol, unit](QPainter& p) {
    Text(p, QRectF(0, 0, 110, 20), symbol + ", " + unit, 14, QColor(40, 40, 40));
  });
}

void RegisterAll() {
  using platform::qt::RegisterPicture;

  RegisterPicture("PultPower", Key([](QPainter& p) {
                    p.setPen(Pen(QColor(0, 130, 0), 3.5));
                    p.drawArc(QRectF(8, 9, 24, 24), 125 * 16, 290 * 16);
                    p.drawLine(QPointF(20, 5), QPointF(20, 20));
                  }));
  RegisterPicture("PultSynchro", Key([](QPainter& p) {
                    p.setPen(Pen(QColor(0, 70, 170), 2.5));
                    QPainterPath wave;
                    wave.moveTo(4, 22);
                    for (int x = 4; x <= 36; ++x)
                      wave.lineTo(x, 22 - 9 * std::sin((x - 4) * M_PI / 16.0));
                    p.drawPath(wave);
                    p.setPen(Pen(QColor(200, 0, 0), 2.5));
                    for (double x : {4.0, 20.0, 36.0}) p.drawLine(QPointF(x, 30), QPointF(x, 36));
                  }));
  auto footboard = [](bool up) {
    return Key([up](QPainter& p) {
      p.setPen(Pen(kInk, 1.2));
      p.setBrush(QColor(120, 120, 120));
      p.drawRect(QRectF(5, up ? 30 : 8, 30, 4));
      p.drawRect(QRectF(9, up ? 34 : 12, 3, 4));
      p.drawRect(QRectF(28, up ? 34 : 12, 3, 4));
      if (up)
        Arrow(p, QPointF(20, 26), QPointF(20, 5), QColor(0, 110, 0), 3.5);
      else
        Arrow(p, QPointF(20, 17), QPointF(20, 37), QColor(0, 110, 0), 3.5);
    });
  };
  RegisterPicture("PultFootboardUp", footboard(true));
  RegisterPicture("PultFootboardDown", footboard(false));
  RegisterPicture("PultDoor", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 1.5));
                    p.setBrush(QColor(170, 120, 70));
                    p.drawRect(QRectF(12, 4, 16, 32));
                    p.setBrush(kInk);
                    p.drawEllipse(QPointF(25, 21), 1.5, 1.5);
                    Arrow(p, QPointF(10, 20), QPointF(2, 20), QColor(0, 70, 170), 2.5);
                    Arrow(p, QPointF(30, 20), QPointF(38, 20), QColor(0, 70, 170), 2.5);
                  }));
  RegisterPicture("PultUp", Picture(40, 26, [](QPainter& p) {
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(40, 40, 40));
                    p.drawPolygon(QPolygonF({QPointF(20, 3), QPointF(34, 23), QPointF(6, 23)}));
                  }));
  RegisterPicture("PultDown", Picture(40, 26, [](QPainter& p) {
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(40, 40, 40));
                    p.drawPolygon(QPolygonF({QPointF(20, 23), QPointF(34, 3), QPointF(6, 3)}));
                  }));
  for (int d = 1; d <= 6; ++d)
    RegisterPicture("PultH" + std::to_string(d),
                    Picture(40, 40, [d](QPainter& p) { Figure(p, d); }));

  RegisterPicture("PultLungs", Key([](QPainter& p) {
                    p.setPen(Pen(QColor(120, 20, 40), 1.2));
                    p.setBrush(QColor(235, 120, 140));
                    QPainterPath left;
                    left.moveTo(18, 12);
                    left.cubicTo(10, 10, 4, 22, 6, 34);
                    left.cubicTo(10, 36, 16, 34, 18, 30);
                    left.closeSubpath();
                    p.drawPath(left);
                    // The right lobe mirrors the left one about the key's middle.
                    p.drawPath(QTransform(-1, 0, 0, 1, 40, 0).map(left));
                    p.setPen(Pen(QColor(120, 20, 40), 2.5));
                    p.drawLine(QPointF(20, 3), QPointF(20, 14));
                    p.drawLine(QPointF(20, 14), QPointF(16, 18));
                    p.drawLine(QPointF(20, 14), QPointF(24, 18));
                  }));
  RegisterPicture("PultTorsoFace", Key([](QPainter& p) {
                    QPainterPath t;
                    t.moveTo(6, 38);
                    t.lineTo(7, 20);
                    t.quadTo(8, 15, 14, 15);
                    t.lineTo(26, 15);
                    t.quadTo(32, 15, 33, 20);
                    t.lineTo(34, 38);
                    t.closeSubpath();
                    Person(p, QPointF(20, 8), t);
                    p.setPen(Pen(QColor(120, 90, 60), 1));
                    p.drawLine(QPointF(20, 18), QPointF(20, 36));
                  }));
  RegisterPicture("PultTorsoProfile", Key([](QPainter& p) {
                    QPainterPath t;
                    t.moveTo(13, 38);
                    t.lineTo(13, 20);
                    t.quadTo(14, 15, 19, 15);
                    t.lineTo(23, 15);
                    t.quadTo(29, 17, 29, 24);
                    t.quadTo(28, 31, 27, 38);
                    t.closeSubpath();
                    Person(p, QPointF(21, 8), t);
                    p.drawRoundedRect(QRectF(19, 18, 6, 16), 3, 3);  // the arm at the side
                  }));
  RegisterPicture("PultSkullProfile", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 1.4));
                    p.setBrush(QColor(240, 235, 215));
                    QPainterPath s;
                    s.moveTo(28, 30);
                    s.cubicTo(38, 24, 36, 4, 20, 4);
                    s.cubicTo(8, 4, 4, 14, 6, 22);
                    s.lineTo(4, 26);
                    s.lineTo(8, 27);
                    s.lineTo(9, 33);
                    s.lineTo(17, 35);
                    s.lineTo(19, 30);
                    s.closeSubpath();
                    p.drawPath(s);
                    p.setBrush(kInk);
                    p.drawEllipse(QPointF(11, 17), 3, 2.5);
                    p.drawLine(QPointF(10, 30), QPointF(16, 31));
                  }));
  const char* letters[] = {"A", "B", "C", "D"};
  for (int k = 0; k < 4; ++k) {
    const QString letter = letters[k];
    RegisterPicture(std::string("PultMode") + letters[k], Key([letter](QPainter& p) {
                      p.setPen(Pen(QColor(0, 70, 170), 2));
                      p.setBrush(Qt::NoBrush);
                      p.drawEllipse(QRectF(5, 5, 30, 30));
                      Text(p, QRectF(5, 5, 30, 30), letter, 20, QColor(0, 70, 170));
                    }));
  }
  RegisterPicture("PultProgramm", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 1.2));
                    p.setBrush(QColor(60, 60, 60));
                    p.drawRect(QRectF(18, 18, 18, 18));
                    for (int k = 0; k < 4; ++k) {
                      p.drawLine(QPointF(21 + k * 4, 15), QPointF(21 + k * 4, 18));
                      p.drawLine(QPointF(21 + k * 4, 36), QPointF(21 + k * 4, 39));
                    }
                    Text(p, QRectF(0, 0, 22, 24), "P", 22, QColor(170, 0, 0));
                    Arrow(p, QPointF(14, 24), QPointF(22, 27), QColor(170, 0, 0), 2);
                  }));
  RegisterPicture("PultWorkTime", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 2));
                    p.setBrush(Qt::white);
                    p.drawEllipse(QRectF(5, 5, 30, 30));
                    p.drawLine(QPointF(20, 20), QPointF(20, 9));
                    p.drawLine(QPointF(20, 20), QPointF(28, 23));
                  }));
  RegisterPicture("PultExposureTime", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 2));
                    p.setBrush(QColor(255, 230, 0));
                    p.drawEllipse(QRectF(6, 9, 28, 28));
                    p.drawRect(QRectF(17, 3, 6, 4));
                    Trefoil(p, QPointF(20, 23), 9, kInk);
                  }));
  RegisterPicture("PultSnapshots", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(60, 40, 20));
                    p.drawRect(QRectF(4, 8, 32, 24));
                    p.setBrush(QColor(240, 240, 240));
                    for (int k = 0; k < 5; ++k) {
                      p.drawRect(QRectF(6 + k * 6.2, 10, 3, 3));
                      p.drawRect(QRectF(6 + k * 6.2, 27, 3, 3));
                    }
                    p.setBrush(QColor(170, 200, 230));
                    p.drawRect(QRectF(10, 15, 20, 10));
                    Text(p, QRectF(10, 15, 20, 10), "Σ", 10, kInk);
                  }));
  RegisterPicture("PultSnapshot", Key([](QPainter& p) {
                    p.setPen(Pen(kInk, 1.5));
                    p.setBrush(QColor(255, 215, 0));
                    p.drawEllipse(QRectF(2, 2, 36, 36));
                    Trefoil(p, QPointF(20, 20), 14, kInk);
                  }));
  RegisterPicture("PultCancel", Key([](QPainter& p) {
                    p.setPen(Pen(QColor(90, 0, 0), 1.5));
                    p.setBrush(QColor(210, 20, 20));
                    p.drawEllipse(QRectF(3, 3, 34, 34));
                    p.setPen(Pen(Qt::white, 4.5));
                    p.drawLine(QPointF(13, 13), QPointF(27, 27));
                    p.drawLine(QPointF(27, 13), QPointF(13, 27));
                  }));

  RegisterPicture(pult::kPrepOff, Lamp(QColor(255, 190, 0), false, false));
  RegisterPicture(pult::kPrepOn, Lamp(QColor(255, 190, 0), true, false));
  RegisterPicture(pult::kPrepComplete, Lamp(QColor(0, 220, 0), true, false));
  RegisterPicture(pult::kHVOff, Lamp(QColor(255, 30, 0), false, true));
  RegisterPicture(pult::kHVOn, Lamp(QColor(255, 30, 0), true, true));

  RegisterPicture("PultKV", Unit("U", "кВ"));
  RegisterPicture("PultMA", Unit("I", "мА"));
  RegisterPicture("PultSeconds", Unit("T", "с"));
  RegisterPicture("PultDensity", Legend("ПЛОТНОСТЬ ПАЦИЕНТА", [](QPainter& p) {
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(70, 90, 140));
                    p.drawEllipse(QRectF(3, 2, 6, 16));
                    p.drawEllipse(QRectF(10, 1, 11, 18));
                  }));
  RegisterPicture("PultMode", Legend("РЕЖИМ СНИМКА", [](QPainter& p) {
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(235, 120, 140));
                    p.drawEllipse(QRectF(3, 4, 7, 13));
                    p.drawEllipse(QRectF(12, 4, 7, 13));
                  }));
  RegisterPicture("PultCounters", Legend("СЧЁТЧИКИ", [](QPainter& p) {
                    p.setPen(Pen(kInk, 1.5));
                    p.setBrush(Qt::white);
                    p.drawEllipse(QRectF(3, 2, 16, 16));
                    p.drawLine(QPointF(11, 10), QPointF(11, 4.5));
                    p.drawLine(QPointF(11, 10), QPointF(15, 12));
                  }));
  RegisterPicture("PultFootboard", Picture(40, 48, [](QPainter& p) {
                    // A patient standing on the footboard.
                    p.setPen(Pen(kInk, 1));
                    p.setBrush(QColor(40, 40, 40));
                    p.drawEllipse(QPointF(20, 7), 4, 4);
                    p.drawRoundedRect(QRectF(14, 12, 12, 18), 3, 3);
                    p.drawRect(QRectF(15, 30, 4, 10));
                    p.drawRect(QRectF(21, 30, 4, 10));
                    p.setBrush(QColor(120, 120, 120));
                    p.drawRect(QRectF(6, 40, 28, 4));
                    p.setPen(Pen(QColor(0, 110, 0), 2));
                    p.drawLine(QPointF(3, 30), QPointF(3, 46));
                    p.drawLine(QPointF(37, 30), QPointF(37, 46));
                  }));
  RegisterPicture("PultCalimState", Picture(150, 48, [](QPainter& p) {
                    // The maker's plate: an X-ray tube beside the name.
                    QLinearGradient g(0, 0, 0, 48);
                    g.setColorAt(0, QColor(60, 60, 70));
                    g.setColorAt(1, QColor(20, 20, 25));
                    p.setPen(Pen(QColor(200, 200, 200), 1));
                    p.setBrush(g);
                    p.drawRoundedRect(QRectF(1, 1, 148, 46), 5, 5);
                    platform::qt::DrawXrayTube(p, {QRectF(8, 14, 30, 16),
                                                   QRectF(13, 19, 5, 6),
                                                   QRectF(27, 18, 4, 8),
                                                   {QLineF(27, 28, 22, 40), QLineF(29, 28, 29, 40),
                                                    QLineF(31, 28, 36, 40)},
                                                   QColor(200, 200, 200),
                                                   QColor(170, 210, 255, 120),
                                                   QColor(220, 220, 220),
                                                   QColor(255, 220, 0)});
                    Text(p, QRectF(42, 4, 104, 22), "КВТ", 17, QColor(255, 255, 255));
                    Text(p, QRectF(42, 24, 104, 20), "ВЕСМАР", 13, QColor(255, 220, 0));
                  }));
}

}  // namespace

void RegisterPultPictures() {
  static const bool registered = (RegisterAll(), true);
  (void)registered;
}

}  // namespace kvt::ui
