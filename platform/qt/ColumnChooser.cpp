#include "platform/qt/ColumnChooser.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ColumnChooser::ColumnChooser(const ColumnChoiceRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setObjectName(QStringLiteral("ColumnChooser"));
  setWindowTitle(QStringLiteral("Columns"));
  auto* hint =
      new QLabel(QStringLiteral("Tick the columns to show; drag a column to move it."), this);
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
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(list_, 1);
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
