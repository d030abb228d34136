#include <fcntl.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/CellSpill.h"
#include "platform/PackedCells.h"

namespace {

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

QString Long(const QString& unit, int times) { return unit.repeated(times); }

// Units picked from `alphabet` at random, so that deflate leaves a long cell long.
QString Varied(const QString& alphabet, int units, uint32_t seed) {
  QString text;
  for (int i = 0; i < units; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += alphabet[qsizetype((seed >> 16) % uint32_t(alphabet.size()))];
  }
  return text;
}

std::string Packed(const QString& text, bool compress) {
  std::string bytes;
  PackedText::PackInto(bytes, text, compress);
  return bytes;
}

}  // namespace

TEST(CellSpill, LongCellsLeaveMemoryAndReadBackWhole) {
  QTemporaryDir dir;
  std::string error;
  auto spill = CellSpill::Open(dir.path().toStdString(), error);
  ASSERT_TRUE(spill) << error;
  const std::vector<QString> texts = {
      Varied(QStringLiteral("caf\u00e9 xyz"), 1200, 1),  // Latin-1
      Varied(QStringLiteral("\u3042\u3044 \r\nab"), 1200, 2) + QStringLiteral("\U0001F3B5"),
      QStringLiteral("short"),  // stays
      QString(),
  };
  for (const bool compress : {false, true}) {
    std::vector<std::string> cells;
    for (const QString& t : texts) {
      cells.push_back(Packed(t, compress));
      spill->Spill(cells.back());
    }
    EXPECT_TRUE(CellSpill::IsSpilled(cells[0]));
    EXPECT_TRUE(CellSpill::IsSpilled(cells[1]));
    EXPECT_FALSE(CellSpill::IsSpilled(cells[2]));
    EXPECT_LT(cells[0].size(), 24u);
    const std::vector<std::string_view> views(cells.begin(), cells.end());
    const RowCells row = RowCells::Of(views.data(), int(views.size()));
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(row.Text(int(i)), texts[i]) << i;
      EXPECT_EQ(row.Length(int(i)), texts[i].size()) << i;
      QString into = QStringLiteral("reused room");
      PackedText::UnpackInto(row.Packed(int(i)), into);
      EXPECT_EQ(into, texts[i]) << i;
    }
    EXPECT_EQ(PackedText::UnpackPrefix(row.Packed(1), 5), texts[1].left(5));
    // A copy with a cell replaced, and a picked copy, keep their spilled cells readable.
    const RowCells with = row.With(2, Packed(QStringLiteral("other"), false));
    const int from[] = {1, -1, 0};
    const RowCells picked = row.Picked(from, 3);
    EXPECT_EQ(with.Text(0), texts[0]);
    EXPECT_EQ(picked.Text(0), texts[1]);
    EXPECT_EQ(picked.Text(2), texts[0]);
  }
  EXPECT_GT(spill->Written(), 0u);
  EXPECT_TRUE(spill->Failure().empty());
}

TEST(CellSpill, TheFileClosesWithTheOwnerAndTheLastRowThatUsesIt) {
  QTemporaryDir dir;
  const int before = OpenDescriptors();
  std::string error;
  auto spill = CellSpill::Open(dir.path().toStdString(), error);
  ASSERT_TRUE(spill) << error;
  std::string cell = Packed(Long(QStringLiteral("x"), 1000), false);
  spill->Spill(cell);
  RowCells row(cell);
  RowCells copy = row;
  spill.reset();
  EXPECT_EQ(OpenDescriptors(), before + 1);
  EXPECT_EQ(copy.Text(0), Long(QStringLiteral("x"), 1000));
  row = RowCells();
  EXPECT_EQ(OpenDescriptors(), before + 1);
  copy = RowCells();
  EXPECT_EQ(OpenDescriptors(), before);
  // Nothing is left behind in the folder: the file never had a name there, or lost it.
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(CellSpill, AFailedWriteKeepsTheCellAndEveryLaterOneInMemory) {
  std::string error;
  const int full = ::open("/dev/full", O_RDWR | O_CLOEXEC);
  ASSERT_GE(full, 0);
  auto spill = CellSpill::Adopt(full, error);
  ASSERT_TRUE(spill) << error;
  const std::string original = Packed(Long(QStringLiteral("lyric "), 100), false);
  std::string cell = original;
  spill->Spill(cell);
  EXPECT_EQ(cell, original);
  EXPECT_NE(spill->Failure().find("No space left on device"), std::string::npos)
      << spill->Failure();
  const std::string failure = spill->Failure();
  std::string later = original;
  spill->Spill(later);
  EXPECT_EQ(later, original);
  EXPECT_EQ(spill->Failure(), failure);

  EXPECT_FALSE(CellSpill::Open("/nonexistent-folder-of-tagloom", error));
  EXPECT_NE(error.find("/nonexistent-folder-of-tagloom"), std::string::npos) << error;
}

TEST(CellSpill, ReadingThreadsSpillAtOnceWithoutMixingCells) {
  QTemporaryDir dir;
  std::string error;
  auto spill = CellSpill::Open(dir.path().toStdString(), error);
  ASSERT_TRUE(spill) << error;
  constexpr int kThreads = 4;
  constexpr int kRows = 200;
  std::vector<std::vector<RowCells>> rows(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      std::string cell;
      for (int r = 0; r < kRows; ++r) {
        PackedText::PackInto(cell, Varied(QStringLiteral("%1.%2 abc").arg(t).arg(r), 1200, r),
                             r % 2 == 0);
        spill->Spill(cell);
        rows[size_t(t)].push_back(RowCells(cell));
      }
    });
  for (std::thread& thread : threads) thread.join();
  spill.reset();
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRows; ++r) {
      ASSERT_TRUE(CellSpill::IsSpilled(rows[size_t(t)][size_t(r)].Packed(0)));
      ASSERT_EQ(rows[size_t(t)][size_t(r)].Text(0),
                Varied(QStringLiteral("%1.%2 abc").arg(t).arg(r), 1200, r));
    }
}

TEST(RowBlocks, RowsMadeOnManyThreadsOutliveTheirThreadAndGoOnAnother) {
  // Rows carved on reading threads that end before the rows do, some too large to be carved,
  // dropped on this thread in an order unlike the one they were made in.
  constexpr int kThreads = 3;
  constexpr int kRows = 20000;
  std::vector<std::vector<RowCells>> rows(kThreads);
  std::vector<std::thread> threads;
  const auto text = [](int t, int r) {
    return QStringLiteral("%1/%2 ").arg(t).arg(r).repeated(r % 97 == 0 ? 900 : 1 + r % 9);
  };
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRows; ++r) {
        const std::string a = Packed(text(t, r), false);
        const std::string b = Packed(QStringLiteral("\u3042%1").arg(r), false);
        const std::string_view cells[] = {a, {}, b};
        rows[size_t(t)].push_back(RowCells::Of(cells, 3));
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRows; r += 2) rows[size_t(t)][size_t(r)] = RowCells();
  for (int t = 0; t < kThreads; ++t)
    for (int r = 1; r < kRows; r += 2) {
      const RowCells& row = rows[size_t(t)][size_t(r)];
      ASSERT_EQ(row.Text(0), text(t, r));
      ASSERT_TRUE(row.IsEmpty(1));
      ASSERT_EQ(row.Text(2), QStringLiteral("\u3042%1").arg(r));
      const RowCells changed = row.With(1, Packed(QStringLiteral("x"), false));
      ASSERT_EQ(changed.Text(0), text(t, r));
    }
}

TEST(RowBlocks, RowsAroundTheSizesWhereTheirEndsWidenKeepTheirCellsApart) {
  // Cell ends take one byte up to 255 bytes of cells, two up to 65 535, four past that.
  for (const size_t total : {size_t{0}, size_t{255}, size_t{256}, size_t{65535}, size_t{65536}}) {
    const std::string a(total / 3, 'a');
    const std::string b(total / 3, 'b');
    const std::string c(total - a.size() - b.size(), 'c');
    const std::string_view cells[] = {a, {}, b, c};
    const RowCells row = RowCells::Of(cells, 4);
    EXPECT_EQ(row.Packed(0), a) << total;
    EXPECT_TRUE(row.IsEmpty(1)) << total;
    EXPECT_EQ(row.Packed(2), b) << total;
    EXPECT_EQ(row.Packed(3), c) << total;
    EXPECT_EQ(row.BlockBytes(), 8 +
                                    (total <= 255     ? 1
                                     : total <= 65535 ? 2
                                                      : 4) *
                                        4 +
                                    total)
        << total;
  }
}
