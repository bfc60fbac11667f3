#include "command_line/command_options.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

#include <cmath>

namespace {

struct CommandHelp {
    const char* name;
    const char* operand; // "" when none
    const char* summary;
};

const CommandHelp command_help[] = {
    {"download", "ADDRESS", "download episodes of the book whose play page is ADDRESS"},
    {"follow", "ADDRESS", "follow the book: its new episodes arrive with each check"},
    {"unfollow", "ADDRESS|TITLE", "stop following the book"},
    {"followed", "", "list the followed books"},
    {"check", "", "check every followed book once and download its new episodes"},
    {"library", "", "list the books on disk"},
};

const CommandHelp* help_of(const QString& name) {
    for (const CommandHelp& help : command_help)
        if (name == QLatin1String(help.name))
            return &help;
    return nullptr;
}

QString usage_text() {
    QString text = QStringLiteral(
        "Usage: audiobook-client [ADDRESS]\n"
        "  or:  audiobook-client COMMAND [OPTION]... [OPERAND]\n"
        "Without a command, open the window (with the play page ADDRESS loaded).\n\nCommands:\n");
    for (const CommandHelp& help : command_help)
        text += QStringLiteral("  %1%2\n      %3\n")
                    .arg(QLatin1String(help.name),
                         *help.operand ? QLatin1String(" ") + QLatin1String(help.operand) : QString(),
                         QLatin1String(help.summary));
    // Served by the feeds' own front end (main.cpp hands them over).
    text += QStringLiteral(
        "  serve [--port N] [--listen ADDRESS]...\n"
        "      serve every book as a podcast feed on the home network until stopped\n"
        "  feeds [--host HOST:PORT]\n"
        "      print the OPML's address, then every book's feed address\n");
    text += QStringLiteral(
        "\nRun 'audiobook-client COMMAND --help' for the options of a command.\n\n"
        "Exit status:\n"
        "  0    everything asked for was done\n"
        "  1    some of it failed (the last line says which and why)\n"
        "  2    wrong arguments, or the address is not a play page\n"
        "  130  stopped by SIGINT or SIGTERM (partial files are kept)\n");
    return text;
}

std::optional<double> number_option(const QCommandLineParser& parser, const QString& name,
                                    QString& error) {
    if (!parser.isSet(name))
        return std::nullopt;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        error = QStringLiteral("--%1: '%2' is not a number").arg(name, parser.value(name));
        return std::nullopt;
    }
    return value;
}

std::optional<int> count_option(const QCommandLineParser& parser, const QString& name, int most,
                                QString& error) {
    if (!parser.isSet(name))
        return std::nullopt;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 1 || value > most) {
        error = QStringLiteral("--%1: '%2' is not a whole number from 1 to %3")
                    .arg(name, parser.value(name))
                    .arg(most);
        return std::nullopt;
    }
    return value;
}

ParsedCommandLine mistake(const QString& message) {
    return {std::nullopt,
            QStringLiteral("audiobook-client: %1\nTry 'audiobook-client --help' for more information.\n")
                .arg(message),
            2};
}

} // namespace

const QStringList& command_names() {
    static const QStringList names = [] {
        QStringList list;
        for (const CommandHelp& help : command_help)
            list << QLatin1String(help.name);
        return list;
    }();
    return names;
}

bool writes_files(const QString& command) {
    return command == QLatin1String("download") || command == QLatin1String("follow") ||
           command == QLatin1String("unfollow") || command == QLatin1String("check");
}

ParsedCommandLine parse_command_line(const QStringList& arguments) {
    const QString version = QStringLiteral("audiobook-client %1\n").arg(QStringLiteral(PROGRAM_VERSION));
    const QString first = arguments.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || arguments.size() < 2)
        return {std::nullopt, usage_text(), 0};
    if (first == QLatin1String("--version"))
        return {std::nullopt, version, 0};
    const CommandHelp* help = help_of(first);
    if (!help)
        return mistake(first.startsWith(QLatin1Char('-'))
                           ? QStringLiteral("unrecognized option '%1'").arg(first)
                           : QStringLiteral("'%1' is not a command").arg(first));

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(help->summary));
    const QCommandLineOption help_option({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("Show this help and exit."));
    const QCommandLineOption version_option(QStringLiteral("version"),
                                            QStringLiteral("Show the version and exit."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Say nothing but errors and what was asked for."));
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")},
                                     QStringLiteral("Say more about the work."));
    parser.addOptions({help_option, version_option, quiet, verbose});
    const QString name = first;
    const bool download = name == QLatin1String("download");
    if (download) {
        parser.addOption({QStringLiteral("from"),
                          QStringLiteral("The first episode to fetch (default: from the settings)."),
                          QStringLiteral("N")});
        parser.addOption({QStringLiteral("count"),
                          QStringLiteral("How many episodes (default: from the settings)."),
                          QStringLiteral("K")});
        parser.addOption({QStringLiteral("to"),
                          QStringLiteral("The save folder (default: from the settings)."),
                          QStringLiteral("FOLDER")});
        parser.addOption({QStringLiteral("jobs"),
                          QStringLiteral("Episodes downloading at once, 1 to 4 (default: from the settings)."),
                          QStringLiteral("J")});
    }
    const bool lists = name == QLatin1String("followed") || name == QLatin1String("library") ||
                       name == QLatin1String("check");
    if (lists)
        parser.addOption({QStringLiteral("json"),
                          QStringLiteral("Write one JSON document on standard output.")});
    if (*help->operand)
        parser.addPositionalArgument(QLatin1String(help->operand), QLatin1String(help->summary));

    QStringList words = arguments;
    words.removeAt(1); // the command
    if (!parser.parse(words))
        return mistake(parser.errorText());
    if (parser.isSet(help_option)) {
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                     QStringLiteral("Usage: audiobook-client ") + name);
        return {std::nullopt, text, 0};
    }
    if (parser.isSet(version_option))
        return {std::nullopt, version, 0};

    CommandOptions options;
    options.command = name;
    const QStringList operands = parser.positionalArguments();
    if (*help->operand) {
        if (operands.size() != 1)
            return mistake(operands.isEmpty()
                               ? QStringLiteral("%1: missing %2").arg(name, QLatin1String(help->operand))
                               : QStringLiteral("%1: one %2 only").arg(name, QLatin1String(help->operand)));
        options.operand = operands.front();
    } else if (!operands.isEmpty()) {
        return mistake(QStringLiteral("%1 takes no operand ('%2')").arg(name, operands.front()));
    }
    options.quiet = parser.isSet(quiet);
    options.verbose = parser.isSet(verbose);
    if (options.quiet && options.verbose)
        return mistake(QStringLiteral("--quiet and --verbose exclude each other"));
    options.json = lists && parser.isSet(QStringLiteral("json"));
    if (download) {
        QString error;
        options.from = number_option(parser, QStringLiteral("from"), error);
        if (error.isEmpty())
            options.count = count_option(parser, QStringLiteral("count"), 100000, error);
        if (error.isEmpty())
            options.jobs = count_option(parser, QStringLiteral("jobs"), 4, error);
        if (!error.isEmpty())
            return mistake(error);
        options.to = parser.value(QStringLiteral("to"));
        if (parser.isSet(QStringLiteral("to")) && options.to.isEmpty())
            return mistake(QStringLiteral("--to: the folder is empty"));
        if (!options.to.isEmpty()) // from where the command was given, wherever it is done
            options.to = QDir::cleanPath(QDir::current().absoluteFilePath(options.to));
    }
    return {options, {}, 0};
}
