#pragma once

// A task tray host on the test's own session bus: a StatusNotifierWatcher,
// on a thread of its own so that the test may block its main thread, that
// records the items the browser registers.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace testenv {

class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
public:
    bool IsStatusNotifierHostRegistered() const { return true; }
    QStringList Items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    void ClearItems()
    {
        QMutexLocker lock(&m_mutex);
        m_items.clear();
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service)
    {
        QMutexLocker lock(&m_mutex);
        m_items.removeAll(service);
        m_items << service;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

class TrayHost {
public:
    static constexpr char kService[] = "org.kde.StatusNotifierWatcher";

    explicit TrayHost(const QString& busAddress)
        : m_bus(QDBusConnection::connectToBus(busAddress, QStringLiteral("tray-host")))
    {
        m_thread.start();
        m_watcher.moveToThread(&m_thread);
        // Registered on its thread, where its adaptor must live.
        QMetaObject::invokeMethod(
            &m_watcher,
            [this] {
                m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                     QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
            },
            Qt::BlockingQueuedConnection);
    }
    ~TrayHost()
    {
        m_bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        m_thread.quit();
        m_thread.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("tray-host"));
    }

    bool IsConnected() const { return m_bus.isConnected(); }
    // The host comes and goes with its bus name.
    bool Arrive() { return m_bus.registerService(kService); }
    void Leave()
    {
        m_bus.unregisterService(kService);
        m_watcher.ClearItems();
    }
    QStringList Items() const { return m_watcher.Items(); }
    void ClearItems() { m_watcher.ClearItems(); }

    // A left click on the item.
    bool ActivateItem(const QString& service)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/StatusNotifierItem"),
                                                           QStringLiteral("org.kde.StatusNotifierItem"),
                                                           QStringLiteral("Activate"));
        call << 0 << 0;
        return m_bus.call(call).type() == QDBusMessage::ReplyMessage;
    }

private:
    QDBusConnection m_bus;
    QThread m_thread;
    StatusNotifierWatcher m_watcher;
};

} // namespace testenv
