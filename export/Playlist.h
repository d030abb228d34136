#pragma once

#include <QString>
#include <QStringList>
#include <string>

class TextOutput;
struct ResultTable;

/// The checked rows as an extended M3U playlist in UTF-8: "#EXTM3U", then per row
/// "#EXTINF:<whole seconds>,<Artist> - <Title>" and the file's path.
namespace Playlist {

/// Where the row's cells are (1-based columns of the table); 0 for a column it does not have.
struct Columns {
  int path = 0;  ///< the full path, absolute
  int artist = 0;
  int title = 0;
  int duration = 0;  ///< "h:mm:ss"; an empty cell gives -1, the length unknown
};

/// What became of the rows.
struct Written {
  int entries = 0;
  /// Paths left out because a line break in them would end the entry's line.
  QStringList refused;
};

/// The folder a playlist written to `file` sits in, absolute and clean; empty for none (a
/// stream), when every path stays absolute.
QString FolderOf(const QString& file);

/// Writes the playlist: paths under `folder` relative to it, all others absolute; names are
/// written as the bytes the system knows them by, UTF-8 or not.
Written Write(const ResultTable& table, const Columns& columns, const QString& folder,
              TextOutput& out);

/// One entry's two lines; false when the path holds a line break.
bool AppendEntry(std::string& to, const QString& path, const QString& artist, const QString& title,
                 const QString& duration, const QString& folder);

}  // namespace Playlist
