// One program at a time: this test is the first program, and the real program,
// started after it, hands its arguments over and ends at once; whatever an
// earlier program left at the socket's path does not stop the first from
// listening there. Two real programs started together leave one running.
#include "single_instance/single_instance.hpp"
#include "support/home_folder.hpp"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

constexpr int quick_ms = 5000; // a later start ends within this, sanitised build included

// A temporary home with a runtime folder of its own, so that no program of the
// user's is met.
struct UserFolders {
    HomeFolder home;
    fs::path runtime = home.path / "runtime";
    std::optional<std::string> old_runtime;

    UserFolders() {
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        if (const char* value = getenv("XDG_RUNTIME_DIR"))
            old_runtime = value;
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    ~UserFolders() {
        if (old_runtime)
            setenv("XDG_RUNTIME_DIR", old_runtime->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    fs::path socket() const { return runtime / "audiobook-client"; }
};

// What a program that crashed leaves: a socket file nobody listens on.
void leave_dead_socket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

void start_program(QProcess& program, const QStringList& arguments) {
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(PROGRAM_PATH), arguments);
    ASSERT_TRUE(program.waitForStarted());
}

TEST(SingleInstance, ALaterStartHandsItsArgumentsToTheFirstAndEndsAtOnce) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& socket)> left_behind;
    };
    const Case cases[] = {
        {"nothing at the path", [](const fs::path&) {}},
        {"the socket of a program that crashed", leave_dead_socket},
        {"a plain file", [](const fs::path& p) { std::ofstream(p) << "x"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UserFolders folders;
        c.left_behind(folders.socket());
        SingleInstance first(QStringLiteral("audiobook-client"));
        EXPECT_EQ(first.server_path().toStdString(), folders.socket().string());
        ASSERT_TRUE(first.claim({}));
        struct stat status {};
        ASSERT_EQ(::stat(folders.socket().c_str(), &status), 0);
        EXPECT_TRUE(S_ISSOCK(status.st_mode));
        EXPECT_EQ(status.st_mode & 077, 0u) << "others may not connect";

        QSignalSpy handed(&first, &SingleInstance::handed_over);
        QElapsedTimer clock;
        clock.start();
        QProcess second;
        start_program(second, {QStringLiteral("第1集.mp3"), QStringLiteral("--later")});
        ASSERT_TRUE(handed.wait(quick_ms));
        EXPECT_EQ(handed.at(0).at(0).toStringList(),
                  (QStringList{QStringLiteral("第1集.mp3"), QStringLiteral("--later")}));
        ASSERT_TRUE(second.waitForFinished(quick_ms));
        EXPECT_LT(clock.elapsed(), quick_ms);
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
    }
}

// Whichever takes its turn first stays; the other hands over to it and ends.
TEST(SingleInstance, TwoProgramsStartedTogetherLeaveOneRunning) {
    UserFolders folders;
    QProcess a, b;
    start_program(a, {});
    start_program(b, {});
    QElapsedTimer clock;
    clock.start();
    while (a.state() != QProcess::NotRunning && b.state() != QProcess::NotRunning &&
           clock.elapsed() < 30000) {
        a.waitForFinished(50);
        b.waitForFinished(50);
    }
    QProcess& ended = a.state() == QProcess::NotRunning ? a : b;
    QProcess& running = &ended == &a ? b : a;
    ASSERT_EQ(ended.state(), QProcess::NotRunning) << "both still run";
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);
    EXPECT_FALSE(running.waitForFinished(1000)) << "the first ended too";
    running.kill();
    running.waitForFinished();
}

} // namespace
