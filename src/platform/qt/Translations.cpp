#include "platform/qt/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform::qt {

bool InstallQtTranslations() {
  static bool installed = false;
  if (installed) return true;
  auto* qtbase = new QTranslator(QCoreApplication::instance());
  if (!qtbase->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete qtbase;
    return false;
  }
  QCoreApplication::installTranslator(qtbase);
  // Dates and numbers the dialogs show follow the same language.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  installed = true;
  return true;
}

}  // namespace platform::qt
