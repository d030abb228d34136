// What the result table's context menu and keys do with the rows selected.
#include <unistd.h>

#include <QDir>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Form1.h"
#include "batch/ColumnCatalogue.h"
#include "export/Playlist.h"
#include "export/ReplacingFile.h"
#include "legacy/IconvLegacyText.h"
#include "platform/FileNames.h"
#include "platform/StepFailure.h"
#include "tag/clsID3.h"

namespace {

// Folders shown at once at most: a selection of a thousand rows opens no thousand windows.
constexpr int kMostFolders = 10;

}  // namespace

void Form1::OpenResultFiles(const std::vector<int>& rows) {
  std::string playlist = "#EXTM3U\n";
  QStringList paths;
  for (const int row : rows) {
    const QString path = ResultPath(row);
    if (!path.isEmpty() && Playlist::AppendEntry(playlist, path, {}, {}, {}, {}))
      paths.append(path);
  }
  if (paths.isEmpty()) return;
  try {
    if (paths.size() == 1) {
      services_.desktop.OpenFile(paths.front());
      return;
    }
    // The player gets them in the order shown, as one list it can step through.
    const QString list =
        QDir::temp().filePath(QStringLiteral("tagloom-selection-%1.m3u8").arg(::getpid()));
    ReplacingFile file(list);
    file.Write(std::string_view(playlist));
    file.Commit();
    services_.desktop.OpenFile(list);
  } catch (const StepFailure& e) {
    services_.ui.Exclamation(QString::fromUtf8(e.what()), QStringLiteral("Open"));
  }
}

void Form1::ShowResultFiles(const std::vector<int>& rows) {
  QSet<QString> folders;
  // The file manager answers after this returns; a folder that then cannot be opened is said
  // once a click, as when opened at once, not once for each of its folders.
  auto said = std::make_shared<bool>(false);
  const auto failed = [this, said](const StepFailure& e) {
    if (std::exchange(*said, true)) return;
    services_.ui.Exclamation(QString::fromUtf8(e.what()), QStringLiteral("Show in folder"));
  };
  try {
    for (const int row : rows) {
      const QString path = ResultPath(row);
      const QString folder = path.left(path.lastIndexOf(u'/') + 1);
      if (path.isEmpty() || folders.contains(folder)) continue;
      if (folders.size() == kMostFolders) break;
      folders.insert(folder);
      services_.desktop.ShowInFolder(path, failed);
    }
  } catch (const StepFailure& e) {
    failed(e);
  }
}

void Form1::CopyResultPaths(const std::vector<int>& rows) {
  QStringList paths;
  for (const int row : rows)
    if (const QString path = ResultPath(row); !path.isEmpty()) paths.append(path);
  if (paths.isEmpty()) return;
  if (!services_.clipboard.SetText(paths.join(u'\n')))
    services_.ui.Exclamation(QStringLiteral("The clipboard is in use by another program."),
                             QStringLiteral("Copy full path"));
}

void Form1::RereadResultRows(const std::vector<int>& rows) {
  if (ExtractionRunning || MousePointer.IsBusy()) return;
  std::vector<const ColumnCatalogue::Column*> columns;
  for (int c = 1; c <= ListView2.ColumnCount(); ++c)
    columns.push_back(ColumnCatalogue::Find(ListView2.Header(c)));
  // The cells the run kept for the filter are read again with the rest.
  const size_t shown = columns.size();
  std::vector<RowCells>& kept = extraction_run_.FilterCells();
  if (totals_of_rows_)
    for (const QString& header : extraction_run_.FilterColumns())
      columns.push_back(ColumnCatalogue::Find(header));
  std::vector<PackedText> kept_texts;
  clsID3 tag;
  tag.SetPicturesWanted(false);
  tag.SetPictureCountWanted(ColumnCatalogue::NeedPictureCount(columns));
  std::string problem;
  tag.SetLegacyTextDecoder(LegacyText::DecoderFor(legacy_text_.toStdString(), problem));
  CellText made;
  for (const int row : rows) {
    if (row < 1 || row > ListView2.RowCount()) continue;
    const QString path = ResultPath(row);
    if (path.isEmpty()) continue;
    tag.SetFileName(FileNames::ToStdBytes(path));
    const ColumnCatalogue::Source source{tag, path};
    kept_texts.clear();
    for (size_t c = 0; c < columns.size(); ++c) {
      const ColumnCatalogue::Column* column = columns[c];
      if (!column) {
        if (c >= shown) kept_texts.emplace_back();
        continue;
      }
      QString text;
      if (column->view) {
        text = column->view(source).toString();
      } else if (column->append) {
        made.clear();
        column->append(source, made);
        text = made.View().toString();
      }
      if (c >= shown) {
        kept_texts.emplace_back(text);
      } else if (c == 0) {
        ListView2.SetText(row, text);
      } else {
        ListView2.SetSubItem(row, static_cast<int>(c), text);
      }
    }
    const auto arrival = static_cast<size_t>(ListView2.Arrival(row));
    if (!kept_texts.empty() && arrival < kept.size()) {
      std::vector<std::string_view> packed;
      for (const PackedText& text : kept_texts) packed.push_back(text.Bytes());
      kept[arrival] = RowCells::Of(packed.data(), static_cast<int>(packed.size()));
    }
  }
}

void Form1::RemoveResultRows(const std::vector<int>& rows) {
  if (ExtractionRunning || MousePointer.IsBusy()) return;
  std::vector<int> doomed = rows;
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  // From the last up, so the numbers of the rows still to go stay as they were.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
    if (*it >= 1 && *it <= ListView2.RowCount()) ListView2.RemoveRow(*it);
}
