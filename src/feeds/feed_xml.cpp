#include "feeds/feed_xml.hpp"

#include "feeds/request_target.hpp"

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

#include <ctime>

namespace {

const QString itunes = QStringLiteral("http://www.itunes.com/dtds/podcast-1.0.dtd");
const QString atom = QStringLiteral("http://www.w3.org/2005/Atom");

QString u(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string episode_address(const std::string& base, const FeedBook& book,
                            const FeedEpisode& episode) {
    return base + "/" + encode_segment(book.folder) + "/" + encode_segment(episode.file);
}

QString clock_text(int seconds) {
    return QString::asprintf("%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void write_channel_head(QXmlStreamWriter& xml, const FeedBook& book, const std::string& base) {
    const QString self = u(feed_address(base, book.folder));
    xml.writeTextElement(QStringLiteral("title"), u(book.title));
    xml.writeTextElement(QStringLiteral("link"), book.address.empty() ? self : u(book.address));
    xml.writeEmptyElement(atom, QStringLiteral("link"));
    xml.writeAttribute(QStringLiteral("href"), self);
    xml.writeAttribute(QStringLiteral("rel"), QStringLiteral("self"));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("application/rss+xml"));
    const QString description = book.description.empty() ? u(book.title) : u(book.description);
    xml.writeTextElement(QStringLiteral("description"), description);
    xml.writeTextElement(QStringLiteral("language"), QStringLiteral("zh-cn"));
    xml.writeTextElement(QStringLiteral("generator"), QStringLiteral("audiobook-client"));
    if (!book.author.empty()) {
        xml.writeTextElement(itunes, QStringLiteral("author"), u(book.author));
        xml.writeStartElement(itunes, QStringLiteral("owner"));
        xml.writeTextElement(itunes, QStringLiteral("name"), u(book.author));
        xml.writeEndElement();
    }
    xml.writeTextElement(itunes, QStringLiteral("summary"), description);
    xml.writeTextElement(itunes, QStringLiteral("type"), QStringLiteral("serial"));
    xml.writeTextElement(itunes, QStringLiteral("explicit"), QStringLiteral("false"));
    xml.writeStartElement(itunes, QStringLiteral("category"));
    xml.writeAttribute(QStringLiteral("text"), QStringLiteral("Arts"));
    xml.writeEmptyElement(itunes, QStringLiteral("category"));
    xml.writeAttribute(QStringLiteral("text"), QStringLiteral("Books"));
    xml.writeEndElement();
    if (book.has_cover) {
        const QString cover = u(base + "/" + encode_segment(book.folder) + "/cover");
        xml.writeEmptyElement(itunes, QStringLiteral("image"));
        xml.writeAttribute(QStringLiteral("href"), cover);
        xml.writeStartElement(QStringLiteral("image"));
        xml.writeTextElement(QStringLiteral("url"), cover);
        xml.writeTextElement(QStringLiteral("title"), u(book.title));
        xml.writeTextElement(QStringLiteral("link"), self);
        xml.writeEndElement();
    }
}

void write_item(QXmlStreamWriter& xml, const FeedBook& book, const FeedEpisode& episode,
                std::int64_t published, const std::string& base) {
    xml.writeStartElement(QStringLiteral("item"));
    xml.writeTextElement(QStringLiteral("title"), u(episode.title));
    xml.writeStartElement(QStringLiteral("guid"));
    xml.writeAttribute(QStringLiteral("isPermaLink"), QStringLiteral("false"));
    xml.writeCharacters(u("audiobook-client:" + encode_segment(book.folder) + "/" +
                          encode_segment(episode.file)));
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("pubDate"), u(http_date(published)));
    if (episode.number > 0)
        xml.writeTextElement(itunes, QStringLiteral("episode"), QString::number(episode.number));
    xml.writeTextElement(itunes, QStringLiteral("episodeType"), QStringLiteral("full"));
    if (episode.seconds > 0)
        xml.writeTextElement(itunes, QStringLiteral("duration"), clock_text(episode.seconds));
    xml.writeEmptyElement(QStringLiteral("enclosure"));
    xml.writeAttribute(QStringLiteral("url"), u(episode_address(base, book, episode)));
    xml.writeAttribute(QStringLiteral("length"), QString::number(episode.size));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("audio/mpeg"));
    xml.writeEndElement();
}

} // namespace

std::string feed_address(const std::string& base, const std::string& folder) {
    return base + "/" + encode_segment(folder) + "/feed.xml";
}

std::string opml_address(const std::string& base) {
    return base + "/books.opml";
}

std::string http_date(std::int64_t seconds) {
    const std::time_t time = std::time_t(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

std::string rss_feed(const FeedBook& book, const std::string& base) {
    QByteArray document;
    document.reserve(qsizetype(2048 + book.episodes.size() * 700));
    QXmlStreamWriter xml(&document);
    xml.writeStartDocument();
    xml.writeNamespace(itunes, QStringLiteral("itunes"));
    xml.writeNamespace(atom, QStringLiteral("atom"));
    xml.writeStartElement(QStringLiteral("rss"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("channel"));
    write_channel_head(xml, book, base);
    std::int64_t published = 0;
    for (const FeedEpisode& episode : book.episodes) {
        published = std::max(episode.modified, published + 1);
        write_item(xml, book, episode, published, base);
    }
    xml.writeEndDocument();
    return document.toStdString();
}

std::string opml_list(const std::vector<ShelfBook>& books, const std::string& base) {
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("opml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("有声书"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("body"));
    for (const ShelfBook& book : books) {
        xml.writeEmptyElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("rss"));
        xml.writeAttribute(QStringLiteral("text"), u(book.title));
        xml.writeAttribute(QStringLiteral("title"), u(book.title));
        xml.writeAttribute(QStringLiteral("xmlUrl"), u(feed_address(base, book.folder)));
    }
    xml.writeEndDocument();
    return document.toStdString();
}
