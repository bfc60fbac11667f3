#include "window/feed_address.hpp"

#include "feeds/feed_service.hpp"
#include "feeds/feed_xml.hpp"
#include "feeds/feeds_command.hpp"
#include "session/book_session.hpp"
#include "settings/feed_settings.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <qrencode.h>

namespace {

QString ui(const char* utf8) {
    return to_qstring(gbk(utf8));
}

} // namespace

FeedSharing::FeedSharing() = default;
FeedSharing::~FeedSharing() = default;

void FeedSharing::apply() {
    if (!feeds_switched_on()) {
        service_.reset();
        return;
    }
    const std::string token = feed_token();
    if (service_ && port_ == feeds_port()) {
        service_->set_token(token);
        service_->set_places(configured_feed_places());
        return;
    }
    port_ = feeds_port();
    service_ = std::make_unique<FeedService>(configured_feed_places(), token);
    if (!service_->start(std::uint16_t(port_), FeedService::home_addresses()))
        service_.reset();
}

bool FeedSharing::on() const {
    return service_ && service_->running();
}

std::string FeedSharing::base_address() const {
    return "http://" + FeedService::home_host(std::uint16_t(feeds_port())) + "/" + feed_token();
}

QImage qr_code(const QString& text, int scale) {
    const QByteArray bytes = text.toUtf8();
    QRcode* code = QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M);
    if (!code)
        return {};
    const int quiet = 4, side = (code->width + 2 * quiet) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + quiet) * scale, (y + quiet) * scale, scale, scale, Qt::black);
        }
    }
    painter.end();
    QRcode_free(code);
    return image;
}

FeedAddressDialog::FeedAddressDialog(const QString& title, const QString& address, bool serving,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(ui("收听地址"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(ui("在手机的播客应用里订阅《") + title + ui("》：扫描二维码，或复制地址。"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("收听地址二维码"));
    picture->setPixmap(QPixmap::fromImage(qr_code(address, 4)));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(ui("《") + title + ui("》收听地址的二维码"));
    layout->addWidget(picture);

    auto* box = new QLineEdit(address, this);
    box->setObjectName(QStringLiteral("收听地址"));
    box->setReadOnly(true);
    box->setAccessibleName(ui("收听地址"));
    box->setMinimumWidth(fontMetrics().horizontalAdvance(address) + 16);
    layout->addWidget(box);
    if (!serving) {
        // Switched on yet not serving: the port is taken by another program.
        auto* off = new QLabel(feeds_switched_on()
                                   ? ui("无法在收听端口上收听（端口可能被别的程序占用）：请在“配置”里换一个端口。")
                                   : ui("局域网收听没有打开：在“配置”里打开后，手机才能订阅。"),
                               this);
        off->setObjectName(QStringLiteral("局域网收听未开"));
        off->setWordWrap(true);
        layout->addWidget(off);
        box->setAccessibleDescription(off->text());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* copy = buttons->addButton(ui("复制地址"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("复制地址"));
    copy->setAccessibleDescription(ui("把收听地址复制到剪贴板"));
    connect(copy, &QPushButton::clicked, this, [copy, address] {
        QGuiApplication::clipboard()->setText(address);
        copy->setText(ui("已复制"));
        copy->setAccessibleName(ui("已复制地址"));
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    copy->setFocus();
}

void offer_feed_address(QListWidget* folder_list, BookSession& session, FeedSharing& sharing) {
    auto* show = new QAction(ui("收听地址"), folder_list);
    show->setObjectName(QStringLiteral("收听地址"));
    folder_list->addAction(show);
    QObject::connect(show, &QAction::triggered, folder_list, [folder_list, &session, &sharing] {
        const int row = folder_list->currentRow();
        if (row < 0 || row >= int(session.folders().size()))
            return;
        const BookFolder& book = session.folders()[std::size_t(row)];
        const std::string address =
            feed_address(sharing.base_address(), book.native.filename().string());
        FeedAddressDialog dialog(to_qstring(book.name), QString::fromStdString(address),
                                 sharing.on(), folder_list->window());
        dialog.exec();
    });
}
