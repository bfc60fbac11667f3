// `audiobook-client ADDRESS` through the real program against the sample site:
// the window starts with that book shown, and a later start with another
// address makes the running window show that one and ends at once. The program
// runs from a folder of the test's own (a link to the built one), so that its
// configuration file, and the book it keeps as the one shown, lie there.
#include "files/files.hpp"
#include "settings/config_file.hpp"
#include "site/sample_site.hpp"
#include "support/home_folder.hpp"
#include "text/gbk.hpp"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

constexpr int start_wait_ms = 60000; // a sanitised build starts slowly on a busy machine

std::string read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ProgramFolder {
    HomeFolder home;
    fs::path folder = home.path / "program";
    fs::path runtime = home.path / "runtime";

    ProgramFolder() {
        fs::create_directories(folder);
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        std::error_code ec;
        fs::create_hard_link(PROGRAM_PATH, folder / "audiobook-client", ec);
        if (ec)
            fs::copy_file(PROGRAM_PATH, folder / "audiobook-client");
        set_program_folder(folder);
    }
    ~ProgramFolder() { set_program_folder({}); }

    // The address of the book the window shows, as it keeps it for the next start.
    std::string shown() const { return read_all(folder / fs::path(u8"上次的书") / "address"); }

    void start(QProcess& program, const Text& address) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                           QString::fromStdString(runtime.string()));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QString::fromStdString((folder / "audiobook-client").string()),
                      {QString::fromStdString(address)});
        ASSERT_TRUE(program.waitForStarted());
    }
};

bool wait_until(const std::function<bool()>& done, QProcess& program) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (program.state() == QProcess::NotRunning || clock.elapsed() > start_wait_ms)
            return false;
        program.waitForFinished(50);
    }
    return true;
}

TEST(WindowStart, TheAddressGivenIsTheBookShownAndALaterStartHandsItsOwnOver) {
    SampleSite site;
    for (const SampleBook& book : sample_books())
        site.add_book(book);
    ASSERT_TRUE(site.start());
    ProgramFolder program;
    ASSERT_TRUE(write_setting(gbk("媒体主机"), site.media_host()));
    const Text first = site.play_page_address("28946", 31);
    const Text second = site.play_page_address("10086", 2);

    QProcess window;
    program.start(window, first);
    ASSERT_TRUE(wait_until([&] { return program.shown() == first; }, window))
        << "shown: " << program.shown();
    EXPECT_EQ(site.page_requests(), 1);

    // The address shown already is asked for again: a later start's address is
    // always fresh.
    int pages = 1;
    for (const Text& address : {second, first, first}) {
        SCOPED_TRACE(address);
        QProcess later;
        program.start(later, address);
        ASSERT_TRUE(later.waitForFinished(start_wait_ms));
        EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(later.exitCode(), 0);
        ++pages;
        EXPECT_TRUE(wait_until([&] { return site.page_requests() == pages; }, window));
        EXPECT_TRUE(wait_until([&] { return program.shown() == address; }, window))
            << "shown: " << program.shown();
    }
    EXPECT_EQ(site.page_requests(), pages);
    EXPECT_EQ(window.state(), QProcess::Running);
    window.kill();
    window.waitForFinished();
}

} // namespace
