#include "session/run_report.hpp"

#include "text/gbk.hpp"

namespace {

bool ended_badly(const Episode& e) {
    return e.state == DownloadState::failed || e.state == DownloadState::no_key ||
           e.state == DownloadState::not_on_disk || e.state == DownloadState::queued ||
           e.state == DownloadState::paused || e.state == DownloadState::downloading ||
           e.state == DownloadState::retrying;
}

Text why(const Episode& e) {
    if (!e.reason.empty())
        return e.reason;
    if (e.state == DownloadState::no_key)
        return gbk("网站没有给出这一集的地址");
    if (e.state == DownloadState::failed)
        return gbk("下载失败");
    return gbk("没有下载");
}

} // namespace

Text episode_outcome_line(const Episode& episode) {
    if (episode.on_disk())
        return episode.label + gbk(" 已下载");
    return episode.label + gbk(" 下载失败：") + why(episode);
}

Text failures_line(const EpisodeList& episodes) {
    int count = 0;
    Text list;
    for (const Episode& e : episodes.episodes()) {
        if (!ended_badly(e))
            continue;
        list += (count++ == 0 ? Text() : gbk("；")) + e.label + gbk("（") + why(e) + gbk("）");
    }
    if (count == 0)
        return {};
    return number_to_text(count) + gbk(" 集未能下载：") + list;
}

Text run_line(const Text& title, int arrived, int failed) {
    Text line = gbk("《") + title + gbk("》已下载 ") + number_to_text(arrived) + gbk(" 集");
    if (failed > 0)
        line += gbk("，失败 ") + number_to_text(failed) + gbk(" 集");
    return line;
}

CommandOutcome run_outcome(const Text& title, const EpisodeList& episodes, bool each) {
    CommandOutcome outcome;
    int arrived = 0, failed = 0;
    for (const Episode& e : episodes.episodes()) {
        if (e.on_disk())
            ++arrived;
        else
            ++failed;
        if (each)
            outcome.lines.push_back(episode_outcome_line(e));
    }
    outcome.lines.push_back(run_line(title, arrived, failed));
    if (const Text failures = failures_line(episodes); !failures.empty()) {
        outcome.errors.push_back(failures);
        outcome.exit_code = exit_codes::some_failed;
    }
    return outcome;
}
