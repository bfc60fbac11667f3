#include "config_folder.hpp"
#include "text/gbk.hpp"

#include <gmock/gmock.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

using ConfigFile = ConfigFolder;

TEST_F(ConfigFile, MissingPartsReadEmptyAndWritesCreateThemInGbkWithCrlf) {
    EXPECT_EQ(settings_file_path(), text_path(folder) + "/" + gbk("配置文件.ini"));
    EXPECT_EQ(read_setting(gbk("默认网址")), "");
    EXPECT_EQ(entries(), 0u); // reading creates nothing
    write_raw(gbk("[其他]\r\n默认网址=x\r\n"));
    EXPECT_EQ(read_setting(gbk("默认网址")), "");

    std::filesystem::remove(file);
    ASSERT_TRUE(write_setting(gbk("默认保存路径"), gbk("/音频/书")));
    ASSERT_TRUE(write_setting(gbk("默认网址"), "https://a/b?c=d"));
    ASSERT_TRUE(write_setting(gbk("默认保存路径"), ""));
    EXPECT_EQ(read_raw(), gbk("[设置]\r\n默认保存路径=\r\n默认网址=https://a/b?c=d\r\n"));
    EXPECT_EQ(read_setting(gbk("默认网址")), "https://a/b?c=d");
    EXPECT_EQ(read_setting(gbk("默认保存路径")), "");
    EXPECT_EQ(entries(), 1u); // no temporary file left behind
}

TEST_F(ConfigFile, HandWrittenFileKeptByteForByteExceptTheLineWritten) {
    const Text before = gbk("; 手写的配置\n[其他]\n默认保存路径=别处\n\n"
                            " [ 设置 ] ; 注释\n  Key  =  旧值  \n;默认网址=注释里的\n"
                            "默认网址 = http://old\n无等号的行\n\n[尾部]\n结束=1");
    write_raw(before);
    EXPECT_EQ(read_setting("key"), gbk("旧值"));
    EXPECT_EQ(read_setting(gbk("默认保存路径")), ""); // only "设置" counts

    ASSERT_TRUE(write_setting(gbk("默认网址"), "http://new"));
    Text expected = replace_all(before, "http://old", "http://new");
    EXPECT_EQ(read_raw(), expected);
    // A new key goes after the section's last key, with the file's own line ending.
    ASSERT_TRUE(write_setting(gbk("默认显示集数"), "20"));
    expected = replace_all(expected, "http://new\n", gbk("http://new\n默认显示集数=20\n"));
    EXPECT_EQ(read_raw(), expected);

    // A file without our section gets one at the end, after the missing line end.
    write_raw(gbk("[其他]\n甲=乙"));
    ASSERT_TRUE(write_setting("k", "v"));
    EXPECT_EQ(read_raw(), gbk("[其他]\n甲=乙\n[设置]\nk=v\n"));
}

TEST_F(ConfigFile, CrLfAndCrlfEachEndALineAndANewKeyStartsALineOfItsOwn) {
    struct Case {
        const char* before; // UTF-8, as another editor left the file
        const char* key;
        const char* value;
        const char* after; // the file then
    };
    const Case table[] = {
        // A lone CR at the end: the new key does not join the last value.
        {"[设置]\r\n默认保存路径=/书\r", "默认网址", "https://a",
         "[设置]\r\n默认保存路径=/书\r默认网址=https://a\r\n"},
        {"[设置]\r默认保存路径=/书\r", "默认网址", "https://a",
         "[设置]\r默认保存路径=/书\r默认网址=https://a\r"},
        {"[设置]\r默认保存路径=/书", "默认网址", "https://a",
         "[设置]\r默认保存路径=/书\r默认网址=https://a\r"},
        {"[设置]\n默认保存路径=/书\r默认网址=旧\r\n", "默认网址", "新",
         "[设置]\n默认保存路径=/书\r默认网址=新\r\n"},
        {"[其他]\r甲=乙\r", "k", "v", "[其他]\r甲=乙\r[设置]\rk=v\r"},
        {"[其他]\r甲=乙", "k", "v", "[其他]\r甲=乙\r[设置]\rk=v\r"},
    };
    for (const Case& c : table) {
        write_raw(gbk(c.before));
        ASSERT_TRUE(write_setting(gbk(c.key), gbk(c.value))) << c.before;
        EXPECT_EQ(read_raw(), gbk(c.after)) << c.before;
        EXPECT_EQ(read_setting(gbk(c.key)), gbk(c.value)) << c.before;
    }
    // Whatever ends the lines, a value stops at its line's end.
    write_raw(gbk("[设置]\r默认保存路径=/书\r默认网址=x\n默认显示集数=3\r\n开始=1"));
    EXPECT_EQ(read_setting(gbk("默认保存路径")), gbk("/书"));
    EXPECT_EQ(read_setting(gbk("默认网址")), "x");
    EXPECT_EQ(read_setting(gbk("默认显示集数")), "3");
    EXPECT_EQ(read_setting(gbk("开始")), "1");
}

TEST_F(ConfigFile, NamesIgnoreAsciiCaseOnlyAndBrokenTextsAreRefused) {
    // 夾 and 奱 differ only in a second byte that looks like "A" / "a".
    write_raw(gbk("[设置]\r\nSave Path=a\r\n夾=1\r\n"));
    EXPECT_EQ(read_setting("SAVE path"), "a");
    EXPECT_EQ(read_setting(gbk("奱")), "");
    ASSERT_TRUE(write_setting(gbk("奱"), "2"));
    ASSERT_TRUE(write_setting("save PATH", "b"));
    const Text written = gbk("[设置]\r\nSave Path=b\r\n夾=1\r\n奱=2\r\n");
    EXPECT_EQ(read_raw(), written);

    EXPECT_FALSE(write_setting("k", "a\r\n[别的]"));
    EXPECT_FALSE(write_setting("a=b", "1"));
    EXPECT_FALSE(write_setting("", "1"));
    EXPECT_EQ(read_raw(), written);
}

TEST_F(ConfigFile, FailedWriteReturnsFalseAndKeepsTheOldFile) {
    const Text old = gbk("[设置]\r\n默认网址=旧的\r\n");
    write_raw(old);
    auto expect_refused = [&](const char* why) {
        EXPECT_FALSE(write_setting(gbk("默认网址"), gbk("新的很长的地址"))) << why;
        EXPECT_EQ(read_raw(), old) << why;
        EXPECT_EQ(entries(), 1u) << why;
    };
    // Tests may run as the superuser, whom permission bits do not stop; the
    // program leaves a folder or file marked read-only alone all the same.
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    expect_refused("read-only folder");
    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(file, fs::perms::owner_read);
    expect_refused("read-only file");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    // A full disk, which stops the superuser too: a file size limit makes the
    // write of the temporary file fail part way. (Nothing else is written while
    // the limit holds, not even test output.)
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    bool written = write_setting(gbk("默认网址"), gbk("新的很长的地址"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(written);
    EXPECT_EQ(read_raw(), old);
    EXPECT_EQ(entries(), 1u);

    set_program_folder(file / "below"); // a folder that cannot exist
    EXPECT_FALSE(write_setting(gbk("默认网址"), "x"));
    set_program_folder(folder);
    EXPECT_EQ(read_raw(), old);
}

TEST_F(ConfigFile, QuotedValuesLoseOnePairOfQuotesAndBlanksAroundNamesAndValuesGo) {
    write_raw(gbk("\t[ 设置 ]\t\r\n"
                  "\t默认网址\t=\t\"  http://a/  \"\t\r\n"
                  "空 = \"\"\r\n"
                  "半个=\"x\r\n"
                  "中间=a\"b\"\r\n"
                  "两层=\"\"x\"\"\r\n"
                  "制表\t=\tv\t\r\n"));
    const struct {
        const char *key, *value;
    } table[] = {
        {"默认网址", "  http://a/  "}, {"空", ""},        {"半个", "\"x"},
        {"中间", "a\"b\""},            {"两层", "\"x\""}, {"制表", "v"},
    };
    for (const auto& row : table)
        EXPECT_EQ(read_setting(gbk(row.key)), gbk(row.value)) << row.key;

    // A value that would not read back as itself is written between quotes.
    for (const char* value : {" padded ", "\tx", "\"quoted\"", "plain", "a \"b\""}) {
        ASSERT_TRUE(write_setting(gbk("默认保存路径"), value));
        EXPECT_EQ(read_setting(gbk("默认保存路径")), value) << value;
    }
    EXPECT_THAT(read_raw(), ::testing::HasSubstr(gbk("\r\n默认保存路径=a \"b\"\r\n")));
    ASSERT_TRUE(write_setting(gbk("制表"), "w"));
    EXPECT_THAT(read_raw(), ::testing::HasSubstr(gbk("\r\n制表\t=\tw\r\n")));
}

TEST_F(ConfigFile, ByteOrderMarkIsKeptAndHidesNoSection) {
    const std::string mark = "\xEF\xBB\xBF";
    write_raw(mark + gbk("[设置]\r\n默认网址=a\r\n"));
    EXPECT_EQ(read_setting(gbk("默认网址")), "a");
    ASSERT_TRUE(write_setting(gbk("默认网址"), "b"));
    ASSERT_TRUE(write_setting(gbk("默认显示集数"), "9"));
    EXPECT_EQ(read_raw(), mark + gbk("[设置]\r\n默认网址=b\r\n默认显示集数=9\r\n"));

    write_raw(mark);
    ASSERT_TRUE(write_setting("k", "v"));
    EXPECT_EQ(read_raw(), mark + gbk("[设置]\r\nk=v\r\n"));
    EXPECT_EQ(read_setting("k"), "v");
}

TEST_F(ConfigFile, WriteKeepsTheFileMode) {
    const mode_t old_umask = ::umask(0);
    for (fs::perms mode : {fs::perms(0600), fs::perms(0640), fs::perms(0604), fs::perms(0666),
                           fs::perms(0700)}) {
        write_raw(gbk("[设置]\r\n默认网址=a\r\n"));
        fs::permissions(file, mode);
        ASSERT_TRUE(write_setting(gbk("默认网址"), "b"));
        EXPECT_EQ(fs::status(file).permissions(), mode) << int(mode);
        EXPECT_EQ(read_setting(gbk("默认网址")), "b");
    }
    ::umask(old_umask);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ConfigFile, FoundByItsNativePathInAFolderGbkCannotHold) {
    for (const char8_t* name : {u8"한국어", u8"书😀", u8"a b"}) {
        const fs::path program = folder / name;
        fs::create_directory(program);
        set_program_folder(program);
        EXPECT_EQ(settings_file_native_path(), program / u8"配置文件.ini");
        EXPECT_EQ(read_setting(gbk("默认网址")), "");
        ASSERT_TRUE(write_setting(gbk("默认网址"), "http://a/"));
        EXPECT_EQ(read_setting(gbk("默认网址")), "http://a/");
        EXPECT_TRUE(fs::is_regular_file(program / u8"配置文件.ini"));
        EXPECT_EQ(settings_file_path(), text_path(program / u8"配置文件.ini"));
    }
    set_program_folder(folder);
}

TEST(Flags, TextModeWantsTheExactTrueWordNumberModeNonZero) {
    EXPECT_TRUE(to_flag(gbk("真")));
    EXPECT_TRUE(to_flag(gbk("真"), std::nullopt, 7)); // modes outside 1..2 count as 1
    EXPECT_FALSE(to_flag());
    EXPECT_TRUE(to_flag(std::nullopt, 0.5, 2));
    EXPECT_FALSE(to_flag(gbk("真"), std::nullopt, 2));
    EXPECT_EQ(flag_text(true), gbk("真"));
    EXPECT_FALSE(to_flag(flag_text(false)));
}

// Where the file lives: beside the program unless its folder is read-only or
// the program was installed with its menu entry, and no configuration file lies
// beside it; then in the user's configuration folder.
TEST_F(ConfigFile, ReadOnlyOrInstalledProgramKeepsTheFileInTheUsersConfigurationFolder) {
    char pattern[] = "/tmp/settings-home-XXXXXX";
    const fs::path home = mkdtemp(pattern);
    const std::string saved_home = getenv("HOME") ? getenv("HOME") : "";
    const char* saved_xdg_env = getenv("XDG_CONFIG_HOME");
    const std::string saved_xdg = saved_xdg_env ? saved_xdg_env : "";
    setenv("HOME", home.c_str(), 1);
    const fs::path user_file = home / "xdg" / "audiobook-client" / u8"配置文件.ini";
    const fs::path default_file = home / ".config" / "audiobook-client" / u8"配置文件.ini";
    // An installed program: <prefix>/bin, with its menu entry in <prefix>/share.
    const fs::path bin = folder / "prefix" / "bin";
    fs::create_directories(bin);
    fs::create_directories(folder / "prefix" / "share" / "applications");
    std::ofstream(folder / "prefix" / "share" / "applications" /
                  "io.github.audiobook_client.desktop")
        << "[Desktop Entry]\n";

    const struct {
        const char* why;
        fs::path program;
        bool file_beside;
        bool read_only;
        const char* xdg; // XDG_CONFIG_HOME, or nullptr for none
        bool in_user_folder;
        fs::path user_folder_file;
    } cases[] = {
        {"writable folder", folder, false, false, "xdg", false, {}},
        {"read-only folder", folder, false, true, "xdg", true, user_file},
        {"read-only folder holding the file", folder, true, true, "xdg", false, {}},
        {"no XDG_CONFIG_HOME", folder, false, true, nullptr, true, default_file},
        {"relative XDG_CONFIG_HOME", folder, false, true, "relative/path", true, default_file},
        {"installed with its menu entry", bin, false, false, "xdg", true, user_file},
        {"installed, a file beside it", bin, true, false, "xdg", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const fs::path beside = c.program / u8"配置文件.ini";
        fs::permissions(c.program, fs::perms::owner_all);
        fs::remove(beside);
        fs::remove_all(home / "xdg");
        fs::remove_all(home / ".config");
        set_program_folder(c.program);
        if (c.file_beside)
            std::ofstream(beside, std::ios::binary) << gbk("[设置]\r\n默认网址=旁边\r\n");
        if (c.read_only)
            fs::permissions(c.program, fs::perms::owner_read | fs::perms::owner_exec);
        if (!c.xdg)
            unsetenv("XDG_CONFIG_HOME");
        else
            setenv("XDG_CONFIG_HOME", c.xdg[0] == 'x' ? (home / c.xdg).c_str() : c.xdg, 1);

        const fs::path expected = c.in_user_folder ? c.user_folder_file : beside;
        EXPECT_EQ(native_path(settings_file_path()), expected);
        if (c.file_beside) {
            EXPECT_EQ(read_setting(gbk("默认网址")), gbk("旁边"));
            continue;
        }
        // The same format wherever it lives; nothing appears beside the program then.
        EXPECT_TRUE(write_setting(gbk("默认网址"), gbk("地址")));
        EXPECT_EQ(read_setting(gbk("默认网址")), gbk("地址"));
        std::ifstream in(expected, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                  gbk("[设置]\r\n默认网址=地址\r\n"));
        EXPECT_EQ(fs::exists(beside), !c.in_user_folder);
    }

    fs::permissions(folder, fs::perms::owner_all);
    set_program_folder(folder);
    setenv("HOME", saved_home.c_str(), 1);
    if (saved_xdg_env)
        setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(home);
}
