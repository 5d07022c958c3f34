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

namespace kvt::ui {

namespace pq = platform::qt;

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
  setObjectName("frmSelectDir");
  setFixedSize(270, 330);
  pq::BindForm(this, model.Form);

  auto* group = new QGroupBox(this);
  group->setObjectName("GroupBox1");
  group->setGeometry(6, 4, 258, 250);
  pq::BindGroupBox(group, model.GroupBox1);

  // The platform's own folder list: folders only, one root per drive or mount point.
  files_ = new QFileSystemModel(this);
  files_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  files_->setRootPath(QString());
  dirs_ = new QTreeView(group);
  dirs_->setObjectName("Dirs");
  dirs_->setGeometry(8, 20, 242, 222);
  dirs_->setModel(files_);
  for (int c = 1; c < files_->columnCount(); ++c) dirs_->hideColumn(c);
  dirs_->header()->hide();
  connect(dirs_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            const std::string dir = files_->filePath(current).toStdString();
            if (dir != model_.Directory()) model_.SetDirectory(dir);
          });

  auto* drive = new QComboBox(this);
  drive->setObjectName("Drive");
  drive->setGeometry(6, 260, 258, 24);
  pq::BindComboBox(drive, model.Drive);

  auto* ok = pq::MakeButton(this, model.BitBtn1, QRect(40, 294, 90, 27));
  auto* cancel = pq::MakeButton(this, model.BitBtn2, QRect(140, 294, 90, 27));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

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
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(selectDir) {
  TfrmOptions& model = model_;
  setObjectName("frmOptions");
  setFixedSize(520, 300);
  pq::BindForm(this, model.Form);

  auto* pages = new QTabWidget(this);
  pages->setObjectName("pgOptions");
  pages->setGeometry(6, 6, 508, 244);
  auto* general = new QWidget;
  general->setObjectName("tsGeneral");
  pages->addTab(general, QString());
  auto* ports = new QWidget;
  ports->setObjectName("tsPorts");
  pages->addTab(ports, QString());
  pq::BindPageControl(pages, model.pgOptions);

  auto* group = new QGroupBox(general);
  group->setGeometry(8, 8, 484, 90);
  pq::BindGroupBox(group, model.GroupBox1);
  auto* label1 = new QLabel(group);
  label1->setGeometry(12, 24, 300, 18);
  pq::BindLabel(label1, model.Label1);
  auto* path = new QLineEdit(group);
  path->setObjectName("edMiPath");
  path->setGeometry(12, 48, 364, 26);
  pq::BindEdit(path, model.edMiPath);
  pq::MakeButton(group, model.Button1, QRect(384, 47, 88, 28));

  auto* label2 = new QLabel(general);
  label2->setGeometry(20, 114, 250, 20);
  pq::BindLabel(label2, model.Label2);
  auto* seconds = new QSpinBox(general);
  seconds->setObjectName("udSSTime");
  seconds->setGeometry(272, 111, 60, 26);
  pq::BindUpDown(seconds, model.udSSTime);
  auto* label3 = new QLabel(general);
  label3->setGeometry(340, 114, 100, 20);
  pq::BindLabel(label3, model.Label3);
  // The spinner keeps a refused value to itself; the window says why it was not taken.
  if (auto* typed = seconds->findChild<QLineEdit*>())
    connect(typed, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.edSSTimeTyped(text.trimmed().toStdString()); });
  auto* refused = new QLabel(general);
  refused->setObjectName("lbSSTimeRefused");
  refused->setGeometry(20, 180, 470, 20);
  refused->setStyleSheet("color: #C00000;");
  pq::BindLabel(refused, model.lbSSTimeRefused);

  auto* show = new QCheckBox(general);
  show->setObjectName("DigOscTools");
  show->setGeometry(20, 152, 470, 22);
  pq::BindCheckBox(show, model.DigOscTools);

  // The ports page: one line per name, the machine's devices described as the system gives them.
  for (int i = 0; i < PortsPage::kPorts; ++i) {
    auto* name = new QLabel(ports);
    name->setGeometry(12, 16 + i * 36, 52, 24);
    pq::BindLabel(name, model.Ports.lbPort[i]);
    auto* choice = new QComboBox(ports);
    choice->setObjectName(QString::fromStdString(model.Ports.cbPort[i].Name()));
    choice->setGeometry(64, 14 + i * 36, 426, 28);
    pq::BindComboBox(choice, model.Ports.cbPort[i]);
  }
  auto* hint = new QLabel(ports);
  hint->setGeometry(12, 160, 478, 44);
  pq::BindLabel(hint, model.Ports.lbHint);

  auto* ok = pq::MakeButton(this, model.BitBtn1, QRect(164, 260, 90, 30));
  pq::MakeButton(this, model.BitBtn2, QRect(264, 260, 90, 30));
  ok->setDefault(true);
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
