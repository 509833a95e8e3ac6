#include "ui/Translate.h"

#include <libintl.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <mutex>

namespace {

std::mutex gBindLock;
bool gBound = false;

void Bind(const QString& dir) {
  bindtextdomain(kTextDomain, QFile::encodeName(dir).constData());
  // Catalogue texts reach Qt as UTF-8 whatever the locale's code set is.
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  gBound = true;
}

}  // namespace

void SetTranslationDirectory(const QString& dir) {
  std::lock_guard lock(gBindLock);
  Bind(dir);
}

QString Translate(const char* text) {
  // gettext answers the empty text with the catalogue's header.
  if (text == nullptr || *text == '\0') return QString();
  {
    std::lock_guard lock(gBindLock);
    if (!gBound) {
      const QString base =
          QCoreApplication::instance() != nullptr ? QCoreApplication::applicationDirPath() : QDir::currentPath();
      Bind(base + QStringLiteral("/locale"));
    }
  }
  return QString::fromUtf8(dgettext(kTextDomain, text));
}
