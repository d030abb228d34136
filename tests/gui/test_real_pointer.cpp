// The window under a real X server: the pointer is moved by the server (a warp is a move like
// any other to the clients), clicks and keys come as from a device, the events take Qt's own
// route to the widgets and to the focus, and the pointer's picture is read back from the server.
// A synthetic enter or key event would miss where a move lands or which widget has the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "app/art/ProgramArt.h"
#include "app/ui/MainWindow.h"
#include "platform/PosixFileSystem.h"
#include "tests/gui/XServer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

XServer::Xvfb* g_server = nullptr;

/// Remembers where the last pointer move that reached the application was.
class MoveWatch : public QObject {
 public:
  QPoint last;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseMove)
      last = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    return QObject::eventFilter(watched, event);
  }
};

class RealServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_server->Running())
      GTEST_SKIP() << "No X server for the real pointer: " << g_server->Problem();
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    folder = QString::fromStdString(bin->string());
    window = std::make_unique<MainWindow>(services, folder);
    window->move(0, 0);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    qApp->installEventFilter(&moves);
    // Start from a spot of the background, away from every button.
    MoveTo(window.get(), QPoint(window->width() / 2, window->height() - 4));
  }
  void TearDown() override { qApp->removeEventFilter(&moves); }

  QPushButton* Button(int number) { return window->PushButton(number); }

  /// Moves the server's pointer to a point of the widget and waits until the move has been
  /// handled and the window's picture has reached the server.
  void MoveTo(QWidget* widget, QPoint local) {
    const QPoint target = widget->mapToGlobal(local);
    QCursor::setPos(target);
    QElapsedTimer waited;
    waited.start();
    while (moves.last != target && waited.elapsed() < 3000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(moves.last, target) << "the move never arrived";
    for (int i = 0; i < 5; ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QTest::qWait(10);
    }
  }
  /// A move over a button, entering it and then moving on inside it.
  void MoveOver(QPushButton* button) {
    MoveTo(button, QPoint(4, button->height() / 2));
    MoveTo(button, QPoint(button->width() / 2, button->height() / 2));
  }

  XServer::Cursor ServerCursor() {
    const std::optional<XServer::Cursor> c = XServer::CurrentCursor(g_server->Display());
    EXPECT_TRUE(c.has_value());
    return c.value_or(XServer::Cursor{});
  }
  /// The server shows the program's hand: its size, its fingertip hotspot and its pixels.
  bool ServerShowsHand() {
    const XServer::Cursor c = ServerCursor();
    const QImage hand = ProgramArt::HandPointerImage().convertToFormat(QImage::Format_ARGB32);
    if (c.width != hand.width() || c.height != hand.height() ||
        QPoint(c.hot_x, c.hot_y) != ProgramArt::kHandHotspot)
      return false;
    // The fingertip stands opaque where the hand is drawn; compare the alpha of every pixel.
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        if (((c.pixels[size_t(y * c.width + x)] >> 24) & 0xff) != uint(qAlpha(hand.pixel(x, y))))
          return false;
    return true;
  }

  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  QString folder;
  std::unique_ptr<MainWindow> window;
  MoveWatch moves;
};

TEST_F(RealServerTest, PlainMovesOverAButtonShowTheHandAndTheBackgroundTheArrow) {
  EXPECT_FALSE(ServerShowsHand());
  for (int number : {9, 4, 10, 13}) {
    MoveOver(Button(number));
    EXPECT_EQ(window->form().MousePointer.Shape(), Pointer::Hover) << number;
    EXPECT_EQ(window->cursor().hotSpot(), ProgramArt::kHandHotspot) << number;
    EXPECT_TRUE(ServerShowsHand()) << "PushButton" << number;

    // Off the button onto the background: the arrow again.
    MoveTo(window.get(), QPoint(window->width() / 2, window->height() - 4));
    EXPECT_EQ(window->form().MousePointer.Shape(), Pointer::Default) << number;
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(ServerShowsHand()) << number;
  }
  // Over a list the arrow shows too.
  MoveOver(Button(7));
  MoveTo(window->FileListView().viewport(), QPoint(20, 20));
  EXPECT_EQ(window->form().MousePointer.Shape(), Pointer::Default);
  EXPECT_FALSE(ServerShowsHand());
}

TEST_F(RealServerTest, TheHourglassHoldsDuringARunAndTheNextMoveAfterItShowsTheHand) {
  for (int i = 1; i <= 6; ++i)
    window->form().ListView1.AppendRow(folder + QStringLiteral("/Samples/missing%1.mp3").arg(i));
  QPushButton* start = Button(10);
  MoveOver(start);
  ASSERT_TRUE(ServerShowsHand());

  bool busy_over_button = false;
  bool hand_while_busy = true;
  f.events.on_yield = [&](int n) {
    if (n != 3) return;
    MoveOver(Button(9));
    busy_over_button =
        window->form().MousePointer.IsBusy() && window->cursor().shape() == Qt::WaitCursor;
    hand_while_busy = ServerShowsHand();
  };
  start->click();
  EXPECT_TRUE(busy_over_button);
  EXPECT_FALSE(hand_while_busy);
  EXPECT_EQ(f.ui.Messages(), QStringList{QStringLiteral("Done.")});
  ASSERT_FALSE(window->form().MousePointer.IsBusy());

  // The pointer still rests on "Help"; the next move, inside the same button, brings the hand.
  QPushButton* help = Button(9);
  MoveTo(help, QPoint(help->width() / 2 + 3, help->height() / 2));
  EXPECT_EQ(window->form().MousePointer.Shape(), Pointer::Hover);
  EXPECT_TRUE(ServerShowsHand());
}

TEST_F(RealServerTest, RemovalsGoOnFromKeyToKeyAndClickToClickWithoutSelectingAgain) {
  const auto settle = [](const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 3000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  };
  window->activateWindow();
  ASSERT_TRUE(settle([&] { return window->isActiveWindow(); }));

  ReportListModel& list = window->form().ListView1;
  ReportListView& view = window->FileListView();
  list.AppendRows({"a", "b", "c", "d", "e"});
  const auto row_point = [](ReportListView& v, int row) {
    return v.visualRect(v.model()->index(row - 1, 0)).center();
  };
  MoveTo(view.viewport(), row_point(view, 2));
  ASSERT_TRUE(XServer::Click(g_server->Display()));
  ASSERT_TRUE(settle([&] { return list.SelectedRow() == 2 && view.hasFocus(); }));
  // Two presses of Delete, the second on the row that took the first one's place.
  for (int presses = 1; presses <= 2; ++presses) {
    ASSERT_TRUE(XServer::Key(g_server->Display(), "Delete"));
    ASSERT_TRUE(settle([&] { return list.RowCount() == 5 - presses; })) << presses;
  }
  EXPECT_EQ(list.Texts(), QStringList({"a", "d", "e"}));
  EXPECT_EQ(list.SelectedRow(), 2);

  // A double click removes its row; Delete then takes the next one.
  MoveTo(view.viewport(), row_point(view, 1));
  ASSERT_TRUE(XServer::Click(g_server->Display()));
  ASSERT_TRUE(XServer::Click(g_server->Display()));
  ASSERT_TRUE(settle([&] { return list.RowCount() == 2; }));
  ASSERT_TRUE(XServer::Key(g_server->Display(), "Delete"));
  ASSERT_TRUE(settle([&] { return list.RowCount() == 1; }));
  EXPECT_EQ(list.Texts(), QStringList{"e"});

  ReportListModel& results = window->form().ListView2;
  ReportListView& table = window->ResultListView();
  results.AppendRows({"r1", "r2", "r3"});
  MoveTo(table.viewport(), row_point(table, 3));
  ASSERT_TRUE(XServer::Click(g_server->Display()));
  ASSERT_TRUE(settle([&] { return results.SelectedRow() == 3 && table.hasFocus(); }));
  for (int presses = 1; presses <= 3; ++presses) {
    ASSERT_TRUE(XServer::Key(g_server->Display(), "Delete"));
    ASSERT_TRUE(settle([&] { return results.RowCount() == 3 - presses; })) << presses;
  }
}

}  // namespace

// Under LeakSanitizer: Qt's X11 platform opens the desktop's message bus, whose library keeps
// one buffer to the end of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // The server outlives the application, whose connection to it closes first.
  XServer::Xvfb server;
  g_server = &server;
  if (server.Running()) {
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
