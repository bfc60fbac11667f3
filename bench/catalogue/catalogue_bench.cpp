// Catalogue benchmark, run by hand:
//   1. a query of 100 rows against the loopback HTTPS sample site: time per row
//      and TLS connections opened;
//   2. a download run of 20 episodes of 10 MB through the download button,
//      against the curl command line fetching the same 20 addresses in one run.
#include "catalogue/main_window.hpp"
#include "platform/files.hpp"
#include "platform/qt_text.hpp"
#include "settings/config_file.hpp"
#include "site/sample_site.hpp"
#include "text/gbk.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The address as curl wants it on its command line: bytes it cannot carry raw
// (GBK titles, spaces, control bytes) percent-encoded.
QString wire_address(const Text& address) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : address) {
        if (b <= 0x20 || b >= 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += char(b);
        }
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

std::uintmax_t folder_bytes(const fs::path& folder) {
    std::uintmax_t total = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file(ec))
            total += e.file_size(ec);
    return total;
}

void set_box(MainWindow& window, const char* name, const char* text) {
    auto* box = window.findChild<QLineEdit*>(to_qstring(gbk(name)));
    if (!box) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(2);
    }
    box->setText(QString::fromLatin1(text));
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    const int query_rows = 100;
    const int episodes = 20;
    const std::size_t episode_size = 10 * 1024 * 1024;

    QTemporaryDir temp;
    const fs::path root = temp.path().toStdString();
    SampleSite site(SampleSiteOptions{.episode_size = episode_size});
    const Text book_id = "28946";
    const Text title = gbk("三体");
    site.add_book(SampleBook{.book_id = book_id,
                             .title = title,
                             .category = "kehuan",
                             .author_field = gbk("刘慈欣"),
                             .narrator_field = gbk("王明军"),
                             .status_field = gbk("完结"),
                             .episode_total = 200});
    if (!site.start()) {
        std::fprintf(stderr, "sample site did not start\n");
        return 2;
    }
    set_program_folder(root);
    const fs::path save = root / "save";
    fs::create_directories(save);
    write_setting(gbk("默认保存路径"), text_path(save));
    write_setting(gbk("媒体主机"), site.media_host());
    write_setting(gbk("默认网址"), site.play_page_address(book_id, 1));

    MainWindow window;
    window.show();
    if (window.book.title != title) {
        std::fprintf(stderr, "the book page did not load\n");
        return 2;
    }

    // 1. Query.
    set_box(window, "编辑框2", "0");
    set_box(window, "编辑框3", "100");
    const int connections_before = site.connections_accepted();
    QElapsedTimer timer;
    timer.start();
    window.query_episodes();
    const double query_ms = double(timer.nsecsElapsed()) / 1e6;
    const int connections = site.connections_accepted() - connections_before;
    if (window.row_count() != query_rows) {
        std::fprintf(stderr, "query built %d rows\n", window.row_count());
        return 2;
    }
    std::printf("query: %d rows in %.1f ms, %.2f ms per row (goal < 2), %d TLS connections\n",
                query_rows, query_ms, query_ms / query_rows, connections);

    // 2. Download run against curl.
    set_box(window, "编辑框3", "20");
    window.query_episodes();
    QStringList curl_arguments{"--silent", "--show-error", "--insecure", "--fail"};
    const fs::path curl_folder = root / "curl";
    fs::create_directories(curl_folder);
    for (int r = 0; r < episodes; ++r) {
        curl_arguments << "-o"
                       << QString::fromStdString(
                              (curl_folder / (std::to_string(r) + ".mp3")).string())
                       << wire_address(window.cell(r, 1));
    }
    auto* button = window.findChild<QPushButton*>(to_qstring(gbk("按钮3")));
    timer.start();
    button->click();
    const double ours_ms = double(timer.nsecsElapsed()) / 1e6;
    const fs::path book = save / fs::path(gbk_to_utf8(title));
    const std::uintmax_t ours_bytes = folder_bytes(book);

    QProcess curl;
    timer.start();
    curl.start("curl", curl_arguments);
    curl.waitForFinished(-1);
    const double curl_ms = double(timer.nsecsElapsed()) / 1e6;
    const std::uintmax_t curl_bytes = folder_bytes(curl_folder);
    if (curl.exitCode() != 0)
        std::fprintf(stderr, "curl: %s\n", curl.readAllStandardError().constData());

    std::printf("download: %d episodes, ours %.0f ms (%.1f MB), curl %.0f ms (%.1f MB)\n", episodes,
                ours_ms, double(ours_bytes) / 1048576.0, curl_ms, double(curl_bytes) / 1048576.0);
    std::printf("download speed relative to curl: %.2f (goal >= 0.9)\n", curl_ms / ours_ms);
    return ours_bytes == curl_bytes && ours_bytes >= episodes * episode_size ? 0 : 1;
}
