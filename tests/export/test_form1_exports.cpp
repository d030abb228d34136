#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/Form1.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/NoWindow.h"

namespace {

// The three export buttons of the window, on a result table as start-up creates it.
class Form1ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.Form_Load();
    const int row = form.ListView2.AppendRow(QStringLiteral("a.mp3"));
    form.ListView2.SetSubItem(row, 1, QStringLiteral("x=y"));
    form.ListView2.SetChecked(row, true);
  }
  QTemporaryDir dir;
  FakeServices f;
  NoWindow window;
  Form1 form{f.services, window, dir.path()};
};

}  // namespace

TEST_F(Form1ExportsTest, TextClipboardAndWorkbookButtonsWriteTheResultTable) {
  const QString path = QDir(dir.path()).filePath("r.txt");
  f.ui.save_answers.push_back(path);
  form.PushButton1_Click();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().startsWith("Filename\tTitle\tArtist\t"));
  EXPECT_EQ(form.ProgressBar1.Caption(), QStringLiteral("Progress Bar"));

  form.PushButton6_Click();
  // Ten empty columns follow; only the last one goes without its tab.
  EXPECT_EQ(f.clipboard.text, QStringLiteral("a.mp3\tx=y") + QString(10, u'\t') + "\r\n");

  // The workbook goes to the documents folder of a home made for the test.
  const QByteArray home = qgetenv("HOME");
  const QByteArray config = qgetenv("XDG_CONFIG_HOME");
  qputenv("HOME", dir.path().toUtf8());
  qunsetenv("XDG_CONFIG_HOME");
  form.PushButton13_Click();
  qputenv("HOME", home);
  if (!config.isEmpty()) qputenv("XDG_CONFIG_HOME", config);
  EXPECT_EQ(f.spreadsheet.Cell(2, 2), QStringLiteral("xy"));
  EXPECT_TRUE(
      f.spreadsheet.saved_path.startsWith(dir.path() + "/Documents/Tagloom/Tagloom results "));
  EXPECT_EQ(f.spreadsheet.opened_path, f.spreadsheet.saved_path);
  EXPECT_TRUE(f.ui.Reports().isEmpty());
  EXPECT_FALSE(form.MousePointer.IsBusy());
}
