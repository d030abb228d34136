#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <type_traits>

#include "batch/FileList.h"
#include "core/ErrorReport.h"
#include "platform/ReportListModel.h"
#include "platform/WindowPointer.h"
#include "platform/qt/ReportListView.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

QMimeData* UriList(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

/// The view with its drag handlers in reach: synthetic drops cannot pass through the
/// application, which expects a drag of its own to be under way.
class DropTarget : public ReportListView {
 public:
  using ReportListView::dragEnterEvent;
  using ReportListView::dragMoveEvent;
  using ReportListView::dropEvent;
  using ReportListView::ReportListView;
};

class ListViewEventsTest : public ::testing::Test {
 protected:
  ListViewEventsTest() : view(files) {
    files.AddColumn("File(s)", 4000);
    files.AppendRows({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
    view.AcceptFileDrops();
    view.resize(400, 300);
    view.show();
  }
  QPoint CentreOf(int row) const { return view.visualRect(files.index(row - 1, 0)).center(); }
  void Send(QEvent::Type type, int row, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF at = CentreOf(row);
    QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &event);
  }
  /// Sends a drag event carrying the data; answers whether the list took it.
  template <typename Event>
  bool Offer(QMimeData* data) {
    Event event(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    if constexpr (std::is_same_v<Event, QDragEnterEvent>)
      view.dragEnterEvent(&event);
    else if constexpr (std::is_same_v<Event, QDragMoveEvent>)
      view.dragMoveEvent(&event);
    else
      view.dropEvent(&event);
    return event.isAccepted();
  }

  ReportListModel files;
  DropTarget view;
};

TEST_F(ListViewEventsTest, OnlyLocalFilesAreTakenFromADrag) {
  std::unique_ptr<QMimeData> text(new QMimeData);
  text->setText("/m/not-a-drop.mp3");
  EXPECT_FALSE(Offer<QDragEnterEvent>(text.get()));
  EXPECT_FALSE(Offer<QDragMoveEvent>(text.get()));
  std::unique_ptr<QMimeData> web(UriList({QUrl("https://example.org/a.mp3")}));
  EXPECT_FALSE(Offer<QDragEnterEvent>(web.get()));
  std::unique_ptr<QMimeData> mixed(
      UriList({QUrl::fromLocalFile(QString::fromUtf8("/m/é 1.mp3")),
               QUrl("https://example.org/a.mp3"), QUrl::fromLocalFile("/m/dir")}));
  EXPECT_TRUE(Offer<QDragEnterEvent>(mixed.get()));
  EXPECT_TRUE(Offer<QDragMoveEvent>(mixed.get()));
  EXPECT_EQ(ReportListView::LocalPaths(mixed.get()),
            QStringList({QString::fromUtf8("/m/é 1.mp3"), "/m/dir"}));
}

TEST_F(ListViewEventsTest, ADropReturnsAtOnceAndHandsThePathsOverFromTheEventLoop) {
  QSignalSpy dropped(&view, &ReportListView::FilesDropped);
  std::unique_ptr<QMimeData> data(UriList({QUrl::fromLocalFile("/m/x.mp3")}));
  EXPECT_TRUE(Offer<QDropEvent>(data.get()));
  EXPECT_EQ(dropped.count(), 0);
  QCoreApplication::processEvents();
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped[0][0].toStringList(), QStringList({"/m/x.mp3"}));

  std::unique_ptr<QMimeData> none(UriList({QUrl("https://example.org/a.mp3")}));
  EXPECT_FALSE(Offer<QDropEvent>(none.get()));
  QCoreApplication::processEvents();
  EXPECT_EQ(dropped.count(), 1);
}

TEST_F(ListViewEventsTest, KeysArriveAsTheOldKeyCodes) {
  QSignalSpy keys(&view, &ReportListView::KeyDown);
  QTest::keyClick(&view, Qt::Key_Delete);
  QTest::keyClick(&view, Qt::Key_Period);  // 46 in Qt's numbering, but not Delete
  ASSERT_EQ(keys.count(), 2);
  EXPECT_EQ(keys[0][0].toInt(), 46);
  EXPECT_EQ(keys[1][0].toInt(), 0);
}

TEST_F(ListViewEventsTest, AHeldRowDraggedOverTheListMovesDownTheRows) {
  FakeServices fake;
  WindowPointer pointer;
  ErrorReport reporter(fake.ui);
  ReportListModel results;
  FileList actions(fake.ui, fake.files, fake.events, files, results, view, pointer, reporter);
  QObject::connect(&view, &ReportListView::MouseDown, [&] { actions.ReorderButtonDown(); });
  QObject::connect(&view, &ReportListView::RowClicked, [&] { actions.ReorderRowClicked(); });
  QObject::connect(&view, &ReportListView::PointerMoved, [&](int x, int y, int screen_y) {
    actions.ReorderPointerMoved(x, y, screen_y);
  });
  QObject::connect(&view, &ReportListView::MouseUp, [&] { actions.ReorderButtonUp(); });
  QSignalSpy clicked(&view, &ReportListView::RowClicked);

  Send(QEvent::MouseButtonPress, 1, Qt::LeftButton, Qt::LeftButton);
  ASSERT_EQ(clicked.count(), 1);
  EXPECT_EQ(clicked[0][0].toInt(), 1);
  EXPECT_EQ(files.SelectedRow(), 1);
  Send(QEvent::MouseMove, 2, Qt::NoButton, Qt::LeftButton);
  Send(QEvent::MouseMove, 3, Qt::NoButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, 3, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(files.Text(1), "/m/b.mp3");
  EXPECT_EQ(files.Text(2), "/m/c.mp3");
  EXPECT_EQ(files.Text(3), "/m/a.mp3");
  EXPECT_EQ(files.SelectedRow(), 3);
  EXPECT_FALSE(actions.ReorderDragActive());

  // Moving without a button only tells where the pointer is.
  Send(QEvent::MouseMove, 1, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(files.Text(1), "/m/b.mp3");
}

}  // namespace
