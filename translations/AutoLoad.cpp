// Linked into each program that shows windows: the translation for the
// system locale is installed as soon as the application object exists, before
// any window is built.
#include "Translations.h"

#include <QCoreApplication>

namespace {

void installSystemTranslation() { vexlo::translations::installForSystem(); }

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installSystemTranslation)
