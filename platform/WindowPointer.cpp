#include "platform/WindowPointer.h"

void WindowPointer::BeginLongAction() {
  ++running_;
  Show(Pointer::Busy);
}

void WindowPointer::EndLongAction() {
  // An unmatched end (a handler whose start step failed) must not drive the count negative.
  if (running_ > 0) --running_;
  if (running_ == 0) Show(Pointer::Default);
}

void WindowPointer::SetHover() {
  if (!IsBusy()) Show(Pointer::Hover);
}

void WindowPointer::SetDefault() {
  if (!IsBusy()) Show(Pointer::Default);
}

void WindowPointer::Show(Pointer shape) {
  if (shape_ == shape) return;
  shape_ = shape;
  emit ShapeChanged(shape_);
}
