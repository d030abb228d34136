#include <gtest/gtest.h>

#include <QApplication>

// The list view's tests need an application object; the offscreen platform serves them.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
