#include "func.h"

#include "messages.h"
#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Messages {
    std::vector<std::string> shown;
    TShowMessage Sink() {
        return [this](const std::string& s) { shown.push_back(s); };
    }
};

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(DisplayMode, ChangesToAnOfferedModeOrReports) {
    Messages m;
    TDisplay d(1024, 768, 24);
    SetDisplayMode(d, 640, 480, 24, m.Sink());
    EXPECT_EQ(d.Current().Width, 640);
    EXPECT_EQ(d.Current().Height, 480);
    EXPECT_TRUE(m.shown.empty());

    // 640 x 480 offered only at another depth: the message, the mode stays.
    SetDisplayMode(d, 1024, 768, 16, m.Sink());
    ASSERT_EQ(m.shown.size(), 1u);
    EXPECT_EQ(m.shown[0], msg::ModeNotSupported());
    EXPECT_EQ(d.Current().Width, 640);

    TDisplay small(600, 400, 24);
    SetDisplayMode(small, 640, 480, 24, m.Sink());
    EXPECT_EQ(m.shown.size(), 2u);
    EXPECT_EQ(small.Current().Width, 600);
}

TEST(ScreenMode, FullScreenAndBackRestoresTheRememberedMode) {
    Messages m;
    TDisplay d(1024, 768, 24);
    const TSavedScreen saved{1024, 768, 24};
    TWindowPlacement p = ApplyScreenMode(true, d, saved, m.Sink());
    EXPECT_TRUE(p.FullScreen);
    EXPECT_EQ(p.Width, 1024);  // the window still covers the real screen
    EXPECT_EQ(d.Current().Width, 640);

    // Leaving full screen: the current width is 640, so the mode goes back
    // at once; the window sits a little below the centre.
    p = ApplyScreenMode(false, d, saved, m.Sink());
    EXPECT_FALSE(p.FullScreen);
    EXPECT_EQ(d.Current().Width, 1024);
    EXPECT_EQ(p.Left, (1024 - 638) / 2);
    EXPECT_EQ(p.Top, (768 - 427) / 2);
    EXPECT_EQ(p.Width, 638);
    EXPECT_EQ(p.Height, 475);
    const int changes = d.Changes();
    ApplyScreenMode(false, d, saved, m.Sink());
    EXPECT_EQ(d.Changes(), changes);  // already in the remembered mode
    EXPECT_TRUE(m.shown.empty());

    // A depth the display does not offer at 640 x 480: the message, and
    // the window is still made full screen.
    TDisplay other(1024, 768, 32);
    p = ApplyScreenMode(true, other, saved, m.Sink());
    EXPECT_EQ(m.shown.size(), 1u);
    EXPECT_TRUE(p.FullScreen);
    EXPECT_EQ(other.Current().Width, 1024);

    TPoint bar = ProgressBarPlace(411);
    EXPECT_EQ(bar.X, 400);
    EXPECT_EQ(bar.Y, 414);
}

TEST(ScreenMode, TheDisplayAreaFillsTheLargest4By3RectangleCentred) {
    struct Case {
        int w, h;
        TFittedArea want;
    };
    const Case cases[] = {
        {640, 480, {1.0, 0, 0, 640, 480}},
        {1024, 768, {1.6, 0, 0, 1024, 768}},
        {1366, 768, {1.6, 171, 0, 1024, 768}},     // bars left and right
        {1920, 1080, {2.25, 240, 0, 1440, 1080}},
        {3840, 2160, {4.5, 480, 0, 2880, 2160}},
        {1280, 1024, {2.0, 0, 32, 1280, 960}},      // bars above and below
        {800, 450, {0.9375, 100, 0, 600, 450}},     // smaller than the layout
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const TFittedArea a = FitDisplayArea(c.w, c.h);
        EXPECT_DOUBLE_EQ(a.Scale, c.want.Scale);
        EXPECT_EQ(a.Left, c.want.Left);
        EXPECT_EQ(a.Top, c.want.Top);
        EXPECT_EQ(a.Width, c.want.Width);
        EXPECT_EQ(a.Height, c.want.Height);
    }
    // An odd size: within the screen, the aspect kept to a pixel.
    const TFittedArea odd = FitDisplayArea(1001, 701);
    EXPECT_LE(odd.Width, 1001);
    EXPECT_EQ(odd.Height, 701);
    EXPECT_LE(std::abs(odd.Width * 3 - odd.Height * 4), 4);
    EXPECT_EQ(odd.Left, (1001 - odd.Width) / 2);
    // No screen (a window not yet placed): scale 1, nothing to show.
    const TFittedArea none = FitDisplayArea(0, 0);
    EXPECT_DOUBLE_EQ(none.Scale, 1.0);
    EXPECT_EQ(none.Width, 0);
}

TEST(LongPath, PartsTakeTheirStoredSpelling) {
    TempDir t;
    std::filesystem::create_directories(t / "Drill Folder/Object");
    WriteFile(t / "Drill Folder/Kanji.QZB", "x");
    const std::string base = t.path();

    EXPECT_EQ(ExpandLongPath(base + "drill folder/kanji.qzb"), base + "Drill Folder/Kanji.QZB");
    EXPECT_EQ(ExpandLongPath(base + "DRILL FOLDER/object"), base + "Drill Folder/Object/");
    // A path ending in "/" comes back as its folder without the "/".
    EXPECT_EQ(ExpandLongPath(base + "Drill Folder/"), base + "Drill Folder");
    // A part that does not exist is kept and gets a "/".
    EXPECT_EQ(ExpandLongPath(base + "drill folder/none.qzb"), base + "Drill Folder/none.qzb/");
    EXPECT_EQ(ExpandLongPath("/"), "/");

    // A relative path stays relative.
    int old = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::chdir(base.c_str()), 0);
    std::string rel = ExpandLongPath("drill folder/KANJI.qzb");
    ASSERT_EQ(::fchdir(old), 0);
    ::close(old);
    EXPECT_EQ(rel, "Drill Folder/Kanji.QZB");

    // Japanese names are matched and kept in Shift-JIS.
    std::filesystem::create_directories(t / "漢字");
    EXPECT_EQ(ExpandLongPath(base + sjis::L("漢字")), base + sjis::L("漢字/"));
}

TEST(ComputerName, IsTheShortHostName) {
    std::string name = GetComputerNameText();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find('.'), std::string::npos);
    EXPECT_LT(name.size(), 100u);
}

TEST(Registry, DefaultValuesFromOurFile) {
    TempDir t;
    SetRegistryFile(t / "registry.ini");
    std::string value = "kept";
    EXPECT_FALSE(ReadRegistryDefault(THKey::ClassesRoot, ".htm", value));  // no file at all
    WriteFile(t / "registry.ini", "[HKEY_CLASSES_ROOT\\.htm]\r\n@=htmlfile\r\n[HKEY_CLASSES_ROOT\\empty]\r\n"
                                  "[HKEY_CLASSES_ROOT\\long]\r\n@=" + std::string(300, 'a') + "\r\n");
    EXPECT_FALSE(ReadRegistryDefault(THKey::ClassesRoot, ".html", value));
    EXPECT_EQ(value, "kept");
    EXPECT_FALSE(ReadRegistryDefault(THKey::CurrentUser, ".htm", value));  // another root
    EXPECT_TRUE(ReadRegistryDefault(THKey::ClassesRoot, ".HTM", value));
    EXPECT_EQ(value, "htmlfile");
    EXPECT_TRUE(ReadRegistryDefault(THKey::ClassesRoot, "empty", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(ReadRegistryDefault(THKey::ClassesRoot, "long", value));
    EXPECT_EQ(value.size(), 259u);
    SetRegistryFile("");
}

TEST(CommandLine, QuotesGroupBlanks) {
    EXPECT_EQ(SplitCommandLine("\"/opt/My Browser/browser\" -new  x"),
              (std::vector<std::string>{"/opt/My Browser/browser", "-new", "x"}));
    EXPECT_EQ(SplitCommandLine("  "), std::vector<std::string>{});
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (std::vector<std::string>{"a", "", "b"}));
}

class OpenDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegistryFile(t / "registry.ini");
        savedShell = ShellOpenDocument;
        savedStart = StartProgram;
    }
    void TearDown() override {
        ShellOpenDocument = savedShell;
        StartProgram = savedStart;
        SetRegistryFile("");
    }
    void Browser(const std::string& command) {
        WriteFile(t / "registry.ini", "[HKEY_CLASSES_ROOT\\.htm]\r\n@=htmlfile\r\n"
                                      "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n@=\"" + command + "\"\r\n");
    }
    TempDir t;
    std::function<bool(const std::string&)> savedShell;
    std::function<bool(const std::vector<std::string>&)> savedStart;
};

TEST_F(OpenDocumentTest, DesktopFirstThenTheWebBrowser) {
    std::vector<std::string> started;
    StartProgram = [&](const std::vector<std::string>& argv) {
        started = argv;
        return true;
    };
    ShellOpenDocument = [](const std::string&) { return true; };
    EXPECT_TRUE(OpenDocument("/m/QZB Maker.html"));
    EXPECT_TRUE(started.empty());

    ShellOpenDocument = [](const std::string&) { return false; };
    EXPECT_FALSE(OpenDocument("/m/QZB Maker.html"));  // no web browser known

    Browser("\"/opt/Web Browser/browser\" -nohome \"%1\"");
    EXPECT_TRUE(OpenDocument("/m/QZB Maker.html"));
    EXPECT_EQ(started, (std::vector<std::string>{"/opt/Web Browser/browser", "-nohome", "/m/QZB Maker.html"}));

    Browser("browser %1 -x");
    EXPECT_TRUE(OpenDocument("/m/a b.html"));
    EXPECT_EQ(started, (std::vector<std::string>{"browser", "-x", "/m/a b.html"}));
}

TEST_F(OpenDocumentTest, ThePathReachesTheProgramAsOneArgument) {
    ShellOpenDocument = [](const std::string&) { return false; };
    const std::string script = t / "browser.sh";
    WriteFile(script, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"$(dirname \"$0\")/args.txt\"\n");
    ::chmod(script.c_str(), 0755);
    Browser("\"" + script + "\" \"%1\"");
    EXPECT_TRUE(OpenDocument("/m/QZB Maker.html"));
    std::string args;
    // The browser runs on its own: its file is waited for, 20 s at most (a
    // bound on a hang, far beyond the time a shell takes to start).
    for (int i = 0; i < 1000 && (args = Slurp(t / "args.txt")).find('\n', 2) == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(args, "1\n/m/QZB Maker.html\n");

    Browser("\"" + t.path() + "no such browser\" \"%1\"");
    EXPECT_FALSE(OpenDocument("/m/QZB Maker.html"));
}

// The desktop's opener as the program really calls it, here a script on
// the search path: its exit status decides whether the web browser the
// registry names is tried.
TEST_F(OpenDocumentTest, TheBrowserWhenTheDesktopOpenerFails) {
    const char* before = std::getenv("PATH");
    const std::string savedPath = before ? before : "";
    const std::string bin = t / "bin";
    std::filesystem::create_directories(bin);
    auto opener = [&](int status) {
        WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + t / "desktop.txt" +
                                         "\"\nexit " + std::to_string(status) + "\n");
        ::chmod((bin + "/xdg-open").c_str(), 0755);
    };
    ::setenv("PATH", (bin + ":" + savedPath).c_str(), 1);
    std::vector<std::string> started;
    StartProgram = [&](const std::vector<std::string>& argv) {
        started = argv;
        return true;
    };
    Browser("browser \"%1\"");
    // The opener fails (no program for the file, no desktop): the browser.
    opener(4);
    EXPECT_TRUE(OpenDocument("/m/ruzozu.html"));
    EXPECT_EQ(Slurp(t / "desktop.txt"), "/m/ruzozu.html\n");
    EXPECT_EQ(started, (std::vector<std::string>{"browser", "/m/ruzozu.html"}));
    // The opener succeeds: no browser.
    started.clear();
    opener(0);
    EXPECT_TRUE(OpenDocument("/m/ruzozu.html"));
    EXPECT_EQ(Slurp(t / "desktop.txt"), "/m/ruzozu.html\n/m/ruzozu.html\n");
    EXPECT_TRUE(started.empty());
    // No opener at all: the browser.
    std::filesystem::remove(bin + "/xdg-open");
    ::setenv("PATH", bin.c_str(), 1);
    EXPECT_TRUE(OpenDocument("/m/ruzozu.html"));
    EXPECT_EQ(started, (std::vector<std::string>{"browser", "/m/ruzozu.html"}));
    // Both fail: so does the opening, and the caller says so.
    opener(1);
    StartProgram = [](const std::vector<std::string>&) { return false; };
    EXPECT_FALSE(OpenDocument("/m/ruzozu.html"));
    ::setenv("PATH", savedPath.c_str(), 1);
}

TEST(RuntimeFolder, OnlyAPrivateFolderOfThisUser) {
    TempDir t;
    const unsigned me = ::getuid();
    const std::string runtime = t / "run";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    EXPECT_EQ(PrivateRuntimeFolder(runtime, me, t.path()), runtime);
    // A runtime folder others may enter is passed over for a private one.
    ::chmod(runtime.c_str(), 0755);
    const std::string own = t / ("ruzozu-" + std::to_string(me));
    EXPECT_EQ(PrivateRuntimeFolder(runtime, me, t.path()), own);
    EXPECT_TRUE(IsPrivateFolder(own, me));
    EXPECT_EQ(PrivateRuntimeFolder("", me, t.path()), own);  // no XDG_RUNTIME_DIR
    // The name taken by something that is not this user's private folder:
    // none at all (another account must not be able to stand in).
    const unsigned other = me + 4242;
    const std::string taken = t / ("ruzozu-" + std::to_string(other));
    ASSERT_EQ(::mkdir(taken.c_str(), 0777), 0);
    EXPECT_EQ(PrivateRuntimeFolder("", other, t.path()), "");
    ::chmod(taken.c_str(), 0700);
    EXPECT_EQ(PrivateRuntimeFolder("", other, t.path()), "");  // ours by uid, not by name
    ::rmdir(taken.c_str());
    ASSERT_EQ(::symlink(own.c_str(), taken.c_str()), 0);
    EXPECT_FALSE(IsPrivateFolder(taken, me));  // a link is not taken
    WriteFile(t / "file", "x");
    EXPECT_FALSE(IsPrivateFolder(t / "file", me));
}

TEST(ProgramLine, OnlyExecutableProgramsRun) {
    TempDir t;
    auto make = [&](const char* name, const std::string& bytes, mode_t mode) {
        WriteFile(t / name, bytes);
        ::chmod((t / name).c_str(), mode);
        return t / name;
    };
    EXPECT_TRUE(IsExecutableProgram(make("run.sh", "#!/bin/sh\n", 0755)));
    EXPECT_TRUE(IsExecutableProgram(make("tool", std::string("\x7f" "ELF\2\1\1", 7), 0755)));
    // Documents with the execute bit, as shares and vfat mark every file.
    EXPECT_FALSE(IsExecutableProgram(make("notes.txt", "#not a script\n", 0755)));
    EXPECT_FALSE(IsExecutableProgram(make("page.html", "<html>", 0777)));
    EXPECT_FALSE(IsExecutableProgram(make("x", "#", 0755)));
    EXPECT_FALSE(IsExecutableProgram(make("plain.sh", "#!/bin/sh\n", 0644)));  // no execute bit
    EXPECT_FALSE(IsExecutableProgram(t.path()));
    EXPECT_FALSE(IsExecutableProgram(t / "missing"));
    ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0755), 0);
    EXPECT_FALSE(IsExecutableProgram(t / "fifo"));  // looked at without waiting
}
