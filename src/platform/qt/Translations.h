#pragma once
// Qt's own texts (the buttons of message boxes, the file dialogs' labels) in Russian, as the rest
// of the program speaks. The translations come with Qt (Debian: qt6-translations-l10n).

namespace platform::qt {

// Loads Qt's Russian translations into the application once; false when they are not installed
// (the standard dialogs then stay in English).
bool InstallQtTranslations();

}  // namespace platform::qt
