#include "windowaccessible.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    if (className != QLatin1String("MainWindow") || !object->isWidgetType())
        return nullptr;
    // The accessibility framework owns the interfaces its factories make.
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
}

} // namespace

void installWindowAccessible()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}
