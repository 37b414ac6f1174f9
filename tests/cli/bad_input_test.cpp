// Bad input through the whole command: the real pipeline behind runCli, an output folder that
// already holds an earlier pano.jpg and pano.txt, and afterwards either a complete new pair or
// the earlier files byte for byte, never a temporary file left behind.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <utility>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/run.h"
#include "core/progress_reporter.h"
#include "io/panorama_checksum.h"
#include "io/parameter_file.h"
#include "pipeline/stitcher.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// The default memory budget, which bounds the records a file may have.
constexpr int64_t kBudget = int64_t{1} << 28;

const char* const kViews[] = {"DSC_0100.jpg", "DSC_0107.jpg", "DSC_0114.jpg"};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

PipelineCalls realPipeline() {
    return {
        [](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
            return stitcher.stitch(std::string(), names, output, log);
        },
        [](Stitcher& stitcher, const std::string& path, PanoramaSink& output, std::ostream& log) {
            return stitcher.stitchFromParameterFile(std::string(), path, output, log);
        },
    };
}


// The JPEG at `bytes` with its frame header rewritten to width x height.
std::string withFrameSize(std::string bytes, int width, int height) {
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        const auto marker = static_cast<unsigned char>(bytes[i + 1]);
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            bytes[i + 5] = static_cast<char>(height >> 8);
            bytes[i + 6] = static_cast<char>(height & 0xFF);
            bytes[i + 7] = static_cast<char>(width >> 8);
            bytes[i + 8] = static_cast<char>(width & 0xFF);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-bad-input-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ / "in");
        fs::create_directories(dir_ / "out");
        for (const char* view : kViews)
            fs::copy_file(fs::path(VANTORRA_TEST_DATA) / "matching/row6" / view, dir_ / "in" / view);
        putEarlierOutputs(dir_ / "out");
        options_.outputDirectory = (dir_ / "out").string();
        options_.quiet = true;
    }
    void TearDown() override {
        if (mounted_) umount2((dir_ / "out").c_str(), MNT_DETACH);
        fs::remove_all(dir_);
    }

    // An earlier run's outputs (any bytes do: they are compared, never decoded).
    void putEarlierOutputs(const fs::path& folder) {
        earlierPanorama_ = readFile(fs::path(VANTORRA_TEST_DATA) / "features/view_600x400.jpg");
        earlierParameters_ = "earlier.jpg\n600 400\n\n1 0 0 \n0 1 0 \n0 0 1 \n1 0 0 \n0 1 0 \n0 0 1 \n500\n\n";
        writeFile(folder / "pano.jpg", earlierPanorama_);
        writeFile(folder / "pano.txt", earlierParameters_);
    }

    std::string input(const std::string& name) const { return (dir_ / "in" / name).string(); }
    std::vector<std::string> goodViews() const {
        std::vector<std::string> paths;
        for (const char* view : kViews) paths.push_back(input(view));
        return paths;
    }

    int run(const std::vector<std::string>& inputs) {
        options_.inputs = inputs;
        messages_.str("");
        errors_.str("");
        return runCli(options_, realPipeline(), nullptr, messages_, errors_);
    }

    // The earlier outputs are there byte for byte and nothing else is.
    void expectEarlierOutputsIntact(const std::string& what) const {
        EXPECT_EQ(namesIn(dir_ / "out"), (std::set<std::string>{"pano.jpg", "pano.txt"})) << what;
        EXPECT_TRUE(readFile(dir_ / "out/pano.jpg") == earlierPanorama_) << what;
        EXPECT_EQ(readFile(dir_ / "out/pano.txt"), earlierParameters_) << what;
    }

    // Mounts a tmpfs of `bytes` over the output folder; false when this process may not mount.
    bool mountSmallDisk(size_t bytes) {
        const std::string size = "size=" + std::to_string(bytes);
        if (mount("tmpfs", (dir_ / "out").c_str(), "tmpfs", 0, size.c_str()) != 0) return false;
        mounted_ = true;
        return true;
    }

    fs::path dir_;
    CliOptions options_;
    std::ostringstream messages_, errors_;
    std::string earlierPanorama_, earlierParameters_;
    bool mounted_ = false;
};

TEST_F(BadInputTest, AnUnreadablePhotographIsLeftOutAndTheOthersAreStitched) {
    const std::string view = readFile(input(kViews[0]));
    std::mt19937 random(13);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;  // part of the reader's message
    };
    const Case cases[] = {
        {"zero bytes", "", "Empty input file"},
        {"random bytes", noise, "Not a JPEG file"},
        {"truncated JPEG", view.substr(0, view.size() / 2), "Premature end of JPEG file"},
        {"GIF named .jpg", std::string("GIF89a\x02\0\x02\0\0\0\0", 13), "Not a JPEG file"},
        {"60000 x 60000 header", withFrameSize(view, 60000, 60000), "too large"},
        {"progressive 18000 x 18000 header",
         withFrameSize(readFile(fs::path(VANTORRA_TEST_DATA) / "bad/progressive_40x24.jpg"), 18000, 18000),
         "progressive image of 18000 x 18000 pixels needs 927 MB for its coefficients, more than the 128 MB its "
         "decoder may use"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        putEarlierOutputs(dir_ / "out");
        writeFile(input("bad.jpg"), test.bytes);
        std::vector<std::string> inputs = goodViews();
        inputs.insert(inputs.begin() + 1, input("bad.jpg"));

        ASSERT_EQ(run(inputs), ExitSuccess) << errors_.str();
        const std::string errors = errors_.str();
        const std::string skipLine = "skipping " + input("bad.jpg") + ": ";
        EXPECT_EQ(errors.find(skipLine), 0u) << errors;
        EXPECT_EQ(errors.find(skipLine, 1), std::string::npos) << "named once: " << errors;
        EXPECT_NE(errors.find(test.reason), std::string::npos) << errors;
        EXPECT_NE(errors.find("1 of 4 photographs were left out\n"), std::string::npos) << errors;

        // A whole new pair: the bad file recorded outside the panorama, the three views in it.
        EXPECT_EQ(namesIn(dir_ / "out"), (std::set<std::string>{"pano.jpg", "pano.txt"}));
        EXPECT_FALSE(readFile(dir_ / "out/pano.jpg") == earlierPanorama_);
        std::vector<CameraRecord> saved;
        ASSERT_EQ(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, saved), 4);
        EXPECT_EQ(saved[1].name, input("bad.jpg"));
        EXPECT_EQ(registeredRecords(saved), (std::vector<int32_t>{0, 2, 3}));
    }
}

// Every view of a row given three times, as a burst or a folder copied twice would: each repeat
// is named once and left out, and all six views are stitched.
TEST_F(BadInputTest, RepeatedPhotographsAreLeftOutAndEveryViewIsStitched) {
    const fs::path row6 = fs::path(VANTORRA_TEST_DATA) / "matching/row6";
    std::vector<std::string> inputs;
    for (const char* view : {"DSC_0100", "DSC_0107", "DSC_0114", "DSC_0121", "DSC_0128", "DSC_0135"})
        for (const char* copy : {"", "_b", "_c"}) {
            const std::string name = std::string(view) + copy + ".jpg";
            if (!fs::exists(input(name))) fs::copy_file(row6 / (std::string(view) + ".jpg"), input(name));
            inputs.push_back(input(name));
        }
    ASSERT_EQ(run(inputs), ExitSuccess) << errors_.str();
    const std::string errors = errors_.str();
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string line = "skipping " + inputs[i] + ": the same view as " + inputs[i - i % 3] + "\n";
        EXPECT_EQ(errors.find(line) != std::string::npos, i % 3 != 0) << inputs[i] << "\n" << errors;
    }
    EXPECT_NE(errors.find("12 of 18 photographs were left out\n"), std::string::npos) << errors;
    std::vector<CameraRecord> saved;
    ASSERT_EQ(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, saved), 18);
    EXPECT_EQ(registeredRecords(saved), (std::vector<int32_t>{0, 3, 6, 9, 12, 15}));
}

// More photographs than the budget can adjust together: one line with the reason before any is
// read, exit 3, the earlier outputs intact. The names need not exist.
TEST_F(BadInputTest, TooManyPhotographsForTheBudgetStopAtOnce) {
    std::vector<std::string> inputs = goodViews();
    for (int i = 0; i < 1500; ++i) inputs.push_back(input("gone_" + std::to_string(i) + ".jpg"));
    EXPECT_EQ(run(inputs), ExitFileError);
    const std::string errors = errors_.str();
    EXPECT_EQ(errors.rfind("cannot stitch: 1503 photographs need ", 0), 0u) << errors;
    EXPECT_NE(errors.find("more than the 192 MB of the 256 MB memory budget"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "one line: " << errors;
    EXPECT_EQ(errors.find("gone_"), std::string::npos) << "nothing read: " << errors;
    expectEarlierOutputsIntact("too many photographs");
}

TEST_F(BadInputTest, FewerThanTwoReadablePhotographsFailAsBefore) {
    writeFile(input("empty.jpg"), "");
    writeFile(input("text.jpg"), "not a photograph");
    struct Case {
        const char* what;
        std::vector<std::string> inputs;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"one readable", {input(kViews[0]), input("empty.jpg")}, ExitFileError,
         "cannot read " + input("empty.jpg") + ": Empty input file\n"},
        {"none readable", {input("text.jpg"), input("empty.jpg"), input("gone.jpg")}, ExitFileError,
         "cannot read " + input("text.jpg") + ": Not a JPEG file"},
        {"missing", {input("gone.jpg"), input(kViews[1])}, ExitFileError,
         "cannot read " + input("gone.jpg") + ": No such file or directory\n"},
        {"one named", {input(kViews[0])}, ExitUsage, "Please select 2 or more images\n"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        EXPECT_EQ(run(test.inputs), test.exitCode);
        EXPECT_EQ(errors_.str().rfind(test.message, 0), 0u) << errors_.str();
        EXPECT_EQ(errors_.str().find('\n'), errors_.str().size() - 1) << "one line: " << errors_.str();
        expectEarlierOutputsIntact(test.what);
    }
}

TEST_F(BadInputTest, AParameterFileIsRenderedWholeOrNotAtAll) {
    // A real parameter file of the three views, from a run into another folder.
    fs::create_directories(dir_ / "first");
    options_.outputDirectory = (dir_ / "first").string();
    ASSERT_EQ(run(goodViews()), ExitSuccess) << errors_.str();
    options_.outputDirectory = (dir_ / "out").string();
    const std::string good = readFile(dir_ / "first/pano.txt");
    std::vector<std::string> lines;
    {
        std::istringstream in(good);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    // Three records of 11 lines (name, size, blank, 3 + 3 matrix rows, f, blank), then the
    // output mapping's section (its marker, the output line, three rotation rows) and the
    // panorama's section: its marker, its name, its size and checksum.
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[33].rfind("[output ", 0), 0u);
    EXPECT_EQ(lines[38], "[panorama bytes crc32]");
    const std::string records = good.substr(0, good.find(lines[33]));
    auto edited = [&](size_t line, const std::string& text) {
        std::string result;
        for (size_t i = 0; i < lines.size(); ++i) result += (i == line ? text : lines[i]) + "\n";
        return result;
    };
    std::string manyRecords;
    for (int i = 0; i < 100000; ++i) manyRecords += good.substr(0, good.find(lines[11]));

    struct Case {
        const char* what;
        std::string text;
        std::string reason;  // after "cannot read PATH: "
    };
    const Case cases[] = {
        {"missing photograph", edited(11, input("gone.jpg")), "record 2: can't open " + input("gone.jpg")},
        {"unreadable photograph", edited(11, input("text.jpg")), "record 2: " + input("text.jpg") + ": Not a JPEG file"},
        {"size differs", edited(23, "640 480"), "record 3: " + input(kViews[2]) + " is 600 x 400 pixels, the file records 640 x 480"},
        {"non-finite focal length", edited(20, "inf"), "record 2 (" + input(kViews[1]) + "): its focal length is cut short or not a number"},
        {"non-finite rotation", edited(6, "nan 0 0"), "record 1 (" + input(kViews[0]) + "): cut short or not a number in its rotation"},
        {"rotation not orthonormal", edited(6, "1.5 0 0"), "record 1 (" + input(kViews[0]) + "): its rotation is not orthonormal"},
        {"cut short", records.substr(0, records.size() - 20), "record 3 (" + input(kViews[2]) + "): "},
        {"malformed record", edited(14, "0 one 299.5"), "record 2 (" + input(kViews[1]) + "): cut short or not a number in its image transform"},
        {"unknown projection", edited(34, "output bogus" + lines[34].substr(lines[34].find(' ', 7))),
         "its output mapping names no projection called 'bogus'"},
        {"100,000 records", manyRecords, "more than 8192 records, the most the memory budget can render"},
    };
    writeFile(input("text.jpg"), "not a photograph");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const std::string path = (dir_ / "bad.txt").string();
        writeFile(path, test.text);
        EXPECT_EQ(run({path}), ExitFileError);
        EXPECT_EQ(errors_.str().rfind("cannot read " + path + ": " + test.reason, 0), 0u) << errors_.str();
        EXPECT_EQ(errors_.str().find('\n'), errors_.str().size() - 1) << "one line: " << errors_.str();
        expectEarlierOutputsIntact(test.what);
    }

    // The unedited file renders, replacing both outputs.
    writeFile(dir_ / "good.txt", good);
    ASSERT_EQ(run({(dir_ / "good.txt").string()}), ExitSuccess) << errors_.str();
    EXPECT_FALSE(readFile(dir_ / "out/pano.jpg") == earlierPanorama_);
    std::vector<CameraRecord> saved;
    EXPECT_EQ(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, saved), 3);
    EXPECT_EQ(registeredRecords(saved), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(BadInputTest, AnUnwritableFolderIsRefusedBeforeTheRunWithTheReason) {
    std::string reason;
    if (geteuid() == 0) {
        // Permissions do not stop root: a read-only file system does.
        if (!mountSmallDisk(1 << 20)) GTEST_SKIP() << "running as root without a mount of its own";
        putEarlierOutputs(dir_ / "out");
        ASSERT_EQ(mount(nullptr, (dir_ / "out").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        reason = "Read-only file system";
    } else {
        fs::permissions(dir_ / "out", fs::perms::owner_read | fs::perms::owner_exec);
        reason = "Permission denied";
    }
    EXPECT_EQ(run(goodViews()), ExitFileError);
    EXPECT_EQ(errors_.str(), "cannot write " + (dir_ / "out").string() + ": " + reason + "\n");
    expectEarlierOutputsIntact("unwritable");
    if (geteuid() != 0) fs::permissions(dir_ / "out", fs::perms::owner_all);
}

TEST_F(BadInputTest, AReadOnlyEarlierPanoramaIsRefusedBeforeTheRun) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file; the mount case covers root";
    fs::permissions(dir_ / "out/pano.jpg", fs::perms::owner_read);
    EXPECT_EQ(run(goodViews()), ExitFileError);
    EXPECT_EQ(errors_.str().rfind("cannot write " + (dir_ / "out/pano.jpg").string() + ": Permission denied", 0), 0u)
        << errors_.str();
    expectEarlierOutputsIntact("read-only pano.jpg");
}

// A disk with room for the new pano.jpg only, and one without room for even that: the earlier
// pair stays, and no temporary is left taking the space.
TEST_F(BadInputTest, AFullDiskKeepsTheEarlierOutputs) {
    fs::create_directories(dir_ / "first");
    options_.outputDirectory = (dir_ / "first").string();
    ASSERT_EQ(run(goodViews()), ExitSuccess) << errors_.str();
    options_.outputDirectory = (dir_ / "out").string();
    const size_t newPanorama = fs::file_size(dir_ / "first/pano.jpg");

    if (!mountSmallDisk(4 << 20)) GTEST_SKIP() << "cannot mount a small tmpfs here";
    const size_t page = 4096;
    const size_t panoramaPages = (newPanorama + page - 1) / page;
    for (const size_t freePages : {panoramaPages, size_t{2}}) {
        SCOPED_TRACE("free pages " + std::to_string(freePages));
        fs::remove(dir_ / "out/filler");
        putEarlierOutputs(dir_ / "out");
        struct statvfs disk;
        ASSERT_EQ(statvfs((dir_ / "out").c_str(), &disk), 0);
        const size_t available = static_cast<size_t>(disk.f_bavail) * disk.f_frsize;
        ASSERT_GT(available, freePages * page);
        writeFile(dir_ / "out/filler", std::string(available - freePages * page, 'x'));

        EXPECT_EQ(run(goodViews()), ExitFileError);
        EXPECT_NE(errors_.str().find("No space left on device"), std::string::npos) << errors_.str();
        EXPECT_EQ(errors_.str().rfind("cannot write " + (dir_ / "out").string() + "/pano.", 0), 0u) << errors_.str();
        fs::remove(dir_ / "out/filler");
        expectEarlierOutputsIntact("full disk");
    }
}

// The command-line tool itself, stopped by a signal at moments spread over its run: whenever it
// did not finish, the earlier outputs are intact and no temporary is left.
TEST_F(BadInputTest, SigtermDuringARunLeavesTheEarlierOutputs) {
    std::vector<std::string> arguments = {VANTORRA_CLI_PATH, "--quiet", "-o", (dir_ / "out").string()};
    for (const std::string& view : goodViews()) arguments.push_back(view);
    int interrupted = 0;
    for (int delayMs = 5; delayMs < 20000; delayMs *= 2) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(child, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        // Killed, or stopped by its own handler with a failure status; never a bad command line.
        ASSERT_TRUE(WIFSIGNALED(status) || (WEXITSTATUS(status) != 127 && WEXITSTATUS(status) != ExitUsage))
            << "cannot run " << VANTORRA_CLI_PATH << ": status " << status;
        if (WIFEXITED(status) && WEXITSTATUS(status) == ExitSuccess) {
            // Finished before the signal: a whole new pair, then no later moment is left to try.
            EXPECT_EQ(namesIn(dir_ / "out"), (std::set<std::string>{"pano.jpg", "pano.txt"}));
            EXPECT_FALSE(readFile(dir_ / "out/pano.jpg") == earlierPanorama_);
            break;
        }
        ++interrupted;
        expectEarlierOutputsIntact("signal after " + std::to_string(delayMs) + " ms");
    }
    EXPECT_GT(interrupted, 0);
}

// A fault that strikes during a run: `hook`, called once, at the first report whose text starts
// with `at`.
struct MidRunFault {
    MidRunFault() = default;
    MidRunFault(const char* at, std::function<void()> hook) : at(at), hook(std::move(hook)) {}
    const char* at = "";
    std::function<void()> hook;
};

class FaultView : public ProgressView {
public:
    explicit FaultView(MidRunFault fault) : at_(fault.at), hook_(std::move(fault.hook)) {}
    void setText(const std::string& text) override {
        if (hook_ && text.rfind(at_, 0) == 0) std::exchange(hook_, nullptr)();
    }
    void setStageBar(int, int) override {}
    void setOverallBar(int, int) override {}
    void pumpEvents() override {}
    void repaint() override {}

private:
    std::string at_;
    std::function<void()> hook_;
};

PipelineCalls faultyPipeline(const MidRunFault& fault) {
    return {
        [fault](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
            FaultView view(fault);
            stitcher.progress.attach(&view);
            const RunReport report = stitcher.stitch(std::string(), names, output, log);
            stitcher.progress.attach(nullptr);
            return report;
        },
        [](Stitcher& stitcher, const std::string& path, PanoramaSink& output, std::ostream& log) {
            return stitcher.stitchFromParameterFile(std::string(), path, output, log);
        },
    };
}

pid_t deadProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// Faults injected into the inputs, the outputs and the run itself: each ends with the exit status
// its kind documents, a message that names it, and either the earlier pair untouched or a whole
// new one (the image its parameter file records), never a temporary left behind.
TEST_F(BadInputTest, InjectedFaultsEndWithTheirStatusAndAWholePair) {
    enum Outputs { Earlier, NewPair };
    struct Case {
        const char* what;
        std::function<std::vector<std::string>()> setUp;  // the inputs, after preparing the fault
        MidRunFault duringRun;
        int exitCode;
        std::string message;  // part of the errors
        Outputs outputs;
    };
    const std::string deep = (dir_ / "deep").string() + [] {
        std::string path;
        for (int i = 0; i < 21; ++i) path += "/" + std::string(200, 'd');
        return path;
    }();
    const std::string changed = input(kViews[1]);
    const Case cases[] = {
        // Cut once its features are found: the next read of it (its EXIF block) sees the change.
        {"a photograph cut short during the run", [&] { return goodViews(); },
         {"Matching SIFT features", [&] { fs::resize_file(changed, fs::file_size(changed) / 2); }}, ExitFileError,
         changed + " changed during the run", Earlier},
        {"pano.txt taken by a folder during the run", [&] { return goodViews(); },
         {"Blending block",
          [&] {
              fs::remove(dir_ / "out/pano.txt");
              fs::create_directories(dir_ / "out/pano.txt/inside");
          }},
         ExitFileError, "cannot write " + (dir_ / "out/pano.txt").string() + ": ", Earlier},
        {"a FIFO named .jpg",
         [&] {
             mkfifo(input("fifo.jpg").c_str(), 0600);
             std::vector<std::string> inputs = goodViews();
             inputs.push_back(input("fifo.jpg"));
             return inputs;
         },
         {}, ExitSuccess, "skipping " + input("fifo.jpg") + ": not a regular file",
         NewPair},
        {"a folder named .jpg",
         [&] {
             fs::create_directories(input("folder.jpg"));
             std::vector<std::string> inputs = goodViews();
             inputs.insert(inputs.begin(), input("folder.jpg"));
             return inputs;
         },
         {}, ExitSuccess, "not a regular file (a folder)", NewPair},
        {"a line break in a name",
         [&] {
             fs::copy_file(input(kViews[0]), input("new\nline.jpg"));
             return std::vector<std::string>{input("new\nline.jpg"), input(kViews[1])};
         },
         {}, ExitUsage, "holds a line break", Earlier},
        {"a degenerate crop",
         [&] {
             options_.stitch.render.autoCrop = false;
             options_.stitch.render.thetaMin = options_.stitch.render.thetaMax = 0.2f;
             return goodViews();
         },
         {}, ExitUsage, "--crop needs THETA_MIN < THETA_MAX", Earlier},
        {"a JPEG wider than it can be",
         [&] {
             options_.stitch.render.sizeMode = SizeMode::Width;
             options_.stitch.render.width = 66000;
             return goodViews();
         },
         {}, ExitUsage, "use --format tiff", Earlier},
        {"a JPEG of 16 bits",
         [&] {
             options_.stitch.render.outputDepth = 16;
             return goodViews();
         },
         {}, ExitUsage, "8 bits a sample", Earlier},
        {"a parameter file of one long line",
         [&] {
             writeFile(dir_ / "long.txt", std::string(3 << 20, '\0'));
             return std::vector<std::string>{(dir_ / "long.txt").string()};
         },
         {}, ExitFileError, "line 1 is longer than any path", Earlier},
        {"a FIFO named as a parameter file",
         [&] {
             mkfifo((dir_ / "fifo.txt").c_str(), 0600);
             return std::vector<std::string>{(dir_ / "fifo.txt").string()};
         },
         {}, ExitFileError, "not a regular file", Earlier},
        {"an output folder too deep for its temporaries",
         [&] {
             fs::create_directories(deep.substr(0, 4080));
             options_.outputDirectory = deep.substr(0, 4080);
             return goodViews();
         },
         {}, ExitFileError, "its temporary's path would be longer than 4095 bytes", Earlier},
        {"a torn pair opened again",
         [&] {
             EXPECT_EQ(run(goodViews()), ExitSuccess) << errors_.str();
             writeFile(dir_ / "out/pano.jpg", earlierPanorama_);  // the image of another run
             return std::vector<std::string>{(dir_ / "out/pano.txt").string()};
         },
         {}, ExitSuccess, (dir_ / "out/pano.jpg").string() + " is not the panorama", NewPair},
        {"temporaries of a dead run",
         [&] {
             writeFile(dir_ / ("out/.pano.txt." + std::to_string(deadProcess()) + "-0"), "left");
             writeFile(dir_ / ("out/.pano.jpg." + std::to_string(deadProcess()) + "-old"), "left");
             return goodViews();
         },
         {}, ExitSuccess, "", NewPair},
    };
    const CliOptions initial = options_;
    const std::string view = readFile(changed);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        options_ = initial;
        putEarlierOutputs(dir_ / "out");
        const std::vector<std::string> inputs = test.setUp();
        options_.inputs = inputs;
        messages_.str("");
        errors_.str("");
        const int status = runCli(options_, faultyPipeline(test.duringRun), nullptr, messages_, errors_);
        EXPECT_EQ(status, test.exitCode) << errors_.str();
        EXPECT_NE(errors_.str().find(test.message), std::string::npos) << errors_.str();
        EXPECT_LT(errors_.str().size(), 5000u);
        if (fs::is_directory(dir_ / "out/pano.txt")) {  // the fault itself, undone to compare
            fs::remove_all(dir_ / "out/pano.txt");
            writeFile(dir_ / "out/pano.txt", earlierParameters_);
        }
        if (test.outputs == Earlier) {
            expectEarlierOutputsIntact(test.what);
        } else {
            EXPECT_EQ(namesIn(dir_ / "out"), (std::set<std::string>{"pano.jpg", "pano.txt"}));
            std::vector<CameraRecord> records;
            PanoramaChecksum recorded;
            EXPECT_GT(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, records, nullptr, &recorded), 0);
            EXPECT_EQ(checkPanoramaPair((dir_ / "out/pano.txt").string(), recorded), "");
            EXPECT_TRUE(recorded.known());
        }
        writeFile(changed, view);
    }
}

// Names are recorded exactly: a leading space is part of the name, so a parameter file renders
// ".../ a.jpg" again and not ".../a.jpg", another photograph of the same size beside it.
TEST_F(BadInputTest, ANameWithALeadingSpaceRendersItselfAgain) {
    fs::copy_file(input(kViews[0]), input(" a.jpg"));
    fs::copy_file(input(kViews[2]), input("a.jpg"));
    const fs::path before = fs::current_path();
    fs::current_path(dir_ / "in");
    EXPECT_EQ(run({" a.jpg", kViews[1], kViews[2]}), ExitSuccess) << errors_.str();
    std::vector<CameraRecord> records;
    EXPECT_EQ(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, records), 3);
    EXPECT_EQ(records[0].name, input(" a.jpg"));  // out/ is not above in/: the whole path
    options_.outputDirectory = (dir_ / "again").string();
    EXPECT_EQ(run({(dir_ / "out/pano.txt").string()}), ExitSuccess) << errors_.str();
    // The same file naming the photograph by its whole path renders the same bytes.
    const std::string saved = readFile(dir_ / "out/pano.txt");
    writeFile(dir_ / "whole.txt", input(" a.jpg") + saved.substr(saved.find('\n')));
    options_.outputDirectory = (dir_ / "whole").string();
    EXPECT_EQ(run({(dir_ / "whole.txt").string()}), ExitSuccess) << errors_.str();
    fs::current_path(before);
    EXPECT_TRUE(readFile(dir_ / "again/pano.jpg") == readFile(dir_ / "whole/pano.jpg"));
}

// The tool itself with its standard streams closed or its reader gone: the run still ends as it
// should, and nothing it prints ever lands in an output file.
TEST_F(BadInputTest, ClosedOrBrokenStandardStreamsNeverReachTheOutputs) {
    writeFile(input("bad.jpg"), "not a photograph");
    struct Case {
        const char* what;
        int stream;           // the descriptor closed, or given a pipe without a reader
        bool pipe;
        const char* logMode;  // "console" writes the log to the standard output
    };
    const Case cases[] = {
        {"standard output closed, log on the console", STDOUT_FILENO, false, "console"},
        {"standard error closed, a bad photograph", STDERR_FILENO, false, "none"},
        {"standard output read by no one", STDOUT_FILENO, true, "console"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        putEarlierOutputs(dir_ / "out");
        std::vector<std::string> arguments = {VANTORRA_CLI_PATH, "--log", test.logMode, "-o", (dir_ / "out").string()};
        for (const std::string& view : goodViews()) arguments.push_back(view);
        arguments.push_back(input("bad.jpg"));
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        close(ends[0]);  // no reader
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (test.pipe) dup2(ends[1], test.stream);
            else close(test.stream);
            close(ends[1]);
            std::vector<char*> argv;
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(ends[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), ExitSuccess);
        const std::string panorama = readFile(dir_ / "out/pano.jpg");
        EXPECT_EQ(panorama.find("SIFT"), std::string::npos);  // the log's first lines
        EXPECT_EQ(panorama.find("skipping"), std::string::npos);
        PanoramaChecksum recorded;
        std::vector<CameraRecord> records;
        EXPECT_EQ(loadParameterFile((dir_ / "out/pano.txt").string(), kBudget, records, nullptr, &recorded), 4);
        EXPECT_EQ(checkPanoramaPair((dir_ / "out/pano.txt").string(), recorded), "");
    }
}

}  // namespace
}  // namespace vantorra
