// lumora-config install into a server's folder: what it writes, and that every refusal writes
// nothing (or says exactly what it left).

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "generated/Version.h"
#include "lumora-config/Install.h"
#include "lumora-config/InstallFiles.h"
#include "lumora-config/PackageList.h"
#include "lumora-config/Sha256.h"
#include "support/TestSupport.h"
#include "text/ToolText.h"

using namespace Lumora;
using ::testing::HasSubstr;
using ::testing::Not;
using TestSupport::ShellQuoted;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

const fs::path Plugin = PathFromText(LUMORA_PLUGIN_FOLDER);
const std::string Library = LUMORA_LIBRARY_NAME;
const std::string Folder = "(folder)";

std::string Sum(const std::string& bytes) {
    Sha256 sum;
    sum.Add(bytes.data(), bytes.size());
    return sum.HexDigest();
}

// A package as packaging lays it out: the plugin folder, and beside the checker the list of its
// files with their sizes and sums.
// optional: files listed as ones the package may lack, and written when their text is not empty.
void WritePackage(const fs::path& package, const Files& files, const std::string& version = LUMORA_VERSION,
                  const Files& optional = {}) {
    std::string list = LUMORA_NAME " " + version + "\n";
    for (const auto& [name, text] : files) {
        TestSupport::WriteFile(package / Plugin / name, text);
        list += Sum(text) + " " + std::to_string(text.size()) + " " + name + "\n";
    }
    for (const auto& [name, text] : optional) {
        if (!text.empty()) {
            TestSupport::WriteFile(package / Plugin / name, text);
        }
        list += "optional " + Sum(text) + " " + std::to_string(text.size()) + " " + name + "\n";
    }
    TestSupport::WriteFile(PackageListPath(package), list);
}

Files FolderFiles(const fs::path& path) {
    Files files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(path, error)) {
        files[entry.path().filename().string()] = entry.is_directory() ? Folder : TestSupport::ReadFile(entry.path());
    }
    return files;
}

Files With(Files files, const Files& more) {
    for (const auto& [name, text] : more) {
        files[name] = text;
    }
    return files;
}

Files Without(Files files, const std::string& name) {
    files.erase(name);
    return files;
}

// Puts a link where the folder server/at was, to the folder elsewhere, which now holds what it held.
std::string LinkInstead(const fs::path& server, const fs::path& at, const fs::path& elsewhere) {
    fs::rename(server / at, elsewhere);
    return TestSupport::MakeSymlink(elsewhere, server / at);
}

#if !defined(_WIN32)
// The environment in which the system refuses what setting says (support/RefusalsPosix.cpp).
std::string Refusing(const std::string& setting) {
    return "LD_PRELOAD=" + ShellQuoted(LUMORA_REFUSALS_PATH) + " ASAN_OPTIONS=verify_asan_link_order=0 " + setting +
           " ";
}
#endif

class InstallTest : public ::testing::Test {
protected:
    TestSupport::ToolResult Tool(const std::string& arguments, const std::string& before = "") {
        return TestSupport::RunTool(LUMORA_CONFIG_PATH, arguments, dir.path() / "err.txt", before);
    }
    TestSupport::TempDir dir;
};

TEST(Sha256Test, GivesTheStandardsSums) {
    EXPECT_EQ(Sum(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sum("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Sha256 inParts;
    inParts.Add("a", 1);
    inParts.Add("bc", 2);
    EXPECT_EQ(inParts.HexDigest(), Sum("abc"));
}

// A link's target as the link states it, from reparse data as Windows gives it (built here, so that
// the row runs where no link can be made): short names stay short, as the admin typed them.
TEST(ReparseTargetTest, ReadsWhatTheLinkStates) {
    constexpr std::uint32_t SymbolicLink = 0xA000000C;
    constexpr std::uint32_t Junction = 0xA0000003;
    const auto data = [](std::uint32_t tag, const std::u16string& substitute, const std::u16string& print) {
        std::vector<unsigned char> bytes;
        const auto put = [&](std::uint32_t value, int count) {
            for (int i = 0; i < count; ++i) {
                bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
            }
        };
        const auto sub = static_cast<std::uint32_t>(substitute.size() * 2);
        const auto printed = static_cast<std::uint32_t>(print.size() * 2);
        put(tag, 4);
        put((tag == SymbolicLink ? 12 : 8) + sub + printed, 2);
        put(0, 2);
        put(0, 2), put(sub, 2), put(sub, 2), put(printed, 2);
        if (tag == SymbolicLink) {
            put(0, 4);  // flags
        }
        for (const char16_t c : substitute + print) {
            put(c, 2);
        }
        return bytes;
    };
    const struct {
        std::vector<unsigned char> bytes;
        std::optional<std::u16string> target;
    } cases[] = {
        {data(SymbolicLink, uR"(\??\C:\Users\RUNNER~1\AppData\Local\Temp\victim)",
              uR"(C:\Users\RUNNER~1\AppData\Local\Temp\victim)"),
         uR"(C:\Users\RUNNER~1\AppData\Local\Temp\victim)"},
        {data(SymbolicLink, uR"(..\other)", uR"(..\other)"), uR"(..\other)"},
        {data(SymbolicLink, uR"(\??\UNC\host\share\srv)", u""), uR"(\\host\share\srv)"},
        {data(Junction, uR"(\??\D:\ARKSER~1\Win64)", uR"(D:\ARKSER~1\Win64)"), uR"(D:\ARKSER~1\Win64)"},
        {data(Junction, uR"(\??\D:\Srv)", u""), uR"(D:\Srv)"},
        {data(0x8000001B, u"app", u"app"), std::nullopt},  // another kind of reparse point
        {std::vector<unsigned char>(10, 0), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReparseTarget(c.bytes.data(), c.bytes.size()), c.target);
    }
    // Data cut short within a name is refused, not read past its end.
    const auto whole = data(Junction, uR"(\??\D:\Srv)", u"D:\\Srv");
    EXPECT_EQ(ReparseTarget(whole.data(), whole.size() - 2), std::nullopt);
}

TEST(PackageListTest, RefusesWhatIsNoList) {
    const std::string sum(64, 'a');
    const std::pair<std::string, std::string> lists[] = {
        {"", "it is empty"},
        {"Lumora\n", "line 1 is not the plugin's name and version"},
        {"Lumora 1.0.0\n" + sum + " 12\n", "line 2 is not a sum, a size and a name"},
        {"Lumora 1.0.0\n" + sum + " -1 a\n", "line 2 is not a sum, a size and a name"},
        {"Lumora 1.0.0\n" + sum.substr(1) + "A 1 a\n", "line 2 is not a sum, a size and a name"},
        {"Lumora 1.0.0\n" + sum + " 1 ../a\n", "line 2 is not a sum, a size and a name"},
        {"Lumora 1.0.0\n" + sum + " 1 a\n" + sum + " 2 a\n", "line 3 names a a second time"},
    };
    for (const auto& [text, fault] : lists) {
        const auto parsed = ParsePackageList(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << text;
        EXPECT_EQ(std::get<std::string>(parsed), fault);
    }
    const auto list = std::get<PackageList>(
        ParsePackageList("Lumora 1.2.3\r\n" + sum + " 7 config file.json\r\noptional " + sum + " 0 a.pdb\n"));
    EXPECT_EQ(list.version, "1.2.3");
    ASSERT_EQ(list.files.size(), 2u);
    EXPECT_EQ(list.files[0].name, "config file.json");
    EXPECT_EQ(list.files[0].size, 7u);
    EXPECT_FALSE(list.files[0].optional);
    EXPECT_EQ(list.files[1].name, "a.pdb");
    EXPECT_TRUE(list.files[1].optional);
}

// install puts every listed file of the package's plugin folder in place and adds config.json only
// where there is none: the admin's file is kept byte for byte and checked as check checks it. A
// refusal changes nothing, except where its status says what it left.
TEST_F(InstallTest, InstallReplacesThePluginFolderAndKeepsTheAdminsConfig) {
    const Files shipped = {{Library, std::string("new\0library", 11)},
                           {"PluginInfo.json", "{\"FullName\": \"Lumora\"}"},
                           {"README.md", "new guide"},
                           {"config.schema.json", "new schema"},
                           {"config.json", Tool("init").out}};
    const Files older = {{Library, "old library"},
                         {"PluginInfo.json", "old info"},
                         {"README.md", "old guide"},
                         {"Lumora.pdb", "the admin's symbols"}};
    const std::string refused = "{\"ChatCommands\": []}";
    TestSupport::WriteFile(dir.path() / "refused.json", refused);
    const auto victim = [&](const char* at) { return dir.path() / (std::string("victim-") + at); };
    const auto beyond = [&](const char* at) {
        return " is a link to " + fs::path(victim(at)).make_preferred().string() +
               ": install writes only into the server's own folders, never through a link. Nothing was written.";
    };
    const std::string damaged =
        ": the package is damaged; extract the zip again into a folder of its own. Nothing "
        "was written.";
#if !defined(_WIN32)
    // What the server's own account would like root to change or show: it must stay as it is.
    const fs::path secret = dir.path() / "root-only.json";
    const std::string secretText = "{\"DbPassword\": \"hunter2\"}";
    TestSupport::WriteFile(secret, secretText);
    fs::permissions(secret, fs::perms(0600));
    TestSupport::WriteFile(dir.path() / "other" / "README.md", "the other's");
    // The other account's moves, at the moment RefusalsPosix.cpp runs them.
    const std::string linkOverPart =
        "ln -s " + ShellQuoted(secret.string()) + " \"$LUMORA_PART.x\" && mv -T \"$LUMORA_PART.x\" \"$LUMORA_PART\"";
    const std::string folderForLink = "p=$(dirname \"$LUMORA_PART\") && mv \"$p\" \"$p.aside\" && ln -s " +
                                      ShellQuoted((dir.path() / "other").string()) + " \"$p\"";
    const auto at = [](const std::string& moment, const std::string& name, const std::string& command) {
        return Refusing("LUMORA_AT_" + moment + "=" + ShellQuoted(name) + " LUMORA_RUN=" + ShellQuoted(command));
    };
    const auto inPackage = [](const std::string& name, const std::string& command) {
        return [=](const fs::path&, const fs::path& package) {
            return Refusing("LUMORA_AT_PART=" + Library + " LUMORA_RUN=" +
                            ShellQuoted(command + " " + ShellQuoted((package / Plugin / name).string())));
        };
    };
    const Files installedOver = With(older, Without(shipped, "config.json"));
#endif
    struct Case {
        const char* name;
        Files before;  // the server's plugin folder
        int status;
        std::string says;  // in standard output for 0 and 1, else in standard error
        std::function<std::string(const fs::path& server, const fs::path& package)> arrange = {};  // why not run
        std::string environment = "";
        std::optional<Files> after = std::nullopt;  // else as installed for 0 and 1, and unchanged for the rest
        bool locked = false;                        // another install holds the lock
        std::function<void(const fs::path& plugin)> check = {};
        bool fromServer = false;  // the package is the server's folder itself
        // The environment, from where the server and the package are (replaces environment).
        std::function<std::string(const fs::path& server, const fs::path& package)> during = {};
    };
    std::vector<Case> cases = {
        {"a first install", {}, 0, "added    config.json (the built-in configuration)\n"},
        {"an upgrade keeping a changed config.json", With(older, {{"config.json", "{\"ChatCommands\": [\"gfx\"]}"}}), 0,
         "replaced README.md\nadded    config.schema.json\nkept     config.json, not changed\n"},
        {"an upgrade whose kept config.json this version refuses", With(older, {{"config.json", refused}}), 1,
         Tool("check " + ShellQuoted((dir.path() / "refused.json").string())).out},
        {"a server folder without ArkApi",
         {},
         2,
         "holds no ArkApi folder",
         [](const fs::path& server, const fs::path&) { return fs::remove_all(server / "ArkApi"), std::string(); }},
        {"a folder that is no package", older, 2, "is not a Lumora package: it holds no ArkApi",
         [](const fs::path&, const fs::path& package) { return fs::remove_all(package / "ArkApi"), std::string(); }},
        {"a package without its list", older, 2, "is not a Lumora package: it holds no lumora-config",
         [](const fs::path&, const fs::path& package) { return fs::remove(PackageListPath(package)), std::string(); }},
        {"a file of the plugin that is a folder", With(older, {{"README.md", Folder}}), 2,
         "README.md is not a regular file. Nothing was written."},
        {"another install running", older, 2, "is running (it holds ", {}, "", {}, true},
        {"part files an install left when it was killed",
         With(older, {{Library + ".part-123", "half"},
                      {"config.json.part-7", "half"},
                      {"README.md.part-x", "mine"},
                      {"README.md.part-", "mine too"}}),
         0,
         "removed  " + Library + ".part-123 (left by an install that was stopped)\n",
         {},
         "",
         With(Without(shipped, "config.json"), {{"Lumora.pdb", "the admin's symbols"},
                                                {"README.md.part-x", "mine"},
                                                {"README.md.part-", "mine too"},
                                                {"config.json", shipped.at("config.json")}})},
        {"the symbols extracted beside the package", older, 0, "replaced Lumora.pdb\n",
         [&](const fs::path&, const fs::path& package) {
             return WritePackage(package, shipped, LUMORA_VERSION, {{"Lumora.pdb", "new symbols"}, {"Gone.pdb", ""}}),
                    std::string();
         },
         "", With(shipped, {{"Lumora.pdb", "new symbols"}})},
        {"the package extracted into the server's folder",
         {},
         2,
         "the package was extracted into this server's folder",
         [&](const fs::path& server, const fs::path&) { return WritePackage(server, shipped), std::string(); },
         "",
         shipped,
         false,
         {},
         true},
        // A damaged package.
        {"a library cut short", older, 2, Library + " is 4 bytes where the package's list says 11" + damaged,
         [](const fs::path&, const fs::path& package) {
             return TestSupport::WriteFile(package / Plugin / Library, std::string("new\0", 4)), std::string();
         }},
        {"a damaged package for a server without the plugin's folders",
         {},
         2,
         " is 4 bytes where",
         [](const fs::path& server, const fs::path& package) {
             fs::remove_all(server / Plugin.parent_path());
             return TestSupport::WriteFile(package / Plugin / Library, "cut!"), std::string();
         },
         "",
         std::nullopt,
         false,
         [](const fs::path& plugin) { EXPECT_FALSE(fs::exists(plugin.parent_path())) << "no folder is made"; }},
        {"a library changed", older, 2, "the SHA-256 sum of",
         [](const fs::path&, const fs::path& package) {
             return TestSupport::WriteFile(package / Plugin / Library, std::string("NEW\0library", 11)), std::string();
         }},
        {"a package of another version", older, 2,
         "the package is Lumora 0.0.1 and this checker is Lumora " LUMORA_VERSION
         ": install with the package's own checker",
         [&](const fs::path&, const fs::path& package) {
             return WritePackage(package, shipped, "0.0.1"), std::string();
         }},
        {"a file the list does not name", older, 2, "extra.txt is not in the package's list" + damaged,
         [](const fs::path&, const fs::path& package) {
             return TestSupport::WriteFile(package / Plugin / "extra.txt", ""), std::string();
         }},
        {"a file over the size limit", older, 2, Library + " is larger than 64 MiB",
         [](const fs::path&, const fs::path& package) {
             fs::resize_file(package / Plugin / Library, MaxPackageFileBytes + 1);  // sparse: nothing is written
             return std::string();
         }},
        {"a folder in the package", older, 2, "docs is a folder, where a package holds only files" + damaged,
         [](const fs::path&, const fs::path& package) {
             return fs::create_directory(package / Plugin / "docs"), std::string();
         }},
        {"a link in the package", older, 2, "shadow is a link, where a package holds only files" + damaged,
         [&](const fs::path&, const fs::path& package) {
             TestSupport::WriteFile(dir.path() / "secret", "not the package's");
             return TestSupport::MakeSymlink(dir.path() / "secret", package / Plugin / "shadow");
         }},
        // Nothing is written through a link on the way to the plugin folder.
        {"the plugin folder a link",
         {{"README.md", "the victim's"}},
         2,
         LUMORA_NAME + beyond("plugin"),
         [&](const fs::path& server, const fs::path&) { return LinkInstead(server, Plugin, victim("plugin")); }},
        {"ArkApi/Plugins a link",
         {{"README.md", "the victim's"}},
         2,
         "Plugins" + beyond("plugins"),
         [&](const fs::path& server, const fs::path&) {
             return LinkInstead(server, Plugin.parent_path(), victim("plugins"));
         }},
        {"ArkApi a link",
         {{"README.md", "the victim's"}},
         2,
         "ArkApi" + beyond("arkapi"),
         [&](const fs::path& server, const fs::path&) { return LinkInstead(server, "ArkApi", victim("arkapi")); }},
#if defined(_WIN32)
        {"a read-only file in the plugin folder", older, 2, "README.md is read-only: clear its read-only attribute",
         [](const fs::path& server, const fs::path&) {
             fs::permissions(server / Plugin / "README.md",
                             fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                             fs::perm_options::remove);
             return std::string();
         },
         "", std::nullopt, false,
         [](const fs::path& plugin) {
             fs::permissions(plugin / "README.md", fs::perms::owner_write, fs::perm_options::add);
         }},
#else
        {"a named pipe in the package", older, 2, "pipe is a named pipe (FIFO), where a package holds only files",
         [](const fs::path&, const fs::path& package) {
             return mkfifo((package / Plugin / "pipe").c_str(), 0600) == 0 ? "" : std::string("no FIFO made");
         }},
        {"a library the server holds",
         older,
         2,
         "run plugins.unload Lumora at its console, and install again. Nothing was changed.",
         {},
         Refusing("LUMORA_REFUSE_RENAME_TO=" + Library)},
        {"a later file that cannot be replaced",
         older,
         3,
         "The plugin folder now holds this version's " + Library +
             ", PluginInfo.json and the older version's other files",
         {},
         Refusing("LUMORA_REFUSE_RENAME_TO=README.md"),
         With(older, {{Library, shipped.at(Library)}, {"PluginInfo.json", shipped.at("PluginInfo.json")}})},
        {"Ctrl-C while the files are copied",
         older,
         130,
         "stopped: the part files were removed and nothing was changed",
         {},
         Refusing("LUMORA_INTERRUPT_AT_PART=PluginInfo.json")},
        // A full disk: the files must not exceed 8 KiB, and the package's config.json is longer.
        {"config.json that cannot be written whole",
         {},
         4,
         "The plugin's files are installed, but without a config.json the plugin runs on its built-in values",
         [&](const fs::path&, const fs::path& package) {
             return WritePackage(
                        package,
                        With(shipped, {{"config.json", shipped.at("config.json") + std::string(64 << 10, ' ')}})),
                    std::string();
         },
         "ulimit -f 16; ",
         Without(shipped, "config.json")},
        {"modes kept, or the package's without write for others", With(older, {{"config.json", "{}"}}), 0,
         "kept     config.json",
         [](const fs::path& server, const fs::path& package) {
             for (const auto& entry : fs::directory_iterator(package / Plugin)) {
                 fs::permissions(entry.path(), fs::perms::all);
             }
             fs::permissions(server / Plugin / Library, fs::perms(06640));
             return std::string();
         },
         "", std::nullopt, false,
         [](const fs::path& plugin) {
             EXPECT_EQ(fs::status(plugin / Library).permissions(), fs::perms(0640)) << "the permissions, not set-id";
             EXPECT_EQ(fs::status(plugin / "config.schema.json").permissions(), fs::perms(0755)) << "a new file";
         }},
        // The server's own account changes the folders while root installs: nothing it points at is
        // written, changed or shown, and no success is reported over what it put in place.
        {"a part file swapped for a link to a root-only file as it is made",
         older,
         2,
         "was replaced by a link to " + secret.string() + " while the install ran. Nothing was changed.",
         {},
         at("PART", "PluginInfo.json", linkOverPart)},
        {"a part file swapped for a link just before it is renamed",
         older,
         3,
         "README.md is not the file this install wrote: it is now a link to " + secret.string(),
         {},
         at("RENAME", "README.md", linkOverPart),
         With(installedOver, {{"README.md", secretText}}),
         false,
         [](const fs::path& plugin) { EXPECT_TRUE(fs::is_symlink(plugin / "README.md")); }},
        {"the plugin folder moved aside for a link to another folder",
         older,
         3,
         "Lumora was moved or replaced while the install ran (it is now a link to " + (dir.path() / "other").string(),
         {},
         at("PART", Library, folderForLink),
         Files{{"README.md", "the other's"}},
         false,
         [&](const fs::path& plugin) {
             EXPECT_EQ(FolderFiles(plugin.string() + ".aside"), installedOver) << "installed where it checked";
         }},
        {"config.json a link to a file only root may read", older, 5,
         "config.json is a link to " + secret.string() + ", and install checks only a regular file",
         [&](const fs::path& server, const fs::path&) {
             return TestSupport::MakeSymlink(secret, server / Plugin / "config.json");
         },
         "", With(installedOver, {{"config.json", secretText}})},
        {"a list that marks the library optional", older, 2,
         "marks " + Library + " optional, which only the symbols (.pdb) may be)" + damaged,
         [&](const fs::path&, const fs::path& package) {
             fs::remove(package / Plugin / Library);
             return WritePackage(package, Without(shipped, Library), LUMORA_VERSION, {{Library, ""}}), std::string();
         }},
        {"a library changed in the package while it is copied",
         older,
         2,
         Library + " changed while it was copied. Nothing was changed.",
         {},
         "",
         std::nullopt,
         false,
         {},
         false,
         inPackage(Library, "printf NEW-library >")},
        {"a library grown to 1 GiB while it is copied",
         older,
         2,
         "it grew past the 11 bytes its list gives while it was copied. Nothing was changed.",
         {},
         "",
         std::nullopt,
         false,
         {},
         false,
         inPackage(Library, "truncate -s 1G")},
        {"a package file swapped for a link while the files are copied",
         older,
         2,
         "Lumora/PluginInfo.json: it is a link now. Nothing was changed.",
         {},
         "",
         std::nullopt,
         false,
         {},
         false,
         inPackage("PluginInfo.json", "ln -sf " + ShellQuoted(secret.string()))},
        {"a disk too small for the library, into a server without the plugin's folders",
         {},
         2,
         ": File too large. Nothing was changed.",
         [&](const fs::path& server, const fs::path& package) {
             fs::remove_all(server / Plugin.parent_path());
             return WritePackage(package, With(shipped, {{Library, std::string(64 << 10, 'x')}})), std::string();
         },
         "ulimit -f 16; ",
         std::nullopt,
         false,
         [](const fs::path& plugin) { EXPECT_FALSE(fs::exists(plugin.parent_path())) << "the folders made are gone"; }},
        {"new files and folders take their folder's owner",
         {},
         0,
         "added    config.json",
         [](const fs::path& server, const fs::path&) {
             if (geteuid() != 0) {
                 return std::string("only root gives files away");
             }
             fs::remove_all(server / Plugin);
             return chown((server / Plugin.parent_path()).c_str(), 4321, 4322) == 0 ? "" : std::string("no chown");
         },
         "",
         std::nullopt,
         false,
         [](const fs::path& plugin) {
             for (const fs::path& path : {plugin, plugin / "config.json", plugin / Library}) {
                 struct stat status {};
                 ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
                 EXPECT_EQ(std::make_pair(status.st_uid, status.st_gid), std::make_pair(4321u, 4322u)) << path;
             }
         }},
#endif
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const fs::path server = dir.path() / ("server-" + std::to_string(i));
        const fs::path package = dir.path() / ("package-" + std::to_string(i));
        fs::create_directories(server / Plugin);
        WritePackage(package, shipped);
        for (const auto& [name, text] : c.before) {
            if (text == Folder) {
                fs::create_directories(server / Plugin / name);
            } else {
                TestSupport::WriteFile(server / Plugin / name, text);
            }
        }
        if (const std::string skipped = c.arrange ? c.arrange(server, package) : ""; !skipped.empty()) {
            std::cout << "the row \"" << c.name << "\" is skipped: " << skipped << '\n';
            continue;
        }
        std::unique_ptr<InstallLock> held;
        if (c.locked) {
            std::string failed;
            ASSERT_EQ(InstallLock::Take(InstallLockPath(server), held, failed), InstallLock::Outcome::Taken) << failed;
        }
        const fs::path from = c.fromServer ? server : package;
        const auto result = Tool("install " + ShellQuoted(server.string()) + " " + ShellQuoted(from.string()),
                                 c.during ? c.during(server, package) : c.environment);
        EXPECT_EQ(result.status, c.status) << c.name << '\n' << result.out << result.err;
        EXPECT_THAT(c.status <= 1 ? result.out : result.err, HasSubstr(c.says)) << c.name;

        Files expected = c.before;
        if (c.after) {
            expected = *c.after;
        } else if (c.status <= 1) {
            expected = With(c.before, c.before.contains("config.json") ? Without(shipped, "config.json") : shipped);
        }
        if (fs::exists(server / "ArkApi")) {
            EXPECT_EQ(FolderFiles(server / Plugin), expected) << c.name << ": nothing is left beside the files";
        } else {
            EXPECT_EQ(FolderFiles(server), Files{}) << c.name << ": no folder is made";
        }
        if (c.check) {
            c.check(server / Plugin);
        }
#if !defined(_WIN32)
        EXPECT_THAT(result.out + result.err, Not(HasSubstr("hunter2"))) << c.name << ": nothing of it is shown";
        struct stat status {};
        ASSERT_EQ(stat(secret.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u) << c.name;
        EXPECT_EQ(status.st_uid, geteuid()) << c.name;
        EXPECT_EQ(TestSupport::ReadFile(secret), secretText) << c.name;
        EXPECT_EQ(FolderFiles(dir.path() / "other"), (Files{{"README.md", "the other's"}})) << c.name;
#endif
    }
}

#if defined(_WIN32)
// Wine cannot make links: the seam makes install's own checks take one name on the way for a link,
// each in turn, and the install run in this process refuses it as it refuses a real one.
TEST_F(InstallTest, WhatWindowsShowsAsALinkIsRefused) {
    static fs::path linked;
    TakenForLink = [](const fs::path& path) { return path == linked; };
    const Files older = {{Library, "old library"}, {"README.md", "old guide"}, {"config.json", "{}"}};
    const std::string link = " is a link to a place the system does not name";
    const struct {
        fs::path at;
        int status;
        std::string says;
    } cases[] = {
        {"ArkApi", 2, "ArkApi" + link + ": install writes only into the server's own folders, never through a link."},
        {"ArkApi/Plugins", 2, "Plugins" + link},
        {Plugin, 2, LUMORA_NAME + link},
        {Plugin / "README.md", 2, "README.md is not a regular file. Nothing was written."},
        {Plugin / "config.json", ConfigUnchecked, "config.json is a link to a place the system does not name, and "},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const fs::path server = dir.path() / ("server-" + std::to_string(i));
        const fs::path package = dir.path() / ("package-" + std::to_string(i));
        for (const auto& [name, text] : older) {
            TestSupport::WriteFile(server / Plugin / name, text);
        }
        WritePackage(package,
                     {{Library, "new"}, {"PluginInfo.json", "{}"}, {"README.md", "new"}, {"config.json", "{}"}});
        linked = server / cases[i].at;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const InstallOutcome outcome = InstallPluginFolder(server, package);
        ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(outcome.status, cases[i].status) << cases[i].at << ": " << err;
        EXPECT_THAT(err, HasSubstr(cases[i].says)) << cases[i].at;
        if (cases[i].status == NothingWritten) {
            EXPECT_EQ(FolderFiles(server / Plugin), older) << cases[i].at;
        }
    }
    TakenForLink = nullptr;
}

// What install holds cannot be moved, replaced or removed by anyone while it holds it.
TEST_F(InstallTest, HeldFoldersAndPartFilesStayWhereTheyAre) {
    fs::create_directories(dir.path() / "server" / "ArkApi");
    FolderOpened server = OpenNamedFolder(dir.path() / "server");
    ASSERT_EQ(server.kind, EntryKind::Folder);
    FolderOpened arkApi = OpenFolderIn(server.folder, "ArkApi");
    ASSERT_EQ(arkApi.kind, EntryKind::Folder);
    std::string failed;
    std::unique_ptr<PartFile> part = PartFile::Make(arkApi.folder, "Lumora.dll", failed);
    ASSERT_TRUE(part) << failed;
    const fs::path partPath = dir.path() / "server" / "ArkApi" / part->Name();
    EXPECT_FALSE(MoveFileExW((dir.path() / "server" / "ArkApi").c_str(), (dir.path() / "aside").c_str(), 0));
    EXPECT_FALSE(MoveFileExW(partPath.c_str(), (dir.path() / "aside.dll").c_str(), 0));
    EXPECT_FALSE(DeleteFileW(partPath.c_str()));
    EXPECT_TRUE(part->AtItsName());
    EXPECT_EQ(part->MoveTo("Lumora.dll", false), "");
    EXPECT_EQ(EntryIn(arkApi.folder, "Lumora.dll").id, part->Id());
    std::unique_ptr<PartFile> second = PartFile::Make(arkApi.folder, "Lumora.dll", failed);
    ASSERT_TRUE(second) << failed;
    EXPECT_NE(second->MoveTo("Lumora.dll", false), "") << "nothing is replaced without replace";
    const fs::path secondName = second->Name();
    second.reset();
    EXPECT_EQ(EntryIn(arkApi.folder, secondName).kind, EntryKind::Missing) << "a part not moved is removed";
}
#endif

// A usage error writes nothing, and a reader that goes away does not end the install half-way.
TEST_F(InstallTest, UsageAndOutputThatCannotBeWritten) {
    const auto empty = Tool("install \"\"");
    EXPECT_EQ(empty.status, 2);
    EXPECT_THAT(empty.err, HasSubstr("install needs the SERVER_FOLDER that holds ArkApi"));
    const auto help = Tool("--help");
    EXPECT_THAT(help.out, HasSubstr("install's exit status:\n  0  installed"));
    EXPECT_THAT(help.out, HasSubstr("\n  4  the plugin's files were installed, but config.json could not be written"));
#if !defined(_WIN32)
    const fs::path server = dir.path() / "server";
    fs::create_directories(server / "ArkApi");
    WritePackage(dir.path() / "package", {{Library, "x"}, {"PluginInfo.json", "{}"}, {"config.json", "{}"}});
    // The reader is gone before the install writes its first line.
    const auto run = TestSupport::RunCommand(
        "{ sleep 0.2; " + ShellQuoted(LUMORA_CONFIG_PATH) + " install " + ShellQuoted(server.string()) + " " +
        ShellQuoted((dir.path() / "package").string()) + " 2>/dev/null; echo $? >" +
        ShellQuoted((dir.path() / "status").string()) + "; } | true");
    EXPECT_EQ(TestSupport::ReadFile(dir.path() / "status"), std::to_string(OutputLostStatus) + "\n")
        << "standard output could not be written";
    EXPECT_EQ(FolderFiles(server / Plugin).size(), 3u) << "installed whole";
#endif
}

}  // namespace
