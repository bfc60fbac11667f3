#include "accessibility/atspi_guard.hpp"

#include "accessibility/accessible_events.hpp"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QLibraryInfo>
#include <QPointer>
#include <QTimer>
#include <QVersionNumber>

#include <optional>

namespace {

const QString accessible_path = QStringLiteral("/org/a11y/atspi/accessible");
const QString table_interface = QStringLiteral("org.a11y.atspi.Table");
const QString properties_interface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString accessible_interface = QStringLiteral("org.a11y.atspi.Accessible");

// The accessible object a path of the bridge names; nothing for the root (the
// application) and for paths that name nothing.
QAccessibleInterface* accessible_at(const QString& path) {
    const QString id = path.section(u'/', 5, 5);
    bool ok = false;
    const QAccessible::Id number = id.toUInt(&ok);
    return ok && path.count(u'/') == 5 ? QAccessible::accessibleInterface(number) : nullptr;
}

// The integer arguments of a call, when it has exactly `count` of them.
std::optional<QList<int>> int_arguments(const QDBusMessage& message, int count) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() != count)
        return std::nullopt;
    QList<int> numbers;
    for (const QVariant& argument : arguments) {
        if (argument.metaType() != QMetaType::fromType<int>())
            return std::nullopt;
        numbers.append(argument.toInt());
    }
    return numbers;
}

class BridgeGuard : public QDBusVirtualObject {
  public:
    explicit BridgeGuard(QDBusVirtualObject* bridge, QObject* parent)
        : QDBusVirtualObject(parent), bridge_(bridge) {}

    QString introspect(const QString& path) const override {
        return bridge_ ? bridge_->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() == properties_interface && answer_properties(message, connection))
            return true;
        if (message.interface() == table_interface && answer_table(message, connection))
            return true;
        if (message.interface() == accessible_interface &&
            message.member() == QLatin1String("GetAttributes") && answer_value_text(message, connection))
            return true;
        return bridge_ && bridge_->handleMessage(message, connection);
    }

  private:
    static bool refuse(const QDBusMessage& message, const QDBusConnection& connection,
                       const QString& why) {
        return connection.send(message.createErrorReply(QDBusError::InvalidArgs, why)) || true;
    }

    // GetAll: the bridge has no list of its properties; an empty one is the
    // honest answer (each property still answers Get). Get and Set need the
    // interface and the property's name.
    static bool answer_properties(const QDBusMessage& message, const QDBusConnection& connection) {
        const QVariantList arguments = message.arguments();
        if (message.member() == QLatin1String("GetAll")) {
            connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
            return true;
        }
        const int needed = message.member() == QLatin1String("Set") ? 3 : 2;
        if (arguments.size() < needed || arguments.at(0).metaType() != QMetaType::fromType<QString>() ||
            arguments.at(1).metaType() != QMetaType::fromType<QString>())
            return refuse(message, connection, QStringLiteral("interface and property expected"));
        return false;
    }

    // Table calls are checked against the table's rows and columns before the
    // bridge sees them; the cell of a child index is looked up here, where the
    // bridge would take the index for a row and column of the body.
    static bool answer_table(const QDBusMessage& message, const QDBusConnection& connection) {
        QAccessibleInterface* accessible = accessible_at(message.path());
        QAccessibleTableInterface* table = accessible ? accessible->tableInterface() : nullptr;
        if (!table)
            return refuse(message, connection, QStringLiteral("not a table"));
        const QString member = message.member();
        const int rows = table->rowCount();
        const int columns = table->columnCount();
        auto in = [](int value, int count) { return value >= 0 && value < count; };

        static const QStringList cell_calls = {"GetAccessibleAt", "GetIndexAt", "GetRowExtentAt",
                                               "GetColumnExtentAt", "IsSelected"};
        static const QStringList row_calls = {"GetRowDescription", "GetRowHeader", "IsRowSelected",
                                              "AddRowSelection", "RemoveRowSelection"};
        static const QStringList column_calls = {"GetColumnDescription", "GetColumnHeader",
                                                 "IsColumnSelected", "AddColumnSelection",
                                                 "RemoveColumnSelection"};
        if (cell_calls.contains(member)) {
            const auto cell = int_arguments(message, 2);
            if (!cell || !in(cell->at(0), rows) || !in(cell->at(1), columns))
                return refuse(message, connection, QStringLiteral("no such cell"));
        } else if (row_calls.contains(member)) {
            const auto row = int_arguments(message, 1);
            if (!row || !in(row->at(0), rows))
                return refuse(message, connection, QStringLiteral("no such row"));
        } else if (column_calls.contains(member)) {
            const auto column = int_arguments(message, 1);
            if (!column || !in(column->at(0), columns))
                return refuse(message, connection, QStringLiteral("no such column"));
        } else if (member == QLatin1String("GetRowAtIndex") ||
                   member == QLatin1String("GetColumnAtIndex")) {
            if (!int_arguments(message, 1))
                return refuse(message, connection, QStringLiteral("an index expected"));
        } else if (member == QLatin1String("GetRowColumnExtentsAtIndex")) {
            return answer_extents(accessible, message, connection);
        }
        return false;
    }

    // A control whose value reads as words ("01:05 / 45:00") says them as its
    // value text, which a screen reader says in place of the number; the
    // bridge has no attributes to give.
    static bool answer_value_text(const QDBusMessage& message, const QDBusConnection& connection) {
        QAccessibleInterface* accessible = accessible_at(message.path());
        QAccessibleValueInterface* value = accessible ? accessible->valueInterface() : nullptr;
        if (!value)
            return false;
        const QString words = accessible->text(QAccessible::Value);
        if (words.isEmpty() || words == value->currentValue().toString())
            return false;
        static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
        (void)registered;
        const QMap<QString, QString> attributes{{QStringLiteral("valuetext"), words}};
        connection.send(message.createReply(QVariant::fromValue(attributes)));
        return true;
    }

    static bool answer_extents(QAccessibleInterface* table, const QDBusMessage& message,
                               const QDBusConnection& connection) {
        const auto index = int_arguments(message, 1);
        if (!index)
            return refuse(message, connection, QStringLiteral("an index expected"));
        QAccessibleInterface* child = index->at(0) >= 0 ? table->child(index->at(0)) : nullptr;
        QAccessibleTableCellInterface* cell = child ? child->tableCellInterface() : nullptr;
        QVariantList answer;
        if (cell)
            answer << true << cell->rowIndex() << cell->columnIndex() << cell->rowExtent()
                   << cell->columnExtent() << cell->isSelected();
        else
            answer << false << -1 << -1 << -1 << -1 << false;
        connection.send(message.createReply(answer));
        return true;
    }

    QPointer<QDBusVirtualObject> bridge_;
};

QPointer<BridgeGuard> guard;

// The faults are those of Qt 6.4's bridge; later releases check the calls
// themselves.
bool bridge_needs_guard() {
    return QLibraryInfo::version() < QVersionNumber(6, 5);
}

void stand_in_front() {
    QDBusConnection bus(QStringLiteral("a11y"));
    if (!bus.isConnected())
        return;
    QObject* registered = bus.objectRegisteredAt(accessible_path);
    if (!registered || (guard && registered == guard))
        return;
    auto* bridge = qobject_cast<QDBusVirtualObject*>(registered);
    if (!bridge)
        return;
    delete guard;
    bus.unregisterObject(accessible_path);
    guard = new BridgeGuard(bridge, QCoreApplication::instance());
    if (!bus.registerVirtualObject(accessible_path, guard, QDBusConnection::SubPath)) {
        // Give the path back to the bridge rather than leave it unanswered.
        delete guard;
        bus.registerVirtualObject(accessible_path, bridge, QDBusConnection::SubPath);
    }
}

} // namespace

void guard_accessibility_bridge() {
    watch_accessible_events();
    if (!bridge_needs_guard())
        return;
    // The bridge joins the accessibility bus when an assistive tool asks for it,
    // which may be at any time; a look now and then finds it.
    auto* look = new QTimer(QCoreApplication::instance());
    look->setInterval(250);
    QObject::connect(look, &QTimer::timeout, [] { stand_in_front(); });
    look->start();
    stand_in_front();
}

bool accessibility_bridge_guarded() {
    if (!guard)
        return false;
    return QDBusConnection(QStringLiteral("a11y")).objectRegisteredAt(accessible_path) == guard;
}
