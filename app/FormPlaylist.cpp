// "Save as playlist…" of the result table.
#include <QDir>
#include <QStringList>
#include <string>

#include "app/Form1.h"
#include "export/Playlist.h"
#include "export/ReplacingFile.h"
#include "platform/StepFailure.h"

QString Form1::ResultPath(int row) const {
  if (row < 1 || row > ListView2.RowCount()) return {};
  const auto arrival = static_cast<size_t>(ListView2.Arrival(row));
  return arrival < result_paths_.size() ? result_paths_[arrival].Text(0) : QString();
}

void Form1::SavePlaylist() {
  if (ExtractionRunning || MousePointer.IsBusy() || ListView2.RowCount() == 0) return;
  const QString name =
      services_.ui.SaveFile({QStringLiteral("Save as playlist"),
                             QStringLiteral("Playlists (*.m3u8)|*.m3u8|All Files (*.*)|*.*|")});
  if (name.isEmpty()) return;
  const QStringList headers = Headers(ListView2);
  const auto column = [&](const char16_t* header) {
    return static_cast<int>(headers.indexOf(QString::fromUtf16(header))) + 1;
  };
  const int artist = column(u"Artist");
  const int title = column(u"Title");
  const int duration = column(u"Duration");
  const auto cell = [&](int row, int c) { return c > 0 ? ListView2.Cell(row, c) : QString(); };
  const QString folder = Playlist::FolderOf(name);
  std::string text = "#EXTM3U\n";
  QStringList refused;
  for (int row = 1; row <= ListView2.RowCount(); ++row) {
    if (!ListView2.Checked(row)) continue;
    const QString path = ResultPath(row);
    if (path.isEmpty()) continue;
    if (!Playlist::AppendEntry(text, path, cell(row, artist), cell(row, title), cell(row, duration),
                               folder))
      refused.append(path);
  }
  try {
    ReplacingFile file(name);
    file.Write(std::string_view(text));
    file.Commit();
  } catch (const StepFailure& e) {
    services_.ui.Exclamation(QString::fromUtf8(e.what()), QStringLiteral("Save as playlist"));
    return;
  }
  if (!refused.isEmpty())
    services_.ui.Exclamation(
        QStringLiteral("These files were left out of the playlist: a line break in the name "
                       "would end its line.\n") +
            refused.join(u'\n'),
        QStringLiteral("Save as playlist"));
}
