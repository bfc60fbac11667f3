#pragma once
// Ground for the tests that drive the real main window: the site fixture, a main
// window shown the way the program shows it, its controls by name, and a driver
// for the modal dialogs that open while a handler runs.
#include "site/book_page_load.hpp"
#include "session/download_sequence.hpp"
#include "session/episode_query.hpp"
#include "window/main_window.hpp"
#include "session/book_session.hpp"
#include "window/episode_table.hpp"
#include "text/qt_text.hpp"
#include "support/site_fixture.hpp"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Watches for modal dialogs from inside their own event loops. Every message box
// has its text recorded and its OK button pressed. Any other modal dialog is
// handed to `on_dialog` on every tick while it is on top; the handler must not
// open a nested event loop itself (queue clicks with `press_later`).
class DialogDriver {
  public:
    DialogDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(5);
    }
    std::vector<Text> messages;
    std::vector<Text> details; // the second line of each message box, in step
    std::function<void(QWidget*)> on_dialog;

    static void press_later(QAbstractButton* button) {
        QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    }
    static void close_later(QWidget* dialog) {
        QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
    }

  private:
    void tick() {
        QWidget* top = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            messages.push_back(from_qstring(box->text()));
            details.push_back(from_qstring(box->informativeText()));
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else if (top && on_dialog) {
            on_dialog(top);
        }
    }
    QTimer timer_;
};

// Lets events run until `condition` holds; false when it still does not after
// the time-out, generous for sanitizer builds on a busy machine.
template <typename Condition> bool eventually(Condition condition, int timeout_ms = 20000) {
    return QTest::qWaitFor(condition, timeout_ms);
}

class WindowFixture : public SiteFixture {
  protected:
    // Creates the main window and shows it; its created handler runs meanwhile,
    // and the book page of a stored address has loaded when this returns.
    MainWindow& open_window() {
        window = std::make_unique<MainWindow>();
        window->show();
        wait_for_book_page();
        return *window;
    }
    // Lets events run until the book page load (and a pause in typing before it)
    // is over; false when it still runs after `limit`.
    bool wait_for_book_page(std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        return QTest::qWaitFor([this] { return !window->book_page_pending(); },
                               int(limit.count()));
    }
    void TearDown() override {
        window.reset();
        SiteFixture::TearDown();
    }

    // Lets events run until the query and the download sequence are both idle;
    // false when they still run after `limit`.
    bool finish_long_work(std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
        return QTest::qWaitFor(
            [this] { return !window->session().querying() && !window->session().downloads().running(); },
            int(limit.count()));
    }

    template <typename W> W* control(const char* name) const {
        W* widget = window->findChild<W*>(to_qstring(gbk(name)));
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    template <typename W> Text text_of(const char* name) const {
        return from_qstring(control<W>(name)->text());
    }
    // A user replacing the address box's text by pasting: one content change.
    // The load it starts has ended when this returns, unless `wait` is false.
    void paste_address(const Text& text, bool wait = true) const {
        auto* box = control<QLineEdit>("编辑框1");
        QApplication::clipboard()->setText(to_qstring(text));
        box->selectAll();
        box->paste();
        if (wait)
            wait_for_book_page();
    }

    // Opens the settings window with the settings button, as the user does, types
    // `folder` into its save-folder box, saves, and closes it. Returns the
    // messages the save showed.
    std::vector<Text> save_folder_in_settings(const Text& folder) {
        std::size_t seen = dialogs.messages.size();
        int step = 0;
        dialogs.on_dialog = [&](QWidget* dialog) {
            if (step == 0) {
                dialog->findChild<QLineEdit*>(to_qstring(gbk("编辑框1")))
                    ->setText(to_qstring(folder));
                DialogDriver::press_later(
                    dialog->findChild<QPushButton*>(to_qstring(gbk("按钮2"))));
                step = 1;
            } else if (step == 1 && dialogs.messages.size() > seen) {
                DialogDriver::close_later(dialog);
                step = 2;
            }
        };
        QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
        dialogs.on_dialog = nullptr;
        return {dialogs.messages.begin() + std::ptrdiff_t(seen), dialogs.messages.end()};
    }

    // An episode of the list, as the session holds it.
    const Episode& episode_at(int row) const { return *window->session().episodes().at(row); }
    // A new address for a row; it is no longer on disk.
    void set_address(int row, const Text& address) const {
        window->session().episodes().update(window->episodes().id_at(row), [&](Episode& e) {
            e.remote = address;
            e.local.clear();
            e.file.clear();
            e.state = DownloadState::not_on_disk;
        });
    }
    void set_note(int row, const Text& note) const {
        window->session().episodes().update(window->episodes().id_at(row),
                                            [&](Episode& e) { e.reason = note; });
    }
    void add_row(const Text& label) const {
        Episode e;
        e.label = label;
        window->session().episodes().append(std::move(e));
    }

    // The episode list's current row (-1: none) and its selected rows, ascending.
    int current_row() const {
        const QModelIndex current = control<QTreeView>("超级列表框1")->currentIndex();
        return current.isValid() ? current.row() : -1;
    }
    std::vector<int> selected_rows() const {
        std::vector<int> rows;
        for (const QModelIndex& chosen :
             control<QTreeView>("超级列表框1")->selectionModel()->selectedRows())
            rows.push_back(chosen.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The episode list's rows, each as its four column texts.
    std::vector<std::vector<Text>> rows() const {
        std::vector<std::vector<Text>> all;
        for (int r = 0; r < window->episodes().row_count(); ++r)
            all.push_back(
                {window->episodes().cell(r, 0), window->episodes().cell(r, 1), window->episodes().cell(r, 2), window->episodes().cell(r, 3)});
        return all;
    }

    DialogDriver dialogs;
    std::unique_ptr<MainWindow> window;
};
