#include <gtest/gtest.h>

#include <QImage>
#include <QStyledItemDelegate>

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/StepFailure.h"
#include "platform/qt/QSettingsStore.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/ReportListView.h"
#include "tests/support/TestFiles.h"

TEST(QtUiTest, PipeFiltersBecomeQtFiltersShowingEachPatternOnce) {
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("All Files (*.mp3)|*.mp3|")),
            QStringLiteral("All Files (*.mp3)"));
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|")),
            QStringLiteral("Text Files (*.txt);;All Files (*.*)"));
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("Audio|*.mp3;*.mp2")),
            QStringLiteral("Audio (*.mp3 *.mp2)"));
  // Qt splits patterns at spaces: the description's own list is rewritten, not repeated.
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("Audio (*.mp3;*.mp2)|*.mp3;*.mp2|")),
            QStringLiteral("Audio (*.mp3 *.mp2)"));
  // Parentheses that are not the patterns must not be taken for them.
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("Music (lossy)|*.mp3|")),
            QStringLiteral("Music (lossy) (*.mp3)"));
  EXPECT_EQ(QtUi::ToQtFilter(QStringLiteral("|*.mp3|")), QStringLiteral("(*.mp3)"));
  EXPECT_EQ(QtUi::ToQtFilter(QString()), QString());
}

TEST(QtUiTest, ResultLengthCountsFolderNamesAndSeparators) {
  EXPECT_EQ(QtUi::ResultLength({QStringLiteral("/m/a.mp3")}), 9);
  // "/m" NUL "a.mp3" NUL "bb.mp3" NUL NUL
  EXPECT_EQ(QtUi::ResultLength({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/bb.mp3")}), 17);
  QStringList many;
  for (int i = 0; i < 3000; ++i)
    many.append(QStringLiteral("/music/track%1.mp3").arg(i, 4, 10, QChar(u'0')));
  EXPECT_GT(QtUi::ResultLength(many), Ui::kOpenFilesResultLimit);
}

TEST(QSettingsStoreTest, ValuesSurviveANewStoreAndMissingKeysReadTheDefault) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Vendramel.ini"));
  {
    QSettingsStore store(path);
    EXPECT_EQ(store.Read(QStringLiteral("Extension"), QStringLiteral("mp3")),
              QStringLiteral("mp3"));
    store.Write(QStringLiteral("LastFolder"), QStringLiteral("/home/u/Music"));
  }
  QSettingsStore again(path);
  EXPECT_EQ(again.Read(QStringLiteral("LastFolder"), QString()), QStringLiteral("/home/u/Music"));
  QSettings raw(path, QSettings::IniFormat);
  EXPECT_EQ(raw.value(QStringLiteral("Tagloom/LastFolder")).toString(),
            QStringLiteral("/home/u/Music"));
}

TEST(QtClipboardTest, TextRoundTripsAndClears) {
  QtClipboard clipboard;
  ASSERT_TRUE(clipboard.SetText(QStringLiteral("a.mp3 \tLong title\r\n")));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a.mp3 \tLong title\r\n"));
  EXPECT_TRUE(clipboard.Clear());
  EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}

TEST(QtDesktopTest, OnlyWebAddressesAreOpened) {
  QtDesktop desktop(QStringLiteral("/no/such/program"));
  EXPECT_THROW(desktop.OpenWebAddress(QStringLiteral("file:///etc/passwd")), StepFailure);
  EXPECT_THROW(desktop.OpenWebAddress(QStringLiteral("calc.exe")), StepFailure);
}

TEST(QtDesktopTest, WithoutAFileManagerAFolderIsNotOpenedAndItsPlaceIsNamed) {
  QTemporaryDir dir;
  const QString query = dir.filePath(QStringLiteral("mime-query"));
  QFile script(query);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\nexit 0\n");  // names no application
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  QtDesktop desktop(query);
  try {
    desktop.OpenFolder(QStringLiteral("/opt/tagloom/Samples/"));
    ADD_FAILURE() << "a folder was handed to no file manager";
  } catch (const SetupFailure& e) {  // the user's setup, not a fault of the program
    EXPECT_STREQ(e.what(),
                 "The folder could not be opened: no file manager is set up on this computer.\r\r"
                 "The folder is here: /opt/tagloom/Samples/");
  }
}

namespace {

/// A session bus of the test's own, from a dbus-daemon it starts and ends.
class PrivateBus {
 public:
  PrivateBus() {
    // The session's own setup without its service folders: nothing installed on the machine
    // is started by this bus.
    QFile session(QStringLiteral("/usr/share/dbus-1/session.conf"));
    QFile config(folder_.filePath(QStringLiteral("bus.conf")));
    if (!session.open(QIODevice::ReadOnly) || !config.open(QIODevice::WriteOnly)) return;
    config.write(session.readAll().replace("<standard_session_servicedirs />", ""));
    config.close();
    const QString socket = folder_.filePath(QStringLiteral("bus"));
    daemon_.emplace("dbus-daemon", std::vector<std::string>{
                                       "--config-file=" + config.fileName().toStdString(),
                                       "--nofork", "--address=unix:path=" + socket.toStdString()});
    if (daemon_->StartError() != 0) return;
    const QDeadlineTimer deadline(5000);
    while (!QFileInfo::exists(socket) && daemon_->Running() && !deadline.hasExpired())
      QThread::msleep(10);
    if (QFileInfo::exists(socket)) address_ = QStringLiteral("unix:path=") + socket;
  }
  const QString& Address() const { return address_; }

 private:
  QTemporaryDir folder_;
  std::optional<TestFiles::Started> daemon_;  // ended when the bus goes
  QString address_;
};

/// A file manager on the bus: it takes ShowItems, notes the URIs and answers only when told,
/// as a slow one would.
class FakeFileManager : public QDBusVirtualObject {
 public:
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != u"ShowItems" || message.arguments().size() != 2) return false;
    std::lock_guard lock(mutex_);
    shown_ += message.arguments()[0].toStringList();
    waiting_.emplace_back(message, connection);
    return true;
  }
  QString introspect(const QString&) const override { return {}; }

  QStringList Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  /// Answers the requests taken so far, with success or with an error.
  void Answer(bool shows) {
    std::lock_guard lock(mutex_);
    for (auto& [message, connection] : waiting_)
      connection.send(shows ? message.createReply()
                            : message.createErrorReply(QDBusError::Failed, "cannot show it"));
    waiting_.clear();
  }

 private:
  std::mutex mutex_;
  QStringList shown_;
  std::vector<std::pair<QDBusMessage, QDBusConnection>> waiting_;
};

/// Runs the event loop until `done`, or 5 s have passed.
bool RunUntil(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(5000);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  return done();
}

}  // namespace

TEST(QtDesktopTest, TheFileManagerOnTheBusIsAskedToSelectTheFileOrElseTheFolderOpensLater) {
  PrivateBus bus;
  if (bus.Address().isEmpty()) GTEST_SKIP() << "dbus-daemon could not be started";
  const QString path = QStringLiteral("/music/A B/one.mp3");
  const QString folder_named = QStringLiteral("The folder is here: /music/A B/");
  QStringList failures;
  const auto failed = [&](const StepFailure& e) {
    EXPECT_NE(dynamic_cast<const SetupFailure*>(&e), nullptr);
    failures.append(QString::fromUtf8(e.what()));
  };
  QtDesktop desktop(QStringLiteral("/no/such/program"), bus.Address());
  // No file manager on the bus: the folder is opened at once, here by none, which says where.
  try {
    desktop.ShowInFolder(path, failed);
    ADD_FAILURE() << "the file was shown by nobody";
  } catch (const SetupFailure& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).endsWith(folder_named)) << e.what();
  }

  QDBusConnection manager_bus =
      QDBusConnection::connectToBus(bus.Address(), QStringLiteral("fake-file-manager"));
  ASSERT_TRUE(manager_bus.isConnected());
  // It takes the requests on a thread of its own, as another program would.
  FakeFileManager manager;
  QThread manager_thread;
  manager.moveToThread(&manager_thread);
  manager_thread.start();
  ASSERT_TRUE(
      manager_bus.registerVirtualObject(QString::fromUtf16(QtDesktop::kFileManagerPath), &manager));
  ASSERT_TRUE(manager_bus.registerService(QString::fromUtf16(QtDesktop::kFileManagerService)));

  // Waiting for the answer, a call would run into the timeout and open no folder: it throws.
  QElapsedTimer clock;
  clock.start();
  EXPECT_NO_THROW(desktop.ShowInFolder(path, failed));
  EXPECT_LT(clock.elapsed(), QtDesktop::kFileManagerAnswerMs);
  ASSERT_TRUE(RunUntil([&] { return !manager.Shown().isEmpty(); }));
  EXPECT_EQ(manager.Shown(), QStringList{"file:///music/A%20B/one.mp3"});
  manager.Answer(true);

  // Refused: the folder is opened when the answer comes, and its failure said then.
  desktop.ShowInFolder(path, failed);
  ASSERT_TRUE(RunUntil([&] { return manager.Shown().size() == 2; }));
  EXPECT_TRUE(failures.isEmpty());  // the success before it opened nothing
  manager.Answer(false);
  ASSERT_TRUE(RunUntil([&] { return !failures.isEmpty(); }));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0].endsWith(folder_named)) << failures[0].toStdString();

  // No answer in time: the same.
  QtDesktop impatient(QStringLiteral("/no/such/program"), bus.Address(), 100);
  impatient.ShowInFolder(path, failed);
  ASSERT_TRUE(RunUntil([&] { return failures.size() == 2; }));
  EXPECT_EQ(manager.Shown().size(), 3);
  EXPECT_TRUE(failures[1].endsWith(folder_named)) << failures[1].toStdString();
  manager.Answer(true);  // too late: nothing more happens

  manager_bus.unregisterObject(QString::fromUtf16(QtDesktop::kFileManagerPath));
  QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
  manager_thread.quit();
  manager_thread.wait();
}

TEST(QtEventLoopTest, YieldRunsPendingEventsAndTellsWhenClosing) {
  QtEventLoop events;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  QThread::msleep(QtEventLoop::kSliceMs + 2);
  EXPECT_FALSE(events.Yield());
  EXPECT_TRUE(ran);
  events.SetClosing();
  EXPECT_TRUE(events.Yield());
}

TEST(ReportListViewTest, HitTestSelectionAndWidths) {
  ReportListModel model;
  model.AddColumn(QStringLiteral("Filename"), 1440);
  model.AddColumn(QStringLiteral("Title"));
  ReportListView view(model);
  view.resize(400, 300);
  for (int i = 1; i <= 3; ++i) model.AppendRow(QStringLiteral("%1.mp3").arg(i));
  view.show();
  EXPECT_EQ(view.columnWidth(0), ReportListView::TwipsToPixels(1440, view.logicalDpiX()));
  EXPECT_EQ(ReportListView::TwipsToPixels(2880, 96), 192);
  model.SetColumnWidth(2, 720);
  EXPECT_EQ(view.columnWidth(1), ReportListView::TwipsToPixels(720, view.logicalDpiX()));

  const QRect second = view.visualRect(model.index(1, 0));
  EXPECT_EQ(view.RowAt(second.center().x(), second.center().y()), 2);
  const QRect last = view.visualRect(model.index(2, 0));
  EXPECT_EQ(view.RowAt(5, last.bottom() + 40), std::nullopt);

  view.setCurrentIndex(model.index(2, 0));
  EXPECT_EQ(model.SelectedRow(), 3);
  model.SetSelectedRow(1);
  EXPECT_EQ(view.currentIndex().row(), 0);
  model.RemoveRow(1);
  EXPECT_FALSE(view.selectionModel()->hasSelection());
  EXPECT_EQ(model.SelectedRow(), std::nullopt);
  model.SetSelectedRow(2);
  model.RemoveRow(1);
  EXPECT_EQ(model.SelectedRow(), 1);
  EXPECT_EQ(view.currentIndex().row(), 0);
  view.EnsureVisible(99);  // out of range: ignored
}

TEST(ReportListViewTest, EveryRowTakesOneLineAndACellsTipHoldsItsWholeText) {
  const auto make = [](ReportListModel& model) {
    model.AddColumn(QStringLiteral("Filename"), 1440);
    model.AddColumn(QStringLiteral("Lyrics"), 2880);
  };
  ReportListModel plain;
  make(plain);
  plain.AppendRow(QStringLiteral("a.mp3"));
  ReportListView reference(plain);
  reference.show();
  const int one_line = reference.visualRect(plain.index(0, 1)).height();

  ReportListModel model;
  make(model);
  ReportListView view(model);
  view.setToolTip(QStringLiteral("Move | line to right"));
  view.resize(600, 300);
  model.AppendRow(QStringLiteral("a.mp3"));
  model.SetSubItem(1, 1, QStringLiteral("Glass in the north wind\r\nLight on <b>the</b> water"));
  model.AppendRow(QStringLiteral("b.mp3"));
  model.SetSubItem(2, 1, QStringLiteral("one\rtwo\nthree"));
  model.AppendRow(QStringLiteral("c.mp3"));
  model.SetSubItem(3, 1, QStringLiteral("short"));
  model.AppendRow(QStringLiteral("d.mp3"));
  model.SetSubItem(4, 1, QStringLiteral("a line far too long for its column ").repeated(4));
  view.show();
  for (int r = 0; r < 4; ++r) EXPECT_EQ(view.visualRect(model.index(r, 1)).height(), one_line) << r;
  EXPECT_EQ(model.index(0, 1).data().toString(),
            QStringLiteral("Glass in the north wind \u21B5 Light on <b>the</b> water"));
  EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("one \u21B5 two \u21B5 three"));
  EXPECT_EQ(model.SubItem(1, 1),
            QStringLiteral("Glass in the north wind\r\nLight on <b>the</b> water"));

  const auto tip_over = [&](int row) {
    const QPoint at = view.visualRect(model.index(row, 1)).center();
    QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &help);
    return QToolTip::text();
  };
  const QString lyric = tip_over(0);
  EXPECT_TRUE(lyric.contains(
      QStringLiteral("Glass in the north wind\nLight on &lt;b&gt;the&lt;/b&gt; water")))
      << lyric.toStdString();
  EXPECT_TRUE(tip_over(1).contains(QStringLiteral("one\ntwo\nthree")));
  EXPECT_EQ(tip_over(2), QStringLiteral("Move | line to right"));  // shown whole: the list's hint
  EXPECT_TRUE(
      tip_over(3).contains(QStringLiteral("a line far too long for its column ").repeated(4)));
  QToolTip::hideText();
}

// Long cells are laid out only as far as their column can show, and look exactly as when laid
// out whole: elided at the same place, whatever the text's script or the column's width.
TEST(ReportListViewTest, LongCellsPaintAsTheyWouldWhole) {
  ReportListModel model;
  model.AddColumn(QStringLiteral("Filename"), 600);
  model.AddColumn(QStringLiteral("Lyrics"), 2400);
  model.AddColumn(QStringLiteral("Comment"), 9000);
  const QStringList texts = {
      QStringLiteral("iiii.lll,;: ").repeated(60),  // the narrowest glyphs
      QStringLiteral("WWWMMM mmm ").repeated(60),
      QString::fromUtf16(u"\U0001D11E\u0436\u00e9 ").repeated(200),  // pairs and accents
      QString::fromUtf16(u"\u65e5\u672c\u8a9e ").repeated(100),
      QStringLiteral("short"),
  };
  for (const QString& text : texts) {
    const int row = model.AppendRow(text);
    model.SetSubItem(row, 1, text);
    model.SetSubItem(row, 2, text);
  }
  ReportListView view(model);
  view.resize(900, 300);
  view.show();
  const QImage cut = view.viewport()->grab().toImage();
  QStyledItemDelegate whole;
  view.setItemDelegate(&whole);
  const QImage plain = view.viewport()->grab().toImage();
  EXPECT_FALSE(plain.isNull());
  EXPECT_TRUE(cut == plain);
}

// A turn of the event loop that takes long (a big table repainted) lengthens the next slice,
// so the window's events keep to a share of a long action's time; quick turns bring it back.
TEST(QtEventLoopTest, ASlowTurnLengthensTheNextSlice) {
  QtEventLoop events;
  QTimer::singleShot(0, [] { QThread::msleep(15); });
  QThread::msleep(QtEventLoop::kSliceMs + 2);
  events.Yield();
  EXPECT_EQ(events.SliceMs(), QtEventLoop::kLongestSliceMs);
  QThread::msleep(QtEventLoop::kLongestSliceMs + 2);
  events.Yield();
  EXPECT_EQ(events.SliceMs(), QtEventLoop::kSliceMs);
}
