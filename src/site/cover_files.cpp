#include "site/cover_files.hpp"

#include "files/files.hpp"

#include <QCryptographicHash>

#include <algorithm>
#include <string_view>
#include <system_error>

namespace {

// The usual name ending for the picture's format, by its first bytes; viewers
// that go by the name find the right decoder.
std::string_view picture_extension(const Bytes& picture) {
    const std::string_view head(reinterpret_cast<const char*>(picture.data()),
                                std::min<std::size_t>(picture.size(), 4));
    if (head.starts_with("GIF8"))
        return ".gif";
    if (head.starts_with("\x89PNG"))
        return ".png";
    if (head.starts_with("\xFF\xD8"))
        return ".jpg";
    return "";
}

} // namespace

void CoverFiles::keep(const Text& title, const Bytes& picture) {
    const auto old = files_.find(title);
    if (old != files_.end()) {
        std::error_code ignored;
        std::filesystem::remove(native_path(old->second), ignored);
        files_.erase(old);
    }
    if (picture.empty() || !folder_.isValid())
        return;
    // The title's own bytes may not make a file name; their digest always does.
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(title.data(), qsizetype(title.size())),
                                 QCryptographicHash::Md5)
            .toHex();
    const Text path = join_path(text_path(folder_.path().toStdString()),
                                digest.toStdString() + std::string(picture_extension(picture)));
    const std::string_view content(reinterpret_cast<const char*>(picture.data()), picture.size());
    if (write_file_atomically(native_path(path), content))
        files_[title] = path;
}

Text CoverFiles::file(const Text& title) const {
    const auto found = files_.find(title);
    return found == files_.end() ? Text() : found->second;
}
