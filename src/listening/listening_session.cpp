#include "listening/listening_session.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <cmath>

namespace {

const Text& main_section() {
    static const Text name = gbk("收听");
    return name;
}
const Text& heard_section() {
    static const Text name = gbk("已听完");
    return name;
}
const Text& list_section() {
    static const Text name = gbk("上次列表");
    return name;
}
Text key(const char* utf8) {
    return gbk(utf8);
}

// A whole number from the file, or `fallback` when it is missing.
int stored_number(const Text& text, int fallback) {
    return text.empty() ? fallback : int(std::lround(text_to_number(text)));
}

int clamp_speed(int tenths) {
    return std::clamp(tenths, ListeningSession::slowest_tenths, ListeningSession::fastest_tenths);
}

bool is_number(const Text& key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

ListeningSession::ListeningSession(std::filesystem::path file)
    : file_(std::move(file)), document_(IniDocument::read(file_)) {
    open_book(Text()); // the default speed
    volume_ = std::clamp(stored_number(document_.value(main_section(), key("音量")), 50), 0,
                         max_volume);
    for (const auto& [k, episode] : document_.entries(heard_section()))
        if (heard_.size() < heard_capacity && !heard(episode))
            heard_.push_back(episode);
}

Text ListeningSession::book_section() const {
    return gbk("书:") + book_;
}

void ListeningSession::open_book(const Text& title) {
    book_ = title;
    const Text stored = book_.empty() ? Text() : document_.value(book_section(), key("速度"));
    const Text fallback = document_.value(main_section(), key("默认速度"));
    const Text chosen = stored.empty() ? fallback : stored;
    speed_ = chosen.empty() ? 10 : clamp_speed(int(std::lround(10 * text_to_number(chosen))));
    const Text skip = book_.empty() ? Text() : document_.value(book_section(), key("跳过静音"));
    const Text skip_fallback = document_.value(main_section(), key("默认跳过静音"));
    skip_silence_ = (skip.empty() ? skip_fallback : skip) == "1";
}

void ListeningSession::set_skip_silence(bool on) {
    skip_silence_ = on;
    const Text text = on ? Text("1") : Text("0");
    document_.set(main_section(), key("默认跳过静音"), text);
    if (!book_.empty())
        document_.set(book_section(), key("跳过静音"), text);
    changed_ = true;
}

Text ListeningSession::speed_text() const {
    return number_to_text(speed_ / 10.0) + (speed_ % 10 == 0 ? ".0" : "") + gbk("×");
}

void ListeningSession::store_book(const Text& name, int value) {
    if (book_.empty())
        return;
    document_.set(book_section(), name, value == 0 ? Text() : number_to_text(value));
    changed_ = true;
}

void ListeningSession::set_speed_tenths(int tenths) {
    speed_ = clamp_speed(tenths);
    const Text text = number_to_text(speed_ / 10.0);
    document_.set(main_section(), key("默认速度"), text);
    if (!book_.empty())
        document_.set(book_section(), key("速度"), text);
    changed_ = true;
}

int ListeningSession::intro_seconds() const {
    return book_.empty() ? 0 : std::max(0, stored_number(document_.value(book_section(), key("片头")), 0));
}

int ListeningSession::outro_seconds() const {
    return book_.empty() ? 0 : std::max(0, stored_number(document_.value(book_section(), key("片尾")), 0));
}

void ListeningSession::set_skips(int intro_seconds, int outro_seconds) {
    store_book(key("片头"), std::max(0, intro_seconds));
    store_book(key("片尾"), std::max(0, outro_seconds));
}

std::optional<std::int64_t> ListeningSession::after_intro(std::int64_t position,
                                                          std::int64_t duration) const {
    const std::int64_t intro = std::int64_t(intro_seconds()) * 1000;
    if (intro <= 0 || position >= intro || (duration > 0 && intro >= duration))
        return std::nullopt;
    return intro;
}

bool ListeningSession::in_outro(std::int64_t position, std::int64_t duration) const {
    const std::int64_t outro = std::int64_t(outro_seconds()) * 1000;
    return outro > 0 && duration > outro && position >= duration - outro;
}

void ListeningSession::set_volume(int volume) {
    volume = std::clamp(volume, 0, max_volume);
    if (volume == volume_)
        return;
    volume_ = volume;
    document_.set(main_section(), key("音量"), number_to_text(volume_));
    changed_ = true;
}

void ListeningSession::episode_ended() {
    if (sleep_.episode_ended())
        queue_held_ = true;
}

void ListeningSession::note_playing(std::int64_t /*now_ms*/) {
    queue_held_ = false;
    paused_at_.reset();
}

void ListeningSession::note_paused(std::int64_t now_ms) {
    if (!paused_at_)
        paused_at_ = now_ms;
}

std::int64_t ListeningSession::resume_position(std::int64_t position, std::int64_t now_ms) const {
    if (!paused_at_ || now_ms - *paused_at_ <= long_pause_ms)
        return position;
    return std::max<std::int64_t>(position - rewind_ms, 0);
}

std::int64_t ListeningSession::jump(std::int64_t position, std::int64_t delta,
                                    std::int64_t duration) {
    const std::int64_t target = std::max<std::int64_t>(position + delta, 0);
    return duration > 0 ? std::min(target, duration) : target;
}

void ListeningSession::set_last_episode(const Text& episode) {
    if (episode == last_episode())
        return;
    document_.set(main_section(), key("上次集"), episode);
    changed_ = true;
}

Text ListeningSession::last_episode() const {
    return document_.value(main_section(), key("上次集"));
}

void ListeningSession::set_last_list(const ListeningList& list) {
    std::vector<std::pair<Text, Text>> entries{
        {key("书"), list.book}, {key("保存"), list.save_folder}, {key("文件夹"), list.folder}};
    std::erase_if(entries, [](const auto& e) { return e.second.empty(); });
    int n = 0;
    for (const auto& [label, episode] : list.rows)
        if (label.find('|') == Text::npos)
            entries.emplace_back(std::to_string(++n), label + "|" + episode);
    document_.replace_section(list_section(), std::move(entries));
    changed_ = true;
}

ListeningList ListeningSession::last_list() const {
    ListeningList list;
    for (const auto& [k, value] : document_.entries(list_section())) {
        const std::size_t bar = value.find('|');
        if (is_number(k) && bar != Text::npos)
            list.rows.emplace_back(value.substr(0, bar), value.substr(bar + 1));
        else if (k == key("书"))
            list.book = value;
        else if (k == key("保存"))
            list.save_folder = value;
        else if (k == key("文件夹"))
            list.folder = value;
    }
    return list;
}

bool ListeningSession::heard(const Text& episode) const {
    return std::find(heard_.begin(), heard_.end(), episode) != heard_.end();
}

void ListeningSession::mark_heard(const Text& episode) {
    if (episode.empty() || (!heard_.empty() && heard_.front() == episode))
        return;
    std::erase(heard_, episode);
    heard_.insert(heard_.begin(), episode);
    if (heard_.size() > heard_capacity)
        heard_.resize(heard_capacity);
    changed_ = true;
}

bool ListeningSession::save() {
    if (!changed_)
        return true;
    std::vector<std::pair<Text, Text>> entries;
    for (std::size_t i = 0; i < heard_.size(); ++i)
        entries.emplace_back(std::to_string(i + 1), heard_[i]);
    document_.replace_section(heard_section(), std::move(entries));
    if (!document_.write(file_))
        return false;
    changed_ = false;
    return true;
}
