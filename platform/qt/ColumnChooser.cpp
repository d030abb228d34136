#include "platform/qt/ColumnChooser.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

ColumnChooser::ColumnChooser(const ColumnChoiceRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setObjectName(QStringLiteral("ColumnChooser"));
  setWindowTitle(QStringLiteral("Columns"));
  auto* hint =
      new QLabel(QStringLiteral("Tick the columns to show; drag a column or use Move Up and Move "
                                "Down (Alt+Up, Alt+Down) to order them."),
                 this);
  hint->setWordWrap(true);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ColumnList"));
  list_->setDragDropMode(QAbstractItemView::InternalMove);
  list_->setDefaultDropAction(Qt::MoveAction);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* reset =
      buttons->addButton(QStringLiteral("Reset to default"), QDialogButtonBox::ResetRole);
  reset->setObjectName(QStringLiteral("ResetColumns"));
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(reset, &QPushButton::clicked, this, [this] { Show(request_.defaults); });
  connect(list_, &QListWidget::itemChanged, this, [this] { UpdateOk(); });
  // Dragging is not the only way: the keyboard moves the current column too.
  auto* up = new QPushButton(QStringLiteral("Move &Up"), this);
  up->setObjectName(QStringLiteral("MoveColumnUp"));
  up->setAutoDefault(false);
  up->setToolTip(QStringLiteral("Alt+Up"));
  auto* down = new QPushButton(QStringLiteral("Move &Down"), this);
  down->setObjectName(QStringLiteral("MoveColumnDown"));
  down->setAutoDefault(false);
  down->setToolTip(QStringLiteral("Alt+Down"));
  connect(up, &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
  connect(down, &QPushButton::clicked, this, [this] { MoveCurrent(1); });
  auto* move_up = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), this);
  auto* move_down = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Down), this);
  connect(move_up, &QShortcut::activated, this, [this] { MoveCurrent(-1); });
  connect(move_down, &QShortcut::activated, this, [this] { MoveCurrent(1); });
  // How text without an encoding of its own is read, and what workbooks carry besides the rows.
  legacy_ = new QComboBox(this);
  legacy_->setObjectName(QStringLiteral("LegacyText"));
  const std::pair<const char*, const char*> kReadings[] = {
      {"Windows-1252 (as always)", "windows-1252"},
      {"Detect per file", "detect"},
      {"Windows-1250 (Central European)", "windows-1250"},
      {"Windows-1251 (Cyrillic)", "windows-1251"},
      {"Windows-1253 (Greek)", "windows-1253"},
      {"ISO-8859-2 (Central European)", "iso-8859-2"},
      {"KOI8-R (Russian)", "koi8-r"},
      {"Shift-JIS (Japanese)", "shift-jis"},
      {"GBK (Simplified Chinese)", "gbk"},
      {"Big5 (Traditional Chinese)", "big5"},
  };
  for (const auto& [label, name] : kReadings)
    legacy_->addItem(QString::fromUtf8(label), QString::fromLatin1(name));
  const int current = legacy_->findData(request.legacy_text.toLower());
  if (current >= 0) {
    legacy_->setCurrentIndex(current);
  } else if (!request.legacy_text.isEmpty()) {
    legacy_->addItem(request.legacy_text, request.legacy_text);
    legacy_->setCurrentIndex(legacy_->count() - 1);
  }
  summary_ = new QCheckBox(QStringLiteral("Add a \"Summary\" sheet of folder totals"), this);
  summary_->setObjectName(QStringLiteral("SummarySheet"));
  summary_->setChecked(request.summary_sheet);
  every_format_ = new QCheckBox(QStringLiteral("Read every audio format"), this);
  every_format_->setObjectName(QStringLiteral("EveryFormat"));
  every_format_->setToolTip(
      QStringLiteral("FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, WavPack and the APEv2 tags of MP3 "
                     "files, read through TagLib; MP3 stays on the tag engine"));
  every_format_->setChecked(request.every_format);
  auto* options = new QFormLayout;
  options->addRow(QStringLiteral("Legacy text (ID3v1, Lyrics3):"), legacy_);
  options->addRow(QStringLiteral("Workbooks:"), summary_);
  auto* moves = new QHBoxLayout;
  moves->addWidget(up);
  moves->addWidget(down);
  moves->addStretch(1);
  options->addRow(QStringLiteral("Formats:"), every_format_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(list_, 1);
  layout->addLayout(moves);
  layout->addLayout(options);
  layout->addWidget(buttons);
  resize(360, 520);
  Show(request.chosen);
}

void ColumnChooser::Show(const QStringList& chosen) {
  list_->clear();
  const auto add = [this](const QString& header, bool ticked) {
    const qsizetype at = request_.headers.indexOf(header);
    auto* item = new QListWidgetItem(header, list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemIsDragEnabled);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    if (at >= 0 && at < request_.groups.size()) item->setToolTip(request_.groups[at]);
  };
  for (const QString& header : chosen)
    if (request_.headers.contains(header)) add(header, true);
  for (const QString& header : request_.headers)
    if (!chosen.contains(header)) add(header, false);
  UpdateOk();
}

void ColumnChooser::MoveCurrent(int by) {
  const int from = list_->currentRow();
  const int to = from + by;
  if (from < 0 || to < 0 || to >= list_->count()) return;
  QListWidgetItem* item = list_->takeItem(from);
  list_->insertItem(to, item);
  list_->setCurrentRow(to);
}

QString ColumnChooser::LegacyText() const { return legacy_->currentData().toString(); }

bool ColumnChooser::SummarySheet() const { return summary_->isChecked(); }

bool ColumnChooser::EveryFormat() const { return every_format_->isChecked(); }

QStringList ColumnChooser::Chosen() const {
  QStringList chosen;
  for (int i = 0; i < list_->count(); ++i)
    if (list_->item(i)->checkState() == Qt::Checked) chosen.append(list_->item(i)->text());
  return chosen;
}

void ColumnChooser::UpdateOk() {
  // A table needs at least one column.
  if (ok_) ok_->setEnabled(!Chosen().isEmpty());
}
