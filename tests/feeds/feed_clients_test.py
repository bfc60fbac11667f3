#!/usr/bin/python3
"""The feeds as others read them: the program's own `feeds` and `serve`, every
feed parsed by feedparser with no error, every enclosure fetched byte for byte,
and a real podcast client (newsboat and its downloader podboat) subscribing to
a feed and downloading an episode. Only 127.0.0.1 is ever used.

Usage: feed_clients_test.py <audiobook-client binary>"""
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

import feedparser


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def silent_mp3(seconds):
    frame = b"\xff\xfb\x90\x64" + b"\0" * 413
    return frame * (int(seconds * 44100 / 1152) + 1)


def fetch(url):
    with urllib.request.urlopen(url, timeout=10) as answer:
        return answer.read()


def make_books(save):
    books = {"测试书名": 3, "第二本书": 2}
    files = {}
    for title, count in books.items():
        folder = os.path.join(save, title)
        os.makedirs(folder)
        for n in range(1, count + 1):
            path = os.path.join(folder, f"{title}_第{n}集.mp3")
            with open(path, "wb") as f:
                f.write(silent_mp3(1 + n) + title.encode())
            files[path] = n
    return files


def podcast_client_downloads(home, feed_url, expected):
    """newsboat reloads the feed with automatic enqueueing, podboat (run on a
    pseudo-terminal, as it is a terminal program) downloads the queue."""
    conf = os.path.join(home, ".newsboat")
    downloads = os.path.join(home, "podcasts")
    os.makedirs(conf)
    os.makedirs(downloads)
    with open(os.path.join(conf, "urls"), "w") as f:
        f.write(feed_url + "\n")
    with open(os.path.join(conf, "config"), "w") as f:
        f.write(f"podcast-auto-enqueue yes\ndownload-path \"{downloads}/\"\n"
                "max-downloads 1\nreload-threads 1\n")
    env = dict(os.environ, HOME=home, TERM="xterm")
    subprocess.run(["newsboat", "-x", "reload"], env=env, check=True, timeout=60,
                   stdout=subprocess.DEVNULL)
    queue = open(os.path.join(conf, "queue")).read()
    assert feed_url.split("/feed.xml")[0] in queue, "newsboat enqueued no episode: " + queue
    pid, master = pty.fork()
    if pid == 0:
        os.execvpe("podboat", ["podboat", "-a"], env)
    got = None
    deadline = time.time() + 60
    try:
        while time.time() < deadline and got is None:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    os.read(master, 65536)
                except OSError:
                    break
            for name in os.listdir(downloads):
                path = os.path.join(downloads, name)
                data = open(path, "rb").read()
                if name.endswith(".mp3") and data in expected.values():
                    got = name
    finally:
        try:
            os.write(master, b"q")
            time.sleep(0.5)
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
        os.waitpid(pid, 0)
    assert got, "podboat downloaded nothing whole: " + str(os.listdir(downloads))
    return got


def main():
    binary = sys.argv[1]
    work = tempfile.mkdtemp(prefix="feed-clients-")
    server = None
    try:
        program = os.path.join(work, "program")
        save = os.path.join(work, "books")
        os.makedirs(program)
        os.makedirs(save)
        shutil.copy(binary, program)
        binary = os.path.join(program, os.path.basename(binary))
        port = free_port()
        with open(os.path.join(program, "配置文件.ini"), "wb") as f:
            f.write("[设置]\r\n默认保存路径={}\r\n收听端口={}\r\n".format(save, port).encode("gbk"))
        files = make_books(save)
        env = dict(os.environ, HOME=os.path.join(work, "home"))
        os.makedirs(env["HOME"])

        host = f"127.0.0.1:{port}"
        listed = subprocess.run([binary, "feeds", "--host", host], env=env, check=True,
                                capture_output=True, text=True, timeout=60).stdout.split()
        assert len(listed) == 3 and listed[0].endswith("/books.opml"), listed
        token = listed[0].split("/")[3]
        again = subprocess.run([binary, "feeds", "--host", host], env=env, check=True,
                               capture_output=True, text=True, timeout=60).stdout.split()
        assert again == listed, "the token is kept"

        server = subprocess.Popen([binary, "serve", "--listen", "127.0.0.1", "--verbose"], env=env,
                                  stderr=subprocess.PIPE, text=True)
        line = server.stderr.readline()
        assert f"http://{host}/" in line, line

        opml = feedparser.parse(fetch(listed[0]))
        assert not opml.bozo, opml.bozo_exception
        for address in listed[1:]:
            feed = feedparser.parse(fetch(address))
            assert not feed.bozo, (address, feed.bozo_exception)
            assert feed.feed.language == "zh-cn"
            assert feed.feed.itunes_type == "serial"
            title = feed.feed.title
            count = sum(1 for p in files if os.path.basename(os.path.dirname(p)) == title)
            assert len(feed.entries) == count, (title, len(feed.entries))
            dates = [e.published_parsed for e in feed.entries]
            assert dates == sorted(dates) and len(set(dates)) == len(dates), "dates rise"
            for number, entry in enumerate(feed.entries, 1):
                assert entry.title == f"第{number}集", entry.title
                assert int(entry.itunes_episode) == number
                enclosure = entry.enclosures[0]
                path = os.path.join(save, title, f"{title}_第{number}集.mp3")
                data = open(path, "rb").read()
                assert enclosure.type == "audio/mpeg"
                assert int(enclosure.length) == len(data)
                assert fetch(enclosure.href) == data, enclosure.href

        expected = {p: open(p, "rb").read() for p in files}
        podcast_client_downloads(os.path.join(work, "client"), listed[1], expected)

        server.send_signal(signal.SIGTERM)
        assert server.wait(timeout=20) == 0
        log = server.stderr.read()
        assert "GET /…/" in log and token not in log and token not in line, "the log hides the token"
        server = None
        print("feed_clients_test: every feed parsed, every enclosure whole, podboat downloaded one")
    finally:
        if server:
            server.kill()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
