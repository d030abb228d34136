#include "core/Main.h"

#include "platform/FileSystem.h"

namespace Main {

namespace {

QString CollapsePairs(QStringView text, QChar separator) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) ++i;
  }
  return out;
}

}  // namespace

QString FileNameOfPath(const QString& path, QChar separator) {
  return path.mid(path.lastIndexOf(separator) + 1);
}

QString CollapseBackslashes(const QString& path, QChar separator) {
  if (separator != u'\\' || !path.startsWith(separator)) return CollapsePairs(path, separator);
  qsizetype start = 1;
  while (start < path.size() && path[start] == separator) ++start;
  return QString(2, separator) + CollapsePairs(QStringView(path).mid(start), separator);
}

bool IsFolder(const FileSystem& files, const QString& path) noexcept {
  const std::optional<int> bits = files.Attributes(path);
  return bits && (*bits & FileAttribute::kDirectory) != 0;
}

}  // namespace Main
