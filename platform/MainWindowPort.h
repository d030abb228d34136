#pragma once

#include <QString>

/// What start-up asks of the main window on screen: look, caption, icon and hover picture.
/// The Qt window implements it; handler tests record the calls.
class MainWindowPort {
 public:
  virtual ~MainWindowPort() = default;
  /// Gives the window the look of the skin file (a Qt style sheet); throws StepFailure when
  /// the file cannot be read.
  virtual void ApplySkin(const QString& skin_path) = 0;
  virtual void SetCaption(const QString& caption) = 0;
  /// Shows the program's own icon in the window's title bar and task bar entry.
  virtual void ShowProgramIcon() = 0;
  /// Loads the picture the pointer shows in its hover state; throws StepFailure when the file
  /// is not a picture the platform can load.
  virtual void LoadHoverPicture(const QString& path) = 0;
};
