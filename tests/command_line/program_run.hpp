#pragma once
// The real program in a folder of its own (a hard link to the built one), so
// that its configuration file lives there, started without a display: its
// exit code and what it printed; or on a pseudo-terminal, as a user runs it.
#include "files/files.hpp"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

struct ProgramFolder {
    std::filesystem::path path;
    std::filesystem::path program;
    std::filesystem::path runtime; // the user's runtime folder, for the window's socket

    ProgramFolder() {
        char pattern[] = "/tmp/program-test-XXXXXX";
        path = mkdtemp(pattern);
        program = path / "audiobook-client";
        std::error_code error;
        std::filesystem::create_hard_link(PROGRAM_PATH, program, error);
        if (error)
            std::filesystem::copy_file(PROGRAM_PATH, program);
        runtime = path / "runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        set_program_folder(path);
    }
    ~ProgramFolder() {
        set_program_folder({});
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // No display, no platform, no session bus: the commands need none.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
        return env;
    }

    void start(QProcess& process, const QStringList& arguments) const {
        process.setProcessEnvironment(environment());
        process.start(QString::fromStdString(program.string()), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }
};

struct ProgramResult {
    int code = -1;
    std::string out, err;
};

inline ProgramResult finish(QProcess& process, int wait_ms = 120000) {
    ProgramResult result;
    if (!process.waitForFinished(wait_ms)) {
        process.kill();
        process.waitForFinished();
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

inline ProgramResult run_program(const ProgramFolder& folder, const QStringList& arguments) {
    QProcess process;
    folder.start(process, arguments);
    return finish(process);
}

// On a pseudo-terminal (standard output and error both): everything written.
inline ProgramResult run_on_terminal(const ProgramFolder& folder, const std::vector<std::string>& arguments) {
    std::vector<std::string> storage = {folder.program.string()};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QStringList env_list = folder.environment().toStringList();
    std::vector<std::string> env_storage;
    for (const QString& entry : env_list)
        env_storage.push_back(entry.toStdString());
    std::vector<char*> envp;
    for (std::string& entry : env_storage)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    ProgramResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break; // EIO once the program ended
        result.out.append(buffer, std::size_t(got));
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
