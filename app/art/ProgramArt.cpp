#include "app/art/ProgramArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ProgramArt {

namespace {

const QColor kInk(0x1d, 0x23, 0x2b);
const QColor kTealLight(0x2a, 0x8c, 0x94);
const QColor kTealDark(0x14, 0x3e, 0x4c);
const QColor kAmber(0xf5, 0xb8, 0x3d);
const QColor kPaper(0xf7, 0xf5, 0xef);

QImage Blank(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

QPainterPath Rounded(qreal x, qreal y, qreal w, qreal h, qreal r) {
  QPainterPath path;
  path.addRoundedRect(QRectF(x, y, w, h), r, r);
  return path;
}

// Little-endian, as the file format stores numbers; bytes past the fourth are zero.
void Append(QByteArray& out, quint32 value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.append(i < 4 ? static_cast<char>((value >> (8 * i)) & 0xFF) : '\0');
}

quint16 Le16(const QByteArray& in, int at) {
  return static_cast<quint16>(static_cast<quint8>(in[at]) | (static_cast<quint8>(in[at + 1]) << 8));
}

}  // namespace

QImage IconImage(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient background(0, 0, 0, 64);
  background.setColorAt(0, kTealLight);
  background.setColorAt(1, kTealDark);
  p.fillPath(Rounded(2, 2, 60, 60, 12), background);
  // Rows of a table: the tags of many files, one line each.
  for (int row = 0; row < 4; ++row) {
    const qreal y = 14 + row * 10;
    p.fillPath(Rounded(10, y, 8, 6, 2), kPaper);
    p.fillPath(Rounded(21, y, row % 2 ? 14 : 19, 6, 2), QColor(255, 255, 255, 200));
  }
  // A note over the rows: what the table is made of.
  p.setPen(Qt::NoPen);
  p.setBrush(kAmber);
  p.drawEllipse(QRectF(36, 38, 13, 10));
  p.drawRect(QRectF(46, 14, 3.5, 30));
  QPainterPath flag;
  flag.moveTo(49.5, 14);
  flag.cubicTo(52, 20, 58, 20, 56, 30);
  flag.cubicTo(55, 24, 52, 23, 49.5, 23);
  flag.closeSubpath();
  p.drawPath(flag);
  return image;
}

QImage HandPointerImage() {
  QImage image = Blank(32, 32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath hand = Rounded(10.5, 1, 5, 17, 2.5);  // index finger
  hand = hand.united(Rounded(15, 9, 4.5, 10, 2.2));
  hand = hand.united(Rounded(19, 10, 4.5, 10, 2.2));
  hand = hand.united(Rounded(23, 11.5, 4.5, 9.5, 2.2));
  QPainterPath thumb;
  thumb.moveTo(10.5, 21);
  thumb.lineTo(5.5, 15.5);
  thumb.cubicTo(4, 13.5, 6.5, 11.5, 8.5, 13.5);
  thumb.lineTo(11, 16);
  thumb.closeSubpath();
  hand = hand.united(thumb);
  hand = hand.united(Rounded(9, 15, 18.5, 13.5, 4));  // palm
  p.fillPath(hand, Qt::white);
  p.strokePath(hand, QPen(kInk, 1.3));
  return image;
}

QImage DragImage() {
  QImage image = Blank(32, 32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath up;
  up.moveTo(16, 1);
  up.lineTo(24, 10);
  up.lineTo(8, 10);
  up.closeSubpath();
  QPainterPath down;
  down.moveTo(16, 31);
  down.lineTo(24, 22);
  down.lineTo(8, 22);
  down.closeSubpath();
  const QPainterPath row = Rounded(3, 12.5, 26, 7, 2);
  for (const QPainterPath& part : {up, down}) {
    p.fillPath(part, kTealLight);
    p.strokePath(part, QPen(kInk, 1.2));
  }
  p.fillPath(row, kPaper);
  p.strokePath(row, QPen(kInk, 1.2));
  return image;
}

QByteArray IconFile(const QImage& picture, std::optional<QPoint> hotspot) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  const int w = image.width();
  const int h = image.height();
  const int mask_stride = ((w + 31) / 32) * 4;
  const quint32 bitmap_size = 40 + static_cast<quint32>(w * h * 4 + mask_stride * h);
  QByteArray out;
  Append(out, 0, 2);
  Append(out, hotspot ? 2 : 1, 2);  // 1: icon, 2: cursor
  Append(out, 1, 2);                // one image
  Append(out, w >= 256 ? 0 : w, 1);
  Append(out, h >= 256 ? 0 : h, 1);
  Append(out, 0, 2);                            // no palette
  Append(out, hotspot ? hotspot->x() : 1, 2);   // icon: planes
  Append(out, hotspot ? hotspot->y() : 32, 2);  // icon: bits per pixel
  Append(out, bitmap_size, 4);
  Append(out, 22, 4);  // the image follows the one directory entry
  Append(out, 40, 4);
  Append(out, static_cast<quint32>(w), 4);
  Append(out, static_cast<quint32>(2 * h), 4);  // colour rows and mask rows
  Append(out, 1, 2);
  Append(out, 32, 2);
  Append(out, 0, 4);
  Append(out, static_cast<quint32>(w * h * 4 + mask_stride * h), 4);
  Append(out, 0, 16);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const QRgb c = image.pixel(x, y);
      Append(out,
             static_cast<quint32>(qBlue(c) | (qGreen(c) << 8) | (qRed(c) << 16) |
                                  (static_cast<quint32>(qAlpha(c)) << 24)),
             4);
    }
  }
  // Readers without alpha use the mask: set bits are the transparent pixels.
  for (int y = h - 1; y >= 0; --y) {
    QByteArray mask_row(mask_stride, '\0');
    for (int x = 0; x < w; ++x)
      if (qAlpha(image.pixel(x, y)) == 0)
        mask_row[x / 8] = static_cast<char>(mask_row[x / 8] | (0x80 >> (x % 8)));
    out.append(mask_row);
  }
  return out;
}

QPoint CursorHotspot(const QByteArray& file) {
  if (file.size() < 22 || Le16(file, 0) != 0 || Le16(file, 2) != 2 || Le16(file, 4) < 1)
    return {0, 0};
  return {Le16(file, 10), Le16(file, 12)};
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(IconImage(size)));
  return icon;
}

}  // namespace ProgramArt
