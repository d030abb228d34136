#include <gtest/gtest.h>

#include <vector>

#include "platform/WindowPointer.h"

TEST(WindowPointerTest, HoverNeverReplacesBusyAndReturnsAfterTheRun) {
  WindowPointer pointer;
  pointer.SetHover();
  EXPECT_EQ(pointer.Shape(), Pointer::Hover);
  pointer.BeginLongAction();
  pointer.SetHover();
  pointer.SetDefault();
  EXPECT_TRUE(pointer.IsBusy());
  pointer.EndLongAction();
  EXPECT_EQ(pointer.Shape(), Pointer::Default);
  pointer.SetHover();
  EXPECT_EQ(pointer.Shape(), Pointer::Hover);
}

TEST(WindowPointerTest, BusyLastsUntilEveryLongActionHasEnded) {
  WindowPointer pointer;
  std::vector<Pointer> shapes;
  QObject::connect(&pointer, &WindowPointer::ShapeChanged,
                   [&](Pointer shape) { shapes.push_back(shape); });
  pointer.BeginLongAction();  // e.g. an extraction run
  pointer.BeginLongAction();  // a folder scan started during one of its yields
  pointer.EndLongAction();
  EXPECT_TRUE(pointer.IsBusy());
  EXPECT_EQ(pointer.RunningActions(), 1);
  pointer.EndLongAction();
  EXPECT_FALSE(pointer.IsBusy());
  pointer.EndLongAction();  // unmatched: stays at zero
  EXPECT_EQ(pointer.RunningActions(), 0);
  pointer.BeginLongAction();
  EXPECT_TRUE(pointer.IsBusy());
  EXPECT_EQ(shapes, (std::vector<Pointer>{Pointer::Busy, Pointer::Default, Pointer::Busy}));
}
