#include "platform/Ui.h"

#include <atomic>

#include "platform/ScriptedUi.h"

namespace platform {

namespace {
std::atomic<Ui*> g_installed{nullptr};

ScriptedUi& DefaultUi() {
  static ScriptedUi ui;
  return ui;
}
// Created during static initialisation, so the thread that starts the program is its interface
// thread, whichever thread asks for it first later.
[[maybe_unused]] ScriptedUi& g_defaultAtStart = DefaultUi();
}  // namespace

Ui& CurrentUi() {
  Ui* ui = g_installed.load();
  return ui ? *ui : DefaultUi();
}

void SetUi(Ui* ui) {
  g_installed.store(ui);
}

Ui* InstalledUi() {
  return g_installed.load();
}

Answer ShowMessage(const std::string& text, const std::string& title, Icon icon, Buttons buttons,
                   bool systemModal) {
  MessageRequest request;
  request.text = text;
  request.title = title;
  request.icon = icon;
  request.buttons = buttons;
  request.systemModal = systemModal;
  return CurrentUi().ShowMessage(request);
}

}  // namespace platform
