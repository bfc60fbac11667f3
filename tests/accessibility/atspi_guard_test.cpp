// The main window on the accessibility bus, as a screen reader or a D-Bus
// browser sees it: calls that crash Qt's own bridge are answered, and the calls
// a screen reader makes answer as before. Runs on a display with a session bus
// and the accessibility bus (see CMakeLists.txt); each call goes out over a
// connection of its own and comes back into this process, so a crash ends the test.
#include "accessibility/atspi_guard.hpp"
#include "window/main_window.hpp"
#include "session/book_session.hpp"
#include "window/episode_table.hpp"
#include "text/gbk.hpp"

#include <QAccessible>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int wait_ms = 20000;

class AtSpiGuard : public ::testing::Test {
  protected:
    void SetUp() override {
        guard_accessibility_bridge();
        window = std::make_unique<MainWindow>();
        for (int r = 0; r < 10; ++r) {
            Episode episode;
            episode.label = gbk("第1集");
            window->session().episodes().append(std::move(episode));
        }
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Asking for the accessibility bus starts it, as a desktop session does.
        QDBusReply<QString> address =
            QDBusInterface("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus").call("GetAddress");
        ASSERT_TRUE(address.isValid());
        ASSERT_TRUE(QTest::qWaitFor([] { return accessibility_bridge_guarded(); }, wait_ms))
            << "the bridge never joined the accessibility bus";
        probe = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address.value(), "probe"));
        ASSERT_TRUE(probe->isConnected());
        program = QDBusConnection("a11y").baseService();
        list_path = path_of(window->findChild<QTreeView*>(QString::fromUtf8("超级列表框1")));
    }
    void TearDown() override {
        window.reset();
        probe.reset();
        QDBusConnection::disconnectFromBus("probe");
    }

    static QString path_of(QObject* object) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
        return QString("/org/a11y/atspi/accessible/%1").arg(QAccessible::uniqueId(face));
    }

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(program, path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = probe->asyncCall(message, wait_ms);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, wait_ms));
        return pending.reply();
    }
    QDBusMessage table(const QString& method, const QVariantList& arguments) {
        return call(list_path, "org.a11y.atspi.Table", method, arguments);
    }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QDBusConnection> probe;
    QString program;
    QString list_path;
};

TEST_F(AtSpiGuard, GetAllOnEveryObjectAnswers) {
    std::vector<QString> paths = {"/org/a11y/atspi/accessible/root", path_of(window.get())};
    for (QWidget* child : window->findChildren<QWidget*>())
        paths.push_back(path_of(child));
    for (const QString& path : paths) {
        for (const char* interface : {"org.a11y.atspi.Accessible", "org.a11y.atspi.Table", ""}) {
            QDBusMessage reply =
                call(path, "org.freedesktop.DBus.Properties", "GetAll", {QString(interface)});
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << path.toStdString();
        }
        QDBusMessage half = call(path, "org.freedesktop.DBus.Properties", "Get",
                                 {QString("org.a11y.atspi.Accessible")});
        EXPECT_EQ(half.type(), QDBusMessage::ErrorMessage);
    }
    // A whole Get answers as before.
    QDBusMessage name = call(list_path, "org.freedesktop.DBus.Properties", "Get",
                             {QString("org.a11y.atspi.Accessible"), QString("Name")});
    ASSERT_EQ(name.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(name.arguments().value(0).value<QDBusVariant>().variant().toString(),
              QString::fromUtf8("集数列表"));
}

TEST_F(AtSpiGuard, TableCallsOutsideTheTableAreRefusedAndInsideAnswer) {
    const struct {
        const char* method;
        QVariantList arguments;
        bool answers;
    } cases[] = {
        {"GetRowExtentAt", {10, 0}, false},      {"GetRowExtentAt", {9, 3}, true},
        {"GetColumnExtentAt", {0, 4}, false},    {"IsSelected", {-1, 0}, false},
        {"IsSelected", {0, 0}, true},            {"GetAccessibleAt", {10, 0}, false},
        {"GetAccessibleAt", {9, 0}, true},       {"GetIndexAt", {0, -1}, false},
        {"GetRowDescription", {10}, false},      {"GetColumnHeader", {4}, false},
        {"GetColumnHeader", {3}, true},          {"IsRowSelected", {-1}, false},
        {"AddRowSelection", {99}, false},        {"GetRowAtIndex", {-7}, true},
        {"GetRowColumnExtentsAtIndex", {999}, true},
        {"GetRowColumnExtentsAtIndex", {-1}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        QDBusMessage reply = table(c.method, c.arguments);
        EXPECT_EQ(reply.type(), c.answers ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage)
            << reply.errorMessage().toStdString();
    }

    // The cell of every row's child index, the last row's included, as a screen
    // reader asks for it.
    for (int row : {0, 9}) {
        for (int column : {0, 3}) {
            QDBusMessage index = table("GetIndexAt", {row, column});
            ASSERT_EQ(index.type(), QDBusMessage::ReplyMessage);
            QDBusMessage extents =
                table("GetRowColumnExtentsAtIndex", {index.arguments().value(0).toInt()});
            ASSERT_EQ(extents.type(), QDBusMessage::ReplyMessage);
            const QVariantList answer = extents.arguments();
            ASSERT_EQ(answer.size(), 6);
            EXPECT_TRUE(answer[0].toBool());
            EXPECT_EQ(answer[1].toInt(), row);
            EXPECT_EQ(answer[2].toInt(), column);
        }
    }
    EXPECT_TRUE(window->isVisible());
}

} // namespace
