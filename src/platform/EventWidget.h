#pragma once

// The widget that an event's receiver is, or nullptr, for filters on the
// whole application. Those also see the engine's own Quick items, whose
// library is built without RTTI: the sanitizer's vptr check cannot type
// them and is left out of this one test, which is Qt's own widget flag.
#include <QWidget>

namespace nimbra {

#if defined(__GNUC__)
__attribute__((no_sanitize("vptr")))
#endif
inline QWidget* EventWidget(const QObject* receiver)
{
    if (!receiver || !receiver->isWidgetType())
        return nullptr;
    return static_cast<QWidget*>(const_cast<QObject*>(receiver));
}

} // namespace nimbra
