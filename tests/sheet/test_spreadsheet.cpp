#include "app/sheet/Spreadsheet.h"
#include "app/sheet/SpreadsheetProgram.h"
#include "tests/sheet/SheetTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

void writeFile(const std::string& path, const std::string& text, bool executable = false) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
    if (executable)
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
}

} // namespace

TEST(Worksheet, PasteTurnsNumbersIntoNumbersAndTheRestIntoText) {
    TWorksheet s;
    s.Paste("Time\tSpeed\t\r\n0,25\t-1,5E-6\t\n12\t1.5\tx", 2, 3, ",");
    EXPECT_EQ(s.Item(2, 3).Text(), "Time");
    EXPECT_EQ(s.Item(2, 4).Text(), "Speed");
    EXPECT_DOUBLE_EQ(s.Item(3, 3).Number(), 0.25);
    EXPECT_DOUBLE_EQ(s.Item(3, 4).Number(), -1.5e-6);
    EXPECT_TRUE(s.Item(4, 3).IsNumber());
    EXPECT_TRUE(s.Item(4, 4).IsText()); // a point is no decimal separator here
    EXPECT_EQ(s.Item(4, 5).Text(), "x");
    EXPECT_EQ(s.RowCount(), 4u);
    EXPECT_EQ(s.Find(2, 5), nullptr);

    // An empty field clears its cell; cells outside the text stay.
    s.Item(10, 1) = 7.0;
    s.Paste("\t2", 3, 3, ",");
    EXPECT_TRUE(s.Item(3, 3).IsEmpty());
    EXPECT_DOUBLE_EQ(s.Item(3, 4).Number(), 2);
    EXPECT_DOUBLE_EQ(s.Item(10, 1).Number(), 7);
}

TEST(Worksheet, NumbersAreReadOnlyWhenTheWholeFieldIsOne) {
    EXPECT_EQ(ParseSheetNumber(" 42 ", "."), 42.0);
    EXPECT_EQ(ParseSheetNumber("+.5", "."), 0.5);
    EXPECT_EQ(ParseSheetNumber("1E+15", "."), 1e15);
    EXPECT_EQ(ParseSheetNumber("3e-2", "."), 0.03);
    EXPECT_EQ(ParseSheetNumber("2\xD9\xAB"
                               "5",
                               "\xD9\xAB"),
              2.5); // a separator of two bytes
    for (const char* text : {"", "-", ".", "1E", "1.2.3", "0x10", "NAN", "INF", "12 mph", "1E999", "1,5"})
        EXPECT_FALSE(ParseSheetNumber(text, ".")) << text;
}

TEST(Worksheet, TooLargeATableChangesNothing) {
    TWorksheet s;
    s.Item(1, 1) = "keep";
    std::string wide(MaxSheetColumns, '\t');
    wide += "x";
    EXPECT_THROW(s.Paste(wide, 1, 1, "."), SheetError);
    EXPECT_THROW(s.Paste("a\nb", MaxSheetRows, 1, "."), SheetError);
    EXPECT_EQ(s.Item(1, 1).Text(), "keep");
    EXPECT_EQ(s.RowCount(), 1u);
    EXPECT_THROW(s.Item(0, 1), SheetError);
    EXPECT_THROW(s.Item(1, MaxSheetColumns + 1), SheetError);
    EXPECT_NO_THROW(s.Paste("a\t\t", MaxSheetRows, MaxSheetColumns, ".")); // empty fields past the edge
    EXPECT_EQ(CellName(MaxSheetRows, MaxSheetColumns), "XFD1048576");
    EXPECT_EQ(CellName(7, 27), "AA7");
}

TEST(Workbook, ActivateNeverReplacesAFileAndOpensWhatItWrote) {
    TempDir dir;
    FakeDesktop desktop;
    desktop.folder = dir.file("Documents/Quillmar"); // made when needed
    TExcelApp app(desktop.environment());
    EXPECT_THROW(app.AddWorkbook("Dataset 0"), SheetError); // not connected
    ASSERT_TRUE(app.Connect());
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        TWorkbook& book = app.AddWorkbook("Dataset 0");
        book.Worksheets(1).Item(1, 1) = "Time";
        paths.push_back(book.Activate());
    }
    EXPECT_EQ(paths[0], desktop.folder + "/Dataset 0.xlsx");
    EXPECT_EQ(paths[1], desktop.folder + "/Dataset 0 (2).xlsx");
    EXPECT_EQ(paths[2], desktop.folder + "/Dataset 0 (3).xlsx");
    EXPECT_EQ(desktop.opened, paths);
    // No temporary file is left behind.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(desktop.folder)) {
        EXPECT_NE(e.path().filename().string()[0], '.');
        ++files;
    }
    EXPECT_EQ(files, 3u);
    EXPECT_THROW(app.AddWorkbook("x").Worksheets(2), SheetError);
    app.Disconnect();
    EXPECT_FALSE(app.Connected());
}

TEST(Workbook, FailuresAreReportedAndLeaveNoHalfFile) {
    TempDir dir;
    TWorkbook book("Dataset 0");
    book.Worksheets(1).Item(1, 1) = std::string(40000, 'x'); // longer than a cell takes
    try {
        book.SaveAs(dir.file("long.xlsx"));
        FAIL() << "no error";
    } catch (const SheetError& e) {
        EXPECT_NE(std::string(e.what()).find("cell A1"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(dir.names().empty());
    EXPECT_THROW(TWorkbook("x").SaveAs(dir.file("missing/x.xlsx")), SheetError);
    EXPECT_THROW(TWorkbook("x").SaveAs("/dev/null"), SheetError); // never replaces a device
}

TEST(Workbook, SaveAsReplacesTheFileALinkNames) {
    TempDir dir;
    writeFile(dir.file("old.xlsx"), "old");
    std::filesystem::create_symlink("old.xlsx", dir.file("link.xlsx"));
    TWorkbook book("x");
    book.Worksheets(1).Item(1, 1) = 1.0;
    book.SaveAs(dir.file("link.xlsx"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.xlsx")));
    EXPECT_GT(std::filesystem::file_size(dir.file("old.xlsx")), 1000u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.xlsx", "old.xlsx"}));
}

TEST(Workbook, FileNamesAreMadeSafe) {
    EXPECT_EQ(WorkbookFileStem("Dataset 0"), "Dataset 0");
    EXPECT_EQ(WorkbookFileStem("Boost/time\n"), "Boost_time_");
    EXPECT_EQ(WorkbookFileStem(" ..hidden "), "hidden");
    EXPECT_EQ(WorkbookFileStem(""), "Workbook");
    EXPECT_EQ(WorkbookFileStem(std::string(300, 'a')).size(), 200u);
    EXPECT_EQ(WorkbookFileStem(std::string(199, 'a') + "\xC2\xB0").size(), 199u); // no half character
}

TEST(ProgramLookup, TheDesktopDefaultComesFirst) {
    TempDir dir;
    writeFile(dir.file("bin/fakecalc"), "#!/bin/sh\n", true);
    writeFile(dir.file("bin/localc"), "#!/bin/sh\n", true);
    writeFile(
        dir.file("apps/fake-calc.desktop"),
        "[Desktop Entry]\nType=Application\nName=Fake Calc\nExec=fakecalc --calc \"%U\" --x=\"a\\\\\"b\"\n"
        "[Desktop Action New]\nExec=fakecalc --new\n");
    ProgramLookup lookup;
    std::string asked;
    lookup.QueryDefault = [&](const std::string& mime) {
        asked = mime;
        return std::string("fake-calc.desktop\n");
    };
    lookup.ApplicationFolders = {dir.file("nowhere"), dir.file("apps")};
    lookup.Path = dir.file("bin");
    auto program = FindSpreadsheetProgram(lookup);
    ASSERT_TRUE(program);
    EXPECT_EQ(asked, XlsxMimeType);
    EXPECT_EQ(program->Name, "Fake Calc");
    EXPECT_EQ(
        program->CommandFor("/w/Dataset 0.xlsx"),
        (std::vector<std::string>{dir.file("bin/fakecalc"), "--calc", "/w/Dataset 0.xlsx", "--x=a\"b"}));

    // A default whose program is missing gives way to a known program on the path.
    writeFile(dir.file("apps/fake-calc.desktop"), "[Desktop Entry]\nName=Gone\nExec=gonecalc %f\n");
    program = FindSpreadsheetProgram(lookup);
    ASSERT_TRUE(program);
    EXPECT_EQ(program->CommandFor("a b.xlsx"),
              (std::vector<std::string>{dir.file("bin/localc"), "a b.xlsx"}));

    std::filesystem::remove(dir.file("bin/localc"));
    EXPECT_FALSE(FindSpreadsheetProgram(lookup));
    lookup.QueryDefault = nullptr;
    EXPECT_FALSE(FindSpreadsheetProgram(lookup));
}

TEST(ProgramLookup, DesktopFilesThatCannotRunAreSkipped) {
    TempDir dir;
    writeFile(dir.file("bin/calc"), "#!/bin/sh\n", true);
    writeFile(dir.file("bin/plain"), "not executable\n");
    const std::string path = dir.file("bin");
    writeFile(dir.file("a.desktop"), "[Desktop Entry]\nExec=calc\nHidden=true\n");
    writeFile(dir.file("b.desktop"), "[Desktop Entry]\nExec=calc\nTryExec=missing\n");
    writeFile(dir.file("c.desktop"), "[Desktop Entry]\nExec=plain %f\n");
    writeFile(dir.file("d.desktop"), "[Desktop Entry]\nExec=\"calc\n");
    writeFile(dir.file("e.desktop"), "[Desktop Entry]\nType=Link\nExec=calc\n");
    for (const char* f : {"a", "b", "c", "d", "e"})
        EXPECT_FALSE(ReadDesktopFile(dir.file(std::string(f) + ".desktop"), path)) << f;
    writeFile(dir.file("f.desktop"), "[Desktop Entry]\nExec=calc %i -n %c %%x %k\nName=Calc\n");
    auto p = ReadDesktopFile(dir.file("f.desktop"), path);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->CommandFor("w.xlsx"), (std::vector<std::string>{dir.file("bin/calc"), "-n", "Calc", "%x",
                                                                 dir.file("f.desktop"), "w.xlsx"}));
    EXPECT_EQ(SplitDesktopExec("a\\sb \"c\\sd\" e"), (std::vector<std::string>{"a", "b", "c d", "e"}));
    EXPECT_FALSE(SplitDesktopExec("   "));
}

TEST(DocumentsFolder, FromUserDirsElseXdgUserDirElseDocuments) {
    TempDir dir;
    DocumentsLookup lookup;
    lookup.Home = dir.file("home");
    lookup.ConfigHome = dir.file("config");
    int asked = 0;
    std::string answer = lookup.Home;
    lookup.XdgUserDir = [&] {
        ++asked;
        return answer;
    };
    EXPECT_EQ(FindDocumentsFolder(lookup), lookup.Home + "/Documents"); // xdg-user-dir only knows the home
    answer = "/srv/papers/";
    EXPECT_EQ(FindDocumentsFolder(lookup), "/srv/papers");
    writeFile(dir.file("config/user-dirs.dirs"),
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    asked = 0;
    EXPECT_EQ(FindDocumentsFolder(lookup), lookup.Home + "/Dokumente");
    EXPECT_EQ(asked, 0);
    writeFile(dir.file("config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"/data/docs\"\n");
    EXPECT_EQ(FindDocumentsFolder(lookup), "/data/docs");
}

TEST(Processes, OpenedProgramsRunOnTheirOwnAndLeaveNoZombie) {
    TempDir dir;
    const std::string marker = dir.file("opened");
    OpenDetached({"/bin/sh", "-c", "sleep 1; echo \"$0\" > \"$1.part\"; mv \"$1.part\" \"$1\"",
                  "Dataset 0.xlsx", marker});
    // Back at once, with the program still running.
    EXPECT_FALSE(std::filesystem::exists(marker));
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(marker);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Dataset 0.xlsx");
    // The shell was reaped and the program is no child of ours.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(Processes, OutputIsReadAndSlowCommandsAreCutShort) {
    EXPECT_EQ(RunForOutput({"/bin/sh", "-c", "echo libreoffice-calc.desktop"}, 5000),
              std::optional<std::string>("libreoffice-calc.desktop\n"));
    EXPECT_FALSE(RunForOutput({"/bin/sh", "-c", "exit 3"}, 5000));
    EXPECT_FALSE(RunForOutput({"no-such-program-here"}, 5000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunForOutput({"/bin/sleep", "10"}, 200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
