#pragma once

#include <QObject>
#include <QString>

/// The progress bar's value and caption. Values from 0 to 100 fill the bar proportionally;
/// values above 100 show it full. Every set emits Changed, even when nothing differs, so
/// tests can record the exact sequence a run produces.
class ProgressBarModel : public QObject {
  Q_OBJECT

 public:
  explicit ProgressBarModel(QObject* parent = nullptr) : QObject(parent) {}

  double Value() const { return value_; }
  void SetValue(double value);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  /// The filled share from 0 to 1000, as the bar draws it.
  int FillPermille() const;

 signals:
  void Changed(double value, const QString& caption);

 private:
  double value_ = 0;
  QString caption_;
};
