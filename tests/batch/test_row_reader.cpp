// The row reader: the rows of given files and folders in list order, each made by the shape on
// the reading threads, the read step replaceable, and the reasons for rows left empty.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "batch/RowReader.h"
#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"
#include "tag/clsID3.h"
#include "tests/batch/TempTree.h"

namespace {

// Keeps each row's cells joined by "|" in the row's line.
class JoinedShape : public RowReader::Shape {
 public:
  void Make(std::span<const QStringView> cells, RowReader::Row& row,
            RowReader::Room&) const override {
    QString joined;
    for (size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) joined += u'|';
      joined += cells[c];
    }
    row.line = joined.toStdString();
  }
};

class Told : public RowReader::Teller {
 public:
  void NotRead(const std::string& text) override { not_read.push_back(text); }
  void LeftOut(const std::string& text) override { left_out.push_back(text); }
  std::vector<std::string> not_read, left_out;
};

struct Read {
  std::vector<std::string> lines;
  std::vector<RowReader::Row> rows;
};

Read ReadAll(const RowReader::Options& options, std::vector<std::string> paths, Told& told) {
  const JoinedShape shape;
  const PosixFileSystem files;
  size_t next = 0;
  RowReader reader(
      options,
      [&](std::string& path) {
        if (next >= paths.size()) return false;
        path = paths[next++];
        return true;
      },
      shape, files, told);
  Read read;
  while (std::optional<RowReader::Row> row = reader.Next()) {
    read.lines.push_back(row->line);
    read.rows.push_back(std::move(*row));
  }
  return read;
}

std::string Bytes(const QString& text) { return FileNames::ToStdBytes(text); }

// A folder among the paths is read in its place, its files and its subfolders' in the walk's
// order, the same for every number of jobs; a missing file keeps its row and its reason.
TEST(RowReader, GivenFoldersAreReadInPlaceInListOrder) {
  TempTree tree;
  const QString first = tree.File("first.mp3");
  tree.File("music/b.mp3");
  tree.File("music/a.mp3");
  tree.File("music/notes.txt");
  tree.File("music/deeper/c.mp3");
  const QString last = tree.File("last.mp3");
  const std::vector<std::string> given = {Bytes(first), Bytes(tree.PathOf("music")),
                                          Bytes(tree.PathOf("gone.mp3")), Bytes(last)};
  for (const int jobs : {1, 3, 8}) {
    RowReader::Options options;
    options.columns = {QStringLiteral("Filename"), QStringLiteral("Status")};
    options.jobs = jobs;
    options.folder_pattern = QStringLiteral("*.mp3");
    Told told;
    const Read read = ReadAll(options, given, told);
    const std::vector<std::string> expected = {
        "first.mp3|not MPEG audio", "a.mp3|not MPEG audio", "b.mp3|not MPEG audio",
        "c.mp3|not MPEG audio",     "gone.mp3|missing",     "last.mp3|not MPEG audio"};
    EXPECT_EQ(read.lines, expected) << jobs;
    ASSERT_EQ(read.rows.size(), expected.size());
    EXPECT_TRUE(read.rows[4].NotRead());
    EXPECT_EQ(RowReader::NotReadText(read.rows[4]),
              "cannot read '" + Bytes(tree.PathOf("gone.mp3")) +
                  "': No such file or directory; its row stays empty");
    EXPECT_TRUE(told.not_read.empty());
  }
}

// Without a pattern, a folder is a path that cannot be read as a file, and says so.
TEST(RowReader, AFolderNotWalkedIsAFileThatIsNoFile) {
  TempTree tree;
  tree.File("music/a.mp3");
  Told told;
  RowReader::Options options;
  options.columns = {QStringLiteral("Filename")};
  const Read read = ReadAll(options, {Bytes(tree.PathOf("music"))}, told);
  ASSERT_EQ(read.rows.size(), 1u);
  EXPECT_TRUE(read.rows[0].NotRead());
  EXPECT_EQ(read.rows[0].WhyNotRead(), std::strerror(EISDIR));
}

// The read step is where other readers plug in: it runs on the reading threads with their own
// tag objects, once per file, and the columns are made from what it read.
TEST(RowReader, AReplacedReadStepFillsTheRows) {
  TempTree tree;
  std::vector<std::string> given;
  for (int i = 0; i < 200; ++i) given.push_back(Bytes(tree.File(QStringLiteral("%1.mp3").arg(i))));
  std::atomic<int> reads{0};
  RowReader::Options options;
  options.columns = {QStringLiteral("Filename"), QStringLiteral("Title")};
  options.jobs = 4;
  options.read = [&](clsID3& tag, const std::string& path, ReadyRow*) {
    ++reads;
    tag.SetFileName(path);
    tag.SetTitle(u"from the step");
  };
  Told told;
  const Read read = ReadAll(options, given, told);
  ASSERT_EQ(read.lines.size(), given.size());
  EXPECT_EQ(reads, 200);
  for (size_t i = 0; i < given.size(); ++i)
    EXPECT_EQ(read.lines[i], std::to_string(i) + ".mp3|from the step");
}

}  // namespace
