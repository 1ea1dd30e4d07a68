#include "func.h"

#include "messages.h"
#include "sjis.h"
#include "spawn.h"
#include "textfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void SetDisplayMode(TDisplay& display, int width, int height, int bitsPerPixel, const TShowMessage& show) {
    TDevMode mode;
    for (int n = 0; display.EnumDisplaySettings(n, mode); ++n) {
        if (mode.BitsPerPixel == bitsPerPixel && mode.Width == width && mode.Height == height) {
            display.ChangeDisplaySettings(mode);
            return;
        }
    }
    if (show) show(msg::ModeNotSupported());
}

TWindowPlacement ApplyScreenMode(bool fullScreen, TDisplay& display, const TSavedScreen& saved,
                                 const TShowMessage& show) {
    TWindowPlacement p;
    if (fullScreen) {
        SetDisplayMode(display, 640, 480, saved.BitsPerPixel, show);
        p.FullScreen = true;
        p.Width = display.Native().Width;
        p.Height = display.Native().Height;
        return p;
    }
    if (display.Current().Width != saved.Width) SetDisplayMode(display, saved.Width, saved.Height, saved.BitsPerPixel, show);
    p.Width = 638;
    p.Height = 475;
    p.Left = (saved.Width - 638) / 2;
    // 427, not the height: the window sits a little below the centre.
    p.Top = (saved.Height - 427) / 2;
    return p;
}

TFittedArea FitDisplayArea(int screenWidth, int screenHeight, int areaWidth, int areaHeight) {
    TFittedArea a;
    if (screenWidth <= 0 || screenHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return a;
    a.Scale = std::min(double(screenWidth) / areaWidth, double(screenHeight) / areaHeight);
    // The side that limits the scale fills the screen exactly.
    a.Width = std::min(screenWidth, static_cast<int>(std::lround(areaWidth * a.Scale)));
    a.Height = std::min(screenHeight, static_cast<int>(std::lround(areaHeight * a.Scale)));
    a.Left = (screenWidth - a.Width) / 2;
    a.Top = (screenHeight - a.Height) / 2;
    return a;
}

TPoint ProgressBarPlace(int statusBarTop) { return TPoint{400, statusBarTop + 3}; }

std::string ExpandLongPath(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The folder part without its closing "/", except for the root.
    if (dir.size() > 1) dir.pop_back();
    if (name.empty()) return dir;
    if (!dir.empty()) dir = ExpandLongPath(dir);
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::string found = textfile::ResolveName(dir, name);
    struct stat st {};
    if (::lstat(textfile::OsPath(found).c_str(), &st) != 0) return dir + name + "/";
    std::string stored = found.substr(found.rfind('/') == std::string::npos ? 0 : found.rfind('/') + 1);
    bool folder = ::stat(textfile::OsPath(found).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return dir + stored + (folder ? "/" : "");
}

std::string GetComputerNameText() {
    char buf[100] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) return std::string();
    std::string name(buf);
    // The short name: a fully qualified host name is cut at its first dot.
    return name.substr(0, name.find('.'));
}

bool ReadRegistryDefault(THKey root, const std::string& subKey, std::string& value) {
    TRegKey key;
    if (RegOpenKeyEx(root, subKey, key) != ERROR_SUCCESS_REG) return false;
    std::string v;
    RegQueryValue(key, v, 260);
    value = v;
    RegCloseKey(key);
    return true;
}

namespace {

// Problem files name programs in Shift-JIS; they start by their file-system names.
bool SpawnDetached(const std::vector<std::string>& args) {
    std::vector<std::string> os;
    for (const std::string& a : args) os.push_back(textfile::OsPath(a));
    return proc::SpawnDetached(os);
}

}  // namespace

std::function<bool(const std::string& path)> ShellOpenDocument = [](const std::string& path) {
    return proc::RunAndWait({"xdg-open", textfile::OsPath(path)}, kOpenerWaitMs);
};
std::function<bool(const std::vector<std::string>& argv)> StartProgram = SpawnDetached;

std::vector<std::string> SplitCommandLine(const std::string& command) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (size_t i = 0; i < command.size(); ++i) {
        char c = command[i];
        if (sjis::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < command.size()) {
            cur += c;
            cur += command[++i];
            any = true;
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

bool OpenDocument(const std::string& path) {
    if (ShellOpenDocument && ShellOpenDocument(path)) return true;
    std::string className, command;
    if (!ReadRegistryDefault(THKey::ClassesRoot, ".htm", className)) return false;
    if (!ReadRegistryDefault(THKey::ClassesRoot, className + "\\shell\\open\\command", command)) return false;
    // The placeholder goes with the blank before it: the path is added as
    // an argument of its own, whatever blanks it holds.
    size_t p = command.find("\"%1\"");
    if (p != std::string::npos) {
        size_t from = p > 0 ? p - 1 : p;
        command.erase(from, p + 4 - from);
    } else if ((p = command.find("%1")) != std::string::npos) {
        size_t from = p > 0 ? p - 1 : p;
        command.erase(from, p + 2 - from);
    }
    std::vector<std::string> argv = SplitCommandLine(command);
    if (argv.empty()) return false;
    argv.push_back(path);
    return StartProgram && StartProgram(argv);
}

bool IsPrivateFolder(const std::string& path, unsigned uid) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & 077) == 0;
}

std::string PrivateRuntimeFolder(const std::string& runtimeDir, unsigned uid, const std::string& tmp) {
    if (IsPrivateFolder(runtimeDir, uid)) return runtimeDir;
    const std::string own = tmp + (!tmp.empty() && tmp.back() == '/' ? "" : "/") + "ruzozu-" + std::to_string(uid);
    // mkdir fails where the name is taken; only a folder that is ours and
    // closed to others is used, whoever made it.
    ::mkdir(own.c_str(), 0700);
    return IsPrivateFolder(own, uid) ? own : std::string();
}

bool IsExecutableProgram(const std::string& path) {
    const std::string os = textfile::OsPath(path);
    struct stat st {};
    const int fd = textfile::OpenPlainFile(path, st);
    if (fd < 0) return false;
    char head[4] = {};
    const bool program = (st.st_mode & 0111) != 0 && ::read(fd, head, 4) >= 2 &&
                         (std::memcmp(head, "\x7f" "ELF", 4) == 0 || (head[0] == '#' && head[1] == '!'));
    ::close(fd);
    return program && ::access(os.c_str(), X_OK) == 0;
}
