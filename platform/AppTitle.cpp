#include "AppTitle.h"

#include <QCoreApplication>
#include <QVariant>

namespace vexlo::platform {

namespace {
constexpr char kTitleProperty[] = "vexloApplicationTitle";
// Kept here as well for the time before the application object exists.
QString& storedTitle()
{
    static QString title;
    return title;
}
} // namespace

void setApplicationTitle(const QString& title)
{
    storedTitle() = title;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->setProperty(kTitleProperty, title);
}

QString applicationTitle()
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        const QVariant value = app->property(kTitleProperty);
        if (value.isValid())
            return value.toString();
    }
    return storedTitle();
}

} // namespace vexlo::platform
