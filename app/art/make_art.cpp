// tagloom-make-art OUTDIR: writes the pictures that stand beside the program (the hover
// pointer, the drag picture, the icon for the desktop's menu), drawn by ProgramArt.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "app/art/ProgramArt.h"

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);  // a temporary file and a rename: never a half-written picture
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    std::fprintf(stderr, "tagloom-make-art: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tagloom-make-art OUTDIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) return 1;
  bool ok = Write(out.filePath(QStringLiteral("HAND-M.CUR")),
                  ProgramArt::IconFile(ProgramArt::HandPointerImage(), ProgramArt::kHandHotspot));
  ok = Write(out.filePath(QStringLiteral("drag.ico")),
             ProgramArt::IconFile(ProgramArt::DragImage())) &&
       ok;
  ok = Write(out.filePath(QStringLiteral("tagloom.png")), Png(ProgramArt::IconImage(256))) && ok;
  return ok ? 0 : 1;
}
