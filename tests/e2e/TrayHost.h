#pragma once

// A task tray host on a session bus of the test's own: a StatusNotifierWatcher
// that records the items the browser registers.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

namespace testenv {

class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
public:
    static constexpr char kService[] = "org.kde.StatusNotifierWatcher";

    explicit StatusNotifierWatcher(const QDBusConnection& bus) : m_bus(bus)
    {
        m_bus.registerObject("/StatusNotifierWatcher", this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                 | QDBusConnection::ExportAllSignals);
    }

    // The host comes and goes with its bus name.
    bool Arrive() { return m_bus.registerService(kService); }
    void Leave()
    {
        m_bus.unregisterService(kService);
        m_items.clear();
    }

    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList RegisteredStatusNotifierItems() const { return m_items; }

    // A left click on the item.
    bool ActivateItem(const QString& service)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                                                           "Activate");
        call << 0 << 0;
        return m_bus.call(call).type() == QDBusMessage::ReplyMessage;
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service)
    {
        m_items.removeAll(service);
        m_items << service;
        Q_EMIT StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);

private:
    QDBusConnection m_bus;
    QStringList m_items;
};

} // namespace testenv
