#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "platform/StepFailure.h"
#include "platform/xlsx/XlsxSpreadsheet.h"
#include "tests/support/TestFiles.h"

namespace {

class FakeApp : public SpreadsheetApp {
 public:
  explicit FakeApp(bool registered, QStringList& opened)
      : registered_(registered), opened_(opened) {}
  bool Registered() noexcept override { return registered_; }
  void Open(const QString& path) override { opened_.append(path); }

 private:
  bool registered_;
  QStringList& opened_;
};

// The worksheet's XML, read back out of the saved workbook.
QString SheetXml(const QString& workbook, const QString& part = "xl/worksheets/sheet1.xml") {
  const TestFiles::RunResult unzip =
      TestFiles::Run("unzip", {"-p", workbook.toStdString(), part.toStdString()});
  if (unzip.status != 0) return QStringLiteral("<unzip failed>");
  return QString::fromStdString(unzip.out);
}

// The text of cell "A1"-style reference, or none when the sheet has no such cell.
std::optional<QString> CellText(const QString& xml, const QString& ref) {
  const QRegularExpression cell(
      "<c r=\"" + ref + "\"[^>]*t=\"inlineStr\"[^>]*><is><t[^>]*>(.*?)</t>",
      QRegularExpression::DotMatchesEverythingOption);
  const auto match = cell.match(xml);
  if (!match.hasMatch()) return std::nullopt;
  return match.captured(1);
}

class XlsxSpreadsheetTest : public ::testing::Test {
 protected:
  QString PathOf(const QString& name) const { return QDir(dir.path()).filePath(name); }
  QTemporaryDir dir;
  QStringList opened;
};

}  // namespace

TEST_F(XlsxSpreadsheetTest, CellsAreTextsNeverFormulasAndEmptyRowsStayEmpty) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  book.SetCell(1, 1, QStringLiteral("Filename"));
  book.SetCell(1, 2, QStringLiteral("Title"));
  book.SetCell(3, 1, QStringLiteral("=1+1"));
  book.SetCell(3, 2, QStringLiteral("  a <b> & \"c\"  "));
  book.SetCell(4, 2, QString::fromUtf16(u"Zoë \U0001F600 two\nlines"));
  book.Save(PathOf("a.xlsx"));
  const QString xml = SheetXml(PathOf("a.xlsx"));
  EXPECT_EQ(CellText(xml, "A1"), QStringLiteral("Filename"));
  EXPECT_EQ(CellText(xml, "A3"), QStringLiteral("=1+1"));
  EXPECT_FALSE(xml.contains(QStringLiteral("<f>")));
  EXPECT_EQ(CellText(xml, "B3"), QStringLiteral("  a &lt;b&gt; &amp; \"c\"  "));
  EXPECT_TRUE(xml.contains(QStringLiteral("xml:space=\"preserve\">  a")));
  EXPECT_EQ(CellText(xml, "B4"), QString::fromUtf16(u"Zoë \U0001F600 two\nlines"));
  EXPECT_FALSE(xml.contains(QStringLiteral("r=\"2\" ")));  // row 2 was never written
  EXPECT_EQ(CellText(xml, "A4"), std::nullopt);
}

TEST_F(XlsxSpreadsheetTest, AutoFitWidensColumnsToTheirLongestLine) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  book.SetCell(1, 1, QStringLiteral("Filename"));
  book.SetCell(2, 1, QString(20, u'x') + u'\n' + QString(5, u'y'));
  book.SetCell(1, 3, QString(1000, u'z'));
  book.AutoFitColumns();
  book.Save(PathOf("w.xlsx"));
  const QString xml = SheetXml(PathOf("w.xlsx"));
  EXPECT_TRUE(xml.contains(QStringLiteral("<col min=\"1\" max=\"1\" width=\"23.")));
  // One long cell does not push the other columns off screen; a width set outright may be more.
  EXPECT_TRUE(xml.contains(QStringLiteral("<col min=\"3\" max=\"3\" width=\"60")));
  EXPECT_FALSE(xml.contains(QStringLiteral("min=\"2\"")));  // an empty column keeps the default
  EXPECT_DOUBLE_EQ(XlsxSpreadsheet::FittedWidth(0), 0);
  EXPECT_DOUBLE_EQ(XlsxSpreadsheet::FittedWidth(100000), XlsxSpreadsheet::kFittedWidthLimit);
}

TEST_F(XlsxSpreadsheetTest, OddTextsStillMakeAValidCell) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  book.SetCell(1, 1, QString::fromUtf16(u"a\0b", 3));
  book.SetCell(1, 2, QString(40000, u'l'));
  book.SetCell(1, 3, QString::fromUtf16(u"bell\u0007"));
  book.Save(PathOf("odd.xlsx"));
  const QString xml = SheetXml(PathOf("odd.xlsx"));
  EXPECT_EQ(CellText(xml, "A1"), QString::fromUtf16(u"a\uFFFDb"));
  EXPECT_EQ(CellText(xml, "B1")->size(), 32767);
  // A control character would make the XML unreadable; the library writes it as an escape.
  EXPECT_FALSE(xml.contains(QChar(7)));
  EXPECT_TRUE(CellText(xml, "C1").has_value());
}

TEST_F(XlsxSpreadsheetTest, SaveReplacesWholeFilesOnlyAndNamesThePathWhenItFails) {
  XlsxSpreadsheet book;
  EXPECT_THROW(book.SetCell(1, 1, QStringLiteral("x")), StepFailure);  // no workbook yet
  book.NewWorkbook();
  EXPECT_THROW(book.SetCell(1048577, 1, QStringLiteral("x")), StepFailure);
  EXPECT_THROW(book.SetCell(1, 0, QStringLiteral("x")), StepFailure);
  book.SetCell(1, 1, QStringLiteral("new"));
  {
    QFile old(PathOf("old.xlsx"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  book.Save(PathOf("old.xlsx"));
  EXPECT_EQ(CellText(SheetXml(PathOf("old.xlsx")), "A1"), QStringLiteral("new"));
  try {
    book.Save(PathOf("gone/x.xlsx"));
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const StepFailure& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains(PathOf("gone/x.xlsx")));
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xlsx"});
}

TEST_F(XlsxSpreadsheetTest, ProbeAndOpenGoThroughTheDesktopApplication) {
  EXPECT_FALSE(XlsxSpreadsheet().Available());
  EXPECT_FALSE(XlsxSpreadsheet(std::make_unique<FakeApp>(false, opened)).Available());
  XlsxSpreadsheet book(std::make_unique<FakeApp>(true, opened));
  EXPECT_TRUE(book.Available());
  EXPECT_THROW(book.Open(PathOf("missing.xlsx")), StepFailure);
  book.NewWorkbook();
  book.Save(PathOf("shown.xlsx"));
  book.Open(PathOf("shown.xlsx"));
  EXPECT_EQ(opened, QStringList{PathOf("shown.xlsx")});
}

TEST_F(XlsxSpreadsheetTest, ASummarySheetFollowsTheResultsUnderItsName) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  book.NameSheet("Tags");
  book.SetCell(1, 1, "Filename");
  book.SetCell(2, 1, "a.mp3");
  ResultTable summary;
  summary.headers = {"Folder", "Files", "Duration", "Bit rate"};
  const auto row = [](const QString& folder, const QString& files) {
    const PackedText cells[] = {PackedText(folder), PackedText(files),
                                PackedText(QStringLiteral("1:02:03.500")),
                                PackedText(QStringLiteral("128-320"))};
    const std::string_view packed[] = {cells[0].Bytes(), cells[1].Bytes(), cells[2].Bytes(),
                                       cells[3].Bytes()};
    return ResultTable::Row{RowCells::Of(packed, 4), true};
  };
  summary.rows.push_back(row("=odd folder", "2"));
  summary.rows.push_back(row("All folders", "2"));
  AddSummarySheet(summary, book);
  EXPECT_THROW(book.AddSheet("Summary"), StepFailure);  // names are unique
  EXPECT_THROW(book.AddSheet("tags"), StepFailure);
  EXPECT_THROW(book.AddSheet("a/b"), StepFailure);
  book.Save(PathOf("s.xlsx"));
  const QString results = SheetXml(PathOf("s.xlsx"));
  EXPECT_EQ(CellText(results, "A2"), QStringLiteral("a.mp3"));
  const QString second = SheetXml(PathOf("s.xlsx"), "xl/worksheets/sheet2.xml");
  EXPECT_EQ(CellText(second, "A1"), QStringLiteral("Folder"));
  EXPECT_EQ(CellText(second, "A2"), QStringLiteral("=odd folder"));  // a folder keeps its "="
  // Typed as the results are: counts are numbers, the play time a duration, a range stays text;
  // the header stays in view with its filter.
  EXPECT_TRUE(second.contains("<c r=\"B3\"><v>2</v></c>")) << second.toStdString();
  EXPECT_TRUE(QRegularExpression("<c r=\"C2\" s=\"\\d+\"><v>0.04309606").match(second).hasMatch())
      << second.toStdString();
  EXPECT_EQ(CellText(second, "D2"), QStringLiteral("128-320"));
  EXPECT_TRUE(second.contains("state=\"frozen\""));
  EXPECT_TRUE(second.contains("<autoFilter ref=\"A1:D3\"/>")) << second.toStdString();
  const QString workbook = SheetXml(PathOf("s.xlsx"), "xl/workbook.xml");
  EXPECT_TRUE(workbook.contains("name=\"Summary\""));
  EXPECT_TRUE(workbook.contains("name=\"Tags\""));
  // A new workbook starts with one sheet again.
  book.NewWorkbook();
  book.SetCell(1, 1, "x");
  book.Save(PathOf("one.xlsx"));
  EXPECT_EQ(SheetXml(PathOf("one.xlsx"), "xl/worksheets/sheet2.xml"), "<unzip failed>");
}

namespace {

TEST_F(XlsxSpreadsheetTest, NumbersDurationsAFrozenHeaderAndItsFilter) {
  XlsxSpreadsheet book;
  book.NewWorkbook();
  book.SetCell(1, 1, "Year");
  book.SetCell(1, 2, "Duration");
  book.SetNumber(2, 1, 1998, "1998");
  book.SetDuration(2, 2, 3723, "1:02:03");
  book.SetCell(3, 1, "007");
  book.FreezeHeaderWithFilter(3, 2);
  book.AutoFitColumns();
  book.Save(PathOf("typed.xlsx"));
  const QString xml = SheetXml(PathOf("typed.xlsx"));
  EXPECT_TRUE(xml.contains("<c r=\"A2\"><v>1998</v></c>")) << xml.toStdString();
  EXPECT_TRUE(QRegularExpression("<c r=\"B2\" s=\"\\d+\"><v>0.0430902777").match(xml).hasMatch())
      << xml.toStdString();
  EXPECT_EQ(CellText(xml, "A3"), "007");
  EXPECT_TRUE(xml.contains("state=\"frozen\"")) << xml.toStdString();
  EXPECT_TRUE(xml.contains("<autoFilter ref=\"A1:B3\"/>")) << xml.toStdString();
}

}  // namespace
