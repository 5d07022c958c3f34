#include "image/ui/OptionsView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>

#include "platform/qt/Bindings.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

namespace {

void Centre(QWidget* w) {
  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect s = screen->availableGeometry();
    w->move(s.x() + (s.width() - w->width()) / 2, s.y() + (s.height() - w->height()) / 2);
  }
}

}  // namespace

SelectDirView::SelectDirView(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  TfrmSelectDir& model = model_;
  pq::FrameWindow(this, model.Form, QSize(270, 330));

  QGroupBox* group = pq::MakeGroup(this, model.GroupBox1, QRect(6, 4, 258, 250));

  // The platform's own folder list: folders only, one root per drive or mount point.
  files_ = new QFileSystemModel(this);
  files_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  files_->setRootPath(QString());
  dirs_ = new QTreeView(group);
  dirs_->setObjectName("Dirs");
  dirs_->setGeometry(pq::InsideGroup(group, 8, 20));
  dirs_->setModel(files_);
  for (int c = 1; c < files_->columnCount(); ++c) dirs_->hideColumn(c);
  dirs_->header()->hide();
  connect(dirs_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const std::string dir = files_->filePath(current).toStdString();
            if (dir != model_.Directory()) model_.SetDirectory(dir);
          });

  pq::MakeCombo(this, model.Drive, QRect(6, 260, 258, 24));

  const auto okCancel = pq::MakeButtonRow(this, {&model.BitBtn1, &model.BitBtn2},
                                          QRect(40, 294, 90, 27), QPoint(100, 0), true);
  okCancel[0]->setDefault(true);
  connect(okCancel[0], &QPushButton::clicked, this, &QDialog::accept);
  connect(okCancel[1], &QPushButton::clicked, this, &QDialog::reject);

  model.OnDirectoryChange = [self = QPointer<SelectDirView>(this)] {
    if (self) self->FollowModel();
  };
  FollowModel();
  Centre(this);
}

SelectDirView::~SelectDirView() {
  model_.OnDirectoryChange = nullptr;
  model_.SetModalRunner(nullptr);
}

void SelectDirView::FollowModel() {
  const QModelIndex index = files_->index(QString::fromStdString(model_.Directory()));
  if (!index.isValid() || index == dirs_->currentIndex()) return;
  dirs_->setCurrentIndex(index);
  dirs_->expand(index);
  dirs_->scrollTo(index);
}

OptionsView::OptionsView(TfrmSelectDir& selectDir, QWidget* parent)
    : QDialog(parent, pq::kToolWindowFlags | Qt::Dialog), model_(selectDir) {
  TfrmOptions& model = model_;
  pq::FrameWindow(this, model.Form, QSize(520, 300));

  auto* tabs = pq::Named(new QTabWidget(this), model.pgOptions, QRect(6, 6, 508, 244));
  const std::vector<QWidget*> pages = pq::AddPages(tabs, model.pgOptions);
  pq::BindPageControl(tabs, model.pgOptions);
  QWidget* general = pages[model.pgOptions.IndexOf("tsGeneral")];
  QWidget* ports = pages[model.pgOptions.IndexOf("tsPorts")];

  QGroupBox* group = pq::MakeGroup(general, model.GroupBox1, QRect(8, 8, 484, 90));
  pq::MakeLabel(group, model.Label1, QRect(12, 24, 300, 18));
  pq::MakeEdit(group, model.edMiPath, QRect(12, 48, 364, 26));
  pq::MakePushButton(group, model.Button1, QRect(384, 47, 88, 28), true);

  pq::MakeLabel(general, model.Label2, QRect(20, 114, 250, 20));
  QSpinBox* seconds = pq::MakeSpin(general, model.udSSTime, QRect(272, 111, 60, 26));
  pq::MakeLabel(general, model.Label3, QRect(340, 114, 100, 20));
  // The spinner keeps a refused value to itself; the window says why it was not taken.
  if (auto* typed = seconds->findChild<QLineEdit*>())
    connect(typed, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.edSSTimeTyped(text.trimmed().toStdString()); });
  pq::MakeLabel(general, model.lbSSTimeRefused, QRect(20, 180, 470, 20))
      ->setStyleSheet("color: #C00000;");

  pq::MakeCheck(general, model.DigOscTools, QRect(20, 152, 470, 22));

  // The ports page: one line per name, the machine's devices described as the system gives them.
  for (int i = 0; i < PortsPage::kPorts; ++i) {
    pq::MakeLabel(ports, model.Ports.lbPort[i], QRect(12, 16 + i * 36, 52, 24));
    pq::MakeCombo(ports, model.Ports.cbPort[i], QRect(64, 14 + i * 36, 426, 28));
  }
  pq::MakeLabel(ports, model.Ports.lbHint, QRect(12, 160, 478, 44));

  const auto okCancel = pq::MakeButtonRow(this, {&model.BitBtn1, &model.BitBtn2},
                                          QRect(164, 260, 90, 30), QPoint(100, 0), true);
  okCancel[0]->setDefault(true);
  model.OnClose = [self = QPointer<OptionsView>(this)] {
    if (self) self->done(QDialog::Accepted);
  };
  Centre(this);
}

OptionsView::~OptionsView() {
  model_.OnClose = nullptr;
  model_.SetModalRunner(nullptr);
}

void InstallOptionsViews(OptionsView& options, SelectDirView& selectDir) {
  QPointer<OptionsView> o = &options;
  QPointer<SelectDirView> s = &selectDir;
  options.Model().SetModalRunner([o](TfrmOptions&) {
    if (o) o->exec();
  });
  selectDir.Model().SetModalRunner(
      [s](TfrmSelectDir&) { return s && s->exec() == QDialog::Accepted; });
}

}  // namespace kvt::ui
