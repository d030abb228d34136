#include "app/ui/LibraryReportDialog.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <set>

#include "batch/AuditReport.h"

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

QString Severity(Audit::Severity s) { return QString::fromLatin1(Audit::SeverityName(s)); }

}  // namespace

LibraryReportDialog::LibraryReportDialog(Audit::Report report, const QString& note, QWidget* parent)
    : QDialog(parent), report_(std::move(report)) {
  setObjectName(QStringLiteral("LibraryReport"));
  setWindowTitle(QStringLiteral("Library report"));
  resize(1000, 700);
  const Audit::Statistics& s = report_.stats;
  auto* summary =
      new QLabel(QStringLiteral("%1 files; %2 findings: %3 errors, %4 warnings, %5 notes")
                     .arg(s.files)
                     .arg(report_.findings.size())
                     .arg(report_.errors)
                     .arg(report_.warnings)
                     .arg(report_.infos),
                 this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary);
  if (!note.isEmpty()) {
    auto* lacking = new QLabel(note, this);
    lacking->setWordWrap(true);
    layout->addWidget(lacking);
  }

  rule_ = new QComboBox(this);
  rule_->setObjectName(QStringLiteral("RuleFilter"));
  severity_ = new QComboBox(this);
  severity_->setObjectName(QStringLiteral("SeverityFilter"));
  rule_->addItem(QStringLiteral("All rules"));
  std::set<QString> rules;
  for (const Audit::Finding& f : report_.findings) rules.insert(f.rule);
  for (const QString& rule : rules) rule_->addItem(rule);
  severity_->addItem(QStringLiteral("All severities"));
  for (const Audit::Severity v :
       {Audit::Severity::kError, Audit::Severity::kWarning, Audit::Severity::kInfo})
    severity_->addItem(Severity(v));
  connect(rule_, &QComboBox::currentIndexChanged, this, [this] { Filter(); });
  connect(severity_, &QComboBox::currentIndexChanged, this, [this] { Filter(); });
  auto* filters = new QHBoxLayout;
  filters->addWidget(rule_);
  filters->addWidget(severity_);
  filters->addStretch(1);

  findings_ = new QTreeWidget(this);
  findings_->setObjectName(QStringLiteral("Findings"));
  findings_->setHeaderLabels({QStringLiteral("Album"), QStringLiteral("Severity"),
                              QStringLiteral("Rule"), QStringLiteral("File"),
                              QStringLiteral("Detail")});
  findings_->setUniformRowHeights(true);
  // Albums collapsed, counts first: a report of many thousand findings stays quick to open.
  QTreeWidgetItem* group = nullptr;
  const Audit::Finding* first = nullptr;
  for (const Audit::Finding& f : report_.findings) {
    if (!first || f.folder != first->folder || f.album != first->album) {
      group = new QTreeWidgetItem(findings_, {f.album});
      group->setToolTip(0, f.folder);
      first = &f;
    }
    auto* item =
        new QTreeWidgetItem(group, {QString(), Severity(f.severity), f.rule, f.path, f.detail});
    item->setData(0, kPathRole, f.path);
    item->setToolTip(4, f.detail);
  }
  for (int g = 0; g < findings_->topLevelItemCount(); ++g) {
    QTreeWidgetItem* item = findings_->topLevelItem(g);
    item->setText(1, QStringLiteral("%1").arg(item->childCount()));
  }
  findings_->header()->resizeSection(0, 200);
  findings_->header()->resizeSection(3, 300);
  connect(findings_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty()) emit FileChosen(path);
  });

  auto* findings_page = new QWidget(this);
  auto* findings_layout = new QVBoxLayout(findings_page);
  findings_layout->addLayout(filters);
  findings_layout->addWidget(findings_, 1);
  auto* tabs = new QTabWidget(this);
  tabs->addTab(findings_page, QStringLiteral("Findings"));
  tabs->addTab(MakeCharts(), QStringLiteral("Statistics"));
  layout->addWidget(tabs, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* save =
      buttons->addButton(QStringLiteral("Save report…"), QDialogButtonBox::ActionRole);
  save->setObjectName(QStringLiteral("SaveReport"));
  QPushButton* check =
      buttons->addButton(QStringLiteral("Check audio…"), QDialogButtonBox::ActionRole);
  check->setObjectName(QStringLiteral("CheckAudio"));
  check->setToolTip(
      QStringLiteral("Walk every audio frame and hash the audio between the tags: reads each "
                     "file once"));
  connect(check, &QPushButton::clicked, this, &LibraryReportDialog::CheckAudioAsked);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save report"),
                                                      QStringLiteral("library-report.html"),
                                                      QStringLiteral("HTML page (*.html)"));
    QString why;
    if (!path.isEmpty() && !SaveHtml(path, why))
      QMessageBox::warning(this, QStringLiteral("Save report"), why);
  });
  layout->addWidget(buttons);
}

bool LibraryReportDialog::SaveHtml(const QString& path, QString& why) const {
  QSaveFile file(path);
  const std::string page = AuditReport::Html(report_);
  if (file.open(QIODevice::WriteOnly) &&
      file.write(page.data(), static_cast<qint64>(page.size())) ==
          static_cast<qint64>(page.size()) &&
      file.commit())
    return true;
  why = QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString());
  return false;
}

void LibraryReportDialog::Filter() {
  const QString rule = rule_->currentIndex() > 0 ? rule_->currentText() : QString();
  const QString severity = severity_->currentIndex() > 0 ? severity_->currentText() : QString();
  for (int g = 0; g < findings_->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = findings_->topLevelItem(g);
    int shown = 0;
    for (int c = 0; c < group->childCount(); ++c) {
      QTreeWidgetItem* item = group->child(c);
      const bool show = (rule.isEmpty() || item->text(2) == rule) &&
                        (severity.isEmpty() || item->text(1) == severity);
      item->setHidden(!show);
      shown += show;
    }
    group->setHidden(shown == 0);
  }
}

QWidget* LibraryReportDialog::MakeCharts() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  int at = 0;
  for (const Audit::Share& share : report_.stats.shares) {
    if (share.counts.empty()) continue;
    constexpr size_t kMost = 12;
    auto* set = new QBarSet(share.name);
    QStringList names;
    int64_t top = 1;
    // Bars from the top down, as the page draws them.
    const size_t shown = std::min(kMost, share.counts.size());
    for (size_t i = shown; i-- > 0;) {
      *set << static_cast<qreal>(share.counts[i].second);
      names << share.counts[i].first.left(30);
      top = std::max(top, share.counts[i].second);
    }
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    series->setLabelsVisible(true);
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(share.name);
    chart->legend()->hide();
    auto* categories = new QBarCategoryAxis;
    categories->append(names);
    chart->addAxis(categories, Qt::AlignLeft);
    series->attachAxis(categories);
    auto* values = new QValueAxis;
    values->setRange(0, static_cast<qreal>(top) * 1.15);
    values->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(values);
    auto* view = new QChartView(chart);
    view->setMinimumHeight(60 + 22 * static_cast<int>(shown));
    grid->addWidget(view, at / 2, at % 2);
    ++at;
  }
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setWidget(page);
  return scroll;
}
