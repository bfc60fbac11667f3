#include "feeds/feeds_command.hpp"

#include "feeds/feed_service.hpp"
#include "feeds/feed_xml.hpp"
#include "files/files.hpp"
#include "settings/config_file.hpp"
#include "settings/config_location.hpp"
#include "settings/feed_settings.hpp"
#include "site/download_paths.hpp"
#include "text/gbk.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

namespace {

// How often `serve` reads the token and the save folder again.
constexpr int reread_interval_ms = 3000;

// SIGINT and SIGTERM, read from a descriptor by the event loop; blocked for
// every thread started after this (the server's too).
int stop_signals() {
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &wanted, nullptr);
    return signalfd(-1, &wanted, SFD_CLOEXEC | SFD_NONBLOCK);
}

} // namespace

FeedPlaces configured_feed_places() {
    return {native_path(effective_save_folder(read_setting(gbk("默认保存路径")))),
            listening_positions_file().parent_path()};
}

std::vector<std::string> feed_addresses(const FeedPlaces& places, const std::string& token,
                                        const std::string& host) {
    const std::string base = "http://" + host + "/" + token;
    std::vector<std::string> addresses{opml_address(base)};
    for (const ShelfBook& book : feed_shelf(places))
        addresses.push_back(feed_address(base, book.folder));
    return addresses;
}

int feeds_command(std::ostream& out, std::ostream& errors, const FeedsOptions& options) {
    const Text token = feed_token();
    if (token.empty()) {
        errors << "audiobook-client: 无法在配置文件中保存收听令牌\n";
        return 1;
    }
    const std::string host =
        options.host.value_or(FeedService::home_host(std::uint16_t(feeds_port())));
    for (const std::string& address : feed_addresses(configured_feed_places(), token, host))
        out << address << '\n';
    return 0;
}

int serve_command(const ServeOptions& options) {
    const int port = options.port.value_or(feeds_port());
    if (port < 1 || port > 65535) {
        std::cerr << "audiobook-client: 收听端口须是 1 到 65535 的整数\n";
        return 2;
    }
    const int stop_fd = stop_signals();
    FeedService service(configured_feed_places(), feed_token());
    if (options.verbose)
        service.set_log([](const std::string& line) { std::cerr << line + "\n"; });
    const std::vector<QHostAddress> addresses =
        options.addresses.empty() ? FeedService::home_addresses() : options.addresses;
    if (!service.start(std::uint16_t(port), addresses)) {
        std::cerr << "audiobook-client: 无法在端口 " << port << " 上提供收听\n";
        close(stop_fd);
        return 1;
    }
    for (const std::string& where : service.listening())
        std::cerr << "audiobook-client: 收听地址在 http://" << where << "/\n";

    QSocketNotifier stop(stop_fd, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [stop_fd] {
        signalfd_siginfo info{};
        [[maybe_unused]] const auto got = read(stop_fd, &info, sizeof info);
        QCoreApplication::quit();
    });
    QTimer reread;
    QObject::connect(&reread, &QTimer::timeout, [&service] {
        service.set_token(feed_token());
        service.set_places(configured_feed_places());
    });
    reread.start(reread_interval_ms);
    QCoreApplication::exec();
    service.stop();
    close(stop_fd);
    return 0;
}

int feeds_main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("serve or feeds"));
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("serve: the port"), QStringLiteral("N"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("serve: an address to listen on"),
                                    QStringLiteral("ADDRESS"));
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")},
                                     QStringLiteral("serve: one line per request"));
    const QCommandLineOption host(QStringLiteral("host"),
                                  QStringLiteral("feeds: the host and port in the addresses"),
                                  QStringLiteral("HOST:PORT"));
    parser.addOptions({port, listen, verbose, host});
    // A mistake in the words is exit 2, as for every other command.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::cerr << "audiobook-client: " << parser.errorText().toStdString()
                  << "\nTry 'audiobook-client " << argv[1] << " --help' for more information.\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }
    const QString command = parser.positionalArguments().value(0);
    if (command == QLatin1String("feeds")) {
        FeedsOptions options;
        if (parser.isSet(host))
            options.host = parser.value(host).toStdString();
        return feeds_command(std::cout, std::cerr, options);
    }
    if (command != QLatin1String("serve"))
        return 2;
    ServeOptions options;
    options.verbose = parser.isSet(verbose);
    if (parser.isSet(port)) {
        bool number = false;
        options.port = parser.value(port).toInt(&number);
        if (!number)
            options.port = 0;
    }
    for (const QString& address : parser.values(listen)) {
        const QHostAddress parsed(address);
        if (parsed.isNull()) {
            std::cerr << "audiobook-client: 不是网络地址：" << address.toStdString() << "\n";
            return 2;
        }
        options.addresses.push_back(parsed);
    }
    return serve_command(options);
}
