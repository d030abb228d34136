#include "export/Playlist.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>

#include "export/ResultTable.h"
#include "export/TextOutput.h"
#include "platform/FileNames.h"

namespace Playlist {

namespace {

// "h:mm:ss" (or "m:ss", or seconds) as whole seconds; -1 for an empty or odd cell.
long long Seconds(const QString& cell) {
  long long value = 0;
  long long part = -1;
  for (const QChar c : cell) {
    if (c >= u'0' && c <= u'9') {
      part = (part < 0 ? 0 : part * 10) + (c.unicode() - u'0');
    } else if (c == u':' && part >= 0) {
      value = (value + part) * 60;
      part = -1;
    } else {
      break;
    }
  }
  return part < 0 ? -1 : value + part;
}

// The directory the program runs in, as text; names that are not UTF-8 keep their bytes.
QString WorkingFolder() {
  std::string bytes(4096, '\0');
  while (::getcwd(bytes.data(), bytes.size()) == nullptr) {
    if (errno != ERANGE) return QDir::currentPath();
    bytes.resize(bytes.size() * 2);
  }
  bytes.resize(bytes.find('\0'));
  return FileNames::ToText(bytes);
}

QString Absolute(const QString& path) {
  if (path.startsWith(u'/')) return QDir::cleanPath(path);
  return QDir::cleanPath(WorkingFolder() + u'/' + path);
}

// Tag text on one line: a line break in a title would start a line of its own.
QString OneLine(QString text) {
  for (QChar& c : text)
    if (c == u'\n' || c == u'\r') c = u' ';
  return text;
}

}  // namespace

QString FolderOf(const QString& file) {
  if (file.isEmpty() || file == u"-") return {};
  return QFileInfo(Absolute(file)).path();
}

bool AppendEntry(std::string& to, const QString& path, const QString& artist, const QString& title,
                 const QString& duration, const QString& folder) {
  if (path.contains(u'\n') || path.contains(u'\r')) return false;
  QString shown;
  if (artist.isEmpty() && title.isEmpty()) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    shown = dot > 0 ? name.left(dot) : name;
  } else {
    shown = OneLine(artist) + QStringLiteral(" - ") + OneLine(title);
  }
  QString entry = Absolute(path);
  const QString under = folder == u"/" ? folder : folder + u'/';
  if (!folder.isEmpty() && entry.startsWith(under)) entry = entry.mid(under.size());
  to += "#EXTINF:";
  to += std::to_string(Seconds(duration));
  to += ',';
  to += FileNames::ToStdBytes(shown);
  to += '\n';
  to += FileNames::ToStdBytes(entry);
  to += '\n';
  return true;
}

Written Write(const ResultTable& table, const Columns& columns, const QString& folder,
              TextOutput& out) {
  const auto cell = [&](int row, int column) {
    return column > 0 ? table.Cell(row, column) : QString();
  };
  Written written;
  std::string text = "#EXTM3U\n";
  for (int row = 1; row <= table.RowCount(); ++row) {
    if (!table.rows[size_t(row - 1)].checked) continue;
    const QString path = cell(row, columns.path);
    if (AppendEntry(text, path, cell(row, columns.artist), cell(row, columns.title),
                    cell(row, columns.duration), folder)) {
      ++written.entries;
    } else {
      written.refused.append(path);
    }
    if (text.size() > (1 << 16)) {
      out.Write(text);
      text.clear();
    }
  }
  out.Write(text);
  out.Commit();
  return written;
}

}  // namespace Playlist
