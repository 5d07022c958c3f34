#include "calibration/Calibration.h"

#include <algorithm>

#include "app/MainHost.h"
#include "app/ProtocolPdf.h"
#include "calibration/CalProcedureK3.h"
#include "exposure/DefineCurrent.h"
#include "exposure/Snapshot.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

CalWindowOptions& TfrmCalibration::LaunchOptions() {
  static CalWindowOptions options;
  return options;
}

namespace {

constexpr platform::Color kSourceColor = platform::colors::Lime;
constexpr platform::Color kNewColor = platform::colors::Red;

constexpr const char* kDone =
    "\nПроцедура калибровки завершена. Для закрытия окна нажмите кнопку <OK>,\nа затем сохраните "
    "полученный файл настроек на диск\nи оттранслируйте его в систему.";
constexpr const char* kAutoOn = "Выключить";
constexpr const char* kAutoOff = "Включить";

std::string OpeningMessage(int min, int max) {
  return "\nС имеющимся файлом настроек система может быть откалибрована\nв диапазоне от " +
         std::to_string(min) + " до " + std::to_string(max) +
         " кВ.\nДля начала процесса калибровки Вам необходимо задать границы диапазона, выбрав их "
         "в соответствующих окнах панели <Границы калибровки>\nи нажать кнопку <Принять>.";
}

void Group(platform::GroupBox& g, const char* caption) {
  g.SetCaption(caption);
}

}  // namespace

std::optional<CalRange> ParseCalRange(const TCalTables& tables, const std::string& start,
                                      const std::string& finish, std::string& why) {
  const int min = tables.TableStart(), max = tables.TableEnd(), step = tables.TableStep();
  if (step <= 0) {
    why = "Исходная калибровочная таблица не прочитана: диапазон калибровки не может быть задан.";
    return std::nullopt;
  }
  const auto s = CellInt(start), f = CellInt(finish);
  auto onGrid = [&](int v) { return v >= min && v <= max && (v - min) % step == 0; };
  if (!s || !f || !onGrid(*s) || !onGrid(*f)) {
    why = "Границы диапазона калибровки \"" + start + "\" и \"" + finish +
          "\" должны быть напряжениями из списков: от " + std::to_string(min) + " до " +
          std::to_string(max) + " кВ с шагом " + std::to_string(step) + " кВ.";
    return std::nullopt;
  }
  if (*s >= *f) {
    why = "Нижняя граница диапазона калибровки должна быть меньше верхней.";
    return std::nullopt;
  }
  return CalRange{*s, *f};
}

TfrmCalibration::TfrmCalibration(MainHost* host, CalWindowOptions options)
    : TfrmCalibration(host, std::move(options), false) {}

TfrmCalibration::TfrmCalibration(MainHost* host, CalWindowOptions options, bool k3)
    : platform::FormModel("frmCalibration"),
      k3_(k3),
      codeMax_(k3 ? kMaxFilamentCodeK3 : kMaxFilamentCode),
      openMark_(host, ToolWindow::Calibration),
      options_(std::move(options)) {
  if (options_.stateFile.empty()) options_.stateFile = TCalTables::StateFilePath(k3_);

  Form.SetCaption(kCaption);
  CalPages.AddPage("pgTables", "Таблицы");
  CalPages.AddPage("pgProcedure", "Процедура");
  CalPages.AddPage("pgGraph", "Графики");
  CalPages.AddPage("pgOptions", "Настройки");
  CalPages.SetActivePageIndex(pgProcedure);

  Group(GroupBox1, " Информация ");
  Label1.SetCaption("Минимальное значение высокого напряжения:");
  Label2.SetCaption("Максимальное значение высокого напряжения:");
  Label3.SetCaption("Шаг изменения напряжения:");
  for (auto* l : {&Label4, &Label5, &Label6}) l->SetCaption("кВ");
  Group(GroupBox2, " Исходные данные ");
  Group(GroupBox3, " Калибровочная таблица ");
  Group(GroupBox4, " Таблица Rэ ");
  Group(GroupBox5, " Результаты процедуры калибровки ");
  Group(GroupBox6, " Калибровочная таблица ");
  Group(GroupBox7, " Таблица Rэ ");

  Group(GroupBox8, " Границы калибровки ");
  Label7.SetCaption("Нижняя");
  Label8.SetCaption("Верхняя");
  btnAcceptInterval.SetCaption("Принять");
  Group(ShotsBox, " Снимки ");
  ShotsTable.SetFixedCols(0);
  // The engineer sees the shot just made while a series runs.
  ShotsTable.SetFollowNewRows(true);
  Group(GroupBox9, " Управление ");
  WaitIndikator.SetRange(0, 1000);
  Group(GroupBox10, " Код накала ");
  udCurrentNakal.SetRange(0, codeMax_);
  udCurrentNakal.SetAssociate(&edCurrentNakal);
  edCurrentNakal.SetEnabled(false);
  udCurrentNakal.SetEnabled(false);
  Group(GroupBox11, " Снимок ");
  btnMakeShot.SetCaption("Выполнить");
  btnMakeShot.SetEnabled(false);
  Group(GroupBox12, " Автоматически ");
  btnAuto.SetCaption(kAutoOff);
  btnAuto.SetEnabled(false);
  Group(GroupBox13, " Процедура ");
  Button2.SetCaption("Прервать");
  Button2.SetEnabled(false);
  btnOK.SetCaption("OK");
  btnOK.SetEnabled(false);
  // Two lines: the button shares the information group with the table's bounds.
  btnSavePdf.SetCaption("Сохранить протокол\nв PDF");
  Group(OscilBox, " Осциллограммы последнего снимка ");
  ChartUa.SetTitle("Анодное напряжение (кВ)");
  ChartUa.AddSeries("Series1", platform::SeriesKind::Line, kSourceColor);
  ChartUa.SetBottomLimits(0, 8);
  ChartUa.SetLeftLimits(0, 150, 20);
  ChartIa.SetTitle("Анодный ток (мА)");
  ChartIa.AddSeries("Series2", platform::SeriesKind::Line, kSourceColor);
  ChartIa.SetBottomLimits(0, 8);
  ChartIa.SetLeftLimits(0, 400, 20);
  lbCurrentMessage.SetAlignment(platform::Alignment::Center);
  lbCurrentMessage.SetWordWrap(true);

  if (k3_) {
    // No resistance table: only the family of characteristics.
    ShotsTable.BeginUpdate();
    for (int c = 0; c < 6; ++c) ShotsTable.SetCell(c, 0, caltext::kShotHeadersK3[c]);
    ShotsTable.EndUpdate();
  } else {
    PageControl1.AddPage("TabSheet1", "Характеристика R(U)");
    PageControl1.AddPage("TabSheet2", "Функция преобразования");
  }
  PageControl1.AddPage("TabSheet3", "Семейство характеристик");
  if (k3_) {
    platform::ChartAxis axis = Chart4.LeftAxis();  // automatic, in steps of 5
    axis.increment = 5;
    Chart4.SetLeftAxis(axis);
  }
  PageControl1.SetActivePageIndex(0);
  Group(GroupBox14, " Исходная характеристика ");
  Group(GroupBox15, " Расчетная характеристика ");
  for (auto* c : {&Chart3, &Chart1}) {
    c->AddSeries("Series", platform::SeriesKind::Line, kSourceColor);
    c->SetBottomLimits(40, 120);
    c->SetLeftLimits(0, 255, 10);
  }
  Chart2.AddSeries("Series1", platform::SeriesKind::Line, kSourceColor);
  Chart2.AddSeries("Series2", platform::SeriesKind::Point, kNewColor);
  Chart2.SetBottomLimits(0, 300);
  Group(GroupBox16, " Режимы отображения ");
  RadioButton1.SetCaption("Исходные");
  RadioButton2.SetCaption("Расчетные");
  RadioButton3.SetCaption("Все");
  RadioButton1.SetChecked(true);
  RadioButton2.SetEnabled(false);
  RadioButton3.SetEnabled(false);
  Group(GroupBox17, " Ручная коррекция ");
  Label9.SetCaption("Ток");
  Label10.SetCaption("Сдвиг");
  udMoveStep.SetRange(-caltable::kMaxShift, caltable::kMaxShift);
  udMoveStep.SetAssociate(&edMoveStep);
  udMoveStep.SetPosition(0);
  edMoveStep.SetText("0");
  cbCurrents.SetEnabled(false);
  edMoveStep.SetEnabled(false);
  udMoveStep.SetEnabled(false);

  Group(GroupBox18, "Приращение кода накала");
  udDNakal.SetRange(1, 100);
  udDNakal.SetAssociate(&edDNakal);
  udDNakal.SetPosition(10);

  N1.SetCaption("Удалить последний снимок");
  N2.SetCaption("Сохранить таблицу");
  N3.SetCaption("Загрузить таблицу");
  N4.SetCaption("Сохранить таблицы в файл");
  N5.SetCaption("Транслировать таблицы в систему");
  N5.SetEnabled(false);
  N6.SetCaption(kGridItem);
  N6.SetEnabled(false);

  StartUv.OnChange = [this] { StartUvChange(); };
  btnAcceptInterval.OnClick = [this] { btnAcceptIntervalClick(); };
  btnMakeShot.OnClick = [this] { btnMakeShotClick(); };
  btnAuto.OnClick = [this] { btnAutoClick(); };
  btnOK.OnClick = [this] { btnOKClick(); };
  Button2.OnClick = [this] { Button2Click(); };
  N1.OnClick = [this] { N1Click(); };
  N2.OnClick = [this] { N2Click(); };
  N3.OnClick = [this] { N3Click(); };
  N4.OnClick = [this] { N4Click(); };
  N6.OnClick = [this] { N6Click(); };
  btnSavePdf.OnClick = [this] { btnSavePdfClick(); };
  CalPages.OnChange = [this] { CalPagesChange(); };
  PageControl1.OnChange = [this] {
    if (!k3_ && PageControl1.ActivePageIndex() == 0) TabSheet1Show();
  };
  RadioButton1.OnClick = [this] {
    if (RadioButton1.Checked()) RadioButton1Click();
  };
  RadioButton2.OnClick = [this] {
    if (RadioButton2.Checked()) RadioButton2Click();
  };
  RadioButton3.OnClick = [this] {
    if (RadioButton3.Checked()) RadioButton3Click();
  };
  cbCurrents.OnChange = [this] { cbCurrentsChange(); };
  udMoveStep.OnClick = [this](bool) { udMoveStepChanging(); };
}

TfrmCalibration::~TfrmCalibration() {
  // FormDestroy: the worker ends first (a shot under way is finished, a pause ends at once).
  if (worker_) {
    worker_->Stop();
    worker_->WaitFor();
    worker_.reset();
  }
}

// ----------------------------------------------------------------------------- opening

void TfrmCalibration::FormCreate() {
  CalLock.SetAuto(State, false);
  CalPages.SetActivePageIndex(pgProcedure);
  State.ShotCount = 0;

  const CalResult read = Tables_.ReadSourceTables();
  FillRangeLists();
  cbCurrents.ClearItems();
  for (int c = 1; c <= 8; ++c) cbCurrents.AddItem(SourceCTable.Cell(c, 0));
  if (!cbCurrents.Items().empty()) cbCurrents.SetItemIndex(0);

  if (read) {
    lbCurrentMessage.SetCaption(OpeningMessage(Tables_.TableStart(), Tables_.TableEnd()));
  } else {
    // Without the present tables there is nothing to calibrate against.
    lbCurrentMessage.SetCaption("\n" + read.problem);
    btnAcceptInterval.SetEnabled(false);
    StartUv.SetEnabled(false);
    FinishUv.SetEnabled(false);
  }
  DrawResistanceCharts();
  DrawFamily();

  State.Stage = 0;
  if (k3_) {
    const auto header = Tables_.HeaderCurrents();
    State.TargetCurrent = header ? (header->front() + header->back()) / 2 : 0;
    // The upward sweeps end on a reading of the table's last current; the dialog cannot give
    // more than its largest one, so they end on a saturated reading below it.
    if (read && header && header->back() > TfrmDefineCurrent::kMaxCurrent) {
      std::string warning = lbCurrentMessage.Caption();
      warning += "\nВнимание: последний ток таблицы ";
      warning += std::to_string(header->back());
      warning += " мА больше ";
      warning += std::to_string(TfrmDefineCurrent::kMaxCurrent);
      warning +=
          " мА,\nкоторые можно определить по осциллограмме:\nхарактеристики закончатся на "
          "меньшем токе.";
      lbCurrentMessage.SetCaption(warning);
    }
    // The filament codes the apparatus takes: a larger one would only be refused by it.
    std::string type;
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      type = TSystemLink().ReadSystemType();
    }
    if (type.empty()) type = SystemStatus().SystemType();
    codeMax_ = type == "K4" ? kMaxFilamentCodeK3 : kMaxFilamentCode;
    udCurrentNakal.SetRange(0, codeMax_);
    State.FirstInRange = State.MiddleShot = State.LastShot = 0;
    State.FirstInRange1 = State.MiddleShot1 = State.LastShot1 = 0;
    State.FirstPass = true;
    State.SecondPass = false;
  }
  worker_ = CreateWorker();
  worker_->Timing = options_.timing;
  worker_->StateFile = options_.stateFile;
  worker_->Start();
}

std::unique_ptr<TCalWorker> TfrmCalibration::CreateWorker() {
  return std::make_unique<TCalProcedure>(State, CalLock, *this, options_.priority);
}

void TfrmCalibration::FillRangeLists() {
  StartUv.ClearItems();
  FinishUv.ClearItems();
  const int min = Tables_.TableStart(), max = Tables_.TableEnd(), step = Tables_.TableStep();
  if (step <= 0) return;
  for (int u = min; u <= max; u += step) {
    StartUv.AddItem(std::to_string(u));
    FinishUv.AddItem(std::to_string(u));
  }
  StartUv.SetItemIndex(0);
  FinishUv.SetItemIndex((max - min) / step);
}

void TfrmCalibration::StartUvChange() {
  const int step = Tables_.TableStep();
  const auto s = CellInt(StartUv.Text());
  // A bound being typed ("8" on the way to "80") is no voltage of the table yet.
  if (step <= 0 || !s || *s < Tables_.TableStart() || *s > Tables_.TableEnd() ||
      (*s - Tables_.TableStart()) % step != 0)
    return;
  const auto f = CellInt(FinishUv.Text());
  FinishUv.ClearItems();
  for (int u = *s; u <= Tables_.TableEnd(); u += step) FinishUv.AddItem(std::to_string(u));
  if (FinishUv.Items().empty()) return;
  if (f && *s < *f)
    FinishUv.SetItemIndex(std::min((*f - *s) / step, int(FinishUv.Items().size()) - 1));
  else
    FinishUv.SetItemIndex(0);
}

// ----------------------------------------------------------------------------- procedure

void TfrmCalibration::EnableProcedureControls() {
  edCurrentNakal.SetEnabled(true);
  udCurrentNakal.SetEnabled(true);
  btnMakeShot.SetEnabled(true);
  btnAuto.SetEnabled(true);
  shotsEnded_ = false;
  // Types K3 and K4: a way out of a procedure that cannot end, besides the window's frame.
  if (k3_) Button2.SetEnabled(true);
  btnAcceptInterval.SetEnabled(false);
  StartUv.SetEnabled(false);
  FinishUv.SetEnabled(false);
}

void TfrmCalibration::btnAcceptIntervalClick() {
  std::string why;
  if (!ParseCalRange(Tables_, StartUv.Text(), FinishUv.Text(), why)) {
    lbCurrentMessage.SetCaption("\n" + why);
    return;
  }
  EnableProcedureControls();
  CalLock.AcceptRange(State);
}

void TfrmCalibration::btnMakeShotClick() {
  CalLock.Request(State);
}

void TfrmCalibration::btnAutoClick() {
  const bool on = CalLock.ToggleAuto(State);
  btnAuto.SetCaption(on ? kAutoOn : kAutoOff);
}

void TfrmCalibration::btnOKClick() {
  ++OkPresses;
  if (OkPresses == 1) {
    std::string why;
    const auto range = Range(why);
    const CalResult stored = range ? Tables_.ApplyTablesToImage(*range, k3_) : CalResult::Fail(why);
    tablesStored_ = bool(stored);
    if (stored) {
      N6.SetEnabled(false);
      SystemStatus().ImageModified = true;
      lbCurrentMessage.SetCaption(kDone);
    } else {
      // The image keeps what it had; the procedure stays in the state file.
      lbCurrentMessage.SetCaption(
          "\nНовые таблицы не записаны в образ памяти.\n" + stored.problem +
          "\nСостояние процедуры сохранено в файле " + options_.stateFile.filename().string() +
          ".\nДля повторной записи прочитайте или откройте файл настроек и нажмите кнопку <OK>.");
    }
    return;
  }
  if (!tablesStored_) {
    if (!platform::AskYesNo(
            "Новые таблицы не записаны в образ памяти и будут потеряны (состояние процедуры "
            "сохранено в файле " +
                options_.stateFile.filename().string() + ").\nЗакрыть окно калибровки?",
            kTitle)) {
      // The next press tries to store them again.
      OkPresses = 0;
      return;
    }
  }
  OkPresses = 0;
  closeAgreed_ = true;
  if (OnCloseRequest) OnCloseRequest();
}

bool TfrmCalibration::SaveStateFile() {
  ProcedureInfo info = StateInfo(State);
  FillInfo(info);
  if (auto r = Tables_.SaveProcedureState(options_.stateFile, info, k3_); !r) {
    platform::ShowMessage(r.problem, kTitle, platform::Icon::Error);
    return false;
  }
  return true;
}

void TfrmCalibration::Button2Click() {
  if (!k3_) return;
  std::string question =
      "Прервать процедуру калибровки и закрыть окно?\nЖурнал снимков и этап "
      "процедуры будут сохранены в файле ";
  question += options_.stateFile.filename().string();
  question += ",\nпроцедуру можно продолжить командой \"Загрузить таблицу\" меню журнала.";
  if (!platform::AskYesNo(question, kTitle)) return;
  CalLock.SetAuto(State, false);
  btnAuto.SetCaption(kAutoOff);
  // A log that cannot be saved keeps the window open: its shots would be lost.
  if (Tables_.LoggedShots() > 0 && !SaveStateFile()) return;
  closeAgreed_ = true;
  if (OnCloseRequest) OnCloseRequest();
}

bool TfrmCalibration::FormCloseQuery() {
  if (!k3_ || closeAgreed_ || tablesStored_ || Tables_.LoggedShots() == 0) return true;
  std::string question = "В журнале ";
  question += std::to_string(Tables_.LoggedShots());
  question +=
      " снимков, новые таблицы не записаны в образ памяти.\nЗакрыть окно калибровки?\n"
      "Журнал снимков и этап процедуры будут сохранены в файле ";
  question += options_.stateFile.filename().string();
  question += ".";
  if (!platform::AskYesNo(question, kTitle)) return false;
  CalLock.SetAuto(State, false);
  if (!SaveStateFile()) return false;
  closeAgreed_ = true;
  return true;
}

// ----------------------------------------------------------------------------- menus

void TfrmCalibration::N1Click() {
  if (Tables_.DeleteLastShot() && State.ShotCount > 0) --State.ShotCount;
}

void TfrmCalibration::N2Click() {
  SaveStateFile();
}

void TfrmCalibration::N3Click() {
  // Read into a scratch log first: a file whose range does not fit these tables changes nothing.
  ProcedureInfo info = StateInfo(State);
  if (!k3_) info.ShotCount = Tables_.LoggedShots();
  info.StartUv = StartUv.Text();
  info.FinishUv = FinishUv.Text();
  info.CurrentCode = udCurrentNakal.Position();
  {
    TCalTables probe;
    ProcedureInfo check = info;
    if (auto r = probe.LoadProcedureInfo(options_.stateFile, check, k3_); !r) {
      platform::ShowMessage(r.problem, kTitle, platform::Icon::Error);
      return;
    }
    std::string why;
    if (!ParseCalRange(Tables_, check.StartUv, check.FinishUv, why)) {
      platform::ShowMessage("Файл " + options_.stateFile.string() + " не загружен.\n" + why, kTitle,
                            platform::Icon::Error);
      return;
    }
    if (check.Stage < 0 || check.Stage > (k3_ ? 5 : 6) ||
        (check.Direction != 0 && check.Direction != 1)) {
      platform::ShowMessage("Файл " + options_.stateFile.string() +
                                " не загружен: неверный этап или направление процедуры.",
                            kTitle, platform::Icon::Error);
      return;
    }
  }
  if (auto r = Tables_.LoadProcedureState(options_.stateFile, info, k3_); !r) {
    platform::ShowMessage(r.problem, kTitle, platform::Icon::Error);
    return;
  }
  SetStateFromInfo(State, info);
  StartUv.SetText(info.StartUv);
  FinishUv.SetText(info.FinishUv);
  udCurrentNakal.SetPosition(info.CurrentCode);
  EnableProcedureControls();
  if (k3_) AcceptPassParameters();
  // A state saved after the series computes the tables at once.
  if (info.Stage == 4) CalLock.Request(State);
}

void TfrmCalibration::N4Click() {
  platform::FileDialogRequest request;
  request.save = true;
  const auto chosen = platform::CurrentUi().RunFileDialog(request);
  if (!chosen.accepted) return;
  std::string why;
  const auto range = Range(why);
  const CalResult r = range ? Tables_.ExportTables(chosen.path, *range, k3_) : CalResult::Fail(why);
  if (!r) platform::ShowMessage(r.problem, kTitle, platform::Icon::Error);
}

void TfrmCalibration::N6Click() {
  if (k3_ || State.Stage != 5 || tablesStored_) return;
  // The tables are computed again after the extra shots; until then there is nothing to accept.
  N6.SetEnabled(false);
  btnOK.SetEnabled(false);
  OkPresses = 0;
  CalLock.StartGrid(State);
  lbCurrentMessage.SetCaption(calmsg::kGridSeries);
}

// ----------------------------------------------------------------------------- graphs

void TfrmCalibration::TabSheet1Show() {
  DrawResistanceCharts();
}

void TfrmCalibration::AcceptPassParameters() {
  std::string why;
  const auto range = Range(why);
  if (!range) return;
  State.PassVoltage = State.FirstPass ? range->StartUv : range->FinishUv;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  TSnapshot snapshot(true, options_.timing.shotLimits);
  // A refusal is told by the parameter set itself; the next search shot sends them again.
  snapshot.AcceptSnapshotParameters(State.PassVoltage, State.TargetCurrent, 6, true);
}

void TfrmCalibration::DrawResistanceCharts() {
  if (k3_) return;
  if (SourceRTable.RowCount() > 2 && Tables_.TableStep() > 0) {
    Chart3.BeginUpdate();
    Chart3.Series(0).Clear();
    for (int u = Tables_.TableStart(); u <= Tables_.TableEnd(); ++u)
      Chart3.Series(0).AddXY(u, Tables_.SourceResistance(u));
    Chart3.EndUpdate();
  }
  if (NewRTable.RowCount() >= 3) {
    Chart1.BeginUpdate();
    Chart1.Series(0).Clear();
    for (int i = 1; i < NewRTable.RowCount(); ++i) {
      const auto u = CellInt(NewRTable.Cell(0, i)), r = CellInt(NewRTable.Cell(1, i));
      if (u && r) Chart1.Series(0).AddXY(*u, *r);
    }
    Chart1.EndUpdate();
  }
}

void TfrmCalibration::DrawTransferCurve(const TransferCurve& curve) {
  Chart2.BeginUpdate();
  Chart2.Series(0).Clear();
  Chart2.Series(1).Clear();
  for (const auto& [x, y] : curve.line) Chart2.Series(0).AddXY(x, y);
  for (const auto& [x, y] : curve.points) Chart2.Series(1).AddXY(x, y);
  Chart2.EndUpdate();
}

void TfrmCalibration::DrawFamily() {
  Chart4.BeginUpdate();
  Chart4.RemoveAllSeries();
  auto draw = [&](const platform::StringGrid& grid, platform::Color color) {
    for (int r = 1; r < grid.RowCount(); ++r) {
      auto& s = Chart4.AddSeries("Series" + std::to_string(Chart4.SeriesCount() + 1),
                                 platform::SeriesKind::Line, color);
      for (int c = 1; c <= 8; ++c) {
        const auto h = CellInt(grid.Cell(c, 0)), v = CellInt(grid.Cell(c, r));
        if (h && v) s.AddXY(*h, *v);
      }
    }
  };
  if (RadioButton1.Checked() || RadioButton3.Checked()) draw(SourceCTable, kSourceColor);
  if (RadioButton2.Checked() || RadioButton3.Checked()) draw(NewCTable, kNewColor);
  Chart4.EndUpdate();
}

void TfrmCalibration::SelectFamily(platform::RadioButton& chosen) {
  for (auto* r : {&RadioButton1, &RadioButton2, &RadioButton3})
    if (r != &chosen) {
      auto handler = std::move(r->OnClick);
      r->SetChecked(false);
      r->OnClick = std::move(handler);
    }
  DrawFamily();
}

void TfrmCalibration::RadioButton1Click() {
  SelectFamily(RadioButton1);
}
void TfrmCalibration::RadioButton2Click() {
  SelectFamily(RadioButton2);
}
void TfrmCalibration::RadioButton3Click() {
  SelectFamily(RadioButton3);
}

void TfrmCalibration::CalPagesChange() {
  if (CalPages.ActivePageIndex() != pgGraph) return;
  const bool computed = State.Stage == 5;
  RadioButton1.SetEnabled(true);
  for (platform::Control* c : std::initializer_list<platform::Control*>{
           &RadioButton2, &RadioButton3, &edMoveStep, &udMoveStep, &cbCurrents})
    c->SetEnabled(computed);
  if (!computed && !RadioButton1.Checked()) {
    RadioButton1.SetChecked(true);
    return;  // its click drew the family
  }
  DrawFamily();
}

void TfrmCalibration::cbCurrentsChange() {
  std::string why;
  const auto range = Range(why);
  const auto ma = CellInt(cbCurrents.Text());
  if (!range || !ma) return;
  if (const auto shift = Tables_.CurrentShift(*ma, *range)) udMoveStep.SetPosition(*shift);
}

void TfrmCalibration::ApplyShift(int shift) {
  std::string why;
  const auto range = Range(why);
  const auto ma = CellInt(cbCurrents.Text());
  if (!range || !ma || State.Stage != 5) return;
  if (auto r = Tables_.ManualShift(*ma, shift, *range); !r) {
    platform::ShowMessage(r.problem, kTitle, platform::Icon::Error);
    return;
  }
  if (RadioButton2.Checked() || RadioButton3.Checked()) DrawFamily();
}

bool TfrmCalibration::edMoveStepKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  const auto typed = CellInt(edMoveStep.Text());
  if (!typed || *typed < -caltable::kMaxShift || *typed > caltable::kMaxShift) {
    // Not a shift: the edit shows the last one again, and nothing moves.
    edMoveStep.SetText(std::to_string(udMoveStep.Position()));
    return true;
  }
  udMoveStep.SetPosition(*typed);
  ApplyShift(*typed);
  return true;
}

void TfrmCalibration::udMoveStepChanging() {
  ApplyShift(udMoveStep.Position());
}

// ----------------------------------------------------------------------------- TCalHost

std::optional<CalRange> TfrmCalibration::Range(std::string& why) {
  return ParseCalRange(Tables_, StartUv.Text(), FinishUv.Text(), why);
}

std::optional<int> TfrmCalibration::Code() {
  const auto c = CellInt(edCurrentNakal.Text());
  if (!c || *c < 0 || *c > codeMax_) return std::nullopt;
  return c;
}

void TfrmCalibration::SetCode(int code) {
  udCurrentNakal.SetPosition(code);
}

int TfrmCalibration::CodeStep() {
  return udDNakal.Position();
}

void TfrmCalibration::ShowMessage(const std::string& text) {
  lbCurrentMessage.SetCaption(text);
}

void TfrmCalibration::FillInfo(ProcedureInfo& info) {
  info.StartUv = StartUv.Text();
  info.FinishUv = FinishUv.Text();
  info.CurrentCode = Code().value_or(udCurrentNakal.Position());
}

void TfrmCalibration::RangeLocked() {
  StartUv.SetEnabled(false);
  FinishUv.SetEnabled(false);
}

void TfrmCalibration::ShowCurves(const std::vector<int>& samples) {
  ChartUa.BeginUpdate();
  ChartIa.BeginUpdate();
  ChartUa.Series(0).Clear();
  ChartIa.Series(0).Clear();
  for (std::size_t k = 0; 2 * k + 1 < samples.size(); ++k) {
    ChartUa.Series(0).AddXY(0.1 * double(k), samples[2 * k]);
    ChartIa.Series(0).AddXY(0.1 * double(k), samples[2 * k + 1]);
  }
  ChartIa.EndUpdate();
  ChartUa.EndUpdate();
}

void TfrmCalibration::ShowPause(int totalMs, int leftMs) {
  WaitIndikator.SetRange(0, std::max(totalMs, 1));
  WaitIndikator.SetProgress(leftMs);
  btnMakeShot.SetEnabled(leftMs <= 0 && !stepRunning_ && !shotsEnded_);
}

void TfrmCalibration::StepRunning(bool running) {
  stepRunning_ = running;
  btnMakeShot.SetEnabled(!running && !shotsEnded_);
}

void TfrmCalibration::TablesComputed(const TransferCurve& curve) {
  if (!k3_) {
    DrawResistanceCharts();
    DrawTransferCurve(curve);
  }
  btnOK.SetEnabled(true);
  N6.SetEnabled(!k3_ && !tablesStored_);
}

void TfrmCalibration::SeriesEnded() {
  shotsEnded_ = true;
  btnMakeShot.SetEnabled(false);
  btnAuto.SetEnabled(false);
}

void TfrmCalibration::AutoModeEnded() {
  btnAuto.SetCaption(kAutoOff);
}

}  // namespace kvt

namespace kvt {

TfrmCalibrationK3::TfrmCalibrationK3(MainHost* host, CalWindowOptions options)
    : TfrmCalibration(host, std::move(options), true) {}

TfrmCalibrationK3::~TfrmCalibrationK3() {
  // The worker calls this window: it ends before the window's parts go.
  if (TCalWorker* w = Worker()) {
    w->Stop();
    w->WaitFor();
  }
}

std::unique_ptr<TCalWorker> TfrmCalibrationK3::CreateWorker() {
  return std::make_unique<TCalProcedureK3>(State, CalLock, *this, Options().priority, CodeMax());
}

}  // namespace kvt
