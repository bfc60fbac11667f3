#pragma once
// Each book's podcast feed in the window: the service while the switch
// "局域网收听" is on, and a dialog with a book's feed address, its QR code to
// scan from a phone and a copy button, opened from the library's "收听地址".
#include <QDialog>

#include <memory>
#include <string>

class BookSession;
class FeedService;
class QListWidget;

// The service as the settings want it: listening on the home network's and
// the loopback addresses at "收听端口" while "局域网收听" is on, stopped otherwise.
class FeedSharing {
  public:
    FeedSharing();
    ~FeedSharing();
    // Reads the settings again (after the settings window) and follows them.
    void apply();
    bool on() const;
    // "http://<LAN address>:<port>/<token>"
    std::string base_address() const;

  private:
    std::unique_ptr<FeedService> service_;
    int port_ = 0;
};

class FeedAddressDialog : public QDialog {
    Q_OBJECT
  public:
    FeedAddressDialog(const QString& title, const QString& address, bool serving,
                      QWidget* parent = nullptr);
};

// The QR code of a text, `scale` pixels a module with a quiet zone of four
// modules; a null image when the text is too long for one.
QImage qr_code(const QString& text, int scale);

// Adds "收听地址" to the library list's context menu.
void offer_feed_address(QListWidget* folder_list, BookSession& session, FeedSharing& sharing);
