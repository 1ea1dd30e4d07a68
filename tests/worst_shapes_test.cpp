// Every reader of outside input against the worst shapes a file can take
// under the size caps: millions of empty lines, one enormous line, deep
// nesting, many columns, huge counts.  Each case runs in a child process of
// its own, which reports its peak memory (VmHWM); the case fails when the
// child crashes, when the peak passes the case's bound, or when it does not
// finish within the hang bound (ten times and more what it takes, never a
// speed target).
//
// To add a case: one line in kCases,
// with a function that writes the input into the folder it
// is given, reads it as the program does and returns "" when the outcome is
// the sound one, or what went wrong.
#include "../vaduvov/app/csv_model.h"
#include "../vaduvov/app/func.h"
#include "SPIBmp.h"
#include "SPIs.h"
#include "hostile_pictures.h"
#include "ini_text.h"
#include "metafile.h"
#include "metafile_writer.h"
#include "recorder.h"
#include "roster.h"
#include "sjis.h"
#include "tempdir.h"
#include "test_form.h"
#include "textfile.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TRun = std::function<std::string(const TempDir& dir)>;

struct TShapeCase {
    const char* Name;
    TRun Run;
    // The bounds the case is held to: the picture budget's 300 MB, and a
    // hang bound far beyond what any case takes (under a second or two).
    long PeakMiB = 300;
    int HangSeconds = 60;
};

std::ostream& operator<<(std::ostream& os, const TShapeCase& c) { return os << c.Name; }

const size_t kMiB = size_t(1) << 20;

// ------------------------------------------------------------ helpers

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmHWM:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// The peak from here on: what the parent held at the fork is not counted.
void ResetPeak() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
}

void Write(const std::string& path, const std::string& bytes) {
    textfile::WriteFileAtomic(path, bytes, textfile::TFlush::NoSync);
}

// A file of n bytes c, written in blocks (the test itself stays small).
void WriteFill(const std::string& path, const std::string& head, size_t n, char c, const std::string& tail = "") {
    FILE* f = std::fopen(textfile::OsPath(path).c_str(), "wb");
    if (!f) return;
    std::fwrite(head.data(), 1, head.size(), f);
    const std::string block(kMiB, c);
    for (size_t done = 0; done < n; done += block.size())
        std::fwrite(block.data(), 1, std::min(block.size(), n - done), f);
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
}

std::string Expect(bool ok, const std::string& what) { return ok ? std::string() : what; }

// The program's folder: the helper programs and plug-ins stand there.
std::string BinDir() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    const std::string self(buf, size_t(std::max<ssize_t>(n, 0)));
    return self.substr(0, self.rfind('/') + 1);
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "worst_shapes";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// ------------------------------------------------------------ problem files

// Opens the problem at dir/"p.qzb" in an engine over a recording view.
struct Drill {
    DrillFixture F;
    std::string Open(const std::string& bytes) {
        WriteFill(F.Dir / "p.qzb", bytes, 0, 0);
        F.Engine.LoadProblemFile(F.Dir / "p.qzb");
        return F.Msg();
    }
    std::string OpenFill(const std::string& head, size_t n, char c, const std::string& tail = "") {
        WriteFill(F.Dir / "p.qzb", head, n, c, tail);
        F.Engine.LoadProblemFile(F.Dir / "p.qzb");
        return F.Msg();
    }
};

const char* kNoBlock = "この問題ファイルには、ブロックがありません。";
const char* kTooManyLines = "行が多すぎます。\n1つの問題ファイルに入る行は100000行までです。";

std::string ProblemOfLineFeeds(const TempDir&) {
    Drill d;
    return Expect(d.OpenFill("", 60 * kMiB, '\n') == kNoBlock && d.F.Engine.ProblemLines.capacity() == 0,
                  "60 MB of LF: " + d.F.Msg());
}

std::string ProblemOfCrAtTheCap(const TempDir&) {
    Drill d;
    return Expect(d.OpenFill("", size_t(textfile::kMaxReadBytes), '\r') == kNoBlock, "64 MiB of CR: " + d.F.Msg());
}

std::string ProblemThenManyLines(const TempDir&) {
    Drill d;
    const bool refused = d.OpenFill("~T\r\ntitle\r\n/\r\n", 60 * kMiB, '\n', "a\r\n/\r\n") == kTooManyLines;
    return Expect(refused && d.F.Engine.ProblemLines.empty(), "a problem, then 60 MB of LF: " + d.F.Msg());
}

std::string ProblemOfManyTinyBlocks(const TempDir&) {
    std::string blocks;
    for (int i = 0; i < 1 << 16; ++i) blocks += "*\r/\r";
    Drill d;
    std::string bytes;
    while (bytes.size() < 60 * kMiB) bytes += blocks;
    return Expect(d.Open(bytes) == kTooManyLines, "60 MB of tiny blocks: " + d.F.Msg());
}

std::string ProblemOfOneHugeTitleLine(const TempDir&) {
    Drill d;
    d.OpenFill("~T\r\n", 60 * kMiB, 'x', "\r\n/\r\na\r\n/\r\n");
    const bool opened = d.F.Engine.BlockCount == 2 && d.F.Engine.ProblemLines[1].size() == 60 * kMiB;
    return Expect(opened && d.F.View.Lines[0].size() <= 512, "one 60 MB title line: " + d.F.Msg());
}

std::string ProgressOfCrBesideAProblem(const TempDir&) {
    Drill d;
    WriteFill(d.F.Engine.UserScoreFolder + "p.sc", "0\r\n", size_t(textfile::kMaxReadBytes) - 3, '\r');
    d.Open("a\r\n/\r\nb\r\n/\r\n");
    return Expect(d.F.Engine.QuestionCount == 2 && !d.F.Engine.Resumed, "64 MiB progress file: " + d.F.Msg());
}

std::string ProgressOfOneHugeLine(const TempDir&) {
    Drill d;
    WriteFill(d.F.Engine.UserScoreFolder + "p.sc", "0\r\n0\r\n0\r\n", 60 * kMiB, 'p', "\r\n");
    d.Open("a\r\n/\r\n");
    return Expect(d.F.Engine.QuestionCount == 1 && !d.F.Engine.Resumed, "60 MB picture line in progress");
}

// ------------------------------------------------------------ settings, results

std::string SettingsOfLineFeeds(const TempDir& dir) {
    WriteFill(dir / "s.ini", "[Setup]\r\nTimer=5\r\n", 60 * kMiB, '\n');
    TIniFile ini(dir / "s.ini");
    return Expect(ini.ReadInteger("Setup", "Timer", -1) == -1 && !ini.WriteInteger("Setup", "Timer", 6),
                  "60 MB settings file was taken");
}

std::string SettingsOfOneHugeLine(const TempDir& dir) {
    WriteFill(dir / "s.ini", "[Setup]\r\nName=", 60 * kMiB, 'n', "\r\n");
    TIniFile ini(dir / "s.ini");
    return Expect(ini.ReadString("Setup", "Name", "def") == "def", "60 MB settings line was taken");
}

const std::string kResultsLines = "\"A1\",\"name\"\r\n\"x\",\"x\"\r\n\"p\",\"8\"\r\n\"3\",\"1\",\"2\"\r\n";

std::string ResultsThenCr(const TempDir& dir) {
    WriteFill(dir / "PC01.dat", kResultsLines, 60 * kMiB, '\r');
    const TScoreRecord r = ReadScoreFile(dir / "PC01.dat");
    return Expect(r.UserID == "A1" && r.Maximum == 8 && r.Done == 3, "four lines before 60 MB of CR not read");
}

std::string ResultsOfAHugeName(const TempDir& dir) {
    WriteFill(dir / "PC01.dat", "\"A1\",\"", 10 * kMiB, 'n', "\"\r\n" + kResultsLines.substr(kResultsLines.find('\n') + 1));
    const TScoreRecord r = ReadScoreFile(dir / "PC01.dat");
    return Expect(r.UserID == "A1" && r.UserName.size() <= kMaxResultsFieldBytes, "10 MB user name");
}

std::string ResultsFolderOfManyFiles(const TempDir& dir) {
    textfile::CreateDir(dir / "score");
    for (int i = 0; i < 200; ++i) WriteFill(dir / ("score/PC" + std::to_string(i) + ".dat"), kResultsLines, kMiB, '\r');
    const auto records = ReadScoreFolder(dir / "score/");
    return Expect(records.size() == 200 && records[0].Done == 3, "200 files of 1 MB of CR");
}

// ------------------------------------------------------------ roster, CSV

std::string RosterOfCr(const TempDir& dir) {
    WriteFill(dir / "ruzozu.dvk", "", size_t(textfile::kMaxReadBytes), '\r');
    std::vector<RosterEntry> entries;
    ReadRoster(dir / "ruzozu.dvk", entries);
    return std::string();
}

std::string CsvOfOneWideLineThenManyRows(const TempDir& dir) {
    std::string bytes(10000, ',');
    bytes += "\r\n";
    for (int i = 0; i < 10000; ++i) bytes += "x\r\n";
    Write(dir / "in.csv", bytes);
    TCsvWizardModel model;
    model.LoadCsvFile(dir / "in.csv");
    return std::string();
}

std::string CsvOfCr(const TempDir& dir) {
    WriteFill(dir / "in.csv", "a,b\r\n", 60 * kMiB, '\r');
    TCsvWizardModel model;
    model.LoadCsvFile(dir / "in.csv");
    return std::string();
}

// ------------------------------------------------------------ pictures

std::string LoadPicture(const TempDir& dir, const std::string& name, const std::string& bytes, bool shown) {
    App();
    Write(dir / name, bytes);
    QImage img;
    const bool loaded = TPictureRegistry::Instance().LoadPictureFile(dir / name, img);
    return Expect(loaded == shown, name + (shown ? " was not shown" : " was shown"));
}

std::string BmpClaimingTooMuch(const TempDir& dir) {
    return LoadPicture(dir, "big.bmp", hostile::BmpClaiming(30000, 30000), false);
}

std::string IcoClaimingTooMuch(const TempDir& dir) {
    // One entry whose bitmap header claims 30000 x 30000 pixels.
    std::string ico;
    hostile::PutLe(ico, 0, 2);
    hostile::PutLe(ico, 1, 2);
    hostile::PutLe(ico, 1, 2);
    ico += std::string("\0\0\0\0", 4);
    hostile::PutLe(ico, 1, 2);
    hostile::PutLe(ico, 32, 2);
    const std::string bmp = hostile::BmpClaiming(30000, 60000).substr(14);
    hostile::PutLe(ico, uint32_t(bmp.size()), 4);
    hostile::PutLe(ico, 22, 4);
    return LoadPicture(dir, "big.ico", ico + bmp, false);
}

std::string JpegClaimingTooMuch(const TempDir& dir) {
    return LoadPicture(dir, "big.jpg", hostile::ProgressiveJpegClaiming(65000, 65000), false);
}

// Loads a PNG through the plug-in beside the test, as the drill does.
std::string LoadPng(const TempDir& dir, const std::string& name, const std::string& bytes, bool shown) {
    App();
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    host.Search(BinDir() + "*.spi");
    if (!TPictureRegistry::Instance().Has("png")) return "no PNG plug-in beside the test";
    return LoadPicture(dir, name, bytes, shown);
}

std::string PngClaimingTooMuch(const TempDir& dir) {
    return LoadPng(dir, "big.png", hostile::PngClaiming(30000, 30000), false);
}

// A small true picture of one colour, as Qt writes it in format.
std::string SmallPicture(int side, Qt::GlobalColor colour, const char* format) {
    App();
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return data.toStdString();
}

// A small true picture as PNG bytes, and the offset just after its header
// chunk, where more chunks may go.
std::string SmallPng(size_t& afterHeader) {
    afterHeader = 8 + 12 + 13;
    return SmallPicture(32, Qt::blue, "PNG");
}

// A 16 x 16 header, then one text chunk that claims 2 GiB and holds
// nothing: the decoder must not make a buffer of the claim.
std::string PngTextChunkClaiming2GiB(const TempDir& dir) {
    std::string ihdr;
    hostile::PutBe32(ihdr, 16);
    hostile::PutBe32(ihdr, 16);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + hostile::PngChunk("IHDR", ihdr);
    hostile::PutBe32(png, 0x7FFFFFFFu);
    png += "tEXtComment";
    return LoadPng(dir, "claim.png", png, false);
}

// 600 compressed text chunks of 7 MB each (4 MB of file) before the
// pixels: shown, without a chunk inflated.
std::string PngOfManyCompressedTexts(const TempDir& dir) {
    size_t at = 0;
    std::string png = SmallPng(at);
    const QByteArray packed = qCompress(QByteArray(7 << 20, 'x'), 9).mid(4);  // the zlib stream alone
    const std::string text = hostile::PngChunk("zTXt", std::string("Comment\0\0", 9) + packed.toStdString());
    const std::string itext =
        hostile::PngChunk("iTXt", std::string("Comment\0\x01\0\0\0", 12) + packed.toStdString());
    std::string chunks;
    for (int i = 0; i < 600; ++i) chunks += i % 2 ? text : itext;
    png.insert(at, chunks);
    return LoadPng(dir, "texts.png", png, true);
}

// A JPEG with 4000 application and comment markers of 16 KB each (64 MB)
// before its frame: shown, the markers passed over.
std::string JpegOfManyMarkers(const TempDir& dir) {
    const std::string jpeg = SmallPicture(16, Qt::green, "JPEG");
    std::string marker(16384, 'm');
    marker[0] = char(0xFF);
    marker[2] = char(0x3F);
    marker[3] = char(0xFE);  // length 16382
    // Written as it goes: the test's own memory stays small.
    FILE* f = std::fopen(textfile::OsPath(dir / "markers.jpg").c_str(), "wb");
    if (!f) return "cannot write";
    std::fwrite(jpeg.data(), 1, 2, f);
    for (int i = 0; i < 4000; ++i) {
        marker[1] = char(i % 3 == 0 ? 0xFE : 0xE1 + i % 15);  // COM, APP1 .. APP15
        std::fwrite(marker.data(), 1, marker.size(), f);
    }
    std::fwrite(jpeg.data() + 2, 1, jpeg.size() - 2, f);
    std::fclose(f);
    QImage shown;
    return Expect(TPictureRegistry::Instance().LoadPictureFile(dir / "markers.jpg", shown) && shown.width() == 16,
                  "a JPEG of many markers was not shown");
}

// An icon directory of 65,535 entries, all naming one small bitmap.
std::string IcoOfMostEntries(const TempDir& dir) {
    std::string bmp;
    for (uint32_t v : {40u, 16u, 32u}) hostile::PutLe(bmp, v, 4);
    hostile::PutLe(bmp, 1, 2);
    hostile::PutLe(bmp, 32, 2);
    bmp += std::string(24, '\0');
    bmp += std::string(16 * 16 * 4, '\x40') + std::string(16 * 4, '\0');
    const uint32_t count = 65535, offset = 6 + 16 * count;
    std::string ico;
    hostile::PutLe(ico, 0, 2);
    hostile::PutLe(ico, 1, 2);
    hostile::PutLe(ico, count, 2);
    for (uint32_t i = 0; i < count; ++i) {
        ico += std::string("\x10\x10\0\0", 4);
        hostile::PutLe(ico, 1, 2);
        hostile::PutLe(ico, 32, 2);
        hostile::PutLe(ico, uint32_t(bmp.size()), 4);
        hostile::PutLe(ico, offset, 4);
    }
    return LoadPicture(dir, "many.ico", ico + bmp, true);
}

// A metafile of 70 MB: refused by its size, never read.
std::string MetafileOf70MB(const TempDir& dir) {
    App();
    metafile_writer::Wmf wmf(240, 120);
    wmf.Shapes = metafile_writer::SampleShapes();
    const std::string head = wmf.Bytes();
    WriteFill(dir / "big.wmf", head, 70 * kMiB, '\0');
    QImage img;
    const bool shown = TPictureRegistry::Instance().LoadPictureFile(dir / "big.wmf", img);
    return Expect(!shown, "a metafile of 70 MB was shown");
}

std::string PluginBitmapClaimingTooMuch(const TempDir&) {
    App();
    std::string info;
    for (uint32_t v : {40u, 30000u, 30000u}) hostile::PutLe(info, v, 4);
    hostile::PutLe(info, 1, 2);
    hostile::PutLe(info, 32, 2);
    info += std::string(24, '\0');
    const std::string bits(4096, '\x7F');
    TSPIBitmap bmp;
    try {
        bmp.SetDIB(info.data(), info.size(), bits.data(), bits.size());
    } catch (const EInvalidGraphic&) {
        return std::string();
    }
    return "a bitmap of 30000 x 30000 from 4 KB was taken";
}

std::string EmfManySaveDcAfterAClipPath(const TempDir& dir) {
    return LoadPicture(dir, "clip.emf", metafile_writer::EmfClipThenSaves(10000, 200000), false);
}

std::string EmfOnlySaveDc(const TempDir& dir) {
    App();
    Write(dir / "saves.emf", metafile_writer::EmfClipThenSaves(0, 900000));
    QImage img;
    TPictureRegistry::Instance().LoadPictureFile(dir / "saves.emf", img);  // drawn or refused, within the bounds
    return std::string();
}

std::string WmfOfManySaveDc(const TempDir& dir) {
    metafile_writer::Wmf wmf(240, 120);
    wmf.Shapes = metafile_writer::SampleShapes();
    std::string bytes = wmf.Bytes();
    // SAVEDC records before the end record, the size in words grown alike.
    std::string saves;
    for (int i = 0; i < 1000000; ++i) saves += std::string("\x03\0\0\0\x1E\0", 6);
    bytes.insert(bytes.size() - 6, saves);
    const uint32_t words = uint32_t(bytes.size() - 22) / 2;
    for (int i = 0; i < 4; ++i) bytes[22 + 6 + size_t(i)] = char((words >> (8 * i)) & 0xFF);
    App();
    Write(dir / "saves.wmf", bytes);
    QImage img;
    TPictureRegistry::Instance().LoadPictureFile(dir / "saves.wmf", img);
    return std::string();
}

std::string WmfStretchDibThatLoops(const TempDir& dir) {
    return LoadPicture(dir, "loop.emf", metafile_writer::WmfStretchDib(34, 8), false);  // a WMF named ".emf"
}

// ------------------------------------------------------------ the drill window

// A picture line asking a small picture to be shown very wide.
std::string PictureOfAHugeWidth(const TempDir& dir) {
    App();
    QImage img(120, 120, QImage::Format_RGB32);
    img.fill(Qt::red);
    img.save(QString::fromStdString(dir / "star.bmp"), "BMP");
    const std::string p = WriteProblem(dir, "~T\nbmp star 0 0 16000\n/\na\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    if (!QTest::qWaitFor([&] { return f.Engine().BlockCount == 2; }, 20000)) return "the problem did not open";
    // Beyond the picture budget at that size: refused with the message, once
    // the scaling has been weighed (and any memory it took counted).
    if (!QTest::qWaitFor([&] { return f.Messages.contains(QL("この画像は、表示できません。")); }, 20000))
        return "the picture was not refused";
    return std::string();
}

// ------------------------------------------------------------ the tables

const TShapeCase kCases[] = {
    {"ProblemOfLineFeeds", ProblemOfLineFeeds},
    {"ProblemOfCrAtTheCap", ProblemOfCrAtTheCap},
    {"ProblemThenManyLines", ProblemThenManyLines},
    {"ProblemOfManyTinyBlocks", ProblemOfManyTinyBlocks},
    {"ProblemOfOneHugeTitleLine", ProblemOfOneHugeTitleLine},
    {"ProgressOfCrBesideAProblem", ProgressOfCrBesideAProblem},
    {"ProgressOfOneHugeLine", ProgressOfOneHugeLine},
    {"SettingsOfLineFeeds", SettingsOfLineFeeds},
    {"SettingsOfOneHugeLine", SettingsOfOneHugeLine},
    {"ResultsThenCr", ResultsThenCr},
    {"ResultsOfAHugeName", ResultsOfAHugeName},
    {"ResultsFolderOfManyFiles", ResultsFolderOfManyFiles},
    {"BmpClaimingTooMuch", BmpClaimingTooMuch},
    {"IcoClaimingTooMuch", IcoClaimingTooMuch},
    {"JpegClaimingTooMuch", JpegClaimingTooMuch},
    {"PngClaimingTooMuch", PngClaimingTooMuch},
    {"PluginBitmapClaimingTooMuch", PluginBitmapClaimingTooMuch},
    // Decoders held by what they allocate, not only by the picture's size.
    {"PngTextChunkClaiming2GiB", PngTextChunkClaiming2GiB, 64},
    {"PngOfManyCompressedTexts", PngOfManyCompressedTexts, 64, 20},
    {"JpegOfManyMarkers", JpegOfManyMarkers, 120},
    {"IcoOfMostEntries", IcoOfMostEntries, 64},
    {"MetafileOf70MB", MetafileOf70MB, 48},
    {"EmfManySaveDcAfterAClipPath", EmfManySaveDcAfterAClipPath},
    {"EmfOnlySaveDc", EmfOnlySaveDc},
    {"WmfOfManySaveDc", WmfOfManySaveDc},
    {"WmfStretchDibThatLoops", WmfStretchDibThatLoops},
    {"CsvOfOneWideLineThenManyRows", CsvOfOneWideLineThenManyRows},
    {"CsvOfCr", CsvOfCr},
    {"PictureOfAHugeWidth", PictureOfAHugeWidth},
    {"RosterOfCr", RosterOfCr},
};


// ------------------------------------------------------------ the runner

struct TOutcome {
    std::string Error;
    long PeakKiB = -1;
};

// The most address space a case's child may take: several times any
// peak bound, far below what would disturb the machine.
const rlim_t kChildAddressSpace = rlim_t(3) << 30;

// Runs the case in a child process; its report comes through a pipe.
TOutcome RunInChild(const TShapeCase& c) {
    int fds[2];
    if (::pipe(fds) != 0) return {"no pipe", -1};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return {"no fork", -1};
    if (pid == 0) {
        ::close(fds[0]);
        // A reader that blows up fails its case at this bound instead of
        // taking the machine's memory from everything beside it.
        rlimit space{kChildAddressSpace, kChildAddressSpace};
        ::setrlimit(RLIMIT_AS, &space);
        std::string error;
        long peak = -1;
        {
            TempDir dir;
            ResetPeak();
            try {
                error = c.Run(dir);
            } catch (const std::bad_alloc&) {
                error = "out of memory at the child's address-space bound";
            }
            peak = PeakKiB();
        }
        const std::string report = std::to_string(peak) + " " + error;
        textfile::WriteAll(fds[1], report);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(c.HangSeconds);
    bool hung = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            hung = true;
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int r = ::poll(&pfd, 1, int(std::min<long long>(left, 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        report.append(buf, size_t(n));
    }
    ::close(fds[0]);
    if (hung) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (hung) return {"no end within " + std::to_string(c.HangSeconds) + " s", -1};
    if (WIFSIGNALED(status)) return {"killed by signal " + std::to_string(WTERMSIG(status)), -1};
    const size_t space = report.find(' ');
    if (space == std::string::npos) return {"no report (exit " + std::to_string(WEXITSTATUS(status)) + ")", -1};
    return {report.substr(space + 1), std::strtol(report.c_str(), nullptr, 10)};
}

class WorstShape : public ::testing::TestWithParam<TShapeCase> {};

TEST_P(WorstShape, StaysWithinItsBounds) {
    const TShapeCase& c = GetParam();
    const TOutcome o = RunInChild(c);
    EXPECT_EQ(o.Error, "") << c.Name;
    ASSERT_GE(o.PeakKiB, 0) << c.Name;
    EXPECT_LE(o.PeakKiB, c.PeakMiB * 1024) << c.Name << ": peak " << o.PeakKiB / 1024 << " MB";
    RecordProperty("PeakKiB", std::to_string(o.PeakKiB));
    std::printf("%s: peak %ld MB\n", c.Name, o.PeakKiB / 1024);
}

std::string CaseName(const ::testing::TestParamInfo<TShapeCase>& info) { return info.param.Name; }

INSTANTIATE_TEST_SUITE_P(Readers, WorstShape, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
